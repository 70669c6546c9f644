#include "TK/tk_log.h"

#include "platform/system_error.h"
#include "platform/utf8.h"
#include "platform/win32.h"
#include "platform/write_all.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// The log must not change what callers read from GetLastError.
struct errno_keeper {
  int saved = errno;
  ~errno_keeper() { errno = saved; }
};

tk_log* ready_instance() {
  if (!tk_log::exists()) return nullptr;
  tk_log* log = tk_log::get();
  if (!log->enabled) return nullptr;
  if (!log->held) log->truncate_once();
  return log;
}

// The log file, made readable by its owner only: it holds every value the
// run reads. Only a regular file: a named pipe or a device put in its place
// would hold the run up, so the open never waits and anything else is let
// go; nor a link put in its place, which could lead to anyone's file.
int open_log_file(tk_log& log, int flags) {
  int fd = ::open(log.file_name.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW | flags, 0600);
  if (fd < 0) {
    log.report_open_failure(errno);
    return -1;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    log.report_open_failure(0);
    return -1;
  }
  return fd;
}

// The system's text of the error, as the rest of a sentence.
std::string reason_text(int error) {
  if (error == 0) return "not a regular file";
  std::string reason = qm_platform::system_error_text(error);
  if (reason.empty()) reason = "unknown error";
  if (reason.size() > 1 && reason[0] >= 'A' && reason[0] <= 'Z' && reason[1] >= 'a' && reason[1] <= 'z')
    reason[0] = static_cast<char>(reason[0] - 'A' + 'a');
  return reason;
}

std::string time_stamp_text() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d ", st.wHour, st.wMinute, st.wSecond);
  return stamp;
}

std::FILE* open_line(tk_log& log) {
  int fd = open_log_file(log, O_APPEND);
  if (fd < 0) return nullptr;
  std::FILE* f = ::fdopen(fd, "ab");
  if (!f) {
    ::close(fd);
    return nullptr;
  }
  if (log.time_stamp) std::fputs(time_stamp_text().c_str(), f);
  return f;
}

void close_line(tk_log& log, std::FILE* f) {
  if (log.append_crlf) std::fputc('\n', f);
  std::fclose(f);
}

// One line to the file; while the log is held, kept as the file would get
// it until the hold ends.
void emit_line(tk_log& log, const std::string& text) {
  {
    std::lock_guard<std::mutex> lock(log.held_lock);
    if (log.held) {
      if (log.time_stamp) log.held_lines += time_stamp_text();
      log.held_lines += text;
      if (log.append_crlf) log.held_lines += '\n';
      return;
    }
  }
  std::FILE* f = open_line(log);
  if (!f) return;
  std::fwrite(text.data(), 1, text.size(), f);
  close_line(log, f);
}

std::string format_narrow(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (n < 0) return std::string();
  std::string text(static_cast<std::size_t>(n) + 1, '\0');
  std::vsnprintf(text.data(), text.size(), format, args);
  text.resize(static_cast<std::size_t>(n));
  return text;
}

// Formats into at most `limit` wide characters; a longer text is cut.
std::wstring format_wide(const wchar_t* format, va_list args, std::size_t limit) {
  std::vector<wchar_t> buffer(limit);
  va_list copy;
  va_copy(copy, args);
  int n = std::vswprintf(buffer.data(), buffer.size(), format, copy);
  va_end(copy);
  if (n >= 0) return std::wstring(buffer.data(), static_cast<std::size_t>(n));
  // glibc reports a cut text as a failure: format in full, then cut.
  for (std::size_t size = limit * 4; size <= limit * 64; size *= 4) {
    std::vector<wchar_t> big(size);
    va_copy(copy, args);
    n = std::vswprintf(big.data(), big.size(), format, copy);
    va_end(copy);
    if (n >= 0) return std::wstring(big.data(), std::min(static_cast<std::size_t>(n), limit - 1));
  }
  return std::wstring();
}

}  // namespace

tk_log::tk_log() = default;

tk_log::~tk_log() = default;

bool tk_log::may_write(int level) {
  if (!exists()) return false;
  tk_log* log = get();
  return log->enabled && (level >= log->threshold || !log->truncated);
}

void tk_log::write_line(int level, const char* format, ...) {
  errno_keeper keep;
  tk_log* log = ready_instance();
  if (!log || level < log->threshold) return;
  va_list args;
  va_start(args, format);
  std::string text = format_narrow(format, args);
  va_end(args);
  emit_line(*log, text);
}

void tk_log::write_line(int level, const wchar_t* format, ...) {
  errno_keeper keep;
  tk_log* log = ready_instance();
  if (!log || level < log->threshold) return;
  va_list args;
  va_start(args, format);
  std::wstring text = format_wide(format, args, wide_buffer_size);
  va_end(args);
  std::string utf8;
  // Paths in the line may hold bytes that are no text.
  text = qm_platform::path_as_text(text);
  if (!qm_platform::wide_to_utf8(text.data(), text.size(), utf8) || utf8.size() >= utf8_buffer_size)
    utf8.clear();
  emit_line(*log, utf8);
}

void tk_log::truncate_once() {
  if (truncated) return;
  int fd = open_log_file(*this, O_TRUNC);
  if (fd >= 0) {
    // A log left by an earlier run may have been readable by others.
    ::fchmod(fd, 0600);
    ::close(fd);
  }
  truncated = true;
}

void tk_log::hold() {
  std::lock_guard<std::mutex> lock(held_lock);
  held = true;
}

std::string tk_log::take_held_lines() {
  std::lock_guard<std::mutex> lock(held_lock);
  std::string lines;
  if (!held) return lines;
  held = false;
  lines.swap(held_lines);
  return lines;
}

void tk_log::release() {
  std::string lines = take_held_lines();
  if (!enabled || lines.empty()) return;
  errno_keeper keep;
  truncate_once();
  int fd = open_log_file(*this, O_APPEND);
  if (fd < 0) return;
  qm_platform::write_all(fd, lines.data(), lines.size());
  ::close(fd);
}

void tk_log::release_without_source() {
  // A file the log has emptied before holds its own earlier lines.
  if (truncated) return release();
  std::string lines = take_held_lines();
  if (!enabled || lines.empty()) return;
  errno_keeper keep;
  // Neither emptied nor appended to: what the file holds is looked at
  // through the descriptor the lines would go through.
  int fd = open_log_file(*this, 0);
  if (fd < 0) return;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || st.st_size != 0) {
    ::close(fd);
    enabled = false;
    if (report_failure)
      report_failure("The log file " + file_name_text() +
                     " was left as it was: the run ended before its source was open.");
    return;
  }
  ::fchmod(fd, 0600);
  // Later lines follow these instead of emptying the file again.
  truncated = true;
  qm_platform::write_all(fd, lines.data(), lines.size());
  ::close(fd);
}

void tk_log::discard() {
  std::lock_guard<std::mutex> lock(held_lock);
  held = false;
  held_lines.clear();
  enabled = false;
}

void tk_log::report_open_failure(int error) {
  if (failure_reported || !report_failure) return;
  failure_reported = true;
  report_failure("Cannot open the log file " + file_name_text() + ": " + reason_text(error));
}

std::string tk_log::file_name_text() const {
  std::wstring name = qm_platform::path_as_text(qm_platform::path_from_utf8(file_name.c_str()));
  std::string text;
  if (!qm_platform::wide_to_utf8(name.data(), name.size(), text)) text = "?";
  return text;
}

void tk_log::set_file_name(const char* name) {
  if (!name) throw tk_mail_assertion("..\\TK/tk_log", 82);
  file_name = name;
}

void tk_log_internal_error(const tk_exception& e) { tk_log::write(3, "Internal error:\n%s", e.what()); }
