#include "agent/ansi_cmd_line.h"

#include "TK/tk_exception.h"

#include <cstring>

ansi_cmd_line::ansi_cmd_line(int argc, char** argv, const cmd_line_option* table)
    : option_table(table), cursor(argv + 1), left(argc > 0 ? argc - 1 : 0) {
  if (has_more()) parse(*cursor);
}

bool ansi_cmd_line::has_more() const { return left > 0; }

void ansi_cmd_line::next() {
  if (!has_more()) throw tk_mail_assertion("tk_cmdli", 60);
  ++cursor;
  --left;
  if (has_more()) parse(*cursor);
}

void ansi_cmd_line::parse(const char* argument) {
  if (!has_more()) throw tk_mail_assertion("tk_cmdli", 19);
  for (const cmd_line_option* o = option_table; o && o->prefix; ++o) {
    std::size_t n = std::strlen(o->prefix);
    if (std::strncmp(argument, o->prefix, n) != 0) continue;
    value = argument + n;
    if (n == 0) {
      option_id = -1;
      if (positional_count >= max_positional) throw tk_mail_assertion("tk_cmdli", 52);
      positional[positional_count++] = argument;
    } else {
      option_id = o->id;
    }
    return;
  }
}
