#include "TK/tk_thread.h"
#include "common/stop_signals.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <pthread.h>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

// Each test runs in a process of its own: the first signal stays received.
TEST(StopSignals, TheFirstSignalEndsACallThatWaits) {
  char folder[] = "/tmp/qm_stop_XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  std::string pipe = std::string(folder) + "/pipe";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  // Should the open wait on, the test ends here instead of hanging.
  alarm(20);
  stop_signals interrupts;
  EXPECT_FALSE(stop_signals::received());
  pthread_t waiting = pthread_self();
  std::string syscall = "/proc/self/task/" + std::to_string(gettid()) + "/syscall";
  std::thread sender([waiting, syscall] {
    // Once the open waits: a signal before it would leave it waiting.
    for (;;) {
      std::ifstream in(syscall);
      long number = -1;
      if ((in >> number) && number == SYS_openat) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pthread_kill(waiting, SIGTERM);
  });
  // No reader ever comes: only the signal ends the open.
  int fd = open(pipe.c_str(), O_WRONLY);
  int error = errno;
  sender.join();
  alarm(0);
  EXPECT_EQ(fd, -1);
  EXPECT_EQ(error, EINTR);
  EXPECT_TRUE(stop_signals::received());
  EXPECT_TRUE(tk_thread_functor().stop_requested());
  unlink(pipe.c_str());
  rmdir(folder);
}

}  // namespace
