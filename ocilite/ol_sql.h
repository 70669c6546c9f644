// Statement translation: the Oracle SQL that clients send, rewritten into
// the SQLite statement that runs it. The text is read as tokens; identifiers
// outside quotes are folded to upper case as the server folds them, schema
// prefixes of the connected user and of SYS are dropped, placeholders are
// numbered by occurrence, and the clauses SQLite lacks (FOR UPDATE,
// RETURNING ... INTO) are taken out and carried beside the text.
#pragma once

#include "oci/oci_types.h"

#include <string>
#include <string_view>
#include <vector>

namespace ocilite {

enum class tok { word, quoted, string, number, blob, param, punct, space, comment };

struct token {
  tok kind;
  std::string text;   // as written (a national string loses its N)
  std::string value;  // word: upper case; quoted: inside the quotes; param: its name
};

std::vector<token> lex(std::string_view sql);  // throws ORA-01756

enum class stmt_kind { query, dml, ddl, commit, rollback, plsql, unknown };

struct placeholder {
  std::string name;  // "1", "NAME"
  bool out = false;  // a target of RETURNING ... INTO
  int index = 0;     // SQLite parameter number (in) or RETURNING column (out)
};

struct sql_plan {
  stmt_kind kind = stmt_kind::unknown;
  ub2 stmt_type = 0;
  std::string first_word;
  std::string sqlite_sql;
  std::vector<placeholder> placeholders;  // in the order they are written
  int in_count = 0;
  bool for_update = false;  // the last result column is the row number
  bool returning = false;
};

// The kind and statement type only; needs no connection.
sql_plan classify(std::string_view sql);

// The full translation for a session of `user`.
sql_plan translate(std::string_view sql, const std::string& user);

}  // namespace ocilite
