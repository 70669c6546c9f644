// Waiting for a condition instead of for a time: polls until it holds or
// the deadline passes.
#pragma once

#include <chrono>
#include <fstream>
#include <string>
#include <sys/types.h>
#include <thread>
#include <unistd.h>

namespace qm_test {

// True once `condition()` holds; false when it still does not after `limit`.
template <class Condition>
bool wait_for(Condition condition, std::chrono::milliseconds limit,
              std::chrono::milliseconds poll = std::chrono::milliseconds(1)) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(poll);
  }
}

// The system call the thread `tid` of this process waits in, -1 when it
// runs or cannot be looked at (Linux's /proc).
inline long system_call_of(pid_t tid) {
  std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/syscall");
  long number = -1;
  if (!(in >> number)) return -1;
  return number;
}

}  // namespace qm_test
