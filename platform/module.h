// Libraries loaded at run time, over the dynamic loader.
#pragma once

#include "platform/win32.h"

using FARPROC = void (*)();

// The name is given to the loader as it stands (a bare name is looked up on
// the loader's path). Null with GetLastError (ERROR_FILE_NOT_FOUND) when the
// library cannot be loaded; the loader's reason is kept for qm_module_error.
HMODULE LoadLibraryA(LPCSTR name);
HMODULE LoadLibraryW(LPCWSTR name);
// Null with ERROR_PROC_NOT_FOUND when the library has no such export.
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
BOOL FreeLibrary(HMODULE module);
// The loader's text for the last failure of this thread, or empty.
const char* qm_module_error();

#define ERROR_PROC_NOT_FOUND 127L

// The version record a library's "DllGetVersion" export fills.
struct DLLVERSIONINFO {
  DWORD cbSize;  // 20
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformID;
};
using DLLGETVERSIONPROC = HRESULT (*)(DLLVERSIONINFO*);
