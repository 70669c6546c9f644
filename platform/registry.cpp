#include "platform/registry.h"

#include "platform/private_file.h"
#include "platform/system_error.h"
#include "platform/utf8.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <optional>
#include <pwd.h>
#include <sstream>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct reg_value {
  DWORD type = REG_NONE;
  std::wstring text;            // REG_SZ
  std::vector<BYTE> bytes;      // every other type
};
using value_map = std::map<std::string, reg_value>;

}  // namespace

struct qm_hkey {
  std::string store;  // the store's folder, which holds the lock
  std::string file;
  // The values as the key was opened, with this handle's changes.
  value_map values;
  // What the next flush writes: a value, or nothing for a deletion.
  std::map<std::string, std::optional<reg_value>> changes;
};

namespace {

thread_local qm_platform::registry_problem last_problem;
thread_local LONG last_code = ERROR_SUCCESS;

// Records where and why a call stopped; always false.
bool fail(int code, const std::string& path, const std::string& reason = std::string()) {
  last_code = code;
  last_problem = {path, reason.empty() ? qm_platform::system_error_text(code) : reason};
  return false;
}

// The same, for a call that returns the code.
LONG failed(int code, const std::string& path) {
  fail(code, path);
  return code;
}

const char* root_name(HKEY root) {
  if (root == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
  if (root == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
  if (root == HKEY_CLASSES_ROOT) return "HKEY_CLASSES_ROOT";
  return nullptr;
}

// $HOME, else the home folder of the account: never a folder that another
// user could have made first.
std::string home_folder() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found || !found->pw_dir)
    return std::string();
  return found->pw_dir;
}

// The folder of the store; false, with the problem recorded, when the user
// has no home folder.
bool store_folder(std::string& folder) {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (xdg && *xdg) {
    base = xdg;
  } else {
    std::string home = home_folder();
    if (home.empty()) return fail(ERROR_PATH_NOT_FOUND, "~/.config/quillmark-registry", "the user has no home folder");
    base = home + "/.config";
  }
  folder = base + "/quillmark-registry";
  return true;
}

// The folder exists, made with mode 0700 when it was missing; false, with
// the problem recorded, when it cannot be made or is no folder.
bool make_folder(const std::string& path, struct stat& st) {
  if (::stat(path.c_str(), &st) != 0) {
    if (errno != ENOENT) return fail(errno, path);
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return fail(errno, path);
    if (::stat(path.c_str(), &st) != 0) return fail(errno, path);
  }
  if (!S_ISDIR(st.st_mode)) return fail(ENOTDIR, path);
  return true;
}

// The store holds the Oracle password: its folders are the user's own, and
// no one else can put a file or a folder of theirs into them.
bool own_folder(const std::string& path) {
  struct stat st{};
  if (!make_folder(path, st)) return false;
  if (st.st_uid != ::geteuid()) return fail(ERROR_ACCESS_DENIED, path, "the folder belongs to another user");
  if (st.st_mode & (S_IWGRP | S_IWOTH))
    return fail(ERROR_ACCESS_DENIED, path, "the folder can be written by other users");
  return true;
}

// The folders from the root down to the key's file: those above the store
// made when missing, the store's own ones checked as well.
bool prepare_folders(const std::string& store, const std::string& file) {
  std::string folder = file.substr(0, file.rfind('/'));
  for (std::size_t i = 1; i <= folder.size(); ++i) {
    if (i < folder.size() && folder[i] != '/') continue;
    std::string part = folder.substr(0, i);
    struct stat st{};
    bool in_store = part.size() >= store.size();
    if (!(in_store ? own_folder(part) : make_folder(part, st))) return false;
  }
  return true;
}

// The store's exclusive lock, held while a key's file is replaced, so that
// the changes of two programs never mix in one file.
class store_lock {
 public:
  ~store_lock() {
    if (fd >= 0) ::close(fd);
  }
  bool take(const std::string& store) {
    fd = ::open((store + "/.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return fail(errno, store);
    // A replace takes moments; a holder that never lets go is stopped, not busy.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      if (errno != EWOULDBLOCK && errno != EINTR) return fail(errno, store);
      if (std::chrono::steady_clock::now() > deadline)
        return fail(EWOULDBLOCK, store, "another program keeps the store locked");
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }

 private:
  int fd = -1;
};

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

// The whole file; false, with errno set, when it cannot be read.
bool read_whole(const std::string& file, std::string& text) {
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  text.clear();
  char buffer[8192];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      int saved = errno;
      ::close(fd);
      errno = saved;
      return n == 0;
    }
    text.append(buffer, static_cast<std::size_t>(n));
  }
}

// The values of a key's file; false, with errno set, when it cannot be
// read (ENOENT: the key does not exist yet).
bool read_values(const std::string& file, value_map& values) {
  std::string text;
  if (!read_whole(file, text)) return false;
  values.clear();
  std::istringstream in(text);
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
  return true;
}

// Replaces the key's file with the values; false, with the problem
// recorded, when it cannot.
bool write_values(const std::string& file, const value_map& values) {
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
  qm_platform::replace_failure failure = qm_platform::replace_private_file(file, out.str());
  if (!failure.failed()) return true;
  if (failure.error) return fail(failure.error, file);
  return fail(ERROR_ACCESS_DENIED, file, qm_platform::path_to_utf8(failure.reason.c_str()));
}

bool valid_key(HKEY key) { return key && key->file.size() > 0; }

// A key path is names separated by backslashes, each a plain file name
// here: no empty name (a leading or doubled separator), no "." or "..", no
// "/", so that no key lies outside its root's folder. Trailing separators
// are dropped.
bool key_path_of(const char* subkey, std::string& path) {
  path = subkey ? subkey : "";
  while (!path.empty() && path.back() == '\\') path.pop_back();
  if (path.empty()) return true;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = path.find('\\', start);
    std::string name = path.substr(start, end - start);
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) return false;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  for (char& c : path)
    if (c == '\\') c = '/';
  return true;
}

LONG query(HKEY key, const std::string& name, LPDWORD type, LPBYTE data, LPDWORD size, bool wide) {
  if (!valid_key(key)) return ERROR_INVALID_HANDLE;
  auto it = key->values.find(name);
  if (it == key->values.end()) return ERROR_FILE_NOT_FOUND;
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
  key->values[name] = v;
  key->changes[name] = std::move(v);
  return ERROR_SUCCESS;
}

}  // namespace

namespace qm_platform {
registry_problem registry_last_problem() { return last_problem; }
}  // namespace qm_platform

namespace {
std::string key_file(const std::string& store, const char* rootname, const std::string& path) {
  return store + "/" + rootname + "/" + (path.empty() ? std::string("(root)") : path) + ".reg";
}
}  // namespace

namespace qm_platform {
std::string registry_key_file(HKEY root, const char* subkey) {
  const char* rootname = root_name(root);
  std::string path, store;
  registry_problem kept = last_problem;
  bool found = rootname && key_path_of(subkey, path) && store_folder(store);
  last_problem = kept;
  return found ? key_file(store, rootname, path) : std::string();
}
}  // namespace qm_platform

LONG RegCreateKeyExA(HKEY root, LPCSTR subkey, DWORD, LPSTR, DWORD, REGSAM, void*, PHKEY result,
                     LPDWORD disposition) {
  const char* rootname = root_name(root);
  if (!rootname || !result) return ERROR_INVALID_PARAMETER;
  std::string path;
  if (!key_path_of(subkey, path)) return ERROR_INVALID_PARAMETER;
  last_problem = {};
  std::string store;
  if (!store_folder(store)) return last_code;
  std::string file = key_file(store, rootname, path);
  if (!prepare_folders(store, file)) return last_code;
  auto key = std::make_unique<qm_hkey>();
  key->store = store;
  key->file = file;
  bool existed = read_values(file, key->values);
  if (!existed) {
    if (errno != ENOENT) return failed(errno, file);
    // Made under the lock: another program may be making it, or already
    // writing its values into it.
    store_lock lock;
    if (!lock.take(store)) return last_code;
    existed = read_values(file, key->values);
    if (!existed) {
      if (errno != ENOENT) return failed(errno, file);
      if (!write_values(file, {})) return last_code;
    }
  }
  if (disposition) *disposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
  *result = key.release();
  return ERROR_SUCCESS;
}

LONG RegFlushKey(HKEY key) {
  if (!valid_key(key)) return ERROR_INVALID_HANDLE;
  if (key->changes.empty()) return ERROR_SUCCESS;
  last_problem = {};
  // The folders again: the session may have lasted long enough for them to change.
  if (!prepare_folders(key->store, key->file)) return last_code;
  store_lock lock;
  if (!lock.take(key->store)) return last_code;
  // What other programs wrote meanwhile stays, but for the values this key changed.
  value_map current;
  if (!read_values(key->file, current) && errno != ENOENT) return failed(errno, key->file);
  for (auto& [name, change] : key->changes) {
    if (change)
      current[name] = *change;
    else
      current.erase(name);
  }
  if (!write_values(key->file, current)) return last_code;
  key->values = std::move(current);
  key->changes.clear();
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
  if (!valid_key(key)) return ERROR_INVALID_HANDLE;
  LONG rc = RegFlushKey(key);
  delete key;
  return rc;
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
  std::string n = name ? name : "";
  if (!key->values.erase(n)) return ERROR_FILE_NOT_FOUND;
  key->changes[n] = std::nullopt;
  return ERROR_SUCCESS;
}
