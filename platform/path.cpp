#include "platform/utf8.h"
#include "platform/win32.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

bool current_dir(std::string& out) {
  std::vector<char> buf(PATH_MAX + 1);
  if (!::getcwd(buf.data(), buf.size())) return false;
  out = buf.data();
  return true;
}

// Makes `path` absolute and folds "." and ".." without touching the disk.
bool full_path(const std::string& path, std::string& out) {
  std::string start;
  if (path.empty() || path[0] != '/') {
    if (!current_dir(start)) return false;
    start += '/';
  }
  start += path;
  std::vector<std::string> parts;
  std::size_t i = 0;
  while (i <= start.size()) {
    std::size_t j = start.find('/', i);
    if (j == std::string::npos) j = start.size();
    std::string part = start.substr(i, j - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    i = j + 1;
  }
  out.clear();
  for (const auto& p : parts) out += "/" + p;
  bool trailing = !path.empty() && (path.back() == '/' ||
                                    (path.size() >= 2 && path.compare(path.size() - 2, 2, "/.") == 0));
  if (out.empty() || trailing) out += "/";
  return true;
}

template <class C>
bool put(C* dst, std::size_t size, const std::basic_string<C>& s) {
  if (!dst) return size == 0;
  if (s.size() + 1 > size) return false;
  std::copy(s.begin(), s.end(), dst);
  dst[s.size()] = 0;
  return true;
}

template <class C>
errno_t split(const std::basic_string<C>& path, C* drive, std::size_t drive_size, C* dir,
              std::size_t dir_size, C* name, std::size_t name_size, C* ext, std::size_t ext_size) {
  std::size_t slash = path.rfind(C('/'));
  std::basic_string<C> d = slash == std::basic_string<C>::npos ? std::basic_string<C>() : path.substr(0, slash + 1);
  std::basic_string<C> rest = slash == std::basic_string<C>::npos ? path : path.substr(slash + 1);
  std::size_t dot = rest.rfind(C('.'));
  std::basic_string<C> n = dot == std::basic_string<C>::npos ? rest : rest.substr(0, dot);
  std::basic_string<C> e = dot == std::basic_string<C>::npos ? std::basic_string<C>() : rest.substr(dot);
  if (!put(drive, drive_size, std::basic_string<C>()) || !put(dir, dir_size, d) ||
      !put(name, name_size, n) || !put(ext, ext_size, e)) {
    if (drive && drive_size) drive[0] = 0;
    if (dir && dir_size) dir[0] = 0;
    if (name && name_size) name[0] = 0;
    if (ext && ext_size) ext[0] = 0;
    return ERANGE;
  }
  return 0;
}

template <class C>
errno_t make(C* path, std::size_t size, const C* drive, const C* dir, const C* name, const C* ext) {
  if (!path || size == 0) return EINVAL;
  std::basic_string<C> out;
  if (drive) out += drive;
  if (dir && *dir) {
    out += dir;
    if (out.back() != C('/')) out += C('/');
  }
  if (name) out += name;
  if (ext && *ext) {
    if (*ext != C('.')) out += C('.');
    out += ext;
  }
  if (!put(path, size, out)) {
    path[0] = 0;
    return ERANGE;
  }
  return 0;
}

}  // namespace

char* _fullpath(char* absolute, const char* relative, std::size_t size) {
  std::string out;
  if (!full_path(relative ? relative : "", out)) return nullptr;
  if (!absolute) return ::strdup(out.c_str());
  if (out.size() + 1 > size) {
    errno = ERANGE;
    return nullptr;
  }
  std::memcpy(absolute, out.c_str(), out.size() + 1);
  return absolute;
}

wchar_t* _wfullpath(wchar_t* absolute, const wchar_t* relative, std::size_t size) {
  std::string out;
  if (!full_path(qm_platform::path_to_utf8(relative ? relative : L""), out)) return nullptr;
  std::wstring wide = qm_platform::path_from_utf8(out.c_str());
  if (!absolute) {
    auto* buf = static_cast<wchar_t*>(std::malloc((wide.size() + 1) * sizeof(wchar_t)));
    if (!buf) return nullptr;
    std::wmemcpy(buf, wide.c_str(), wide.size() + 1);
    return buf;
  }
  if (wide.size() + 1 > size) {
    errno = ERANGE;
    return nullptr;
  }
  std::wmemcpy(absolute, wide.c_str(), wide.size() + 1);
  return absolute;
}

errno_t _splitpath_s(const char* path, char* drive, std::size_t drive_size, char* dir,
                     std::size_t dir_size, char* name, std::size_t name_size, char* ext,
                     std::size_t ext_size) {
  if (!path) return EINVAL;
  return split<char>(path, drive, drive_size, dir, dir_size, name, name_size, ext, ext_size);
}

errno_t _wsplitpath_s(const wchar_t* path, wchar_t* drive, std::size_t drive_size, wchar_t* dir,
                      std::size_t dir_size, wchar_t* name, std::size_t name_size, wchar_t* ext,
                      std::size_t ext_size) {
  if (!path) return EINVAL;
  return split<wchar_t>(path, drive, drive_size, dir, dir_size, name, name_size, ext, ext_size);
}

errno_t _makepath_s(char* path, std::size_t size, const char* drive, const char* dir,
                    const char* name, const char* ext) {
  return make<char>(path, size, drive, dir, name, ext);
}

errno_t _wmakepath_s(wchar_t* path, std::size_t size, const wchar_t* drive, const wchar_t* dir,
                     const wchar_t* name, const wchar_t* ext) {
  return make<wchar_t>(path, size, drive, dir, name, ext);
}

char* _getcwd(char* buffer, int size) {
  std::string cwd;
  if (!current_dir(cwd)) return nullptr;
  if (!buffer) return ::strdup(cwd.c_str());
  if (size <= 0 || cwd.size() + 1 > static_cast<std::size_t>(size)) {
    errno = ERANGE;
    return nullptr;
  }
  std::memcpy(buffer, cwd.c_str(), cwd.size() + 1);
  return buffer;
}

wchar_t* _wgetcwd(wchar_t* buffer, int size) {
  std::string cwd;
  if (!current_dir(cwd)) return nullptr;
  std::wstring wide = qm_platform::path_from_utf8(cwd.c_str());
  if (!buffer) {
    auto* buf = static_cast<wchar_t*>(std::malloc((wide.size() + 1) * sizeof(wchar_t)));
    if (buf) std::wmemcpy(buf, wide.c_str(), wide.size() + 1);
    return buf;
  }
  if (size <= 0 || wide.size() + 1 > static_cast<std::size_t>(size)) {
    errno = ERANGE;
    return nullptr;
  }
  std::wmemcpy(buffer, wide.c_str(), wide.size() + 1);
  return buffer;
}

int _chdir(const char* dir) {
  if (!dir) {
    errno = EINVAL;
    return -1;
  }
  return ::chdir(dir);
}

int _wchdir(const wchar_t* dir) {
  if (!dir) {
    errno = EINVAL;
    return -1;
  }
  return ::chdir(qm_platform::path_to_utf8(dir).c_str());
}
