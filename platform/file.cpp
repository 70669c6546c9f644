#include "platform/handle.h"
#include "platform/utf8.h"
#include "platform/write_all.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct file_object : qm_handle {
  int fd;
  explicit file_object(int d) : fd(d) {}
  ~file_object() override { ::close(fd); }
  DWORD wait(DWORD) override { return WAIT_OBJECT_0; }
};

HANDLE open_file(const std::string& name, DWORD access, DWORD disposition) {
  int flags = 0;
  bool write = access & GENERIC_WRITE;
  if ((access & GENERIC_READ) && write)
    flags = O_RDWR;
  else if (write)
    flags = O_WRONLY;
  else
    flags = O_RDONLY;
  switch (disposition) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING: flags |= O_TRUNC; break;
    case OPEN_EXISTING: break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
  }
  struct stat st{};
  if (::stat(name.c_str(), &st) == 0) {
    // Folders are not files, and a file with no write bit is read-only for
    // everyone, the super-user included.
    if (S_ISDIR(st.st_mode) ||
        (write && !(st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)))) {
      SetLastError(ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
  }
  // Only regular files: opening a named pipe would wait for a writer, and a
  // device never ends. Opened without waiting, then checked.
  int fd = ::open(name.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) return INVALID_HANDLE_VALUE;
  struct stat opened{};
  if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
    ::close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return new file_object(fd);
}

}  // namespace

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD, void*, DWORD disposition, DWORD, HANDLE) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  return open_file(name, access, disposition);
}

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD, void*, DWORD disposition, DWORD, HANDLE) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  return open_file(qm_platform::path_to_utf8(name), access, disposition);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD to_read, LPDWORD read, void*) {
  auto* f = dynamic_cast<file_object*>(file);
  if (read) *read = 0;
  if (!f) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  ssize_t n;
  do n = ::read(f->fd, buffer, to_read);
  while (n < 0 && errno == EINTR);
  if (n < 0) return FALSE;
  if (read) *read = static_cast<DWORD>(n);
  return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD to_write, LPDWORD written, void*) {
  auto* f = dynamic_cast<file_object*>(file);
  if (written) *written = 0;
  if (!f) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::size_t done = 0;
  int error = qm_platform::write_all(f->fd, buffer, to_write, &done);
  if (written) *written = static_cast<DWORD>(done);
  if (error) {
    errno = error;
    return FALSE;
  }
  return TRUE;
}

BOOL DeleteFileA(LPCSTR name) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  struct stat st{};
  if (::lstat(name, &st) == 0 && S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return ::unlink(name) == 0 ? TRUE : FALSE;
}

BOOL DeleteFileW(LPCWSTR name) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return DeleteFileA(qm_platform::path_to_utf8(name).c_str());
}

DWORD GetFileAttributesW(LPCWSTR name) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_FILE_ATTRIBUTES;
  }
  struct stat st{};
  if (::stat(qm_platform::path_to_utf8(name).c_str(), &st) != 0) return INVALID_FILE_ATTRIBUTES;
  if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
  DWORD attrs = FILE_ATTRIBUTE_NORMAL;
  if (!(st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH))) attrs = FILE_ATTRIBUTE_READONLY;
  return attrs;
}

BOOL CreateDirectoryW(LPCWSTR name, void*) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return ::mkdir(qm_platform::path_to_utf8(name).c_str(), 0777) == 0 ? TRUE : FALSE;
}

BOOL RemoveDirectoryW(LPCWSTR name) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return ::rmdir(qm_platform::path_to_utf8(name).c_str()) == 0 ? TRUE : FALSE;
}

DWORD GetModuleFileNameA(HMODULE, LPSTR buffer, DWORD size) {
  char path[PATH_MAX + 1];
  ssize_t n = ::readlink("/proc/self/exe", path, PATH_MAX);
  if (n <= 0) return 0;
  path[n] = 0;
  if (!buffer || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (static_cast<DWORD>(n) >= size) {
    std::memcpy(buffer, path, size - 1);
    buffer[size - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  std::memcpy(buffer, path, static_cast<std::size_t>(n) + 1);
  return static_cast<DWORD>(n);
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size) {
  char path[PATH_MAX + 1];
  if (GetModuleFileNameA(module, path, sizeof path) == 0) return 0;
  std::wstring wide = qm_platform::path_from_utf8(path);
  if (!buffer || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (wide.size() >= size) {
    std::wmemcpy(buffer, wide.c_str(), size - 1);
    buffer[size - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  std::wmemcpy(buffer, wide.c_str(), wide.size() + 1);
  return static_cast<DWORD>(wide.size());
}
