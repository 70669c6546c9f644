// Definitions that SQLite has no statement for, carried out by this library
// itself: sequences; insert triggers that number a column from a sequence;
// primary, unique and foreign keys added to a table and columns changed
// (both by rebuilding the table with its rows, row numbers and indexes);
// CREATE OR REPLACE VIEW; DROP TABLE with its triggers; and the server's
// checks of CREATE INDEX.
#pragma once

#include <string>

namespace ocilite {

class database;

// True when the statement was one of these and has been carried out (or,
// with `parse_only`, checked); false for every other statement, which then
// runs as SQLite runs it. Throws the server's errors.
bool run_modelled_ddl(database& db, const std::string& sql, bool parse_only);

}  // namespace ocilite
