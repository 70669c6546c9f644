#include "UDB/udb_validator.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"

#include <algorithm>
#include <cwchar>

bool udb_is_blank_name(const std::wstring& name) { return name.find_first_not_of(L" \t\n\r") == std::wstring::npos; }

udb_validator::udb_validator(std::uint32_t max_length) : max_length(max_length) {
  tk_log::write(2, "udb_validator::ctor");
}

bool udb_validator::is_illegal(wchar_t c) const {
  return std::find(illegal_chars.begin(), illegal_chars.end(), c) != illegal_chars.end();
}

bool udb_validator::is_acceptable(const std::wstring& name) {
  tk_log::write(2, L"udb_validator::is_acceptable(%ls)", name.c_str());
  if (max_length != 0 && tk_utf16_length(name) > max_length) {
    tk_log::write(1, "The name is too long");
    return false;
  }
  if (is_restricted(name)) {
    tk_log::write(2, "The name is restricted");
    return false;
  }
  for (wchar_t c : name) {
    if (is_illegal(c)) {
      tk_log::write(2, L"The name contains illegal: %lc", static_cast<wint_t>(c));
      return false;
    }
  }
  return true;
}

bool udb_validator::is_duplicated(const std::wstring& name) {
  tk_log::write(2, L"udb_validator::is_duplicated(%ls)", name.c_str());
  if (!used.folded.has(name, full_folding)) return false;
  tk_log::write(1, "Name is duplicated");
  return true;
}

std::wstring udb_validator::get_safe_name(const std::wstring& name) {
  tk_log::write(1, L"udb_validator::get_safe_name(%ls)", name.c_str());
  std::wstring safe = name;
  if (max_length != 0 && tk_utf16_length(safe) > max_length) tk_utf16_cut(safe, max_length - 1);
  for (wchar_t& c : safe)
    if (is_illegal(c)) c = L'_';
  if (is_acceptable(safe) && !is_duplicated(safe)) return safe;

  // Room for a five-digit counter.
  if (max_length != 0 && tk_utf16_length(safe) + 5 > max_length)
    tk_utf16_cut(safe, max_length > 6 ? max_length - 6 : 0);
  int& counter = next_counter[safe];
  for (; counter <= 99999; ++counter) {
    wchar_t digits[8];
    std::swprintf(digits, sizeof digits / sizeof digits[0], L"%05d", counter);
    std::wstring candidate = safe + digits;
    if (is_acceptable(candidate) && !is_duplicated(candidate)) return candidate;
  }
  throw tk_mail_assertion("udb_vali", 54);
}

void udb_validator::add_existing_name(const std::wstring& name) {
  tk_log::write(1, L"udb_validator::add_existing_name(%ls)", name.c_str());
  add_used_name(name);
  add_restricted_name(name);
}

void udb_validator::add_used_name(const std::wstring& name) {
  used.names.push_back(name);
  used.folded.add(name);
}

void udb_validator::add_restricted_name(const std::wstring& name) {
  restricted.names.push_back(name);
  restricted.folded.add(name);
}

bool udb_validator::is_restricted(const std::wstring& name) const {
  return restricted.folded.has(name, full_folding);
}

std::wstring udb_unique_index_name(udb_validator& validator, const std::wstring& name) {
  std::wstring wanted = name + L"_UI";
  std::wstring result = validator.is_acceptable(wanted) ? wanted : validator.get_safe_name(wanted);
  validator.add_existing_name(result);
  return result;
}
