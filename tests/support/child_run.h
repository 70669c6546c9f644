// A statement run in a new process of the test program, as googletest's
// "threadsafe" death tests run it, but with the child's standard error
// read through a pipe: googletest 1.12 captures it in a file it makes in
// /tmp, whatever TMPDIR says.
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace qm_test {

struct child_run {
  int status = -1;           // as waitpid gives it; -1 when there is none
  std::string error_output;  // what the child wrote to its standard error
  std::string problem;       // why the child could not be run or waited for

  bool exited_with(int code) const;
  // Whether the POSIX extended regular expression matches a part of the
  // error output, as in googletest's death tests.
  bool error_output_matches(const std::string& pattern) const;
  // How the child ended and what it said, for a failure message.
  std::string describe() const;
};

// Runs the test program again, with only the current test, which runs up
// to this call and there carries out `statement`, which should end the
// process. A child that runs longer than `limit` is killed. In the child
// itself the call does not return.
child_run run_in_child(const std::function<void()>& statement,
                       std::chrono::seconds limit = std::chrono::seconds(120));

}  // namespace qm_test
