#include "platform/clipboard.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

namespace {

struct global_block {
  std::size_t size;
  // the bytes follow
};

std::mutex clipboard_lock;
qm_clipboard_hook hook;
bool opened = false;
bool emptied = false;
HGLOBAL pending = nullptr;

std::wstring utf16_to_wide(const char16_t* text) {
  std::wstring out;
  for (const char16_t* p = text; *p; ++p) {
    char32_t c = *p;
    if (c >= 0xD800 && c < 0xDC00 && p[1] >= 0xDC00 && p[1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (p[1] - 0xDC00);
      ++p;
    }
    out.push_back(static_cast<wchar_t>(c));
  }
  return out;
}

}  // namespace

HGLOBAL GlobalAlloc(UINT, std::size_t bytes) {
  void* raw = std::malloc(sizeof(global_block) + bytes);
  if (!raw) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto* block = new (raw) global_block{bytes};
  std::memset(block + 1, 0, bytes);
  return block;
}

LPVOID GlobalLock(HGLOBAL memory) {
  if (!memory) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return static_cast<global_block*>(memory) + 1;
}

BOOL GlobalUnlock(HGLOBAL memory) { return memory ? TRUE : FALSE; }

HGLOBAL GlobalFree(HGLOBAL memory) {
  std::free(memory);
  return nullptr;
}

std::size_t GlobalSize(HGLOBAL memory) { return memory ? static_cast<global_block*>(memory)->size : 0; }

void qm_set_clipboard_hook(qm_clipboard_hook h) {
  std::lock_guard<std::mutex> guard(clipboard_lock);
  hook = std::move(h);
}

BOOL OpenClipboard(HWND) {
  std::lock_guard<std::mutex> guard(clipboard_lock);
  if (!hook) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  if (opened) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  opened = true;
  emptied = false;
  return TRUE;
}

BOOL EmptyClipboard() {
  std::lock_guard<std::mutex> guard(clipboard_lock);
  if (!opened) {
    SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
    return FALSE;
  }
  emptied = true;
  if (pending) pending = GlobalFree(pending);
  return TRUE;
}

HANDLE SetClipboardData(UINT format, HANDLE memory) {
  std::lock_guard<std::mutex> guard(clipboard_lock);
  if (!opened || !emptied) {
    SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
    return nullptr;
  }
  if (format != CF_UNICODETEXT || !memory) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (pending) GlobalFree(pending);
  pending = memory;
  return memory;
}

BOOL CloseClipboard() {
  HGLOBAL memory;
  qm_clipboard_hook receiver;
  {
    std::lock_guard<std::mutex> guard(clipboard_lock);
    if (!opened) {
      SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
      return FALSE;
    }
    opened = false;
    memory = pending;
    pending = nullptr;
    receiver = hook;
  }
  if (!memory) return TRUE;
  // The text ends at its null or at the end of the block, whichever comes first.
  std::size_t units = GlobalSize(memory) / sizeof(char16_t);
  std::u16string text(static_cast<const char16_t*>(GlobalLock(memory)), units);
  GlobalFree(memory);
  bool taken = receiver && receiver(utf16_to_wide(text.c_str()));
  if (!taken) SetLastError(ERROR_ACCESS_DENIED);
  return taken ? TRUE : FALSE;
}
