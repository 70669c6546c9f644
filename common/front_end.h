// The steps of a conversion run that each program supplies: the console
// prints, the wizard shows dialogs and polls the progress on a timer.
#pragma once

#include <exception>
#include <string>

class conversion_front_end {
 public:
  virtual ~conversion_front_end() = default;

  // The console's DAO engine has already initialised COM on its thread.
  virtual bool com_already_initialised() const = 0;
  // The wizard keeps its settings in the registry.
  virtual bool uses_registry() const = 0;
  // The console converts every table when nothing is selected.
  virtual bool select_all_when_empty() const = 0;
  // The console skips, with a message, a selected table the source lacks.
  virtual bool checks_missing_tables() const = 0;

  virtual void start_timer() {}
  // A table has more columns than the format takes; may end the run.
  virtual void on_column_cap() {}
  virtual void on_database_start(const std::wstring& source_name, int tables_total) = 0;
  virtual void on_table_start(const std::wstring& name, int records_total) = 0;
  virtual void on_table_converted(const std::wstring& text) = 0;
  virtual void on_missing_table(const std::wstring& name) = 0;
  // A standard exception outside the program's family ended the run.
  virtual void on_other_exception(const std::exception& e) = 0;
  // The run ends without a workbook of its own (every item failed, or the
  // user aborted it): why, and what became of the destination.
  virtual void on_run_outcome(const std::string& text) = 0;
};
