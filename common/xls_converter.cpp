#include "common/xls_converter.h"

#include "TK/tk_file_name.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "common/error_handler.h"
#include "common/stop_signals.h"
#include "common/workbook_draft.h"
#include "common/xls_engine.h"
#include "dao/dao_database.h"
#include "dao/dao_exception.h"
#include "dao/dao_validator.h"
#include "jet/jet_engine.h"
#include "platform/utf8.h"
#include "platform/win32.h"
#include "xlsx/xlsx_db.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string_view>
#include <sys/stat.h>
#include <type_traits>
#include <unordered_set>
#include <utility>
#include <vector>

namespace {

constexpr VARTYPE vt_blob = 0x41;
constexpr VARTYPE vt_byte_array = VT_ARRAY | VT_UI1;

// "\r\n" becomes "\n", then every other "\r" becomes "\n".
std::wstring fold_line_ends(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    wchar_t c = text[i];
    if (c == L'\r') {
      if (i + 1 < text.size() && text[i + 1] == L'\n') continue;
      c = L'\n';
    }
    out.push_back(c);
  }
  return out;
}

// Without its NUL characters: no cell holds one (readers of an .xls end
// the text there, XML cannot carry it), the rest of the text stays.
std::wstring without_nul(std::wstring text) {
  text.erase(std::remove(text.begin(), text.end(), L'\0'), text.end());
  return text;
}

// A text that none of the rules of a cell changes (no NUL, no carriage
// return, surely within `limit` UTF-16 units), the common case: it is
// copied as it is.
bool keeps_as_it_is(const udb_field& field, std::size_t limit) {
  BSTR text = field.var.bstrVal;
  std::size_t size = SysStringLen(text);
  if (!text || size * 2 > limit) return false;
  for (std::size_t i = 0; i < size; ++i)
    if (text[i] == L'\r' || text[i] == L'\0') return false;
  return true;
}

bool file_exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

std::wstring with_format_extension(const std::wstring& path, int format_version) {
  if (format_version < 0 || format_version > 2) return path;
  std::size_t slash = path.rfind(L'/');
  std::size_t start = slash == std::wstring::npos ? 0 : slash + 1;
  std::wstring file = path.substr(start);
  if (file.empty() || file == L"." || file == L"..") return path;
  std::size_t dot = file.rfind(L'.');
  if (dot != std::wstring::npos) file.erase(dot);
  return path.substr(0, start) + file + (format_version == 2 ? L".xlsx" : L".xls");
}

std::wstring destination_path(const std::wstring& value) {
  if (value.empty()) return value;
  std::size_t slash = value.rfind(L'/');
  std::wstring last = slash == std::wstring::npos ? value : value.substr(slash + 1);
  std::wstring path = tk_file_wname(value).get_path();
  if ((last.empty() || last == L"." || last == L"..") && path.back() != L'/') path += L'/';
  return path;
}

xls_converter::xls_converter(conversion_front_end& front_end) : dao(false), front(front_end) {
  // The .xls formats go through DAO, whose DBEngine the spreadsheet driver
  // provides in this process.
  jet_register_dbengine();
  engines[0] = new xls_engine_50;
  engines[1] = new xls_engine_80;
  engines[2] = new xls_engine_2010;
}

xls_converter::~xls_converter() {
  for (auto& e : engines) {
    delete e;
    e = nullptr;
  }
}

std::wstring xls_converter::get_current_table() const {
  std::lock_guard<std::mutex> guard(current_lock);
  return current_table;
}

void xls_converter::set_current_table(const std::wstring& name) {
  std::lock_guard<std::mutex> guard(current_lock);
  current_table = name;
}

// Split data splits nothing: no run writes a numbered part (book(1).xls)
// beside the destination, so a file of that name is the user's and is
// neither deleted nor patched.
void xls_converter::do_patch() {
  if (tables_total == 0 || (format_version != 0 && format_version != 1)) return;
  engine_for(format_version).patch(written_path());
}

const std::wstring& xls_converter::written_path() {
  if (!draft) throw tk_mail_assertion("xls_conv", __LINE__);
  return draft->path();
}

std::unique_ptr<udb_database> xls_converter::get_xls_base() {
  tk_log::write(1, L"xls_converter::get_xls_base(%ls)", destination.c_str());
  // The run's own file, never the destination: that changes only at the end.
  const std::wstring& path = written_path();
  if (file_exists(path)) {
    if (format_version == 2) throw tk_mail_assertion("xls_conv", 552);
    return dao.open_dao_src(path, engine_for(format_version).connect, 8);
  }
  if (format_version == 2) {
    auto workbook = std::make_unique<xlsx_database>(destination, one_workbook_per_table);
    workbook->written_path = path;
    workbook->stop_requested = [this] { return stop_requested(); };
    return workbook;
  }
  return dao.create_dao_src(path, engine_for(format_version).connect);
}

std::unique_ptr<t_ftd> xls_converter::map_column(const t_ftd& source) const {
  VARTYPE type = source.vartype;
  if (type == VT_DATE && (dates_to_strings || format_version == 0))
    type = VT_BSTR;
  else if (type == vt_blob)
    type = VT_BSTR;
  tk_log::write(1, "Orig type=%d, new type=%d", source.vartype, type);
  return std::make_unique<t_ftd>(source.size, source.name, type, false, 0, ole_variant(), 0, std::wstring());
}

std::unique_ptr<udb_field> xls_converter::map_field(const udb_field& field) const {
  auto out = std::make_unique<udb_field>();
  map_field(field, *out);
  return out;
}

namespace {

// The destination value of `field` in `out`; a text of at most `limit`
// UTF-16 units. From a field that may be taken from, a text that stays as
// it is moves into `out` instead of being copied.
template <class Field>
void map_into(Field& field, udb_field& out, std::size_t limit) {
  out.name = field.name;
  out.size = field.size;
  out.b_not_null = field.b_not_null;
  out.flag = field.flag;
  VARTYPE type = field.get_type();
  if (type == VT_BSTR) {
    if (keeps_as_it_is(field, limit)) {
      if constexpr (std::is_const_v<Field>)
        static_cast<ole_variant&>(out) = field;
      else
        static_cast<ole_variant&>(out) = std::move(static_cast<ole_variant&>(field));
      return;
    }
    std::wstring text = fold_line_ends(without_nul(field.to_wstring()));
    tk_utf16_cut(text, limit);
    static_cast<ole_variant&>(out) = text;
  } else if (type == vt_blob || type == vt_byte_array) {
    static_cast<ole_variant&>(out) = "<Binary Field>";
  } else {
    static_cast<ole_variant&>(out) = field;
  }
}

}  // namespace

// Excel counts a cell's text in UTF-16 units.
void xls_converter::map_field(const udb_field& field, udb_field& out) const {
  map_into(field, out, cell_text_limit());
}

void xls_converter::take_field(udb_field& field, udb_field& out) const {
  map_into(field, out, cell_text_limit());
}

void xls_converter::convert_table(udb_database* destination_db, udb_recordset& source,
                                  const std::wstring& sheet_name, const udb_schema& schema) {
  tk_log::write(1, L"xls_converter::convert_table(%ls)", sheet_name.c_str());
  if (!destination_db) throw tk_mail_assertion("xls_conv", 311);
  std::unique_ptr<udb_recordset> table = destination_db->create_table(sheet_name, schema, udb_indexes());
  std::wstring name = get_current_table();
  records_total = source.record_count;
  tk_log::write(3, L"Converting table %ls (%d records)", name.c_str(), records_total.load());
  front.on_table_start(name, records_total);

  // A worksheet holds one header row and this many records; a longer table
  // is cut there and the item reports it.
  const int row_cap =
      format_version == 2 ? xlsx_max_rows - 1 : static_cast<int>(engine_for(format_version).max_rows);
  bool cut = false;
  // Ended by a failure of the destination rather than at the source's end.
  bool broken_off = false;
  udb_record output;
  source.first();
  while (!source.is_eof()) {
    end_run_if_stopped();
    if (records_done == row_cap) {
      cut = true;
      break;
    }
    tk_log::write(1, "Converting %d record", records_done.load());
    udb_record* record = source.get_item();
    if (!record) break;
    std::size_t n = std::min<std::size_t>(record->size(), max_columns);
    // The output record keeps its fields from one record to the next.
    if (output.size() > n) output.fields.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
      if (i == output.size()) output.push_back(std::make_unique<udb_field>());
      // The record is not read again: its texts may move into the output.
      take_field((*record)[i], output[i]);
    }
    try {
      table->append_record(output);
      item_written = true;
    } catch (const dao_exception& e) {
      error_handler::prefix_scope reset;
      error_handler::instance().set_prefix(name, records_done + 1);
      error_handler::instance().handle(e, false);
      ++items_failed;
    } catch (const tk_exception& e) {
      if (e.level != 0) throw;
      // Any other step failure ends the item's records without a message.
      --records_done;
      broken_off = true;
      break;
    }
    ++records_done;
    source.next();
  }
  // A sheet read to its end is written, an empty one too.
  if (!broken_off) item_written = true;
  tk_log::write(1, "xls_converter::save_table(active_idx=%d)", format_version);
  if (format_version == 2) static_cast<xlsx_database*>(destination_db)->save_table(*table);
  table.reset();
  // The columns past the cap are left out of the layout: lost data, told
  // as the rows past the last one are.
  const bool columns_cut = schema.size() < source.schema.size();
  if (cut || columns_cut) {
    std::string format;
    tk_w2a(engine_for(format_version).name.c_str(), format);
    const int fields = static_cast<int>(schema.size());
    char text[240];
    if (cut && columns_cut)
      std::snprintf(text, sizeof text,
                    "The table has more rows and columns than an %s worksheet holds; only the first %d fields of "
                    "its first %d records were written.",
                    format.c_str(), fields, row_cap);
    else if (cut)
      std::snprintf(text, sizeof text,
                    "The table has more rows than an %s worksheet holds; only its first %d records were written.",
                    format.c_str(), row_cap);
    else
      std::snprintf(text, sizeof text,
                    "The table has more columns than an %s worksheet holds; only its first %d fields were written.",
                    format.c_str(), fields);
    throw tk_exception(std::string(text), 0);
  }
}

std::wstring xls_converter::sheet_name_of(udb_validator& validator, const std::wstring& name) const {
  std::wstring sheet = validator.is_acceptable(name) ? name : validator.get_safe_name(name);
  tk_log::write(1, L"pi.tab_name='%ls', new_tab_name='%ls'", name.c_str(), sheet.c_str());
  return sheet;
}

void xls_converter::record_sheet_name(udb_validator& validator, const std::wstring& name,
                                      const std::wstring& sheet) const {
  if (!validator.is_acceptable(name)) {
    tk_log::write(1, L"Store generated table name '%ls'", sheet.c_str());
    validator.add_used_name(sheet);
  }
  validator.add_restricted_name(sheet);
}

bool xls_converter::item_is_blank(const std::wstring& name) {
  if (!udb_is_blank_name(name)) return false;
  ++items_failed;
  error_handler::prefix_scope reset;
  error_handler::instance().handle(
      tk_exception(std::string("A table or query whose name is blank cannot be converted: a worksheet needs a name."),
                   0),
      false);
  return true;
}

bool xls_converter::item_is_missing(udb_database& source, const std::wstring& name, const std::wstring& text) {
  if (!text.empty() || !front.checks_missing_tables() || source.is_table_exist(name)) return false;
  front.on_missing_table(name);
  ++items_failed;
  return true;
}

void xls_converter::convert_item(udb_database& source, const std::function<udb_database*()>& open_destination,
                                 const std::wstring& name, const std::wstring& text, const std::wstring& sheet) {
  udb_database* destination_db = nullptr;
  item_written = false;
  try {
    std::unique_ptr<udb_recordset> recordset = text.empty() ? source.get_table(name) : source.get_query(name, text, 1);
    std::size_t n = recordset->schema.size();
    if (n > max_columns) {
      front.on_column_cap();
      n = max_columns;
    }
    udb_schema schema(format_version != 2);
    for (std::size_t i = 0; i < n; ++i) schema.push_back(map_column(recordset->schema[i]));
    destination_db = open_destination();
    convert_table(destination_db, *recordset, sheet, schema);
    wchar_t line[64];
    std::swprintf(line, 64, L" (%d records) is converted\n", records_done.load());
    std::wstring done = L"Table '" + get_current_table() + L"'" + line;
    tk_log::write(3, L"%ls", done.c_str());
    front.on_table_converted(done);
  } catch (const tk_exception& e) {
    ++items_failed;
    // The wizard ends the process on an internal error, in the handler.
    if (e.level == 2) abandon_item(destination_db);
    error_handler::prefix_scope reset;
    error_handler::instance().set_prefix(get_current_table());
    // An error that ends the run says what became of the destination.
    if (e.level != 0) ending_told = true;
    error_handler::outcome_scope told(e.level != 0 ? old_workbook_note() : std::string());
    error_handler::instance().handle(e, false);
  }
  if (item_written) ++items_written;
}

void xls_converter::end_item() {
  records_total = 0;
  records_done = 0;
  ++tables_done;
}

std::string xls_converter::old_workbook_note() const {
  struct stat st {};
  bool there = ::stat(qm_platform::path_to_utf8(destination.c_str()).c_str(), &st) == 0 && S_ISREG(st.st_mode);
  return there ? "The existing workbook was left as it was." : std::string();
}

void xls_converter::tell_no_workbook(const char* why) {
  std::string note = old_workbook_note();
  front.on_run_outcome(std::string(why) + " " + (note.empty() ? std::string("No workbook was written.") : note));
}

void xls_converter::do_convert(udb_database& source) {
  // Before anything is written: a settings file may leave the format unset.
  engine_for(format_version);
  // The patch reads the engines' flags; wrap_text may have come from a
  // settings file or the registry as well as from the option or the page.
  for (xls_engine* e : engines)
    if (e) e->wrap = wrap_text;
  items_written = 0;
  ending_told = false;
  workbook_in_place = false;
  draft = std::make_unique<workbook_draft>(destination);
  try {
    convert_selection(source);
  } catch (const tk_final_exception&) {
    abandon_draft();
    // The user chose Abort; a stop (Cancel, a signal) has nobody to tell.
    if (!stop_requested() && !ending_told) tell_no_workbook("The conversion was aborted.");
    throw;
  } catch (...) {
    abandon_draft();
    throw;
  }
  draft.reset();
}

void xls_converter::put_workbook_in_place() {
  std::string leftover;
  {
    // The last moment at which a stop keeps the old workbook, and the
    // rename, are one step: a stop after the check finds the new one in place.
    stop_signals::final_step last;
    end_run_if_stopped();
    leftover = draft->put_in_place();
    workbook_in_place = true;
  }
  tell_leftover(leftover);
}

void xls_converter::tell_leftover(const std::string& text) noexcept {
  if (text.empty()) return;
  try {
    front.on_run_outcome(text);
  } catch (...) {
  }
}

void xls_converter::end_without_workbook() {
  abandon_draft();
  // Every item failed before or at its first record.
  if (items_failed > 0) tell_no_workbook("No table or query was converted.");
}

void xls_converter::take_selected_tables(udb_database& source, const std::vector<std::wstring>& source_tables) {
  missing_tables.clear();
  if (!front.checks_missing_tables() || !source.case_sensitive) {
    for (const auto& name : selected_tables) selected.emplace(name, std::wstring());
    return;
  }
  // Each name is looked up once, not against every table of the source:
  // a list of a million names costs what its reading costs.
  std::unordered_set<std::wstring_view> present(source_tables.begin(), source_tables.end());
  std::vector<std::wstring> kept;
  for (std::wstring& name : selected_tables) {
    // A query of that name stands for it.
    if (!present.count(name) && !selected.count(name)) {
      missing_tables.push_back(std::move(name));
      continue;
    }
    selected.emplace(name, std::wstring());
    kept.push_back(std::move(name));
  }
  selected_tables = std::move(kept);
  // A table list is sorted already.
  if (!std::is_sorted(missing_tables.begin(), missing_tables.end()))
    std::sort(missing_tables.begin(), missing_tables.end());
  missing_tables.erase(std::unique(missing_tables.begin(), missing_tables.end()), missing_tables.end());
}

void xls_converter::for_each_item(const std::function<void(const std::wstring&, const std::wstring&)>& convert) {
  auto lacking = missing_tables.begin();
  auto item = selected.begin();
  while (item != selected.end() || lacking != missing_tables.end()) {
    end_run_if_stopped();
    // In the order of the names, as if the missing ones were selected too.
    if (lacking != missing_tables.end() && (item == selected.end() || *lacking < item->first)) {
      set_current_table(*lacking);
      front.on_missing_table(*lacking);
      ++items_failed;
      ++lacking;
    } else {
      set_current_table(item->first);
      convert(item->first, item->second);
      ++item;
    }
    end_item();
  }
  missing_tables.clear();
}

void xls_converter::convert_selection(udb_database& source) {
  if (format_version != 2 && !dao.set_version_if(0))
    throw tk_exception(std::string("Failed to load Data Access Objects (DAO) support library.\nMicrosoft Access "
                                   "installation is required to proceed with\nthe application.\n"),
                       1);
  const std::vector<std::wstring>& source_tables = source.get_tables();
  take_selected_tables(source, source_tables);
  if (format_version == 2) {
    max_columns = 16384;
    do_convert_xlsx(source, source_tables);
    return;
  }
  xls_tn_validator validator(selected_tables, source_tables, 31);
  // A way out of here other than its end goes through abandon_draft.
  for_each_item([&](const std::wstring& name, const std::wstring& text) {
    tk_log::write(1, L"Processing '%ls'", name.c_str());
    if (item_is_blank(name) || item_is_missing(source, name, text)) return;
    std::unique_ptr<udb_database> destination_db;
    std::wstring sheet = sheet_name_of(validator, name);
    convert_item(source, [&] {
      destination_db = get_xls_base();
      return destination_db.get();
    }, name, text, sheet);
    record_sheet_name(validator, name, sheet);
    // A failure to close (or to write) ends the run with its message.
    if (destination_db) static_cast<dao_database&>(*destination_db).close();
  });
  end_run_if_stopped();
  // The DBEngine keeps the workbook from one item to the next; the file
  // must hold every item before the patch reads it.
  dao.refresh_cache();
  if (items_written == 0) {
    end_without_workbook();
  } else {
    do_patch();
    put_workbook_in_place();
  }
  finished = true;
}

void xls_converter::abandon_item(udb_database* destination_db) noexcept {
  try {
    // Closed here, the later close of the item does nothing.
    if (destination_db && format_version != 2) static_cast<dao_database*>(destination_db)->close();
    // Its temporary tree goes with its workbook.
    if (destination_db && format_version == 2) static_cast<xlsx_database*>(destination_db)->workbook.reset();
  } catch (...) {
  }
  abandon_draft();
}

void xls_converter::abandon_draft() noexcept {
  // What the DBEngine keeps of the run's file is written into it, which
  // goes: the engine must never write that path later.
  if (format_version != 2) {
    try {
      dao.refresh_cache();
    } catch (...) {
    }
  }
  if (draft) tell_leftover(draft->discard());
}

void xls_converter::do_convert_xlsx(udb_database& source, const std::vector<std::wstring>& source_tables) {
  // Made for the first item that has records to write.
  std::unique_ptr<udb_database> destination_db;
  xls_tn_validator validator(selected_tables, source_tables, 31);
  for_each_item([&](const std::wstring& name, const std::wstring& text) {
    if (item_is_blank(name) || item_is_missing(source, name, text)) return;
    std::wstring sheet = sheet_name_of(validator, name);
    convert_item(source, [&] {
      if (!destination_db) destination_db = get_xls_base();
      return destination_db.get();
    }, name, text, sheet);
    record_sheet_name(validator, name, sheet);
  });
  end_run_if_stopped();
  tk_log::write(1, "xls_converter::save(active_idx=%d)", format_version);
  if (destination_db && items_written > 0) {
    static_cast<xlsx_database&>(*destination_db).save();
    put_workbook_in_place();
  } else {
    destination_db.reset();
    end_without_workbook();
  }
  finished = true;
}
