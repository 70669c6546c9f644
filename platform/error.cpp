#include "platform/win32.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

DWORD GetLastError() { return static_cast<DWORD>(errno); }

void SetLastError(DWORD code) { errno = static_cast<int>(code); }

DWORD FormatMessageA(DWORD flags, LPCVOID, DWORD message_id, DWORD, LPSTR buffer, DWORD size,
                     void*) {
  if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || message_id == 0) return 0;
  char work[256];
  // GNU strerror_r returns the text, which may not be `work`.
  const char* text = strerror_r(static_cast<int>(message_id), work, sizeof work);
  if (!text || !*text) return 0;
  std::string message(text);
  message.push_back('\n');
  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    char* out = static_cast<char*>(std::malloc(message.size() + 1));
    if (!out) return 0;
    std::memcpy(out, message.c_str(), message.size() + 1);
    *reinterpret_cast<char**>(buffer) = out;
    return static_cast<DWORD>(message.size());
  }
  if (!buffer || size <= message.size()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(buffer, message.c_str(), message.size() + 1);
  return static_cast<DWORD>(message.size());
}

HLOCAL LocalFree(HLOCAL mem) {
  std::free(mem);
  return nullptr;
}
