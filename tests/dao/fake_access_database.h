// An Access database of the tests' own behind the DAO interfaces: tables
// with their attributes, saved queries, and the result of each statement
// the test expects the engine to run. A DBEngine registered under the class
// id of DAO 3.6 opens or creates it; what the engine did is kept for the
// test to read.
#pragma once

#include "OLE/ole_variant.h"
#include "jet/dao_interfaces.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

struct fake_column {
  std::wstring name;
  SHORT type = dbText;
  LONG size = 0;
  ole_variant default_value;  // as DAO gives it: "\"n/a\"", "#2001-01-01#"
};

// A table, a saved query's layout or a statement's result.
struct fake_rows {
  std::vector<fake_column> columns;
  std::vector<std::vector<ole_variant>> rows;
};

struct fake_table {
  std::wstring name;
  LONG attributes = 0;
  fake_rows data;
};

struct fake_saved_query {
  std::wstring name;
  std::wstring sql;
};

struct fake_access {
  std::vector<fake_table> tables;
  std::vector<fake_saved_query> queries;
  // Statement text to its result; any other statement fails with DAO error
  // 3078 (the table or query cannot be found).
  std::map<std::wstring, fake_rows> results;

  // What the engine asked for.
  struct opened {
    std::wstring source;
    LONG options;
  };
  std::vector<opened> recordsets;
  std::wstring path, locale, connect;
  bool exclusive = false, read_only = false, created = false, closed = false;
  int live_recordsets = 0;
};

// The database the next OpenDatabase or CreateDatabase hands out; the
// DBEngine registered for DAO 3.6 until `uninstall`.
void fake_access_install(std::shared_ptr<fake_access> database);
void fake_access_uninstall();
