// The process-wide trace log. A line is written only when the single
// instance exists, is enabled and the line's level reaches the threshold.
#pragma once

#include "TK/tk_log_fwd.h"
#include "TK/tk_singleton.h"

#include <atomic>
#include <mutex>
#include <string>

class tk_log : public tk_singleton<tk_log> {
 public:
  // Both programs create the instance at start-up, disabled; a valid
  // "logfile" setting enables it.
  tk_log();
  ~tk_log() override;

  // A line is formatted only when the log may write it; the calls that it
  // would not write (nearly all of them) cost the caller one short call.
  __attribute__((always_inline, format(printf, 2, 3))) static void write(int level, const char* format, ...) {
    if (format && may_write(level)) write_line(level, format, __builtin_va_arg_pack());
  }
  __attribute__((always_inline)) static void write(int level, const wchar_t* format, ...) {
    if (format && may_write(level)) write_line(level, format, __builtin_va_arg_pack());
  }
  // A line of this level may be written, or may empty the file first.
  static bool may_write(int level);
  static void write_line(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
  static void write_line(int level, const wchar_t* format, ...);

  void truncate_once();
  void set_file_name(const char* name);
  // While held, lines wait in memory and the file is not touched, so that
  // a log named before the destination is known cannot empty it.
  void hold();
  // Ends the hold: the waiting lines are written (the first write empties
  // the file, as always) and later lines follow them.
  void release();
  // Ends the hold and the log: the waiting lines are dropped and the file
  // stays as it was.
  void discard();
  // Ends the hold of a run that ended before its source was open, when the
  // file the source would have been is not known and may be the log's: the
  // waiting lines go only into a file that is new or empty, and later lines
  // follow them. Any other file stays as it was, the log ends, and the
  // program is told so.
  void release_without_source();

  // The first time the file cannot be opened, the program is told why,
  // once; the log goes on without the lines it could not write.
  void report_open_failure(int error);

  std::string file_name;
  int threshold = 1;
  bool append_crlf = true;  // the line end of this platform, "\n"
  bool enabled = false;
  bool truncated = false;
  bool time_stamp = true;
  std::atomic<bool> held{false};
  // Threads log while the log is held (the connect thread and the window's).
  std::mutex held_lock;
  std::string held_lines;
  // Where the program shows the text of report_open_failure; none by
  // default.
  void (*report_failure)(const std::string& message) = nullptr;
  bool failure_reported = false;

  static constexpr std::size_t wide_buffer_size = 10240;
  static constexpr std::size_t utf8_buffer_size = 10240;

 private:
  // Ends the hold; the lines that waited.
  std::string take_held_lines();
  // The file's name as a message shows it.
  std::string file_name_text() const;
};
