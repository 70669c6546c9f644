// The Excel 2010 destination as the conversion driver sees it: a database
// whose tables become the worksheets of one workbook (or of one workbook
// each), written as text cells.
#pragma once

#include "UDB/udb_database.h"
#include "UDB/udb_recordset.h"
#include "xlsx/xlsx_model.h"

#include <functional>
#include <memory>
#include <string>

class xlsx_database : public udb_database {
 public:
  xlsx_database(const std::wstring& destination, bool one_workbook_per_table);
  ~xlsx_database() override;

  // A new sheet of the workbook (a new workbook first when none is held,
  // or for every table in the per-table mode); the caller owns the result.
  std::unique_ptr<udb_recordset> create_table(const std::wstring& name, const udb_schema& schema,
                                              const udb_indexes& indexes) override;
  // The destination offers no queries.
  std::unique_ptr<udb_recordset> get_query(const std::wstring& name, const std::wstring& query_text,
                                           int mode) override;
  // Not supported: an internal error.
  std::unique_ptr<udb_recordset> get_table(const std::wstring& name, int mode = 0) override;
  bool test_query(const std::wstring& sql_text) override;

  // Closes the table's sheet; in the per-table mode saves its workbook
  // beside the destination. Raises tk_exception (level 1) when that fails.
  void save_table(udb_recordset& table);
  // Saves the workbook to `written_path`, else to the destination. Raises
  // tk_exception (level 1), naming the destination, when that fails.
  void save();

  std::unique_ptr<XlsxModel::CWorkbook> workbook;
  bool one_workbook_per_table;
  // The run's stop request: a save it stops raises tk_final_exception and
  // leaves no file.
  std::function<bool()> stop_requested;
  // Where the workbook is written when not at the destination itself: the
  // run writes it whole under a name of its own first.
  std::wstring written_path;

 private:
  void save_workbook(const std::wstring& path, const std::wstring& shown);
};

class xlsx_worksheet : public udb_recordset {
 public:
  // Writes the header row (the field names) at once.
  xlsx_worksheet(const std::wstring& name, XlsxModel::CWorksheet* sheet, const udb_schema& schema);
  ~xlsx_worksheet() override;

  // One row: the text of each value in its column; an empty text leaves
  // its cell out and keeps the columns after it.
  void append_record(udb_record& record) override;
  // Closes the sheet's part; false when it could not be written.
  bool save() override;
  udb_record* get_item() override;
  bool is_eof() override;

  XlsxModel::CWorksheet* sheet;  // owned by the workbook
  udb_schema table_schema;
};
