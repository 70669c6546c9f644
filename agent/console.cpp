#include "agent/console.h"

#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "platform/utf8.h"

#include <cstdio>
#include <cstdlib>

int console_errors_printed = 0;

void fatal_exit(const std::string& text) {
  tk_log::write(3, "%s", text.c_str());
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stdout);
  std::exit(-1);
}

std::string console_text(const std::wstring& text) {
  std::string narrow;
  // A path in the text may hold bytes that are no text.
  return tk_w2a(qm_platform::path_as_text(text).c_str(), narrow) ? narrow : std::string("?");
}

void console_front_end::on_database_start(const std::wstring& source_name, int tables_total) {
  std::printf("Converting database %s(%d tables)\n", console_text(source_name).c_str(), tables_total);
  std::fflush(stdout);
}

void console_front_end::on_table_start(const std::wstring& name, int records_total) {
  std::printf("Converting table %s", console_text(name).c_str());
  if (records_total != 0) std::printf(" (%d records)", records_total);
  std::printf("\n");
  std::fflush(stdout);
}

void console_front_end::on_table_converted(const std::wstring&) {}

void console_front_end::on_missing_table(const std::wstring& name) {
  std::fflush(stdout);
  std::fprintf(stderr, "Table %s not exists\n", console_text(name).c_str());
}

void console_front_end::on_other_exception(const std::exception& e) {
  ++console_errors_printed;
  tk_log::write(3, "ERROR:\n%s", e.what());
  std::fflush(stdout);
  std::fprintf(stderr, "%s\n", e.what());
}
