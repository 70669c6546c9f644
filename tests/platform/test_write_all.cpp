#include "platform/write_all.h"
#include "tests/support/wait_for.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <string>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::atomic<int> interruptions{0};
void count_interruption(int) { ++interruptions; }

std::vector<char> numbered_bytes(std::size_t size) {
  std::vector<char> out(size);
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<char>(i * 7 + i / 251);
  return out;
}

// A pipe that holds one page: the writer waits in write(2) for the reader,
// and a signal (without SA_RESTART) ends that write early, after a part of
// the buffer or before any of it.
TEST(WriteAll, TheWholeBufferArrivesThroughPartialAndInterruptedWrites) {
  struct sigaction action{}, previous{};
  action.sa_handler = count_interruption;
  sigemptyset(&action.sa_mask);
  ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  fcntl(ends[1], F_SETPIPE_SZ, 4096);
  const std::vector<char> data = numbered_bytes(256 * 1024);
  interruptions = 0;
  pthread_t writer = pthread_self();
  pid_t writer_id = gettid();
  std::vector<char> received;
  std::thread reader([&] {
    // Three interruptions while the writer waits, then the reading.
    for (int i = 0; i < 3; ++i) {
      qm_test::wait_for([&] { return qm_test::system_call_of(writer_id) == SYS_write; }, std::chrono::seconds(10));
      int before = interruptions;
      pthread_kill(writer, SIGUSR1);
      qm_test::wait_for([&] { return interruptions > before; }, std::chrono::seconds(10));
    }
    char buffer[8192];
    ssize_t n;
    while ((n = read(ends[0], buffer, sizeof buffer)) > 0) received.insert(received.end(), buffer, buffer + n);
  });
  std::size_t written = 0;
  EXPECT_EQ(qm_platform::write_all(ends[1], data.data(), data.size(), &written), 0);
  EXPECT_EQ(written, data.size());
  close(ends[1]);
  reader.join();
  close(ends[0]);
  sigaction(SIGUSR1, &previous, nullptr);
  EXPECT_EQ(interruptions, 3);
  EXPECT_TRUE(received == data) << received.size() << " bytes arrived of " << data.size();
}

TEST(WriteAll, AFailureGivesItsErrnoAndWhatWasWritten) {
  std::signal(SIGPIPE, SIG_IGN);
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  close(ends[0]);
  std::size_t written = 99;
  const char text[] = "nobody reads this";
  EXPECT_EQ(qm_platform::write_all(ends[1], text, sizeof text, &written), EPIPE);
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(qm_platform::write_all_at(ends[1], text, sizeof text, 0), ESPIPE);
  close(ends[1]);
}

}  // namespace
