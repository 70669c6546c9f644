// A worker thread that runs a functor's operator().
#pragma once

#include "platform/win32.h"

class tk_thread_functor {
 public:
  virtual ~tk_thread_functor() = default;
  // The thread body: idles until done, then returns what on_done returns.
  virtual int operator()();
  virtual bool is_done();
  virtual void idle();
  virtual int on_done();
};

class tk_thread {
 public:
  explicit tk_thread(bool owns_functor);
  virtual ~tk_thread();
  tk_thread(const tk_thread&) = delete;
  tk_thread& operator=(const tk_thread&) = delete;

  HANDLE start();
  // POSIX cannot stop a thread where it stands: the thread is cancelled,
  // ends at its next cancellation point (a sleep, a wait, file input or
  // output) with its stack unwound, and kill waits for that.
  int kill();
  void cleanup();
  bool is_running() const;

 protected:
  // The functor the thread runs; the base makes a base functor it owns.
  virtual tk_thread_functor* create_functor();

  HANDLE handle = nullptr;
  bool owns_functor;
  tk_thread_functor* functor = nullptr;
};
