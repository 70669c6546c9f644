#include "platform/registry.h"

#include "platform/private_file.h"
#include "platform/utf8.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

struct qm_hkey {
  std::string file;
};

namespace {

struct reg_value {
  DWORD type = REG_NONE;
  std::wstring text;            // REG_SZ
  std::vector<BYTE> bytes;      // every other type
};
using value_map = std::map<std::string, reg_value>;

const char* root_name(HKEY root) {
  if (root == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
  if (root == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
  if (root == HKEY_CLASSES_ROOT) return "HKEY_CLASSES_ROOT";
  return nullptr;
}

std::string store_folder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (xdg && *xdg) {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home && *home ? home : "/tmp") + "/.config";
  }
  return base + "/quillmark-registry";
}

bool make_folders(const std::string& path) {
  for (std::size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      std::string part = path.substr(0, i);
      if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
  }
  return true;
}

std::string quote(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out + "\"";
}

// Reads a quoted text at `pos`; false on a malformed line.
bool unquote(const std::string& line, std::size_t& pos, std::string& out) {
  if (pos >= line.size() || line[pos] != '"') return false;
  out.clear();
  for (++pos; pos < line.size(); ++pos) {
    char c = line[pos];
    if (c == '"') {
      ++pos;
      return true;
    }
    if (c == '\\' && pos + 1 < line.size()) {
      char n = line[++pos];
      out += n == 'n' ? '\n' : n == 'r' ? '\r' : n;
    } else {
      out += c;
    }
  }
  return false;
}

value_map read_values(const std::string& file) {
  value_map values;
  std::ifstream in(file, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    std::size_t pos = 0;
    std::string name;
    if (!unquote(line, pos, name) || pos >= line.size() || line[pos] != '=') continue;
    ++pos;
    reg_value v;
    if (line.compare(pos, 6, "dword:") == 0) {
      v.type = REG_DWORD;
      DWORD d = static_cast<DWORD>(std::strtoul(line.c_str() + pos + 6, nullptr, 16));
      v.bytes.resize(4);
      std::memcpy(v.bytes.data(), &d, 4);
    } else if (line.compare(pos, 4, "hex(") == 0) {
      v.type = static_cast<DWORD>(std::strtoul(line.c_str() + pos + 4, nullptr, 10));
      std::size_t colon = line.find(':', pos);
      if (colon == std::string::npos) continue;
      for (std::size_t i = colon + 1; i + 1 < line.size(); i += 2)
        v.bytes.push_back(static_cast<BYTE>(std::strtoul(line.substr(i, 2).c_str(), nullptr, 16)));
    } else {
      std::string text;
      if (!unquote(line, pos, text)) continue;
      v.type = REG_SZ;
      v.text = qm_platform::path_from_utf8(text.c_str());
    }
    values.emplace(name, std::move(v));
  }
  return values;
}

LONG write_values(const std::string& file, const value_map& values) {
  std::ostringstream out;
  out << "; registry key\n";
  for (const auto& [name, v] : values) {
    out << quote(name) << '=';
    if (v.type == REG_SZ) {
      out << quote(qm_platform::path_to_utf8(v.text.c_str()));
    } else if (v.type == REG_DWORD && v.bytes.size() == 4) {
      DWORD d;
      std::memcpy(&d, v.bytes.data(), 4);
      char hex[16];
      std::snprintf(hex, sizeof hex, "dword:%08x", d);
      out << hex;
    } else {
      out << "hex(" << v.type << "):";
      for (BYTE b : v.bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02x", b);
        out << hex;
      }
    }
    out << '\n';
  }
  std::string text = out.str();
  if (!qm_platform::replace_private_file(file, text)) return static_cast<LONG>(errno);
  return ERROR_SUCCESS;
}

bool valid_key(HKEY key) { return key && key->file.size() > 0; }

LONG query(HKEY key, const std::string& name, LPDWORD type, LPBYTE data, LPDWORD size, bool wide) {
  if (!valid_key(key)) return ERROR_INVALID_HANDLE;
  value_map values = read_values(key->file);
  auto it = values.find(name);
  if (it == values.end()) return ERROR_FILE_NOT_FOUND;
  const reg_value& v = it->second;
  std::vector<BYTE> bytes;
  if (v.type == REG_SZ) {
    if (wide) {
      bytes.resize((v.text.size() + 1) * sizeof(wchar_t));
      std::memcpy(bytes.data(), v.text.c_str(), bytes.size());
    } else {
      std::string narrow = qm_platform::path_to_utf8(v.text.c_str());
      bytes.assign(narrow.begin(), narrow.end());
      bytes.push_back(0);
    }
  } else {
    bytes = v.bytes;
  }
  if (type) *type = v.type;
  if (!size) return data ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
  if (!data) {
    *size = static_cast<DWORD>(bytes.size());
    return ERROR_SUCCESS;
  }
  if (*size < bytes.size()) {
    *size = static_cast<DWORD>(bytes.size());
    return ERROR_MORE_DATA;
  }
  std::memcpy(data, bytes.data(), bytes.size());
  *size = static_cast<DWORD>(bytes.size());
  return ERROR_SUCCESS;
}

LONG set(HKEY key, const std::string& name, reg_value v) {
  if (!valid_key(key)) return ERROR_INVALID_HANDLE;
  value_map values = read_values(key->file);
  values[name] = std::move(v);
  return write_values(key->file, values);
}

}  // namespace

LONG RegCreateKeyExA(HKEY root, LPCSTR subkey, DWORD, LPSTR, DWORD, REGSAM, void*, PHKEY result,
                     LPDWORD disposition) {
  const char* rootname = root_name(root);
  if (!rootname || !result) return ERROR_INVALID_PARAMETER;
  std::string path = subkey ? subkey : "";
  for (char& c : path)
    if (c == '\\') c = '/';
  while (!path.empty() && path.back() == '/') path.pop_back();
  std::string folder = store_folder() + "/" + rootname;
  std::string file = folder + "/" + (path.empty() ? std::string("(root)") : path) + ".reg";
  std::string file_folder = file.substr(0, file.rfind('/'));
  if (!make_folders(file_folder)) return static_cast<LONG>(errno);
  struct stat st{};
  bool existed = ::stat(file.c_str(), &st) == 0;
  if (!existed) {
    LONG rc = write_values(file, {});
    if (rc != ERROR_SUCCESS) return rc;
  }
  if (disposition) *disposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
  *result = new qm_hkey{file};
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
  if (!valid_key(key)) return ERROR_INVALID_HANDLE;
  delete key;
  return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
  return query(key, name ? name : "", type, data, size, false);
}

LONG RegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
  return query(key, qm_platform::path_to_utf8(name ? name : L""), type, data, size, true);
}

LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
  reg_value v;
  v.type = type;
  if (type == REG_SZ) {
    std::string text(reinterpret_cast<const char*>(data), size);
    if (!text.empty() && text.back() == 0) text.pop_back();
    v.text = qm_platform::path_from_utf8(text.c_str());
  } else {
    if (size && !data) return ERROR_INVALID_PARAMETER;
    v.bytes.assign(data, data + size);
  }
  return set(key, name ? name : "", std::move(v));
}

LONG RegSetValueExW(HKEY key, LPCWSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
  reg_value v;
  v.type = type;
  if (type == REG_SZ) {
    std::size_t count = size / sizeof(wchar_t);
    v.text.assign(reinterpret_cast<const wchar_t*>(data), count);
    while (!v.text.empty() && v.text.back() == 0) v.text.pop_back();
  } else {
    if (size && !data) return ERROR_INVALID_PARAMETER;
    v.bytes.assign(data, data + size);
  }
  return set(key, qm_platform::path_to_utf8(name ? name : L""), std::move(v));
}

LONG RegDeleteValueA(HKEY key, LPCSTR name) {
  if (!valid_key(key)) return ERROR_INVALID_HANDLE;
  value_map values = read_values(key->file);
  if (!values.erase(name ? name : "")) return ERROR_FILE_NOT_FOUND;
  return write_values(key->file, values);
}
