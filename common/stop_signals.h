// SIGINT, SIGTERM and SIGHUP stop a conversion run where it can stop
// cleanly instead of ending the process where it stands: the first one asks
// every run to stop (the run then removes its temporary files and any
// unfinished workbook), and the program ends by that signal once the run is
// over. Later signals change nothing: a run that cleans up after a stop is
// never ended half-way. A call that waits when a signal comes returns early
// with EINTR.
#pragma once

class stop_signals {
 public:
  // Installs the handlers for the life of the object; a signal that is
  // ignored when the program starts stays ignored.
  stop_signals();
  ~stop_signals();
  stop_signals(const stop_signals&) = delete;
  stop_signals& operator=(const stop_signals&) = delete;

  // Becomes readable when a signal has come, for an event loop or a wait
  // to watch; -1 while no handlers are installed.
  static int wake_fd();
  // True once one of the signals has come.
  static bool received();
  // After a signal: ends the process by it, as the signal's default action
  // does, with the standard streams flushed. Returns when none came.
  static void end_process_if_received();

  // A step that a stop must find either not begun or done: a signal that
  // comes while the object lives (blocked in the thread that made it, held
  // in any other) asks for the stop only once it goes, so that a stop check
  // made after its making lets the step go on to its end.
  class final_step {
   public:
    final_step();
    ~final_step();
    final_step(const final_step&) = delete;
    final_step& operator=(const final_step&) = delete;
  };
};
