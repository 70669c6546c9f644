// Statement translation: the Oracle SQL that clients send, rewritten into
// the SQLite statement that runs it. The text is read as tokens; identifiers
// outside quotes are folded to upper case as the server folds them, schema
// prefixes of the connected user and of SYS are dropped, placeholders are
// numbered by occurrence, and the clauses SQLite lacks (FOR UPDATE,
// RETURNING ... INTO) are taken out and carried beside the text.
#pragma once

#include "oci/oci_types.h"
#include "ocilite/ol_types.h"

#include <map>
#include <optional>
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
  // The kind of the table column the value is written into or compared
  // with, when the statement shows it (by_value when it does not).
  col_kind target = col_kind::by_value;
};

// What the translation needs to know of the schema: the columns of a table
// and the columns that an insert trigger numbers from a sequence.
struct column_info {
  std::string name;
  col_kind kind = col_kind::by_value;
  // The longest value the column takes (ORA-12899 beyond it), 0 for no
  // limit, counted in `length_unit` (see col_type).
  ub4 max_length = 0;
  char length_unit = 0;
};
// The names of the tables and views of a schema and of their columns, each
// under its upper-case form with every spelling that has it.
struct known_names {
  std::map<std::string, std::vector<std::string>> tables, columns;
};
struct sequence_fill {
  std::string column;
  std::string sequence;
  bool only_when_null = true;
};
// A table or view as a query reads it.
struct schema_column {
  std::string name;
  std::string declared;  // the declared type
  bool not_null = false;
};
struct schema_object {
  std::string name;  // as the schema spells it
  bool view = false;  // a view of the user's schema, read through its query
  std::string query;  // a view's query
  std::vector<schema_column> columns;
};
class schema_lookup {
 public:
  virtual ~schema_lookup() = default;
  // In column order; empty for an unknown table.
  virtual std::vector<column_info> columns(const std::string& table) = 0;
  virtual std::vector<sequence_fill> fills(const std::string& table) = 0;
  virtual const known_names& names() = 0;
  // The table or view of that name: spelled exactly so when `exact`, else
  // in any case (the exact spelling first); null when there is none.
  virtual const schema_object* object(const std::string& name, bool exact) = 0;
};

// A select-list column as a query's translation types it.
struct result_column {
  std::string name;
  col_type type;
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
  // A query: its select list, position by position, from the static types.
  std::vector<result_column> columns;
};

// The kind and statement type only; needs no connection.
sql_plan classify(std::string_view sql);

// The full translation for a session of `user`. With a schema, a query is
// translated from its tree (translate_query, ol_query.h) and typed; in DML
// values written into or compared with table columns follow the storage
// rules of those columns: numbers that SQLite would round are kept as their
// text (ol_values.h), texts into RAW and BLOB columns are read as
// hexadecimal digits (ORA-01465 when they are not), and columns numbered by
// an insert trigger get the next value of its sequence. SEQ.NEXTVAL and
// SEQ.CURRVAL call the sequence functions of the connection. The + - * / of
// DML become calls of the decimal function OL_CALC, one for each chain of +
// and - or of * and / (unary minus OL_CALC('-', 0, x)); a result that SQLite
// compares or sorts goes through OL_NUM. DEFAULT clauses of CREATE TABLE
// that call functions are put between parentheses for SQLite. A leading
// WITH clause that leads anything but a SELECT is ORA-00928.
sql_plan translate(std::string_view sql, const std::string& user, schema_lookup* schema = nullptr);

// A quoted name matches its object exactly, as on the server: a quoted
// name of a query or DML statement that the schema has only in another case
// is ORA-00942 for a table and ORA-00904 for a column. Aliases the statement
// declares count as names; names the schema lacks are left to SQLite.
void check_quoted_names(std::string_view sql, schema_lookup& schema);

// The declared type of a column as SQLite's grammar takes it: nothing when
// the type tokens can stand as written, else the whole type as one quoted
// name (TIMESTAMP(3) WITH TIME ZONE, VARCHAR2(10 CHAR), NUMBER(*,0)).
std::optional<std::string> storable_type(const std::vector<token>& type);

// The name a name token stands for: a quoted name as written, a word in
// upper case.
std::string object_name(const token& t);
// A string literal of `text`, quotes doubled.
std::string sql_string(const std::string& text);
// A quoted name of `name`, double quotes doubled.
std::string sql_name(const std::string& name);
// The BLOB literal X'..' of the bytes.
std::string blob_literal(const std::string& bytes);
// The bytes of hexadecimal digits (an odd count has a leading 0 implied);
// throws ORA-01465 for any other character.
std::string hex_to_bytes(const std::string& digits);

}  // namespace ocilite
