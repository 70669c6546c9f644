// While it lives, a thread of its own watches the stop of a run (Cancel,
// an interrupt): once the stop is asked for, the call the engine has under
// way at the server is broken off with OCIBreak, so that a long statement
// ends within a moment (with ORA-01013) instead of running to its end.
// That error, and every statement the engine would start after it, then
// ends the run as a stop does (tk_final_exception) rather than as an error.
#pragma once

#include "oci/oci_types.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class ora_engine;

class ora_stop_watch {
 public:
  // `stop_requested` is asked from the watching thread, ten times a second
  // while a call is under way.
  ora_stop_watch(ora_engine& engine, std::function<bool()> stop_requested);
  ~ora_stop_watch();
  ora_stop_watch(const ora_stop_watch&) = delete;
  ora_stop_watch& operator=(const ora_stop_watch&) = delete;

 private:
  void watch();

  ora_engine& engine;
  // The break's own error handle: the engine's belongs to the call.
  OCIError* error = nullptr;
  std::mutex mutex;
  std::condition_variable wake;
  bool ending = false;
  std::thread thread;
};
