#pragma once
#include "../GUI2/ui_driver.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_folder.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>
#include <sys/types.h>
#include <unistd.h>

// A fresh folder, also the home of the settings store, for one test.
class wizard_sandbox : public qm_test::temp_folder {
 public:
  wizard_sandbox() : temp_folder("qm_wizard_") { test_app(); }

 private:
  scoped_env config{"XDG_CONFIG_HOME", path};
};

// A folder of the test's own that the child of qm_test::run_in_child,
// which runs the test's body again, finds too: the test's process makes it
// and removes it at its end, the child takes it from `variable`.
class folder_shared_with_child {
 public:
  folder_shared_with_child(const char* variable, const std::string& prefix) {
    if (const char* shared = std::getenv(variable)) {
      path = shared;
    } else {
      made.emplace(prefix);
      path = made->path;
    }
    share.emplace(variable, path);
  }
  bool child() const { return !made; }
  std::string file(const std::string& name) const { return path + "/" + name; }

  std::string path;

 private:
  std::optional<qm_test::temp_folder> made;
  std::optional<scoped_env> share;
};

// The wizard run in this process as the program runs it, the command line
// (a settings file's path, or nothing) given whole; what it returns.
int run_wizard(const std::string& command_line = std::string());
// A normal start with `folder` as the current folder; the folder before is
// current again afterwards.
int run_wizard_in(const std::string& folder);

// On the finish page: the box that opens the workbook at the end unticked,
// so that nothing is opened on this desktop.
void keep_open_on_exit_off();
// That, and Finish pressed.
void press_finish();

// Fills the connection page for `source` (no host or port, user scott)
// and presses Next.
void connect_to(const QString& source);

// A settings file of a run into `destination`: by default one that
// converts DEPT of the demo source to Excel 2010 as scott, with no
// password and no log file.
class run_settings {
 public:
  explicit run_settings(std::string destination) : destination(std::move(destination)) {}
  run_settings& from(std::string name) {
    source = std::move(name);
    return *this;
  }
  run_settings& in_format(int version) {
    format = version;
    return *this;
  }
  run_settings& selecting(std::vector<std::string> names) {
    tables = std::move(names);
    return *this;
  }
  run_settings& as(std::string name, std::string its_password) {
    user = std::move(name);
    password = std::move(its_password);
    return *this;
  }
  run_settings& logging_to(std::string file) {
    log = std::move(file);
    return *this;
  }
  // Writes the file at `path`; the path.
  std::string write(const std::string& path) const;

 private:
  std::string destination, source = "demo";
  int format = 2;
  std::vector<std::string> tables = {"DEPT"};
  std::string user = "scott", password, log;
};

// An ocilite source file made by the SQL statements; false (and a failure
// of the test) when it cannot be.
bool make_source(const std::string& path, const std::string& sql);

// The folders of a run below `top`: tmp, out, config and runtime.
void make_run_folders(const std::string& top);

// The environment of a run whose folders are below `top`, its sources in
// `sources`.
struct run_environment {
  run_environment(const std::string& top, const std::string& sources)
      : source("OCILITE_PATH", sources),
        temp("TMPDIR", top + "/tmp"),
        config("XDG_CONFIG_HOME", top + "/config"),
        runtime("XDG_RUNTIME_DIR", top + "/runtime") {}
  scoped_env source, temp;
  scoped_env no_temp{"TEMP", nullptr};
  scoped_env config, runtime;
};

// Root passes by the modes of files and folders; this process then meets
// them as their owner does, and so do the threads it starts afterwards.
// Nothing changes for any other user. False when that cannot be done.
bool meet_file_modes_even_as_root();

// Starts the program quillet on the settings file `profile`, on the
// offscreen platform, with `environment` and this process's PATH as its
// environment; its process id, or -1 when it cannot be started.
pid_t start_quillet(const std::string& profile, std::vector<std::string> environment);

// The status of a child process once it has ended; when it has not ended
// within `seconds` it is killed, and the result is -1.
int wait_for_end(pid_t pid, int seconds);

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
