#include "TK/tk_exception.h"
#include "TK/tk_thread.h"
#include "tests/support/wait_for.h"

#include <atomic>
#include <gtest/gtest.h>

namespace {

std::string assertion(int line) { return tk_mail_assertion("tk_threa", line).message; }

struct counting_functor : tk_thread_functor {
  std::atomic<bool> done{false};
  std::atomic<int> idles{0};
  std::atomic<int> dones{0};
  std::atomic<bool>* destroyed = nullptr;
  ~counting_functor() override {
    if (destroyed) *destroyed = true;
  }
  bool is_done() override { return done; }
  void idle() override {
    ++idles;
    Sleep(1);
  }
  int on_done() override { return ++dones; }
};

struct functor_thread : tk_thread {
  functor_thread(tk_thread_functor* f, bool owns) : tk_thread(owns), made(f) {}
  tk_thread_functor* create_functor() override { return made; }
  tk_thread_functor* made;
};

// AddressSanitizer cannot follow the unwinding of a cancelled thread; these
// tests run under valgrind instead.
#if defined(__SANITIZE_ADDRESS__)
#define SKIP_IF_CANCEL_UNSUPPORTED() GTEST_SKIP() << "thread cancellation under AddressSanitizer"
#else
#define SKIP_IF_CANCEL_UNSUPPORTED() (void)0
#endif

template <class F>
std::string message_of(F f) {
  try {
    f();
  } catch (const tk_mail_assertion& e) {
    return e.message;
  }
  return "no assertion";
}

TEST(Functor, DoneAtOnceNeverIdles) {
  counting_functor f;
  f.done = true;
  EXPECT_EQ(f(), 1);
  EXPECT_EQ(f.idles, 0);
}

TEST(Thread, StartWhileRunningIsRefusedAndRestartAfterFinish) {
  counting_functor f;
  functor_thread t(&f, false);
  EXPECT_NE(t.start(), nullptr);
  EXPECT_TRUE(t.is_running());
  EXPECT_EQ(message_of([&] { t.start(); }), assertion(92));
  EXPECT_TRUE(t.is_running());  // the running thread is left alone
  EXPECT_EQ(message_of([&] { t.cleanup(); }), assertion(71));
  f.done = true;
  ASSERT_TRUE(qm_test::wait_for([&] { return !t.is_running(); }, std::chrono::seconds(10))) << "the thread runs on";
  EXPECT_EQ(f.dones, 1);
  f.done = false;
  EXPECT_NE(t.start(), nullptr);  // the old handle is closed, a new thread runs
  f.done = true;
  ASSERT_TRUE(qm_test::wait_for([&] { return !t.is_running(); }, std::chrono::seconds(10))) << "the thread runs on";
  EXPECT_EQ(f.dones, 2);
}

TEST(Thread, KillEndsARunningThreadAndNeedsOne) {
  SKIP_IF_CANCEL_UNSUPPORTED();
  tk_thread_functor never_run;
  functor_thread idle_one(&never_run, false);
  EXPECT_EQ(message_of([&] { idle_one.kill(); }), assertion(55));
  std::atomic<bool> destroyed{false};
  auto* f = new counting_functor;
  f->destroyed = &destroyed;
  functor_thread t(f, true);
  t.start();
  ASSERT_TRUE(qm_test::wait_for([&] { return f->idles >= 2; }, std::chrono::seconds(10))) << "the thread never idled";
  EXPECT_EQ(t.kill(), 0);
  EXPECT_FALSE(t.is_running());
  EXPECT_TRUE(destroyed);  // an owned functor goes with the clean-up
}

TEST(Thread, NotOwnedFunctorSurvivesAndDestructorKills) {
  SKIP_IF_CANCEL_UNSUPPORTED();
  std::atomic<bool> destroyed{false};
  counting_functor f;
  f.destroyed = &destroyed;
  {
    functor_thread t(&f, false);
    t.start();
    ASSERT_TRUE(qm_test::wait_for([&] { return f.idles >= 1; }, std::chrono::seconds(10))) << "the thread never idled";
  }  // the destructor kills the thread and waits for its end
  EXPECT_FALSE(destroyed);
  int idles = f.idles;
  Sleep(20);
  EXPECT_EQ(f.idles, idles);
}

TEST(Thread, BaseFunctorIsOwnedAndNullFunctorRefused) {
  SKIP_IF_CANCEL_UNSUPPORTED();
  tk_thread t(false);
  t.start();
  EXPECT_TRUE(t.is_running());
  t.kill();
  functor_thread none(nullptr, false);
  EXPECT_EQ(message_of([&] { none.start(); }), assertion(105));
}

}  // namespace

namespace {

// Works until it is asked to stop, then says it ended by itself.
struct listening_functor : tk_thread_functor {
  std::atomic<bool> ended{false};
  int operator()() override {
    while (!stop_requested()) Sleep(1);
    ended = true;
    return 0;
  }
};

struct deaf_functor : tk_thread_functor {
  int operator()() override {
    for (;;) Sleep(5);
  }
};

TEST(Thread, StopAsksTheFunctorAndWaitsForItsEnd) {
  listening_functor f;
  functor_thread t(&f, false);
  t.start();
  EXPECT_TRUE(t.stop(5000));
  EXPECT_TRUE(f.ended);
  EXPECT_FALSE(t.is_running());
  tk_thread base(false);  // the base functor idles until asked
  base.start();
  EXPECT_TRUE(base.stop(5000));
}

TEST(Thread, StopCancelsAThreadThatDoesNotListenAfterTheWait) {
  SKIP_IF_CANCEL_UNSUPPORTED();
  functor_thread t(new deaf_functor, true);
  t.start();
  EXPECT_FALSE(t.stop(100));
  EXPECT_FALSE(t.is_running());
}

}  // namespace
