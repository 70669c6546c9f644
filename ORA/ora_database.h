// The Oracle database as the UDB layer sees it: the user's tables from the
// data dictionary, and recordsets over a table or a SELECT text.
#pragma once

#include "UDB/udb_database.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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

  // Writing a table comes with the write side.
  std::unique_ptr<udb_recordset> create_table(const std::wstring& name, const udb_schema& schema,
                                              const udb_indexes& indexes) override;

  void init_tables();
  void init_views();

  // View name to its SELECT text.
  udb_views views;
  // Set at construction: tables opened here batch their appends.
  bool fast_append = true;
};
