#include "platform/win32.h"

#include "platform/system_error.h"
#include "platform/utf8.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qm_platform {

std::string system_error_text(int error) {
  if (error == 0) return std::string();
  char work[256];
  // GNU strerror_r returns the text, which may not be `work`.
  const char* text = strerror_r(error, work, sizeof work);
  return text ? text : std::string();
}

std::wstring system_error_wide_text(int error) { return text_from_system(system_error_text(error).c_str()); }

}  // namespace qm_platform

DWORD GetLastError() { return static_cast<DWORD>(errno); }

void SetLastError(DWORD code) { errno = static_cast<int>(code); }

DWORD FormatMessageA(DWORD flags, LPCVOID, DWORD message_id, DWORD, LPSTR buffer, DWORD size,
                     void*) {
  if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM)) return 0;
  std::string system = qm_platform::system_error_text(static_cast<int>(message_id));
  if (system.empty()) return 0;
  const char* text = system.c_str();
  std::size_t length = system.size() + 1;  // with the line end
  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    char* out = static_cast<char*>(std::malloc(length + 1));
    if (!out) return 0;
    std::snprintf(out, length + 1, "%s\n", text);
    *reinterpret_cast<char**>(buffer) = out;
    return static_cast<DWORD>(length);
  }
  if (!buffer || size <= length) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::snprintf(buffer, size, "%s\n", text);
  return static_cast<DWORD>(length);
}

HLOCAL LocalFree(HLOCAL mem) {
  std::free(mem);
  return nullptr;
}
