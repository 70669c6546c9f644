#include "platform/win32.h"
#include "tests/support/wait_for.h"

#include <atomic>
#include <gtest/gtest.h>

namespace {

std::atomic<int> progress{0};
std::atomic<bool> unwound{false};

struct unwind_probe {
  ~unwind_probe() { unwound = true; }
};

DWORD returns_seven(LPVOID) { return 7; }

DWORD runs_forever(LPVOID) {
  unwind_probe probe;
  for (;;) {
    try {
      Sleep(5);
      ++progress;
    } catch (...) {
      qm_rethrow_if_cancelled();  // a catch-all must let the cancellation through
    }
  }
}

TEST(Threads, ExitCodeAndWait) {
  HANDLE h = CreateThread(nullptr, 0, returns_seven, nullptr, 0, nullptr);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(WaitForSingleObject(h, INFINITE), WAIT_OBJECT_0);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(h, &code));
  EXPECT_EQ(code, 7u);
  CloseHandle(h);
}

TEST(Threads, TerminateEndsTheThreadAndUnwindsIt) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer cannot follow a cancelled thread's unwinding; run under valgrind";
#endif
  progress = 0;
  unwound = false;
  HANDLE h = CreateThread(nullptr, 0, runs_forever, nullptr, 0, nullptr);
  ASSERT_TRUE(qm_test::wait_for([] { return progress >= 3; }, std::chrono::seconds(10))) << "the thread made no progress";
  EXPECT_EQ(WaitForSingleObject(h, 10), WAIT_TIMEOUT);
  EXPECT_TRUE(TerminateThread(h, 0));
  EXPECT_EQ(WaitForSingleObject(h, INFINITE), WAIT_OBJECT_0);
  EXPECT_TRUE(unwound);
  DWORD code = 1;
  GetExitCodeThread(h, &code);
  EXPECT_EQ(code, 0u);
  CloseHandle(h);
}

}  // namespace
