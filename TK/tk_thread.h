// A worker thread that runs a functor's operator().
#pragma once

#include "platform/win32.h"

#include <atomic>

class tk_thread_functor {
 public:
  virtual ~tk_thread_functor() = default;
  // The thread body: idles until done or asked to stop, then returns what
  // on_done returns.
  virtual int operator()();
  virtual bool is_done();
  virtual void idle();
  virtual int on_done();

  // Asks the body to end at its next check; from any thread, also from a
  // signal handler. The request stays.
  void request_stop() { stop_flag.store(true); }
  // Also true once the whole process has been asked to stop.
  bool stop_requested() const;

 private:
  std::atomic<bool> stop_flag{false};
};

// Asks every functor of the process to stop; async-signal-safe.
void tk_request_stop_all();
// True when the functor that tk_thread runs on the calling thread has been
// asked to stop (false on threads that tk_thread did not start).
bool tk_stop_requested_here();

class tk_thread {
 public:
  explicit tk_thread(bool owns_functor);
  // A thread that still runs is stopped as `stop` does.
  virtual ~tk_thread();
  tk_thread(const tk_thread&) = delete;
  tk_thread& operator=(const tk_thread&) = delete;

  HANDLE start();
  // POSIX cannot stop a thread where it stands: the thread is cancelled,
  // ends at its next cancellation point (a sleep, a wait, file input or
  // output) with its stack unwound, and kill waits for that. Whatever the
  // body held that has no destructor (a library's lock) stays held: a last
  // resort.
  int kill();
  void cleanup();
  bool is_running() const;

  // Asks the functor to stop, without waiting.
  void request_stop();
  // Asks the functor to stop and waits up to `milliseconds` for the thread
  // to end; one that still runs then is killed. True when it ended by itself.
  bool stop(DWORD milliseconds);
  static constexpr DWORD stop_wait_ms = 5000;

 protected:
  // The functor the thread runs; the base makes a base functor it owns.
  virtual tk_thread_functor* create_functor();

  HANDLE handle = nullptr;
  bool owns_functor;
  tk_thread_functor* functor = nullptr;
};
