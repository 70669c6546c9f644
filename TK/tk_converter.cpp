#include "TK/tk_converter.h"

#include "TK/tk_exception.h"
#include "TK/tk_file_name.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "platform/utf8.h"
#include "platform/win32.h"

#include <cstdlib>
#include <memory>
#include <sys/stat.h>

namespace {

// A folder, a named pipe, a device: the log would wait on a pipe for ever
// and never end on a device.
bool names_no_regular_file(const std::string& name) {
  struct stat st {};
  return ::stat(name.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
}

std::string full_path(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> full(_fullpath(nullptr, path.c_str(), 0), &std::free);
  return full ? std::string(full.get()) : path;
}

// The log names the destination: the same name, or the same file under
// another name (a link).
bool names_destination(const std::string& log_file, const std::wstring& destination) {
  if (log_file.empty() || destination.empty()) return false;
  std::string file = qm_platform::path_to_utf8(destination.c_str());
  struct stat log_st {}, file_st {};
  return full_path(log_file) == full_path(file) ||
         (::stat(log_file.c_str(), &log_st) == 0 && ::stat(file.c_str(), &file_st) == 0 &&
          log_st.st_dev == file_st.st_dev && log_st.st_ino == file_st.st_ino);
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
  // user's old workbook.
  if (names_destination(name, known_destination()))
    throw tk_exception("Logfile name specifies the destination file.", 1);
  tk_log& log = tk_log::instance();
  log.set_file_name(name.c_str());
  log.enabled = true;
}

void tk_converter::check_logfile_apart(const std::wstring& destination) const {
  // By now the log is written, so it exists: a link to it is found too.
  if (names_destination(log_file, destination))
    throw tk_exception("Logfile name specifies the destination file.", 1);
}
