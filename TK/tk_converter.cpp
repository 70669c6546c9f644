#include "TK/tk_converter.h"

#include "TK/tk_exception.h"
#include "TK/tk_file_name.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "platform/utf8.h"
#include "platform/win32.h"

#include <sys/stat.h>

namespace {

// A folder, a named pipe, a device: the log would wait on a pipe for ever
// and never end on a device.
bool names_no_regular_file(const std::string& name) {
  struct stat st {};
  return ::stat(name.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
}

// The name as the user gave it, for a message.
std::wstring name_text(const std::string& name) { return qm_platform::path_from_utf8(name.c_str()); }

// The name the log writes to; empty while it writes nowhere.
std::string log_target() {
  if (!tk_log::exists() || !tk_log::get()->enabled) return std::string();
  return tk_log::get()->file_name;
}

}  // namespace

tk_converter::tk_converter() { tk_log::write(2, "tk_converter::ctor"); }

void tk_converter::set_state_flag(bool flag) { state_flag = flag; }

void tk_converter::end_run_if_stopped() const {
  if (stop_requested()) throw tk_final_exception();
}

void tk_converter::set_logfile(const std::string& name) {
  tk_log::write(1, "tk_convertor::set_logfile(%s)", name.c_str());
  log_file = name;
  if (name.empty()) {
    tk_log::write(1, "Filename is empty");
    return;
  }
  if (tk_is_path_exist(name) || names_no_regular_file(name))
    throw tk_exception("Logfile name specifies an existing path.", 1);
  if (tk_is_file_exist(name, 0) && !tk_is_file_exist(name, 1))
    throw tk_exception("Logfile name specifies an existing read-only file.", 1);
  tk_file_name parts(name);
  if (!tk_is_path_exist(parts.drive + parts.dir))
    throw tk_exception("Logfile path does not exist.\nPlease verify the correct path was given.", 1);
  // Refused before the log's first line empties the file: it may be the
  // user's old workbook, or a file the run is about to read.
  refuse_log_name(name, known_destination());
  tk_log& log = tk_log::instance();
  log.set_file_name(name.c_str());
  log.enabled = true;
}

void tk_converter::check_logfile_apart(const std::wstring& destination) const {
  // Not log_file: a settings file without a log name clears it, while the
  // log goes on writing under the name it was given.
  std::string name = log_target();
  if (!name.empty()) refuse_log_name(name, destination);
}

void tk_converter::reads_file(const std::string& path, read_kind kind) {
  read_files.push_back({qm_platform::file_identity(path), kind});
}

bool tk_converter::reads(const qm_platform::file_identity& name, read_kind* kind, bool* given) const {
  for (const read_file& file : read_files)
    if (name.same_file(file.identity)) {
      if (kind) *kind = file.kind;
      if (given) *given = true;
      return true;
    }
  for (const qm_platform::file_identity& file : qm_platform::open_files())
    if (name.same_file(file)) {
      if (given) *given = false;
      return true;
    }
  return false;
}

void tk_converter::check_files_apart(const std::wstring& destination) const {
  check_logfile_apart(destination);
  std::string workbook = qm_platform::path_to_utf8(destination.c_str());
  if (workbook.empty()) return;
  read_kind kind = read_kind::settings;
  bool given = false;
  if (!reads(qm_platform::file_identity(workbook), &kind, &given)) return;
  const wchar_t* what = !given                         ? L"a file the run reads"
                        : kind == read_kind::source     ? L"the source database"
                        : kind == read_kind::table_list ? L"the table list"
                                                        : L"a settings file the run reads";
  throw tk_exception(std::wstring(L"Destination name specifies ") + what + L": \"" + destination + L"\".", 1);
}

void tk_converter::hold_log() const {
  if (tk_log::exists()) tk_log::get()->hold();
}

void tk_converter::start_log(const std::wstring& destination) const { end_log_hold(destination, true); }

void tk_converter::start_log_without_source(const std::wstring& destination) const { end_log_hold(destination, false); }

void tk_converter::end_log_hold(const std::wstring& destination, bool source_open) const {
  if (!tk_log::exists() || !tk_log::get()->held) return;
  tk_log& log = *tk_log::get();
  try {
    check_logfile_apart(destination);
  } catch (...) {
    log.discard();
    throw;
  }
  if (source_open)
    log.release();
  else
    log.release_without_source();
}

bool tk_converter::names_log_file(const std::string& name) const {
  std::string target = log_target();
  return !target.empty() && qm_platform::file_identity(name).same_file(qm_platform::file_identity(target));
}

void tk_converter::refuse_log_name(const std::string& name, const std::wstring& destination) const {
  qm_platform::file_identity log(name);
  std::string workbook = qm_platform::path_to_utf8(destination.c_str());
  if (!workbook.empty() && log.same_file(qm_platform::file_identity(workbook)))
    throw tk_exception("Logfile name specifies the destination file.", 1);
  if (reads(log)) throw tk_exception(L"Logfile name specifies a file the run reads: " + name_text(name), 1);
  // The log would write wherever the link leads, another user's file too.
  if (qm_platform::is_symbolic_link(name))
    throw tk_exception(L"Logfile name specifies a symbolic link: " + name_text(name), 1);
}
