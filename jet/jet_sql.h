// The statements the spreadsheet driver runs: every record of a sheet, and
// the count of them.
#pragma once

#include <string>

struct jet_query {
  enum kind_t { all, count } kind = all;
  std::wstring table;
};

// SELECT * FROM t, SELECT COUNT(*) FROM t and SELECT COUNT(*) FROM
// (SELECT * FROM t) [[AS] alias], keywords in any case, the table name
// bare or in square brackets, an optional closing semicolon. False for
// anything else.
bool jet_parse_query(const std::wstring& sql, jet_query& query);
