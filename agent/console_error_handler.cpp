// The console's display of an exception.
#include "agent/console.h"
#include "common/error_handler.h"

#include "TK/tk_log.h"

void error_handler::handle(const tk_exception& e, bool) {
  tk_log::write(1, "error_handler::handle");
  if (e.level == 2) {
    tk_log::write(3, "Internal error:\n%s", e.what());
    console_write(stdout, "Internal error: " + internal_text(e) + "\n");
    throw console_exit{-1};
  }
  std::string text = compose(e);
  tk_log::write(3, "Error:\n%s", text.c_str());
  for (char& c : text)
    if (c == '\n') c = ' ';
  if (!quiet) {
    console_write(stdout, "Error:\n" + text + "\n");
  }
  ++console_errors_printed;
  if (e.level == 1) {
    tk_log::write(3, "Got 1-level error");
    throw console_exit{-1};
  }
  tk_log::write(3, "Got 0-level error");
}
