// The registry: a per-user store of keys and values. Each key is one text
// file below the XDG configuration folder ($XDG_CONFIG_HOME, else
// ~/.config of $HOME or, without HOME, of the account's home folder), in
// "quillmark-registry/<root>/<key path>.reg", readable by its owner only.
// The store's folder and those below it are made with mode 0700; one that
// belongs to another user or that others can write is refused
// (ERROR_ACCESS_DENIED): nothing is read from it or written to it.
// An open key shows its values as they were when it was opened, with its
// own changes; RegFlushKey or RegCloseKey writes those changes as one whole
// (a temporary file, then a rename) under the store's lock, over what other
// programs wrote meanwhile. A key path with an empty name, ".", ".." or "/"
// in it is refused (ERROR_INVALID_PARAMETER): it could name a file outside.
#pragma once
#include "platform/win32.h"

#include <string>

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(std::uintptr_t{0x80000000u}))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(std::uintptr_t{0x80000001u}))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(std::uintptr_t{0x80000002u}))

#define REG_NONE 0u
#define REG_SZ 1u
#define REG_BINARY 3u
#define REG_DWORD 4u

#define REG_OPTION_NON_VOLATILE 0u
#define KEY_QUERY_VALUE 0x0001u
#define KEY_SET_VALUE 0x0002u
#define KEY_READ 0x20019u
#define KEY_WRITE 0x20006u
#define KEY_ALL_ACCESS 0xF003Fu

#define REG_CREATED_NEW_KEY 1u
#define REG_OPENED_EXISTING_KEY 2u

LONG RegCreateKeyExA(HKEY root, LPCSTR subkey, DWORD reserved, LPSTR class_name, DWORD options,
                     REGSAM access, void* security, PHKEY result, LPDWORD disposition);
// Writes the key's changes; the handle is freed whatever the result.
LONG RegCloseKey(HKEY key);
LONG RegFlushKey(HKEY key);
// A null data pointer asks only for the size in bytes; a wide text's size
// counts its terminating null (sizeof(wchar_t) bytes per character).
LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD size);
LONG RegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD size);
LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD size);
LONG RegSetValueExW(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD size);
LONG RegDeleteValueA(HKEY key, LPCSTR name);

namespace qm_platform {
// Where and why the calling thread's last failed RegCreateKeyExA,
// RegFlushKey or RegCloseKey stopped: the file or folder, and the system's
// reason or why the store's folder is refused.
struct registry_problem {
  std::string path;
  std::string reason;
};
registry_problem registry_last_problem();
// The file that holds a key's values; empty for a key path that names none
// or a user without a home folder.
std::string registry_key_file(HKEY root, const char* subkey);
}  // namespace qm_platform
