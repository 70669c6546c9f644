// The help viewer in the shape of the HTML Help call. This desktop has no
// compiled-help viewer: the help file is handed to the desktop's opener,
// which cannot be told a topic, so every command shows the file as a whole.
#pragma once

#include "platform/process.h"

#include <cstdint>

using DWORD_PTR = std::uintptr_t;

#define HH_DISPLAY_TOPIC 0x0000u
#define HH_HELP_CONTEXT 0x000Fu

// Null with ERROR_FILE_NOT_FOUND when the file is missing, with
// ERROR_NOT_SUPPORTED when there is no opener; else a handle that stands
// for the viewer (never a window of this process).
HWND HtmlHelpW(HWND caller, LPCWSTR file, UINT command, DWORD_PTR data);
