#pragma once
#include "../GUI2/ui_driver.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_folder.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

// A fresh folder, also the home of the settings store, for one test.
class wizard_sandbox : public qm_test::temp_folder {
 public:
  wizard_sandbox() : temp_folder("qm_wizard_") { test_app(); }

 private:
  scoped_env config{"XDG_CONFIG_HOME", path};
};

// The workbook as openpyxl (.xlsx) or xlrd (.xls) reads it: one line per sheet, "name rows
// columns first-header", or the reader's error.
std::string read_workbook(const std::string& path);

// An exclusive lock on a SQLite file, held by another process until
// release() or the end of the object (or of this process), so that a
// connection to the file waits for its busy timeout and then fails.
class sqlite_lock_holder {
 public:
  explicit sqlite_lock_holder(const std::string& path);
  ~sqlite_lock_holder() { release(); }
  bool held() const { return holder != nullptr; }
  void release();

 private:
  FILE* holder = nullptr;
};
