// The folder a test program lives in: made before anything of the program
// is constructed, it is the program's HOME (with its XDG folders), its
// XDG_RUNTIME_DIR and its TMPDIR, so that nothing a test or a library it
// calls writes lands among the files of whoever runs the tests. The
// process that made it removes it at its end; the processes it starts
// (death tests that run the program again among them) share it.
#pragma once

#include <string>

namespace qm_test {

struct sandbox_folders {
  std::string top;      // holds the others
  std::string home;     // HOME; XDG_CONFIG_HOME is home/.config
  std::string runtime;  // XDG_RUNTIME_DIR, mode 0700
  std::string temp;     // TMPDIR
  std::string outer_temp;  // the TMPDIR (or /tmp) of whoever runs the tests
};

const sandbox_folders& sandbox();

// Ends the program at once, as std::_Exit does, for a test that cannot go
// on (a modal loop that never returns): the sandbox goes first when this
// process made it, since _Exit runs no handler that would remove it.
[[noreturn]] void end_now(int code);

}  // namespace qm_test
