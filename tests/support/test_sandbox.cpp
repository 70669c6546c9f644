#include "tests/support/test_sandbox.h"

#include "tests/support/temp_folder.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <sys/stat.h>
#include <unistd.h>

namespace qm_test {

namespace {

// Names the sandbox to the processes the program starts.
constexpr const char* sandbox_variable = "QM_TEST_SANDBOX";

// Made before the program's static objects and never destroyed: it is used
// after their destructors have run.
sandbox_folders* made = nullptr;
pid_t owner = 0;

[[noreturn]] void give_up(const std::string& message) {
  std::fprintf(stderr, "test sandbox: %s\n", message.c_str());
  std::_Exit(1);
}

void make(const std::string& path, mode_t mode) {
  if (mkdir(path.c_str(), mode) != 0)
    give_up(errno_text("cannot make the folder \"" + path + "\""));
}

void set(const char* name, const std::string& value) {
  if (setenv(name, value.c_str(), 1) != 0) give_up(std::string("cannot set ") + name);
}

void remove_at_exit() {
  if (getpid() == owner) remove_tree(made->top);
}

// Before the constructors of the test program's own objects.
__attribute__((constructor(101))) void make_sandbox() {
  made = new sandbox_folders;
  sandbox_folders& folders = *made;
  folders.outer_temp = temp_base();
  const char* inherited = std::getenv(sandbox_variable);
  struct stat st{};
  if (inherited && *inherited && stat(inherited, &st) == 0 && S_ISDIR(st.st_mode)) {
    // A process of a test program: the environment is already the sandbox's.
    folders.top = inherited;
    folders.outer_temp = folders.top.substr(0, folders.top.rfind('/'));
    folders.home = folders.top + "/home";
    folders.runtime = folders.top + "/run";
    folders.temp = folders.top + "/tmp";
    return;
  }
  try {
    folders.top = make_temp_folder("qm_test_", folders.outer_temp);
  } catch (const std::exception& e) {
    give_up(e.what());
  }
  owner = getpid();
  std::atexit(remove_at_exit);
  folders.home = folders.top + "/home";
  folders.runtime = folders.top + "/run";
  folders.temp = folders.top + "/tmp";
  make(folders.home, 0700);
  make(folders.home + "/.config", 0700);
  make(folders.home + "/.cache", 0700);
  make(folders.home + "/.local", 0700);
  make(folders.home + "/.local/share", 0700);
  make(folders.home + "/.local/state", 0700);
  make(folders.runtime, 0700);
  make(folders.temp, 0700);
  set("HOME", folders.home);
  set("XDG_CONFIG_HOME", folders.home + "/.config");
  set("XDG_CACHE_HOME", folders.home + "/.cache");
  set("XDG_DATA_HOME", folders.home + "/.local/share");
  set("XDG_STATE_HOME", folders.home + "/.local/state");
  set("XDG_RUNTIME_DIR", folders.runtime);
  set("TMPDIR", folders.temp);
  // The programs' own temporary folders follow TEMP first.
  unsetenv("TEMP");
  set(sandbox_variable, folders.top);
}

}  // namespace

const sandbox_folders& sandbox() { return *made; }

void end_now(int code) {
  std::fflush(nullptr);
  remove_at_exit();
  std::_Exit(code);
}

}  // namespace qm_test
