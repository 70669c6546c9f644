// The clipboard in the shape of the Win32 calls. This layer has no window
// system: the program that has one registers a hook that hands the text to
// it; without a hook the clipboard cannot be opened.
#pragma once

#include "platform/win32.h"

#include <functional>
#include <string>

using HGLOBAL = void*;
using HWND = void*;

#define GMEM_MOVEABLE 0x0002u
#define GMEM_DDESHARE 0x2000u
#define CF_UNICODETEXT 13u
#define ERROR_CLIPBOARD_NOT_OPEN 1418L

HGLOBAL GlobalAlloc(UINT flags, std::size_t bytes);
LPVOID GlobalLock(HGLOBAL memory);
BOOL GlobalUnlock(HGLOBAL memory);
HGLOBAL GlobalFree(HGLOBAL memory);
std::size_t GlobalSize(HGLOBAL memory);

// FALSE with ERROR_NOT_SUPPORTED when no hook is registered.
BOOL OpenClipboard(HWND owner);
BOOL EmptyClipboard();
// CF_UNICODETEXT only: the memory holds UTF-16 text ended by a null, and
// belongs to the clipboard from then on. The text goes to the hook when the
// clipboard is closed.
HANDLE SetClipboardData(UINT format, HANDLE memory);
BOOL CloseClipboard();

// The receiver of the clipboard's text; false when it could not take it.
// An empty function removes the hook.
using qm_clipboard_hook = std::function<bool(const std::wstring& text)>;
void qm_set_clipboard_hook(qm_clipboard_hook hook);
