#pragma once
#include "TK/tk_exception.h"
#include "common/front_end.h"
#include "tests/support/temp_folder.h"

#include <cstdlib>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

// What the tests' error handler was given, composed as the programs do.
extern std::vector<std::string> handled;
// Called by the tests' error handler after it recorded the error (the
// wizard's Abort, say, throws tk_final_exception); empty by default.
extern std::function<void(const tk_exception&)> on_error;

// A front end that records what the run tells it.
struct recording_front_end : conversion_front_end {
  bool registry = false;
  bool com_already_initialised() const override { return true; }
  bool uses_registry() const override { return registry; }
  bool select_all_when_empty() const override { return true; }
  bool checks_missing_tables() const override { return true; }
  void on_database_start(const std::wstring&, int) override {}
  void on_table_start(const std::wstring& name, int) override { started.push_back(name); }
  void on_table_converted(const std::wstring& text) override { converted.push_back(text); }
  void on_missing_table(const std::wstring& name) override { missing.push_back(name); }
  void on_other_exception(const std::exception& e) override { others.push_back(e.what()); }
  void on_run_outcome(const std::string& text) override { outcomes.push_back(text); }
  std::vector<std::wstring> started, converted, missing;
  std::vector<std::string> others, outcomes;
};

// A fresh folder under TMPDIR, removed with its content at the end.
using qm_test::temp_folder;
