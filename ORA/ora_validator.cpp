#include "ORA/ora_validator.h"

#include "TK/tk_log.h"
#include "platform/win32.h"

#include <cwchar>

namespace {

bool allowed(wchar_t c) {
  return IsCharAlphaNumericW(c) || c == L'_' || c == L' ' || c == L'.' || c == L'#';
}

}  // namespace

ora_validator::ora_validator() : udb_validator(max_name_length) { tk_log::write(2, "ora_validator::ctor"); }

bool ora_validator::is_acceptable(const std::wstring& name) {
  tk_log::write(1, L"ora_validator::is_acceptable(%ls)", name.c_str());
  if (name.empty() || name.size() > max_length) return false;
  if (!IsCharAlphaW(name[0])) return false;
  for (wchar_t c : name) {
    if (!allowed(c)) {
      tk_log::write(2, L"Name contains invalid symbol: '%lc'", static_cast<wint_t>(c));
      return false;
    }
  }
  return !is_restricted(name);
}

std::wstring ora_validator::get_safe_name(const std::wstring& name) {
  tk_log::write(1, L"ora_validator::get_safe_name(%ls)", name.c_str());
  std::wstring safe = name;
  if (safe.empty() || !IsCharAlphaW(safe[0])) safe.insert(safe.begin(), L'A');
  if (safe.size() > max_length) safe.resize(max_length - 1);
  for (wchar_t& c : safe)
    if (!allowed(c)) c = L'_';
  return udb_validator::get_safe_name(safe);
}

void ora_validator::add_used_name(const std::wstring& name) {
  tk_log::write(1, L"udb_validator::add_existing_name(%ls)", name.c_str());
  udb_validator::add_used_name(name);
}

ora_fn_validator::ora_fn_validator(const udb_schema& schema) {
  tk_log::write(1, "ora_fn_validator::ctor1");
  for (const auto& column : schema.fields) add_used_name(column->name);
}

ora_fn_validator::ora_fn_validator(const udb_record& record) {
  tk_log::write(1, "ora_fn_validator::ctor2");
  for (const auto& field : record.fields) add_used_name(field->name);
}

ora_tn_validator::ora_tn_validator(const std::vector<std::wstring>& first, const std::vector<std::wstring>& second) {
  tk_log::write(1, "ora_tn_validator::ctor");
  for (const std::wstring& name : first) add_used_name(name);
  for (const std::wstring& name : second) add_used_name(name);
}

ora_in_validator::ora_in_validator() { tk_log::write(2, "ora_in_validator::ctor"); }

void ora_in_validator::load(const udb_indexes& indexes) {
  tk_log::write(2, "ora_in_validator::load");
  for (const udb_index& index : indexes) names.add_used_name(index.name);
}
