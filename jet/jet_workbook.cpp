#include "jet/jet_workbook.h"

#include "TK/tk_utils.h"
#include "jet/biff_reader.h"
#include "platform/case_fold.h"
#include "jet/biff_writer.h"
#include "jet/dao_interfaces.h"

#include <algorithm>
#include <cmath>
#include <cwchar>

int jet_table::column_of(const std::wstring& wanted) const {
  for (std::size_t i = 0; i < columns.size(); ++i)
    if (jet_same_name(columns[i]->name, wanted)) return static_cast<int>(i);
  return -1;
}

jet_workbook::jet_workbook(const std::wstring& p, biff_version v, bool ro)
    : path(p), version(v), read_only(ro), store(v) {}

namespace {

std::wstring number_text(double value) {
  VARIANT number, text;
  VariantInit(&number);
  VariantInit(&text);
  number.vt = VT_R8;
  number.dblVal = value;
  if (FAILED(VariantChangeType(&text, &number, 0, VT_BSTR))) return std::wstring();
  std::wstring out = jet_from_bstr(text.bstrVal);
  VariantClear(&text);
  return out;
}

std::wstring date_text(double date) {
  SYSTEMTIME st{};
  if (!VariantTimeToSystemTime(date, &st)) return std::wstring();
  wchar_t text[32];
  std::swprintf(text, 32, L"%04d-%02d-%02d %02d:%02d:%02d", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
                st.wSecond);
  return text;
}

bool is_text_type(SHORT type) { return type == dbText || type == dbMemo; }

bool is_number_type(SHORT type) {
  switch (type) {
    case dbByte:
    case dbInteger:
    case dbLong:
    case dbCurrency:
    case dbSingle:
    case dbDouble:
    case dbBigInt:
    case dbNumeric:
    case dbDecimal:
    case dbFloat:
      return true;
    default:
      return false;
  }
}

bool is_date_type(SHORT type) { return type == dbDate || type == dbTime; }

// The length of a text as the version counts it: characters in BIFF5,
// UTF-16 units in BIFF8.
std::size_t text_length(const std::wstring& text, biff_version v) {
  return v == biff_version::biff5 ? text.size() : tk_utf16_length(text);
}

VARTYPE vartype_of(SHORT type) {
  switch (type) {
    case dbByte:
      return VT_UI1;
    case dbInteger:
      return VT_I2;
    case dbLong:
      return VT_I4;
    case dbCurrency:
      return VT_CY;
    case dbSingle:
      return VT_R4;
    default:
      return VT_R8;
  }
}

// Worksheet names: not empty, no longer than a title keeps (in UTF-16
// units, as readers count it), none of the characters a title refuses.
bool valid_name(const std::wstring& name, std::size_t longest, const wchar_t* refused) {
  if (name.empty() || tk_utf16_length(name) > longest) return false;
  return name.find_first_of(refused) == std::wstring::npos;
}

}  // namespace

std::vector<jet_column_ptr> jet_infer_columns(const biff_book& book, const biff_sheet& sheet) {
  std::size_t width = 0;
  for (const biff_row& row : sheet.rows) width = std::max(width, row.size());
  std::vector<jet_column_ptr> columns;
  const biff_row no_header;
  const biff_row& header = sheet.rows.empty() ? no_header : sheet.rows.front();
  for (std::size_t c = 0; c < width; ++c) {
    auto column = std::make_shared<jet_column>();
    biff_cell name = c < header.size() ? header[c] : biff_cell{};
    if (name.kind == biff_kind::text)
      column->name = book.text(name.text);
    else if (name.kind == biff_kind::number)
      column->name = number_text(name.number);
    bool taken = false;
    for (const auto& other : columns) taken = taken || jet_same_name(other->name, column->name);
    if (column->name.empty() || taken) column->name = L"F" + std::to_wstring(c + 1);
    bool typed = false;
    for (std::size_t r = 1; r < sheet.rows.size(); ++r) {
      const biff_row& row = sheet.rows[r];
      if (c >= row.size() || row[c].kind == biff_kind::empty) continue;
      const biff_cell& cell = row[c];
      if (!typed) {
        typed = true;
        column->type = cell.kind == biff_kind::text     ? dbText
                       : cell.kind == biff_kind::number ? dbDouble
                       : cell.kind == biff_kind::date   ? dbDate
                                                        : dbBoolean;
      }
      if (cell.kind == biff_kind::text && column->type == dbText && tk_utf16_length(book.text(cell.text)) > 255)
        column->type = dbMemo;
    }
    column->size = column->type == dbText ? 255 : column->type == dbMemo ? 0 : column->type == dbDouble ? 8 : column->type == dbDate ? 8 : 1;
    columns.push_back(std::move(column));
  }
  return columns;
}

void jet_workbook::load(const std::vector<std::uint8_t>& stream) {
  biff_version found = biff_read_workbook(stream.data(), stream.size(), book);
  if (found != version) throw biff_format_error("the workbook is of the other BIFF version");
  for (biff_sheet& sheet : book.sheets) {
    auto table = std::make_shared<jet_table>();
    table->name = sheet.name;
    table->sheet = &sheet;
    table->columns = jet_infer_columns(book, sheet);
    index(table);
    unsettled.push_back(table.get());
    tables.push_back(std::move(table));
  }
}

void jet_workbook::index(const jet_table_ptr& table) {
  by_name.emplace(qm_platform::fold_simple(table->name), table);
}

biff_sheet& jet_workbook::rows(jet_table& table) {
  if (!table.loaded) {
    store.decode(*table.stored, book, *table.sheet);
    table.loaded = true;
    unsettled.push_back(&table);
  }
  return *table.sheet;
}

void jet_workbook::settle() {
  while (!unsettled.empty()) {
    jet_table* table = unsettled.back();
    if (!table->stored) table->stored = store.encode(book, *table->sheet);
    std::vector<biff_row>().swap(table->sheet->rows);
    table->loaded = false;
    unsettled.pop_back();
  }
  book.forget_strings();
}

HRESULT jet_workbook::write(jet_session& session) {
  std::vector<biff_store::entry> sheets;
  for (const auto& table : tables) sheets.push_back({&table->sheet->name, table->stored.get()});
  HRESULT hr = jet_write_file(session, path, version,
                              [&](const biff_store::output& out) { return store.write(sheets, out); });
  if (FAILED(hr)) return hr;
  unwritten = false;
  on_disk = jet_stamp_of(path);
  return S_OK;
}

jet_table* jet_workbook::find(const std::wstring& name) const { return table_named(name).get(); }

jet_table_ptr jet_workbook::table_named(const std::wstring& name) const {
  auto found = by_name.find(qm_platform::fold_simple(name));
  return found == by_name.end() ? nullptr : found->second;
}

HRESULT jet_workbook::append(jet_session& session, const jet_table_ptr& table) {
  if (read_only) return jet_fail(session, jet_error::read_only);
  if (!valid_name(table->name, 31, L"\\/?*:[]")) return jet_fail(session, jet_error::invalid_name, table->name);
  if (find(table->name)) return jet_fail(session, jet_error::table_exists, table->name);
  if (table->columns.empty()) return jet_fail(session, jet_error::no_fields);
  if (table->columns.size() >= biff_max_columns) return jet_fail(session, jet_error::too_many_fields);
  for (const auto& column : table->columns) {
    if (!is_text_type(column->type) && !is_number_type(column->type) && !is_date_type(column->type) &&
        column->type != dbBoolean)
      return jet_fail(session, jet_error::invalid_type);
    if (text_length(column->name, version) > biff_max_text(version))
      return jet_fail(session, jet_error::invalid_name, column->name);
  }
  book.sheets.emplace_back();
  biff_sheet& sheet = book.sheets.back();
  sheet.name = table->name;
  sheet.rows.emplace_back();
  for (const auto& column : table->columns) sheet.rows[0].push_back(book.text_cell(column->name));
  table->sheet = &sheet;
  table->loaded = true;
  index(table);
  unsettled.push_back(table.get());
  tables.push_back(table);
  modified = true;
  return S_OK;
}

HRESULT jet_workbook::remove(jet_session& session, const std::wstring& name) {
  if (read_only) return jet_fail(session, jet_error::read_only);
  for (auto t = tables.begin(); t != tables.end(); ++t) {
    if (!jet_same_name((*t)->name, name)) continue;
    for (auto s = book.sheets.begin(); s != book.sheets.end(); ++s)
      if (&*s == (*t)->sheet) {
        book.sheets.erase(s);
        break;
      }
    (*t)->sheet = nullptr;
    unsettled.erase(std::remove(unsettled.begin(), unsettled.end(), t->get()), unsettled.end());
    std::wstring key = qm_platform::fold_simple((*t)->name);
    by_name.erase(key);
    tables.erase(t);
    // A later table of that name, which a file may hold, is found now.
    for (const auto& other : tables)
      if (qm_platform::fold_simple(other->name) == key) {
        by_name.emplace(key, other);
        break;
      }
    modified = true;
    return S_OK;
  }
  return jet_fail(session, jet_error::not_found);
}

HRESULT jet_workbook::append_record(jet_session& session, jet_table& table, const std::vector<biff_cell>& cells) {
  if (read_only || !table.sheet) return jet_fail(session, jet_error::read_only);
  if (table.record_count() >= max_records()) return jet_fail(session, jet_error::sheet_full, table.name);
  biff_sheet& sheet = rows(table);
  if (sheet.rows.empty()) sheet.rows.emplace_back();
  biff_row row(cells);
  while (!row.empty() && row.back().kind == biff_kind::empty) row.pop_back();
  sheet.rows.push_back(std::move(row));
  table.stored.reset();
  modified = true;
  return S_OK;
}

HRESULT jet_workbook::to_cell(jet_session& session, const jet_column& column, const VARIANT& value, biff_cell& cell) {
  cell = biff_cell{};
  if (value.vt == VT_EMPTY || value.vt == VT_NULL) return S_OK;
  VARIANT converted;
  VariantInit(&converted);
  if (is_text_type(column.type)) {
    std::wstring text;
    if (value.vt == VT_BSTR) {
      text = jet_from_bstr(value.bstrVal);
    } else if (value.vt == VT_DATE) {
      text = date_text(value.date);
    } else {
      if (FAILED(VariantChangeType(&converted, &value, 0, VT_BSTR))) return jet_fail(session, jet_error::conversion);
      text = jet_from_bstr(converted.bstrVal);
      VariantClear(&converted);
    }
    if (text_length(text, version) > biff_max_text(version)) return jet_fail(session, jet_error::record_too_large);
    cell = book.text_cell(text);
    return S_OK;
  }
  if (column.type == dbBoolean) {
    if (FAILED(VariantChangeType(&converted, &value, 0, VT_BOOL))) return jet_fail(session, jet_error::conversion);
    cell = biff_book::boolean_cell(converted.boolVal != 0);
    return S_OK;
  }
  double number = 0;
  if (value.vt == VT_DATE) {
    number = value.date;
  } else if (is_date_type(column.type) && value.vt == VT_BSTR) {
    if (FAILED(VarDateFromStr(value.bstrVal, GetSystemDefaultLCID(), 0, &number)))
      return jet_fail(session, jet_error::conversion);
  } else {
    if (FAILED(VariantChangeType(&converted, &value, 0, VT_R8))) return jet_fail(session, jet_error::conversion);
    number = converted.dblVal;
  }
  if (!std::isfinite(number)) {
    if (is_date_type(column.type) || !is_number_type(column.type)) return jet_fail(session, jet_error::out_of_range);
    // A worksheet number is never infinite nor NaN: the cell holds the
    // value's text, "Inf", "-Inf" or "Nan", and the record keeps the rest.
    std::string text = tk_number_text(number);
    cell = book.text_cell(std::wstring(text.begin(), text.end()));
    return S_OK;
  }
  if (is_date_type(column.type)) {
    double serial;
    if (!biff_serial_from_date(number, serial)) return jet_fail(session, jet_error::out_of_range);
    cell = biff_book::date_cell(number);
    return S_OK;
  }
  if (!is_number_type(column.type)) return jet_fail(session, jet_error::invalid_type);
  cell = biff_book::number_cell(number);
  return S_OK;
}

void jet_workbook::to_variant(const jet_column& column, const biff_cell& cell, VARIANT& value) const {
  VariantInit(&value);
  value.vt = VT_NULL;
  switch (cell.kind) {
    case biff_kind::empty:
      return;
    case biff_kind::text:
      if (!is_text_type(column.type)) return;
      value.vt = VT_BSTR;
      value.bstrVal = SysAllocStringLen(book.text(cell.text).data(), static_cast<UINT>(book.text(cell.text).size()));
      return;
    case biff_kind::boolean:
      if (column.type == dbBoolean) {
        value.vt = VT_BOOL;
        value.boolVal = cell.number != 0 ? VARIANT_TRUE : VARIANT_FALSE;
      } else if (is_text_type(column.type)) {
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocString(cell.number != 0 ? L"True" : L"False");
      }
      return;
    case biff_kind::date:
      if (is_date_type(column.type)) {
        value.vt = VT_DATE;
        value.date = cell.number;
      } else if (is_text_type(column.type)) {
        std::wstring text = date_text(cell.number);
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
      }
      return;
    case biff_kind::number:
      if (is_text_type(column.type)) {
        std::wstring text = number_text(cell.number);
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
      } else if (is_number_type(column.type)) {
        VARIANT number;
        VariantInit(&number);
        number.vt = VT_R8;
        number.dblVal = cell.number;
        // A value its type cannot hold stays a double rather than being lost.
        if (FAILED(VariantChangeType(&value, &number, 0, vartype_of(column.type)))) value = number;
      }
      return;
  }
}
