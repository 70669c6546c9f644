// The spreadsheet driver's database: a workbook whose worksheets are its
// tables. The first row of a sheet names the fields; each further row is a
// record. Field types are those a table was created with, or, for a sheet
// read from a file, those its values show.
#pragma once

#include "jet/biff_book.h"
#include "jet/biff_store.h"
#include "jet/jet_errors.h"
#include "jet/jet_file.h"
#include "jet/jet_variant.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

// The longest field name, in UTF-16 units.
constexpr std::size_t jet_max_field_name = 64;

struct jet_column {
  std::wstring name;
  SHORT type = 10;  // dbText
  LONG size = 255;
  LONG attributes = 0;
  bool required = false;
  bool allow_zero_length = false;
  jet_variant default_value;
  std::wstring description;
};
using jet_column_ptr = std::shared_ptr<jet_column>;

// Indexes are kept while the database is open; a worksheet stores none.
struct jet_index {
  std::wstring name;
  bool primary = false;
  bool unique = false;
  std::vector<jet_column_ptr> fields;
};
using jet_index_ptr = std::shared_ptr<jet_index>;

struct jet_table {
  std::wstring name;
  std::vector<jet_column_ptr> columns;
  std::vector<jet_index_ptr> indexes;
  // The sheet of an appended table; null before TableDefs.Append. Its rows
  // are there while `loaded`; a closed workbook keeps only `stored`.
  biff_sheet* sheet = nullptr;
  bool loaded = true;
  // The sheet as it is written, while its rows have not changed since.
  std::unique_ptr<biff_stored_sheet> stored;
  // The rows of a query result, which no sheet holds.
  std::unique_ptr<biff_sheet> result;

  std::size_t record_count() const {
    std::size_t rows = !sheet ? 0 : loaded ? sheet->rows.size() : stored->rows;
    return rows ? rows - 1 : 0;
  }
  // -1 when there is none.
  int column_of(const std::wstring& name) const;
};
using jet_table_ptr = std::shared_ptr<jet_table>;

class jet_workbook {
 public:
  jet_workbook(const std::wstring& path, biff_version version, bool read_only);

  // The sheets of a workbook stream become tables; throws biff_format_error.
  void load(const std::vector<std::uint8_t>& stream);
  // The rows of a table's sheet, read back from its stored records when the
  // workbook was closed since.
  biff_sheet& rows(jet_table& table);
  // Once the database closes: every changed sheet is encoded, and the rows
  // and texts of all of them are let go. Throws std::bad_alloc.
  void settle();
  // Writes the settled workbook to its file; the file's stamp is taken.
  HRESULT write(jet_session& session);

  // The first table of that name, ignoring case; none: null.
  jet_table* find(const std::wstring& name) const;
  jet_table_ptr table_named(const std::wstring& name) const;
  // Checks a new table (name, fields) and adds its sheet with the header row.
  HRESULT append(jet_session& session, const jet_table_ptr& table);
  HRESULT remove(jet_session& session, const std::wstring& name);
  // Adds one record; `cells` holds one cell per column.
  HRESULT append_record(jet_session& session, jet_table& table, const std::vector<biff_cell>& cells);

  // A value as the cell of a column of this workbook, and back.
  HRESULT to_cell(jet_session& session, const jet_column& column, const VARIANT& value, biff_cell& cell);
  void to_variant(const jet_column& column, const biff_cell& cell, VARIANT& value) const;

  // The records a sheet of this version holds besides its header row.
  std::size_t max_records() const { return biff_max_rows(version) - 1; }

  std::wstring path;
  biff_version version;
  bool read_only;
  bool open = true;
  // Changed while this database was open.
  bool modified = false;
  // Holds changes that its file does not.
  bool unwritten = false;
  // The file as this workbook last read or wrote it.
  jet_file_stamp on_disk;
  biff_book book;
  biff_store store;
  // In the order of the sheets; changed only through load, append and
  // remove, which keep the lookups below.
  std::vector<jet_table_ptr> tables;

 private:
  // The first table of each name, by its case-folded name.
  std::unordered_map<std::wstring, jet_table_ptr> by_name;
  // The tables of `tables` whose rows are in memory (`loaded`), which
  // settle encodes and lets go: a workbook of many sheets settles the few
  // that the database touched.
  std::vector<jet_table*> unsettled;
  void index(const jet_table_ptr& table);
};
using jet_workbook_ptr = std::shared_ptr<jet_workbook>;

// The fields of a sheet read from a file: named by its first row (a field
// without a name, or with a name met before, is F and its column number),
// typed by the first value below (a text longer than 255 UTF-16 units makes
// the field a Memo field).
std::vector<jet_column_ptr> jet_infer_columns(const biff_book& book, const biff_sheet& sheet);
