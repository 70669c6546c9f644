#include "dao/dao_validator.h"

#include "TK/tk_log.h"
#include "TK/tk_utils.h"

dao_validator::dao_validator(std::uint32_t limit) : udb_validator(limit) {
  tk_log::write(1, "dao_validator::ctor");
  illegal_chars = {L'`', L'!', L'[', L']', L'.', L'/', L'\''};
}

bool dao_validator::is_acceptable(const std::wstring& name) {
  tk_log::write(2, L"dao_validator::is_acceptable(%ls)", name.c_str());
  if (name.empty() || name.front() == L' ' || name.back() == L' ') return false;
  return udb_validator::is_acceptable(name);
}

std::wstring dao_validator::get_safe_name(const std::wstring& name) {
  tk_log::write(1, L"dao_validator::get_safe_name(%ls)", name.c_str());
  return udb_validator::get_safe_name(tk_trim(name));
}

// The names are taken, not restricted: a source name stays acceptable as
// its own destination name, and only generated names must avoid them.
dao_fn_validator::dao_fn_validator(const udb_schema& schema) : dao_validator(max_name_length) {
  tk_log::write(1, "dao_fn_validator::ctor");
  for (const auto& f : schema.fields) {
    tk_log::write(1, L"udb_validator::add_existing_name(%ls)", f->name.c_str());
    add_used_name(f->name);
  }
}

dao_in_validator::dao_in_validator(const udb_indexes& indexes) {
  tk_log::write(1, "dao_in_validator::ctor");
  for (const auto& i : indexes) {
    tk_log::write(1, L"udb_validator::add_existing_name(%ls)", i.name.c_str());
    add_used_name(i.name);
  }
}

xls_tn_validator::xls_tn_validator(const std::vector<std::wstring>& first, const std::vector<std::wstring>& second,
                                   std::uint32_t limit)
    : udb_validator(limit) {
  tk_log::write(2, "xls_tn_validator::ctor");
  illegal_chars = {L'\\', L'?', L'*', L':', L'$', L'[', L']', L'/', L'\''};
  full_folding = true;
  add_restricted_name(L"History");
  // Taken, not restricted: a selected name stays acceptable as its own sheet
  // name, and only generated names must avoid these.
  for (const auto& name : first) add_used_name(name);
  for (const auto& name : second) add_used_name(name);
}

bool xls_tn_validator::is_illegal(wchar_t c) const {
  auto u = static_cast<std::uint32_t>(c);
  if (u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0xFFFE || u == 0xFFFF || (u >= 0xD800 && u <= 0xDFFF) ||
      u > 0x10FFFF)
    return true;
  return udb_validator::is_illegal(c);
}
