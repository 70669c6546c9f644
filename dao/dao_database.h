// The database over one open DAO Database: in this product the workbook of
// the .xls destination, whose tables are its worksheets.
#pragma once

#include "OLE/ole_com_ptr.h"
#include "UDB/udb_database.h"
#include "jet/dao_interfaces.h"

#include <memory>
#include <string>

// Bits of the mode word.
namespace dao_mode {
constexpr int read_only = 1, reuse_table = 8, exclusive = 16, no_fkeys = 0x60, no_queries = 128;
}

class dao_database : public udb_database {
 public:
  dao_database(const std::wstring& path, DAODatabase* database, int mode);
  ~dao_database() override;

  // Closes the database, which writes what changed; a failure throws
  // dao_exception. The destructor closes a database still open and only
  // logs a failure.
  void close();

  std::unique_ptr<udb_recordset> create_table(const std::wstring& name, const udb_schema& schema,
                                              const udb_indexes& indexes) override;
  bool delete_tab(const std::wstring& name) override;
  std::unique_ptr<udb_recordset> get_query(const std::wstring& name, const std::wstring& query_text,
                                           int mode) override;
  std::unique_ptr<udb_recordset> get_table(const std::wstring& name, int mode = 0) override;
  bool test_query(const std::wstring& sql_text) override;
  // The tables, read from the workbook the first time they are wanted.
  std::vector<std::wstring>& get_tables() override;
  // Asks the workbook for the name until the tables are listed.
  bool is_table_exist(const std::wstring& name) override;

  // The number of rows a query gives.
  int get_record_count(const std::wstring& query_text);

  // The saved queries as ANSI SQL views, by name.
  udb_views views;

 private:
  void list_tables();
  void init_views();
  void init_fkeys();

  ole_com_ptr<DAODatabase> database;
  ole_com_ptr<DAOQueryDefs> query_defs;
  ole_com_ptr<DAOTableDefs> table_defs;
  bool closed = false;
  bool listed = false;
};

// The SQL of a saved Access query with Access's operators and function
// names made ANSI, before it is parsed.
std::wstring dao_rewrite_access_sql(const std::wstring& sql);
