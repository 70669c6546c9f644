// The console program's own steps: its printed lines, its end of process
// and its front-end steps of the run.
#pragma once

#include "common/front_end.h"

#include <cstdio>
#include <string>

// Thrown to end the console process with `code` once the stack has unwound,
// so that a workbook's temporary folder is removed on the way out. Outside
// every exception family on purpose: nothing but `main` catches it.
struct console_exit {
  int code;
};

// Writes the text to the console stream at once. The run never waits on its
// console past a stop signal: once one has come the rest of the text is
// dropped, and so is what a console that nobody reads any more (a closed
// pipe) refuses.
void console_write(std::FILE* stream, const std::string& text);

// Logs the text at level 3, writes it and a line end to the standard error
// and ends the process with exit code -1.
[[noreturn]] void fatal_exit(const std::string& text);

// Wide text for the console, in the ANSI code page.
std::string console_text(const std::wstring& text);

class console_front_end : public conversion_front_end {
 public:
  bool com_already_initialised() const override { return true; }
  bool uses_registry() const override { return false; }
  bool select_all_when_empty() const override { return true; }
  bool checks_missing_tables() const override { return true; }
  void on_database_start(const std::wstring& source_name, int tables_total) override;
  void on_table_start(const std::wstring& name, int records_total) override;
  void on_table_converted(const std::wstring& text) override;
  void on_missing_table(const std::wstring& name) override;
  void on_other_exception(const std::exception& e) override;
  void on_run_outcome(const std::string& text) override;
};

// Errors printed by the console's error handler; the exit code tells them.
extern int console_errors_printed;
