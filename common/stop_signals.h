// SIGINT, SIGTERM and SIGHUP stop a conversion run where it can stop
// cleanly instead of ending the process where it stands: the first one asks
// every run to stop (the run then removes its temporary files and any
// unfinished workbook), and the program ends by that signal once the run is
// over. A second signal of the same kind ends the process at once. A call
// that waits when the signal comes returns early with EINTR.
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
};
