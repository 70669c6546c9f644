#include "TK/tk_reg_key.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "platform/utf8.h"

#include <vector>

tk_reg_key::tk_reg_key(const char* sub) : subkey(sub ? sub : "") {}

tk_reg_key::~tk_reg_key() { close(); }

LONG tk_reg_key::open(HKEY root, const char* sub, LPSTR class_name, DWORD options, REGSAM access, void* security,
                      LPDWORD disposition) {
  if (!root) throw tk_mail_assertion("tk_regk", 64);
  HKEY opened = nullptr;
  DWORD how = 0;
  LONG rc = RegCreateKeyExA(root, sub, 0, class_name, options, access, security, &opened, &how);
  if (rc != ERROR_SUCCESS) return rc;
  rc = close();
  key = opened;
  if (disposition) *disposition = how;
  return rc;
}

LONG tk_reg_key::close() {
  if (!key) return ERROR_SUCCESS;
  LONG rc = RegCloseKey(key);
  key = nullptr;
  return rc;
}

LONG tk_reg_key::get_value(const char* name, DWORD& value) {
  if (!name) throw tk_mail_assertion("tk_regk", 98);
  tk_log::write(1, "tk_reg_key::get_value(ulong, %s)", name);
  DWORD type = 0, size = sizeof value;
  DWORD read = 0;
  LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(&read), &size);
  tk_log::write(1, "type=%d, size=%d", static_cast<int>(type), static_cast<int>(size));
  if (rc == ERROR_SUCCESS && (type != REG_DWORD || size != sizeof value)) rc = ERROR_INVALID_PARAMETER;
  if (rc == ERROR_SUCCESS) value = read;
  return rc;
}

LONG tk_reg_key::get_value(const char* name, wchar_t* buffer, DWORD* size) {
  if (!size) throw tk_mail_assertion("tk_regk", 132);
  if (!name) throw tk_mail_assertion("tk_regk", 133);
  tk_log::write(1, "tk_reg_key::get_value(LPWSTR, %s)", name);
  DWORD type = 0;
  std::wstring wide = qm_platform::path_from_utf8(name);
  LONG rc = RegQueryValueExW(key, wide.c_str(), nullptr, &type, reinterpret_cast<LPBYTE>(buffer), size);
  tk_log::write(1, "type=%d, size=%d", static_cast<int>(type), static_cast<int>(*size));
  if (rc == ERROR_SUCCESS && type != REG_SZ) rc = ERROR_INVALID_PARAMETER;
  return rc;
}

LONG tk_reg_key::set_value(const char* name, DWORD value) {
  if (!key) throw tk_mail_assertion("tk_regk", 149);
  return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

LONG tk_reg_key::set_value(const char* name, const std::wstring& text) {
  if (!name) throw tk_mail_assertion("tk_regk", 164);
  if (!key) throw tk_mail_assertion("tk_regk", 165);
  std::wstring wide = qm_platform::path_from_utf8(name);
  return RegSetValueExW(key, wide.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

bool tk_reg_key::serialize_value(const char* name, DWORD& value, bool store) {
  if (!key) return false;
  if (store) return set_value(name, value) == ERROR_SUCCESS;
  DWORD read = 0;
  if (get_value(name, read) != ERROR_SUCCESS) return false;
  value = read;
  return true;
}

bool tk_reg_key::serialize_value(const char* name, bool& value, bool store) {
  if (!key) return false;
  if (store) return set_value(name, static_cast<DWORD>(value ? 1 : 0)) == ERROR_SUCCESS;
  DWORD read = 0;
  if (get_value(name, read) != ERROR_SUCCESS) return false;
  value = read != 0;
  return true;
}

bool tk_reg_key::serialize_value(const char* name, std::wstring& value, bool store) {
  if (!key) return false;
  if (store) return set_value(name, value) == ERROR_SUCCESS;
  DWORD size = 0;
  if (get_value(name, nullptr, &size) != ERROR_SUCCESS || size == 0) return false;
  std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 2, L'\0');
  DWORD capacity = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  if (get_value(name, buffer.data(), &capacity) != ERROR_SUCCESS) return false;
  value = buffer.data();
  return true;
}
