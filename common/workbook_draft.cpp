#include "common/workbook_draft.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "platform/system_error.h"

namespace {

[[noreturn]] void cannot_write(const std::wstring& destination, const std::wstring& cause, int error_number) {
  throw tk_exception(L"Cannot write the destination file \"" + destination + L"\": " + cause +
                         qm_platform::system_error_wide_text(error_number),
                     1);
}

}  // namespace

// Under the destination's own name, which messages then show: its folder
// keeps the path apart.
workbook_draft::workbook_draft(const std::wstring& destination)
    : destination(destination), file_name(destination.substr(destination.rfind(L'/') + 1)) {}

const std::wstring& workbook_draft::path() {
  if (folder) return file;
  auto made = std::make_unique<qm_platform::private_folder>(destination);
  if (made->path().empty()) cannot_write(destination, L"cannot create a folder beside it: ", made->error());
  file = made->path() + L"/" + file_name;
  folder = std::move(made);
  tk_log::write(1, L"The workbook is written as '%ls'", file.c_str());
  return file;
}

void workbook_draft::put_in_place() {
  if (int rc = qm_platform::put_in_place(path(), destination)) cannot_write(destination, L"", rc);
  folder.reset();
}
