// Access SQL of a saved query made ANSI: bracketed names, and string
// concatenation with "&" as CONCAT calls.
#pragma once

#include "UDB/udb_query_parser.h"

#include <string>
#include <vector>

class acc_query_parser : public udb_query_parser {
 public:
  // Parses the statement without a closing WITH OWNERACCESS OPTION.
  explicit acc_query_parser(const std::wstring& sql);

  // The statement and any joined to it were split into their clauses.
  bool is_parsed() const { return ok != 0; }
  // Rewrites the select items and the ORDER BY text of this statement and
  // of every statement joined to it.
  void make_ansi();

  static std::wstring make_safe(const std::wstring& item);
  static std::wstring normalize_concat(const std::wstring& text);
  static std::wstring combine_chunks(const std::vector<std::wstring>& chunks, const std::wstring& last);

 private:
  static void make_ansi(udb_query_parser& statement);
};
