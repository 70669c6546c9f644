// Folders of the tests' own, under TMPDIR (else /tmp). Every call is
// checked: a folder that cannot be made throws with its path and errno,
// one that cannot be removed is reported the same way.
#pragma once

#include <cerrno>
#include <string>

namespace qm_test {

// The folder temporary files go to: TMPDIR when set, else /tmp.
std::string temp_base();

// A new folder `<base>/<prefix>XXXXXX` (mode 0700); `base` empty means
// temp_base(). Throws std::runtime_error naming the path and errno.
std::string make_temp_folder(const std::string& prefix = "qm_", const std::string& base = std::string());

// Removes the folder and everything in it, read-only folders included,
// without following links. False (and a report) on the first failure.
bool remove_tree(const std::string& path);

// "<what>: <the error's text> (errno <n>)", as the support's failures say.
std::string errno_text(const std::string& what, int error = errno);

// Where failures found in destructors go: stderr unless the test main
// turns them into failures of the running test.
using failure_reporter = void (*)(const std::string& message);
void set_failure_reporter(failure_reporter reporter);
void report_failure(const std::string& message);

// A fresh folder for one scope, removed with its content at the end.
class temp_folder {
 public:
  explicit temp_folder(const std::string& prefix = "qm_", const std::string& base = std::string())
      : path(make_temp_folder(prefix, base)) {}
  ~temp_folder() { remove_tree(path); }
  temp_folder(const temp_folder&) = delete;
  temp_folder& operator=(const temp_folder&) = delete;

  std::string file(const std::string& name) const { return path + "/" + name; }
  std::string path;
};

}  // namespace qm_test
