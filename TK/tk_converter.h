// The lowest class of the converter chain: a thread functor with the
// source, the destination and the log file name.
#pragma once

#include "TK/tk_thread.h"
#include "platform/file_identity.h"

#include <atomic>
#include <string>
#include <vector>

class tk_converter : public tk_thread_functor {
 public:
  tk_converter();
  ~tk_converter() override = default;

  virtual void set_state_flag(bool flag);
  // Checks a log file name from the settings and hands it to the log; a
  // name of the destination known by then is refused before the log
  // touches the file.
  void set_logfile(const std::string& name);
  // Refuses a log that would take the place of a file of the user's: one
  // whose name leads to the destination, to a file the run reads (one given
  // to reads_file, or one the process holds open, such as the source), or
  // that is a symbolic link. Checks the name the log writes to.
  void check_logfile_apart(const std::wstring& destination) const;
  // The same check from the destination's side as well: a destination that
  // is, by any name, a file the run reads is refused with what that file is
  // to the run ("Destination name specifies the table list: ..."). Raises
  // tk_exception (level 1); touches no file.
  void check_files_apart(const std::wstring& destination) const;
  // What a file the run reads is to it.
  enum class read_kind { settings, table_list, source };
  // A file the run reads: neither the log nor the destination may name it.
  void reads_file(const std::string& path, read_kind kind = read_kind::settings);
  // The log keeps its lines in memory and leaves its file untouched until
  // start_log: the files the run reads are known once the source is open.
  void hold_log() const;
  // Ends the hold with check_logfile_apart: the waiting lines are written,
  // or, for a name that is refused, dropped with the log, and the refusal
  // is thrown. Does nothing while the log is not held.
  void start_log(const std::wstring& destination) const;
  // As start_log, for a run that ended before its source was open: the
  // file it would have read is not known, so the lines are written only
  // into a log file that is new or empty (tk_log::release_without_source).
  void start_log_without_source(const std::wstring& destination) const;
  // True when the name leads to the file the log writes to.
  bool names_log_file(const std::string& name) const;
  // The file the run would write, as far as the settings tell it yet.
  virtual std::wstring known_destination() const { return dest; }
  // Where the run can stop cleanly: a requested stop ends it there with
  // tk_final_exception.
  void end_run_if_stopped() const;

  // Read by another thread while a run writes it.
  std::atomic<bool> finished{false};
  bool state_flag = false;
  std::wstring src;
  std::wstring dest;
  std::string log_file;
  struct read_file {
    qm_platform::file_identity identity;
    read_kind kind;
  };
  std::vector<read_file> read_files;

 private:
  // Whether `name` leads to a file the run reads, and to which: one given
  // to reads_file (`given`, with its kind) or one the process holds open.
  bool reads(const qm_platform::file_identity& name, read_kind* kind = nullptr, bool* given = nullptr) const;
  void end_log_hold(const std::wstring& destination, bool source_open) const;
  void refuse_log_name(const std::string& name, const std::wstring& destination) const;
};
