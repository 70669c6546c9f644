// A database as the conversion driver sees every source and destination:
// its tables, the recordsets it hands out, and its foreign keys.
#pragma once

#include "UDB/udb_index.h"
#include "UDB/udb_names_map.h"
#include "UDB/udb_recordset.h"
#include "UDB/udb_relationship.h"
#include "UDB/udb_schema.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

// View name to its SELECT text.
using udb_views = std::map<std::wstring, std::wstring>;

class udb_database {
 public:
  // `mode` holds bits that each database defines; `case_sensitive` decides
  // whether table names compare exactly.
  udb_database(const std::wstring& name, std::int32_t mode, bool case_sensitive);
  udb_database(const udb_database&) = delete;
  udb_database& operator=(const udb_database&) = delete;
  virtual ~udb_database();

  // A new table of that layout, its keys and indexes from `indexes`; the
  // caller owns the recordset.
  virtual std::unique_ptr<udb_recordset> create_table(const std::wstring& name, const udb_schema& schema,
                                                      const udb_indexes& indexes) = 0;
  virtual void create_index(const std::wstring& table, const udb_index& index);
  // create_index for each index, in list order.
  virtual void create_indexes(const std::wstring& table, const udb_indexes& indexes);
  virtual void create_views(const udb_views& views);
  // Removes the first matching name from table_names; false when none
  // matches. It touches no table: a database that drops real tables
  // replaces it.
  virtual bool delete_tab(const std::wstring& name);
  // A recordset over a SELECT text, named `name`; the caller owns it (null
  // where the database offers no queries).
  virtual std::unique_ptr<udb_recordset> get_query(const std::wstring& name, const std::wstring& query_text,
                                                   int mode) = 0;
  // Empties the list.
  virtual void get_name_list(std::vector<std::wstring>& names);
  // The table of that name; the caller owns it.
  virtual std::unique_ptr<udb_recordset> get_table(const std::wstring& name, int mode = 0) = 0;
  // Runs a statement; a database that runs none raises an internal error.
  virtual void query(const std::wstring& sql_text);
  // The text is a statement this database accepts.
  virtual bool test_query(const std::wstring& sql_text) = 0;
  virtual void create_relationships(const udb_relationships& relationships);
  virtual std::vector<std::wstring>& get_tables();
  virtual bool is_table_exist(const std::wstring& name);

  std::int32_t mode;
  std::wstring name;
  bool case_sensitive;
  std::vector<std::wstring> table_names;
  udb_names_map names_map;
  udb_relationships relationships;

 private:
  // The position of the first name that matches, or table_names.size().
  std::size_t find_table(const std::wstring& name) const;
};
