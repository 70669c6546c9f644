// The data dictionary of the connected schema, as the server has it:
// USER_TABLES, USER_TAB_COLUMNS, USER_VIEWS, USER_CONSTRAINTS,
// USER_CONS_COLUMNS, USER_INDEXES, USER_IND_COLUMNS, V$VERSION and DUAL,
// kept as temporary tables of the connection and refilled from the schema;
// USER_SEQUENCES and USER_TRIGGERS, temporary views of the hidden tables in
// which this library keeps them.
// Tables named sqlite_* and OCILITE_* are left out.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

namespace ocilite {

void build_dictionary(sqlite3* db, const std::string& user, bool create_tables);

// The constraints a CREATE TABLE text declares (names as the server folds
// them), for the dictionary.
struct declared_constraint {
  std::string name;  // empty: the server generates one
  char type = 'C';   // P, U, R, C
  std::vector<std::string> columns;
  std::string ref_table;
  std::vector<std::string> ref_columns;
  std::string delete_rule;  // CASCADE, SET NULL, NO ACTION
  std::string condition;    // CHECK text
  std::string not_null_of;  // a named NOT NULL constraint of this column
};
std::vector<declared_constraint> parse_constraints(const std::string& create_sql);
// The SELECT text of a CREATE VIEW statement.
std::string view_text(const std::string& create_sql);
// The query of a view as it was written: kept in OCILITE_VIEWS when the
// view was made through this library, else the text of its CREATE VIEW.
std::string written_view_text(sqlite3* db, const std::string& view, const std::string& create_sql);

bool is_hidden_table(const std::string& name);

}  // namespace ocilite
