#include "agent/console.h"

#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "platform/utf8.h"
#include "common/stop_signals.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <poll.h>
#include <unistd.h>

int console_errors_printed = 0;

void console_write(std::FILE* stream, const std::string& text) {
  int fd = fileno(stream);
  for (std::size_t done = 0; done < text.size();) {
    // Not stdio: its write goes on after the short write that a signal
    // causes, so a console that nobody reads would hold the run for ever.
    if (stop_signals::received()) return;
    pollfd waits[2] = {{fd, POLLOUT, 0}, {stop_signals::wake_fd(), POLLIN, 0}};
    if (::poll(waits, waits[1].fd >= 0 ? 2 : 1, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (waits[1].revents) return;
    // At most what a ready pipe takes without waiting: the write itself
    // must not wait where a signal could not end it.
    ssize_t n = ::write(fd, text.data() + done, std::min<std::size_t>(text.size() - done, PIPE_BUF));
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
      return;
    }
  }
}

void fatal_exit(const std::string& text) {
  tk_log::write(3, "%s", text.c_str());
  console_write(stderr, text + "\n");
  std::exit(-1);
}

std::string console_text(const std::wstring& text) {
  std::string narrow;
  // A path in the text may hold bytes that are no text.
  return tk_w2a(qm_platform::path_as_text(text).c_str(), narrow) ? narrow : std::string("?");
}

void console_front_end::on_database_start(const std::wstring& source_name, int tables_total) {
  console_write(stdout, "Converting database " + console_text(source_name) + "(" + std::to_string(tables_total) +
                            " tables)\n");
}

void console_front_end::on_table_start(const std::wstring& name, int records_total) {
  std::string line = "Converting table " + console_text(name);
  if (records_total != 0) line += " (" + std::to_string(records_total) + " records)";
  console_write(stdout, line + "\n");
}

void console_front_end::on_table_converted(const std::wstring&) {}

void console_front_end::on_missing_table(const std::wstring& name) {
  console_write(stderr, "Table " + console_text(name) + " not exists\n");
}

void console_front_end::on_other_exception(const std::exception& e) {
  ++console_errors_printed;
  tk_log::write(3, "ERROR:\n%s", e.what());
  console_write(stderr, std::string(e.what()) + "\n");
}

void console_front_end::on_run_outcome(const std::string& text) {
  ++console_errors_printed;
  tk_log::write(3, "Error:\n%s", text.c_str());
  console_write(stdout, "Error:\n" + text + "\n");
}
