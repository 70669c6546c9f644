#include "xlsx/xlsx_db.h"

#include "TK/tk_exception.h"
#include "TK/tk_file_name.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"

using XlsxModel::CellDataStr;

namespace {

[[noreturn]] void cannot_write(const std::wstring& path, const std::wstring& cause) {
  throw tk_exception(L"Cannot write the destination file \"" + path + L"\": " + cause, 1);
}

std::wstring widened(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// A cell's text. A floating-point number is written as a person writes it,
// the shortest text that reads back as the same value, rather than in the
// value's own exponent form (1.0000000000000000e+000), which the log and
// the writing side keep.
std::wstring cell_text(const udb_field& field) {
  switch (field.get_type()) {
    case VT_R8:
      return widened(tk_number_text(field.var.dblVal));
    case VT_R4:
      return widened(tk_number_text(field.var.fltVal));
    default:
      return field.to_wstring();
  }
}

}  // namespace

xlsx_database::xlsx_database(const std::wstring& destination, bool one_workbook_per_table)
    : udb_database(destination, 1, false), one_workbook_per_table(one_workbook_per_table) {
  tk_log::write(1, L"xlsx_database::ctor(%ls)", destination.c_str());
}

xlsx_database::~xlsx_database() {
  tk_log::write(1, "xlsx_database::dtor");
  // An unsaved workbook goes with its temporary folder.
  workbook.reset();
}

std::unique_ptr<udb_recordset> xlsx_database::create_table(const std::wstring& table_name, const udb_schema& schema,
                                                           const udb_indexes&) {
  tk_log::write(1, L"xlsx_database::create_table(%ls)", table_name.c_str());
  if (!workbook || one_workbook_per_table) workbook = std::make_unique<XlsxModel::CWorkbook>();
  // Told before the records are read: without its folder no sheet is written.
  if (!workbook->has_folder()) cannot_write(name, workbook->GetLastError());
  XlsxModel::CWorksheet* sheet = workbook->AddSheet2(table_name, {});
  return std::make_unique<xlsx_worksheet>(table_name, sheet, schema);
}

std::unique_ptr<udb_recordset> xlsx_database::get_query(const std::wstring&, const std::wstring&, int) {
  return nullptr;
}

std::unique_ptr<udb_recordset> xlsx_database::get_table(const std::wstring&, int) {
  throw tk_mail_assertion("xlsx_db", 75);
}

bool xlsx_database::test_query(const std::wstring&) { return true; }

void xlsx_database::save_workbook(const std::wstring& path, const std::wstring& shown) {
  workbook->stop_requested = stop_requested;
  bool ok = workbook->Save(path);
  std::wstring cause = workbook->GetLastError();
  workbook.reset();
  if (!ok && stop_requested && stop_requested()) throw tk_final_exception();
  if (!ok) cannot_write(shown, cause);
}

void xlsx_database::save_table(udb_recordset& table) {
  tk_log::write(1, L"xlsx_database::save_table(%ls)", table.name.c_str());
  if (!table.save()) {
    auto* sheet = dynamic_cast<xlsx_worksheet*>(&table);
    cannot_write(name, sheet && sheet->sheet ? sheet->sheet->GetLastError() : L"the sheet cannot be written");
  }
  if (one_workbook_per_table && workbook) {
    tk_file_wname destination(name);
    std::wstring path = destination.drive + destination.dir + table.name + L".xlsx";
    save_workbook(path, path);
  }
}

void xlsx_database::save() {
  tk_log::write(1, "xlsx_database::save");
  if (one_workbook_per_table || !workbook) return;
  save_workbook(written_path.empty() ? name : written_path, name);
}

xlsx_worksheet::xlsx_worksheet(const std::wstring& name, XlsxModel::CWorksheet* sheet, const udb_schema& schema)
    : udb_recordset(name, true), sheet(sheet), table_schema(schema) {
  tk_log::write(1, L"xlsx_worksheet::ctor(%ls)", name.c_str());
  sheet->begin_row(0);
  for (std::size_t i = 0; i < table_schema.size(); ++i) sheet->AddCell(CellDataStr{table_schema[i].name, 0});
  sheet->end_row();
}

xlsx_worksheet::~xlsx_worksheet() { tk_log::write(1, "xlsx_worksheet::dtor"); }

void xlsx_worksheet::append_record(udb_record& record) {
  sheet->begin_row(0);
  for (std::size_t i = 0; i < record.size(); ++i) {
    const udb_field& field = record[i];
    // A text goes to the sheet as it stands in its field, without a copy.
    if (field.get_type() == VT_BSTR && field.var.bstrVal)
      sheet->add_text(std::wstring_view(field.var.bstrVal, SysStringLen(field.var.bstrVal)));
    else
      sheet->add_text(cell_text(field));
  }
  sheet->end_row();
}

bool xlsx_worksheet::save() { return sheet->Save(); }

udb_record* xlsx_worksheet::get_item() { return nullptr; }

bool xlsx_worksheet::is_eof() { return true; }
