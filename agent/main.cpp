// QUILLCMD: one whole conversion from the command line.
#include "TK/tk_log.h"
#include "agent/console.h"
#include "agent/options.h"
#include "common/error_handler.h"
#include "common/quillet_convertor.h"
#include "common/stop_signals.h"

#include <csignal>
#include <cstdio>
#include <memory>

namespace {

void on_closed_pipe(int) {}

// A console that nobody reads any more (`QUILLCMD ... | head`) must not end
// the run half-way: its writes fail with EPIPE and their text is dropped.
// A handler, not SIG_IGN, so that the programs the run starts get the
// default action again.
void keep_running_on_closed_pipe() {
  struct sigaction current;
  if (sigaction(SIGPIPE, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) return;
  struct sigaction action {};
  action.sa_handler = on_closed_pipe;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGPIPE, &action, nullptr);
}

void report_log_failure(const std::string& message) { console_write(stderr, message + "\n"); }

// `complete`: the run's workbook took the destination's place.
int run(int argc, char** argv, bool& complete) {
  console_front_end front;
  std::unique_ptr<quillet_convertor> convertor;
  try {
    convertor = std::make_unique<quillet_convertor>(front);
    // A settings file may name the log before a later option names the
    // destination, and the source it reads is known once it is open:
    // nothing is written to the log until then.
    convertor->hold_log();
    try {
      if (argc < 2 || !parse_cmd_line(argc, argv)) fatal_exit(usage_text());
      // Refused before anything is connected, as any other bad option.
      convertor->check_dest();
      convertor->connect_oracle_server(convertor->source_name);
    } catch (...) {
      // What a run that ended before its source was open logged: the log
      // may name the file that source is, left unopened.
      convertor->start_log_without_source(convertor->known_destination());
      throw;
    }
    // The log's first touch of its file comes once its name is known to
    // lead to no file the run writes or reads.
    convertor->start_log(convertor->known_destination());
    (*convertor)();
  } catch (const tk_exception& e) {
    error_handler::instance().handle(e, false);
  } catch (const std::exception& e) {
    fatal_exit(e.what());
  }
  complete = convertor && convertor->workbook_in_place;
  // Nothing may be missing from the workbook for the run to count as good.
  bool clean = console_errors_printed == 0 && convertor && convertor->items_failed == 0 && convertor->finished;
  return clean ? 0 : -1;
}

}  // namespace

int main(int argc, char** argv) {
  // An interrupt stops the run, which removes what it made; the process
  // then ends by that signal.
  stop_signals interrupts;
  keep_running_on_closed_pipe();
  // Disabled until a settings file names a log file.
  tk_log log;
  log.report_failure = report_log_failure;
  error_handler handler(oracle_error_count, oracle_error_table);
  handler.load_err_map(dao_error_count, dao_error_table);
  handler.load_err_map(date_range_error_count, date_range_error_table);
  int code;
  bool complete = false;
  try {
    code = run(argc, argv, complete);
  } catch (const console_exit& e) {
    code = e.code;
  }
  std::fflush(stdout);
  // A signal that came once the workbook was in place stopped nothing: the
  // run ends as the whole one it is.
  if (!complete) stop_signals::end_process_if_received();
  return code;
}
