// Starting another program and waiting for it, in the shape of the Win32
// shell call. Programs are started directly, never through a shell.
#pragma once

#include "platform/win32.h"

#include <string>
#include <vector>

using HWND = void*;
using HINSTANCE = void*;

#define SEE_MASK_NOCLOSEPROCESS 0x00000040u
#define SW_HIDE 0
#define SW_SHOW 5
#define SW_SHOWNORMAL 1

struct SHELLEXECUTEINFOW {
  DWORD cbSize;
  ULONG fMask;
  HWND hwnd;
  LPCWSTR lpVerb;        // null or "open"
  LPCWSTR lpFile;        // a path, or a bare name looked up on PATH
  LPCWSTR lpParameters;  // one command line, split as qm_split_arguments does
  LPCWSTR lpDirectory;   // the child's working folder; the caller's stays as it is
  int nShow;             // SW_HIDE: the child's standard streams go to /dev/null
  HINSTANCE hInstApp;
  void* lpIDList;
  LPCWSTR lpClass;
  HKEY hkeyClass;
  DWORD dwHotKey;
  HANDLE hIcon;
  HANDLE hProcess;  // with SEE_MASK_NOCLOSEPROCESS: wait on it, then CloseHandle
};

// FALSE with GetLastError when the program cannot be started
// (ERROR_FILE_NOT_FOUND when it does not exist, or the working folder does
// not).
BOOL ShellExecuteExW(SHELLEXECUTEINFOW* info);
// The exit status of an ended process, 128 plus the signal number for a
// process ended by a signal, STILL_ACTIVE while it runs.
BOOL GetExitCodeProcess(HANDLE process, LPDWORD exit_code);

// Ends the process at once (SIGKILL); WaitForSingleObject then reaps it.
// TRUE also for a process that has ended already.
BOOL TerminateProcess(HANDLE process, UINT exit_code);

// A command line split into arguments by the Windows rules: blanks
// separate, double quotes group, 2n backslashes before a quote give n
// backslashes, 2n+1 give n and a literal quote; other backslashes are
// literal.
std::vector<std::wstring> qm_split_arguments(const wchar_t* command_line);
// One argument quoted so that qm_split_arguments gives it back.
std::wstring qm_quote_argument(const std::wstring& argument);

// A document opened with the desktop's opener ("xdg-open" on the PATH),
// which is started and not waited for; the verb must be null or "open" and
// the parameters empty. Above 32 on success; ERROR_FILE_NOT_FOUND (2) when
// the document or the opener is missing.
HINSTANCE ShellExecuteW(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory,
                        int show);
// True when the desktop's opener is on the PATH.
bool qm_desktop_opener_exists();
