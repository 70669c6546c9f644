// The Win32 base services that the toolkit calls, written for POSIX.
// Names and calling shapes are those of Win32; the semantics are the ones
// this program relies on. Error numbers are errno values: GetLastError reads
// errno and FormatMessageA gives strerror's text.
#pragma once

#include <cstddef>
#include <cstdint>

using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using UINT = unsigned int;
using INT = int;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using CHAR = char;
using WCHAR = wchar_t;
using LPSTR = char*;
using LPCSTR = const char*;
using LPWSTR = wchar_t*;
using LPCWSTR = const wchar_t*;
using LPVOID = void*;
using LPCVOID = const void*;
using LPBYTE = BYTE*;
using LPDWORD = DWORD*;
using LPBOOL = BOOL*;
using LCID = DWORD;
using HRESULT = LONG;
using REGSAM = DWORD;
using errno_t = int;

struct qm_handle;                 // any kernel object of this layer
using HANDLE = qm_handle*;
using HMODULE = void*;
using HLOCAL = void*;
struct qm_hkey;
using HKEY = qm_hkey*;
using PHKEY = HKEY*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// The path limit of this platform (Windows has 260).
#define MAX_PATH 4096

// Error numbers: errno values under the Win32 names that the program uses.
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L          // ENOENT
#define ERROR_PATH_NOT_FOUND 2L          // ENOENT
#define ERROR_ACCESS_DENIED 13L          // EACCES
#define ERROR_INVALID_HANDLE 9L          // EBADF
#define ERROR_NOT_ENOUGH_MEMORY 12L      // ENOMEM
#define ERROR_INVALID_PARAMETER 22L      // EINVAL
#define ERROR_INSUFFICIENT_BUFFER 105L   // ENOBUFS
#define ERROR_MORE_DATA 75L              // EOVERFLOW
#define ERROR_NO_UNICODE_TRANSLATION 84L // EILSEQ
#define ERROR_CANTREAD 5L                // EIO
#define ERROR_CANTWRITE 5L               // EIO
#define ERROR_NOT_SUPPORTED 95L          // EOPNOTSUPP

DWORD GetLastError();
void SetLastError(DWORD code);

// FormatMessageA: only FORMAT_MESSAGE_FROM_SYSTEM, with or without
// FORMAT_MESSAGE_ALLOCATE_BUFFER (then `buffer` is really a char**, freed
// with LocalFree). The text ends with a line feed. Returns its length, 0
// when the system has no text.
#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define LANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(p, s) ((((WORD)(s)) << 10) | (WORD)(p))
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id,
                     LPSTR buffer, DWORD size, void* arguments);
HLOCAL LocalFree(HLOCAL mem);

// Time.
struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};
using LPSYSTEMTIME = SYSTEMTIME*;
void GetLocalTime(LPSYSTEMTIME st);
void Sleep(DWORD milliseconds);
DWORD GetTickCount();

// Threads and waits.
#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
#define STILL_ACTIVE 0x00000103u
using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID);
// The thread starts at once (creation flags other than 0 are not supported).
HANDLE CreateThread(void* security, std::size_t stack_size, LPTHREAD_START_ROUTINE start,
                    LPVOID parameter, DWORD creation_flags, LPDWORD thread_id);
// POSIX has no safe way to stop a thread where it stands: the thread is
// cancelled and ends at its next cancellation point (a sleep, a wait, file
// input or output), unwinding its stack on the way. Wait on the handle to
// know it has ended.
BOOL TerminateThread(HANDLE thread, DWORD exit_code);
BOOL GetExitCodeThread(HANDLE thread, LPDWORD exit_code);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL CloseHandle(HANDLE handle);
// Catch-all handlers call this first: the unwinding of a cancelled thread
// must pass through them.
void qm_rethrow_if_cancelled();

// Files.
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(~std::uintptr_t{0}))
// A file without any write permission bit stands for a read-only file and
// is refused for writing even to the super-user, as the read-only attribute is.
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, void* security, DWORD disposition,
                   DWORD flags, HANDLE template_file);
HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, void* security, DWORD disposition,
                   DWORD flags, HANDLE template_file);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD to_read, LPDWORD read, void* overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD to_write, LPDWORD written, void* overlapped);
BOOL DeleteFileA(LPCSTR name);
BOOL DeleteFileW(LPCWSTR name);
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu
#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
DWORD GetFileAttributesW(LPCWSTR name);
BOOL CreateDirectoryW(LPCWSTR name, void* security);
BOOL RemoveDirectoryW(LPCWSTR name);

// The program file.
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);
DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size);

// C runtime path functions. `_fullpath` folds "." and ".." and needs no
// existing file; a null `absolute` allocates the result (free it with free).
char* _fullpath(char* absolute, const char* relative, std::size_t size);
wchar_t* _wfullpath(wchar_t* absolute, const wchar_t* relative, std::size_t size);
// Drive is always empty here; dir keeps its trailing "/".
errno_t _splitpath_s(const char* path, char* drive, std::size_t drive_size, char* dir,
                     std::size_t dir_size, char* name, std::size_t name_size, char* ext,
                     std::size_t ext_size);
errno_t _wsplitpath_s(const wchar_t* path, wchar_t* drive, std::size_t drive_size, wchar_t* dir,
                      std::size_t dir_size, wchar_t* name, std::size_t name_size, wchar_t* ext,
                      std::size_t ext_size);
errno_t _makepath_s(char* path, std::size_t size, const char* drive, const char* dir,
                    const char* name, const char* ext);
errno_t _wmakepath_s(wchar_t* path, std::size_t size, const wchar_t* drive, const wchar_t* dir,
                     const wchar_t* name, const wchar_t* ext);
char* _getcwd(char* buffer, int size);
wchar_t* _wgetcwd(wchar_t* buffer, int size);
int _chdir(const char* dir);
int _wchdir(const wchar_t* dir);

// Code pages: the ANSI code page of this platform is UTF-8, so every code
// page below converts as UTF-8. Invalid UTF-8, lone surrogates and values
// beyond U+10FFFF fail with ERROR_NO_UNICODE_TRANSLATION.
#define CP_ACP 0u
#define CP_OEMCP 1u
#define CP_THREAD_ACP 3u
#define CP_UTF8 65001u
#define MB_PRECOMPOSED 0x00000001u
#define MB_ERR_INVALID_CHARS 0x00000008u
#define WC_ERR_INVALID_CHARS 0x00000080u
int MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR src, int src_len, LPWSTR dst,
                        int dst_len);
int WideCharToMultiByte(UINT code_page, DWORD flags, LPCWSTR src, int src_len, LPSTR dst,
                        int dst_len, LPCSTR default_char, LPBOOL used_default);

// Comparison and classification of Unicode text (every script, not only
// ASCII); the order is that of the case-folded code points.
#define LOCALE_USER_DEFAULT 0x0400u
#define LOCALE_SYSTEM_DEFAULT 0x0800u
#define NORM_IGNORECASE 0x00000001u
#define CSTR_LESS_THAN 1
#define CSTR_EQUAL 2
#define CSTR_GREATER_THAN 3
int CompareStringW(LCID locale, DWORD flags, LPCWSTR a, int a_len, LPCWSTR b, int b_len);
int CompareStringA(LCID locale, DWORD flags, LPCSTR a, int a_len, LPCSTR b, int b_len);
BOOL IsCharAlphaW(WCHAR c);
BOOL IsCharAlphaNumericW(WCHAR c);
DWORD CharUpperBuffW(LPWSTR text, DWORD length);
DWORD CharLowerBuffW(LPWSTR text, DWORD length);
