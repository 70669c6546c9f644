#include "UDB/udb_database.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "UDB/udb_compare.h"

udb_database::udb_database(const std::wstring& name, std::int32_t mode, bool case_sensitive)
    : mode(mode), name(name), case_sensitive(case_sensitive) {
  tk_log::write(2, L"udb_database::ctor(%ls)", name.c_str());
}

udb_database::~udb_database() { tk_log::write(1, "udb_database::dtor"); }

void udb_database::create_index(const std::wstring&, const udb_index&) {}

void udb_database::create_indexes(const std::wstring& table, const udb_indexes& indexes) {
  tk_log::write(2, L"udb_database::create_indexes(%ls)", table.c_str());
  for (const auto& index : indexes) create_index(table, index);
}

void udb_database::create_views(const udb_views&) {}

// Each name looked at is not logged: the log would grow with the square of
// the tables.
std::size_t udb_database::find_table(const std::wstring& table) const {
  for (std::size_t i = 0; i < table_names.size(); ++i) {
    if (case_sensitive ? table_names[i] == table : udb_same_name(table_names[i], table)) return i;
  }
  return table_names.size();
}

bool udb_database::delete_tab(const std::wstring& table) {
  tk_log::write(2, L"udb_database::delete_tab(%ls)", table.c_str());
  std::size_t i = find_table(table);
  if (i == table_names.size()) {
    tk_log::write(2, "Table not found!");
    return false;
  }
  table_names.erase(table_names.begin() + static_cast<std::ptrdiff_t>(i));
  return true;
}

void udb_database::get_name_list(std::vector<std::wstring>& names) { names.clear(); }

void udb_database::query(const std::wstring&) { throw tk_mail_assertion("udb_db", 86); }

void udb_database::create_relationships(const udb_relationships&) {}

std::vector<std::wstring>& udb_database::get_tables() { return table_names; }

bool udb_database::is_table_exist(const std::wstring& table) {
  tk_log::write(2, L"udb_database::is_table_exist(%ls,case_sensitive=%d)", table.c_str(), case_sensitive ? 1 : 0);
  bool found = find_table(table) != table_names.size();
  tk_log::write(2, found ? "table exists" : "table not found");
  return found;
}
