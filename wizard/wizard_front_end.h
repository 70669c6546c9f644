// The wizard's steps of a conversion run: COM on the run's thread, the
// progress timer, the Continue/Abort dialog on a column cap, the per-table
// text in the log pane, errors in boxes.
#pragma once

#include "common/front_end.h"

class wizard_front_end : public conversion_front_end {
 public:
  bool com_already_initialised() const override { return false; }
  bool uses_registry() const override { return true; }
  bool select_all_when_empty() const override { return false; }
  bool checks_missing_tables() const override { return false; }
  void start_timer() override;
  void on_column_cap() override;
  void on_database_start(const std::wstring&, int) override {}
  void on_table_start(const std::wstring&, int) override {}
  void on_table_converted(const std::wstring& text) override;
  void on_missing_table(const std::wstring&) override {}
  void on_other_exception(const std::exception& e) override;
  // Listed on the finish page.
  void on_run_outcome(const std::string& text) override;
};
