// Lives for one run: logs its start and end, initialises COM on the run's
// thread unless that is done, and sets the finished flag however the run
// ends.
#pragma once

#include <atomic>

class conversion_front_end;

class init_conversion {
 public:
  init_conversion(std::atomic<bool>* finished, bool com_already_initialised, conversion_front_end& front);
  ~init_conversion();
  init_conversion(const init_conversion&) = delete;
  init_conversion& operator=(const init_conversion&) = delete;

 private:
  bool com_already_initialised;
  std::atomic<bool>* finished;
};
