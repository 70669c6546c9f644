#include "common/stop_signals.h"

#include "TK/tk_thread.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace {

const int handled[] = {SIGINT, SIGTERM, SIGHUP};

volatile sig_atomic_t first_signal = 0;
// While a final step runs, a signal is kept here instead of asking for the stop.
volatile sig_atomic_t in_final_step = 0;
volatile sig_atomic_t held_signal = 0;
int wake_pipe[2] = {-1, -1};
struct sigaction previous[sizeof handled / sizeof handled[0]];
bool installed[sizeof handled / sizeof handled[0]] = {};

void ask_for_stop(int number) {
  if (!first_signal) first_signal = number;
  tk_request_stop_all();
  if (wake_pipe[1] >= 0) {
    char byte = 1;
    if (write(wake_pipe[1], &byte, 1) < 0) {
      // Full: the reader has a byte to wake on already.
    }
  }
}

void on_signal(int number) {
  int saved_errno = errno;
  if (in_final_step) {
    if (!held_signal) held_signal = number;
  } else {
    ask_for_stop(number);
  }
  errno = saved_errno;
}

void handled_set(sigset_t& set) {
  sigemptyset(&set);
  for (int number : handled) sigaddset(&set, number);
}

}  // namespace

stop_signals::stop_signals() {
  if (pipe2(wake_pipe, O_CLOEXEC | O_NONBLOCK) != 0) wake_pipe[0] = wake_pipe[1] = -1;
  for (std::size_t i = 0; i < sizeof handled / sizeof handled[0]; ++i) {
    struct sigaction current;
    if (sigaction(handled[i], nullptr, &current) != 0 || current.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = on_signal;
    // One handler at a time, whichever of the signals comes.
    handled_set(action.sa_mask);
    // The handler stays for every later signal: a second one must not end
    // a run that is removing what it made. Without SA_RESTART: a call that
    // waits (an open of a named pipe, a write to a console that nobody
    // reads) returns with EINTR instead of waiting on, so the run comes to
    // where it stops.
    action.sa_flags = 0;
    installed[i] = sigaction(handled[i], &action, &previous[i]) == 0;
  }
}

stop_signals::~stop_signals() {
  for (std::size_t i = 0; i < sizeof handled / sizeof handled[0]; ++i)
    if (installed[i]) sigaction(handled[i], &previous[i], nullptr);
  for (int& fd : wake_pipe) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

int stop_signals::wake_fd() { return wake_pipe[0]; }

bool stop_signals::received() { return first_signal != 0; }

void stop_signals::end_process_if_received() {
  int number = first_signal;
  if (!number) return;
  std::fflush(nullptr);
  signal(number, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, number);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  raise(number);
  _exit(128 + number);
}

namespace {
sigset_t before_final_step;
}  // namespace

stop_signals::final_step::final_step() {
  sigset_t set;
  handled_set(set);
  pthread_sigmask(SIG_BLOCK, &set, &before_final_step);
  in_final_step = 1;
}

stop_signals::final_step::~final_step() {
  // What came in this thread meanwhile arrives here, and is held.
  pthread_sigmask(SIG_SETMASK, &before_final_step, nullptr);
  in_final_step = 0;
  int number = held_signal;
  held_signal = 0;
  if (number) ask_for_stop(number);
}
