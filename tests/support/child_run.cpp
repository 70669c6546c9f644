#include "tests/support/child_run.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <poll.h>
#include <regex.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace qm_test {

namespace {

// Names the call of the test that a child is to carry out: "<test>#<n>".
constexpr const char* child_variable = "QM_CHILD_RUN";

// "<suite>.<test>#<n>" for the n-th call within the running test.
std::string call_name() {
  static std::string last_test;
  static int calls = 0;
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string test = info ? std::string(info->test_suite_name()) + "." + info->name() : "";
  if (test != last_test) {
    last_test = test;
    calls = 0;
  }
  return test + "#" + std::to_string(++calls);
}

}  // namespace

bool child_run::exited_with(int code) const { return status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == code; }

bool child_run::error_output_matches(const std::string& pattern) const {
  regex_t compiled;
  if (regcomp(&compiled, pattern.c_str(), REG_EXTENDED | REG_NOSUB) != 0) return false;
  bool found = regexec(&compiled, error_output.c_str(), 0, nullptr, 0) == 0;
  regfree(&compiled);
  return found;
}

std::string child_run::describe() const {
  std::string how;
  if (!problem.empty())
    how = problem;
  else if (WIFEXITED(status))
    how = "exit code " + std::to_string(WEXITSTATUS(status));
  else if (WIFSIGNALED(status))
    how = "signal " + std::to_string(WTERMSIG(status));
  else
    how = "status " + std::to_string(status);
  return how + "; its error output:\n" + error_output;
}

child_run run_in_child(const std::function<void()>& statement, std::chrono::seconds limit) {
  const std::string call = call_name();
  child_run run;
  if (const char* wanted = std::getenv(child_variable)) {
    // A child: this is its call, or one before it that its parent carried out.
    if (call != wanted) {
      run.problem = "carried out by the parent";
      return run;
    }
    unsetenv(child_variable);
    try {
      statement();
      std::fprintf(stderr, "run_in_child: the statement returned\n");
    } catch (const std::exception& e) {
      std::fprintf(stderr, "run_in_child: the statement threw: %s\n", e.what());
    } catch (...) {
      std::fprintf(stderr, "run_in_child: the statement threw\n");
    }
    std::fflush(stderr);
    std::_Exit(1);
  }

  char exe[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (length <= 0) {
    run.problem = errno_text("cannot find the test program");
    return run;
  }
  exe[length] = '\0';
  std::string test = call.substr(0, call.rfind('#'));
  std::vector<std::string> args = {exe, "--gtest_filter=" + test, "--gtest_also_run_disabled_tests"};
  std::vector<std::string> env = {std::string(child_variable) + "=" + call};
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, child_variable, std::strlen(child_variable)) != 0 ||
        (*e)[std::strlen(child_variable)] != '=')
      env.push_back(*e);
  std::vector<char*> argv, envp;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) {
    run.problem = errno_text("cannot make a pipe");
    return run;
  }
  pid_t pid = fork();
  if (pid < 0) {
    run.problem = errno_text("cannot start the child");
    close(ends[0]);
    close(ends[1]);
    return run;
  }
  if (pid == 0) {
    // Only what is safe between fork and exec in a program with threads.
    int quiet = open("/dev/null", O_WRONLY);
    if (quiet >= 0) dup2(quiet, 1);
    dup2(ends[1], 2);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(ends[1]);
  // Read until the child has ended; a process it started may keep the pipe
  // open longer.
  fcntl(ends[0], F_SETFL, O_NONBLOCK);
  auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  bool ended = false, closed = false;
  for (;;) {
    char buffer[4096];
    ssize_t got = 0;
    while (!closed && (got = read(ends[0], buffer, sizeof buffer)) > 0)
      run.error_output.append(buffer, static_cast<std::size_t>(got));
    if (got == 0) closed = true;
    if (ended) break;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      ended = true;  // one more read for what is left in the pipe
      continue;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      run.problem = "the child did not end within " + std::to_string(limit.count()) + " s and was killed";
      break;
    }
    pollfd p{ends[0], POLLIN, 0};
    poll(&p, closed ? 0 : 1, 100);
  }
  close(ends[0]);
  if (run.problem.empty()) run.status = status;
  return run;
}

}  // namespace qm_test
