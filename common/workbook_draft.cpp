#include "common/workbook_draft.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "jet/jet_file.h"
#include "platform/system_error.h"
#include "platform/utf8.h"

void cannot_write_destination(const std::wstring& destination, const std::wstring& cause) {
  throw tk_exception(L"Cannot write the destination file \"" + destination + L"\": " + cause, 1);
}

// Under the destination's own name, which messages then show: its folder
// keeps the path apart.
workbook_draft::workbook_draft(const std::wstring& destination)
    : destination(destination), file_name(destination.substr(destination.rfind(L'/') + 1)) {}

workbook_draft::~workbook_draft() { discard(); }

const std::wstring& workbook_draft::path() {
  if (folder) return file;
  std::string resolved;
  qm_platform::link_refusal refusal =
      qm_platform::replacement_target(qm_platform::path_to_utf8(destination.c_str()), resolved);
  if (refusal != qm_platform::link_refusal::none)
    cannot_write_destination(destination, qm_platform::link_refusal_text(refusal) + L".");
  target = qm_platform::path_from_utf8(resolved.c_str());
  auto made = std::make_unique<qm_platform::private_folder>(target);
  if (made->path().empty())
    cannot_write_destination(destination,
                             L"cannot create a folder beside it: " + qm_platform::system_error_wide_text(made->error()));
  file = made->path() + L"/" + file_name;
  folder = std::move(made);
  jet_show_file_as(file, destination);
  tk_log::write(1, L"The workbook is written as '%ls'", file.c_str());
  return file;
}

std::string workbook_draft::put_in_place() {
  if (int rc = qm_platform::put_in_place(path(), target))
    cannot_write_destination(destination, qm_platform::system_error_wide_text(rc));
  return remove_folder();
}

std::string workbook_draft::discard() { return remove_folder(); }

std::string workbook_draft::remove_folder() {
  if (!folder) return std::string();
  jet_show_file_as(file, std::wstring());
  std::wstring where = folder->path();
  int rc = folder->remove();
  folder.reset();
  if (rc == 0) return std::string();
  tk_log::write(3, L"Cannot remove '%ls'", where.c_str());
  std::wstring shown = qm_platform::path_as_text(where);
  std::string text;
  qm_platform::wide_to_utf8(shown.c_str(), shown.size(), text);
  return "Cannot remove the folder \"" + text + "\": " + qm_platform::system_error_text(rc) + ".";
}
