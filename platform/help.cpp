#include "platform/help.h"

HWND HtmlHelpW(HWND owner, LPCWSTR file, UINT command, DWORD_PTR) {
  if (!file || (command != HH_DISPLAY_TOPIC && command != HH_HELP_CONTEXT)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (GetFileAttributesW(file) == INVALID_FILE_ATTRIBUTES) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  if (!qm_desktop_opener_exists()) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  HINSTANCE result = ShellExecuteW(owner, L"open", file, nullptr, nullptr, SW_SHOWNORMAL);
  if (reinterpret_cast<std::intptr_t>(result) <= 32) {
    SetLastError(static_cast<DWORD>(reinterpret_cast<std::intptr_t>(result)));
    return nullptr;
  }
  return reinterpret_cast<HWND>(result);
}
