#include "platform/module.h"

#include "platform/utf8.h"

#include <dlfcn.h>
#include <string>

namespace {
thread_local std::string last_loader_error;

void keep_loader_error() {
  const char* text = dlerror();
  last_loader_error = text ? text : "";
}
}  // namespace

HMODULE LoadLibraryA(LPCSTR name) {
  if (!name || !*name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  void* handle = dlopen(name, RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    keep_loader_error();
    SetLastError(ERROR_FILE_NOT_FOUND);
  }
  return handle;
}

HMODULE LoadLibraryW(LPCWSTR name) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return LoadLibraryA(qm_platform::path_to_utf8(name).c_str());
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
  if (!module || !name) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  dlerror();
  void* symbol = dlsym(module, name);
  if (!symbol) {
    keep_loader_error();
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(symbol);
}

BOOL FreeLibrary(HMODULE module) {
  if (!module) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return dlclose(module) == 0 ? TRUE : FALSE;
}

const char* qm_module_error() { return last_loader_error.c_str(); }
