// The Oracle database as the UDB layer sees it: the user's tables from the
// data dictionary, and recordsets over a table or a SELECT text.
#pragma once

#include "UDB/udb_database.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class ora_in_validator;

class ora_database : public udb_database {
 public:
  // Table names compare exactly. Reads the user's views; a failure there is
  // logged and the database is built all the same.
  ora_database(const std::wstring& name, std::uint8_t mode);
  ~ora_database() override;

  // The user's tables, read again on every call.
  std::vector<std::wstring>& get_tables() override;
  // An ora_table of a known table (an internal error otherwise).
  std::unique_ptr<udb_recordset> get_table(const std::wstring& name, int mode = 0) override;
  // An ora_table over the SELECT text, named `name`.
  std::unique_ptr<udb_recordset> get_query(const std::wstring& name, const std::wstring& query_text,
                                           int mode) override;
  // Runs one statement once.
  void query(const std::wstring& sql_text) override;
  // The server parses and describes the text without running it; an error
  // throws ora_exception.
  bool test_query(const std::wstring& sql_text) override;

  // The table with its columns, counter sequence and trigger, keys and
  // indexes, when it does not exist yet; in every case the table opened for
  // writing.
  std::unique_ptr<udb_recordset> create_table(const std::wstring& name, const udb_schema& schema,
                                              const udb_indexes& indexes) override;
  // CREATE OR REPLACE VIEW for each SELECT text; a view that fails is
  // logged and the next one follows.
  void create_views(const udb_views& views) override;
  // The foreign keys between tables of this database, each referenced key
  // made unique first.
  void create_relationships(const udb_relationships& relationships) override;
  // A unique constraint on the referenced columns of a foreign key, unless
  // the table has one; a failure is logged.
  void create_fk_index_if(const std::wstring& table, const std::vector<std::wstring>& fields);
  // A source view text as Oracle SQL, with the names used here.
  std::wstring refine_view_in(const std::wstring& text);
  // The Oracle name of a source table (exact first, then without regard to
  // case) and of a source field of a table.
  std::wstring get_tn_mapped_name_ex(const std::wstring& name);
  std::wstring get_fn_mapped_name_ex(const std::wstring& table, const std::wstring& field);
  // The program-wide index-name validator. When none exists this database
  // makes it, loaded with the index and constraint names the schema has, and
  // keeps it for its lifetime.
  ora_in_validator& index_names();

  void init_tables();
  void init_views();

  // View name to its SELECT text.
  udb_views views;
  // Set at construction: tables opened here batch their appends.
  bool fast_append = true;

 private:
  std::unique_ptr<ora_in_validator> own_index_names;
};
