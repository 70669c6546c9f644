#include "TK/tk_thread.h"
#include "common/stop_signals.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wait_for.h"

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
  qm_test::temp_folder folder("qm_stop_");
  std::string pipe = folder.file("pipe");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  // Should the open wait on, the test ends here instead of hanging.
  alarm(20);
  stop_signals interrupts;
  EXPECT_FALSE(stop_signals::received());
  pthread_t waiting = pthread_self();
  pid_t waiting_id = gettid();
  std::thread sender([waiting, waiting_id] {
    // Once the open waits: a signal before it would leave it waiting.
    qm_test::wait_for([&] { return qm_test::system_call_of(waiting_id) == SYS_openat; }, std::chrono::seconds(15));
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
}

}  // namespace
