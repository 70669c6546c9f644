#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "platform/private_folder.h"
#include "platform/process.h"
#include "platform/utf8.h"
#include "xlsx/package_parts.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace XlsxModel {

namespace {

// What the zip program's exit codes mean.
const wchar_t* zip_exit_text(DWORD code) {
  switch (code) {
    case 4: return L"out of memory";
    case 9: return L"interrupted";
    case 10: return L"a temporary file failed";
    case 11: return L"a read or seek failed";
    case 12: return L"nothing to pack";
    case 14: return L"the archive cannot be written";
    case 15: return L"the archive cannot be created";
    case 16: return L"bad arguments";
    case 18: return L"a file to pack cannot be read";
    default: return L"it failed";
  }
}

struct process_handle {
  HANDLE handle = nullptr;
  ~process_handle() {
    if (handle) CloseHandle(handle);
  }
};

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

bool pack_folder(const std::wstring& folder, const std::wstring& destination_path, std::wstring& error,
                 const std::function<bool()>& stop_requested) {
  std::wstring destination = destination_path;
  if (wchar_t* full = _wfullpath(nullptr, destination_path.c_str(), 0)) {
    destination = full;
    std::free(full);
  }
  if (stop_requested && stop_requested()) {
    error = L"the packing was stopped";
    return false;
  }
  // zip writes into a folder of our own beside the destination: its
  // temporary file and a half-made archive never lie beside the user's
  // files, and a finished archive is put in place in one step.
  qm_platform::private_folder own(destination);
  if (own.path().empty()) {
    error = L"cannot create a folder beside \"" + destination + L"\": " + system_error_text(own.error());
    return false;
  }
  // With its own extension zip adds none, whatever the destination's is.
  std::wstring archive = own.path() + L"/package.zip";
  std::wstring packer = tk_get_module_dir_w() + L"zip";
  if (::access(qm_platform::path_to_utf8(packer.c_str()).c_str(), X_OK) != 0) packer = L"zip";
  // The folder's content goes in at the root: "." takes the folders too.
  // zip keeps its temporary file in the archive's folder: ours.
  std::wstring parameters = L"-r -m " + qm_quote_argument(archive) + L" .";
  tk_log::write(1, L"exe=%ls, param=%ls, path=%ls", packer.c_str(), parameters.c_str(), folder.c_str());

  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpFile = packer.c_str();
  info.lpParameters = parameters.c_str();
  info.lpDirectory = folder.c_str();
  info.nShow = SW_HIDE;
  BOOL started = ShellExecuteExW(&info);
  DWORD start_error = GetLastError();
  tk_log::write(1, "Exit code: %d", started);
  if (!started) {
    error = L"cannot start the zip program \"" + packer + L"\": " + system_error_text(static_cast<int>(start_error));
    return false;
  }
  process_handle process{info.hProcess};
  if (stop_requested) {
    while (WaitForSingleObject(process.handle, 50) == WAIT_TIMEOUT) {
      if (!stop_requested()) continue;
      TerminateProcess(process.handle, 1);
      WaitForSingleObject(process.handle, INFINITE);
      error = L"the packing was stopped";
      return false;
    }
  } else {
    WaitForSingleObject(process.handle, INFINITE);
  }
  DWORD code = 0;
  GetExitCodeProcess(process.handle, &code);
  if (code != 0) {
    error = L"the zip program \"" + packer + L"\" ended with exit code " + std::to_wstring(code) + L" (" +
            zip_exit_text(code) + L")";
    return false;
  }
  if (!exists(archive)) {
    error = L"the zip program \"" + packer + L"\" left no file";
    return false;
  }
  if (int rc = qm_platform::put_in_place(archive, destination)) {
    // The caller names the file: in a run it is one of the run's own.
    error = L"cannot put the archive in its place: " + system_error_text(rc);
    return false;
  }
  return true;
}

}  // namespace XlsxModel
