// The tree of a query as the parser reads it: query blocks joined by set
// operators, their sources and their expressions. The analysis fills in the
// names each reference resolves to and the Oracle type of every expression.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ocilite/ol_sql.h"
#include "ocilite/ol_types.h"

namespace ocilite::query {

struct expr;
struct query_expr;
struct source;
struct block;
using expr_ptr = std::unique_ptr<expr>;
using query_ptr = std::unique_ptr<query_expr>;

enum class ek {
  number,  // text: the literal as written
  string,  // text: the value
  null,
  param,     // text: the name
  column,    // path: [qualifier...,] name
  star,      // path: [qualifier] (a select-list item only)
  negate,    // args[0]
  chain,     // args with ops[k] between args[k] and args[k+1]: + - * / and | for ||
  compare,   // text: = <> < > <= >=; args[0], args[1]; quantifier ANY/ALL on a list or subquery
  and_,      // args
  or_,       // args
  not_,      // args[0]
  is_null,   // args[0]; negated
  between,   // args[0..2]; negated
  in_list,   // args[0], then the list; negated
  in_query,  // args[0] (a row when a list), sub; negated
  like,      // args[0], args[1], [args[2] escape]; negated
  exists,    // sub
  call,      // text: name (upper case); args; distinct; star for COUNT(*); over for OVER (...)
  case_,     // args: [operand], when, then, ..., [else]; has_operand, has_else
  cast,      // args[0]; type_text
  subquery,  // sub: a scalar subquery
  row,       // args: (a, b, ...)
  prior,     // args[0]
  pseudo,    // text: ROWNUM, LEVEL, SYSDATE, SYSTIMESTAMP, USER, CURRENT_DATE, ROWID
  datetime,  // text: DATE or TIMESTAMP; args[0] the string literal
  interval,  // text: the literal's value; type_text: YEAR TO MONTH, DAY TO SECOND, ...
  extract,   // text: the field; args[0]
  trim,      // text: LEADING/TRAILING/BOTH; args[0] the source, [args[1] the character]
  sequence,  // path: [sequence, NEXTVAL|CURRVAL]
};

// A key of ORDER BY.
struct order_key {
  expr_ptr e;
  bool desc = false;
  int nulls = 0;  // 0 default, 1 first, 2 last
};

// The window of an analytic function.
struct window {
  std::vector<expr_ptr> partition;
  std::vector<order_key> order;
  std::string frame;  // the frame clause as written, if any
};

// The type of a value as the analysis knows it.
enum class family {
  none,
  null,
  number,
  text,
  date,
  raw,
  lob_text,
  lob_raw,
  rowid,
  interval,
  long_text,
  other,
  boolean
};

struct value_type {
  family fam = family::none;
  col_type desc;              // as described to the client
  bool fixed = false;         // CHAR semantics: blank-padded
  ub4 chars = 0;              // a CHAR's length in characters
  bool plain_column = false;  // the type of a column as declared (precision and scale kept)
};

struct expr {
  ek kind;
  std::size_t first = 0, last = 0;  // the tokens it was read from
  std::string text;
  std::vector<std::string> path;
  std::vector<bool> quoted;  // of the path's names
  std::vector<expr_ptr> args;
  std::string ops;
  query_ptr sub;
  bool negated = false;
  bool distinct = false;
  bool star_arg = false;
  bool outer_mark = false;  // a column followed by (+)
  bool has_operand = false, has_else = false;
  std::string quantifier;  // ANY or ALL
  std::string type_text;   // of CAST and INTERVAL
  std::vector<token> type_tokens;
  std::unique_ptr<window> over;

  // Set by the analysis.
  value_type type;
  int source_depth = -1;  // a column: how many query blocks out its source is
  source* from = nullptr;
  int column_index = -1;
  bool aggregate = false;          // a call of a group function
  const expr* alias_of = nullptr;  // an ORDER BY name that stands for a select item
};

struct item {
  expr_ptr e;
  std::string alias;
  bool has_alias = false;
  bool alias_quoted = false;
  std::string heading;  // the name of the column without an alias
};

struct join_spec {
  enum kind_t { none, inner, left, right, full, cross } kind = none;
  bool natural = false;
  expr_ptr on;
  std::vector<std::string> using_columns;
};

// One column a source offers, as its query block sees it.
struct source_column {
  std::string name;
  value_type type;
  std::string sql;            // how the emitted statement names it
  bool stored = true;         // the stored form of a table column, else a canonical key
  std::string table, column;  // where a plain column comes from
};

struct source {
  enum kind_t { table, derived, joined } kind = table;
  std::string name;  // the table's name as the schema has it
  bool quoted = false;
  std::string alias;
  bool has_alias = false;
  bool alias_quoted = false;
  query_ptr sub;  // a derived table, a view or a WITH query's reference
  std::size_t first = 0;
  // Joined: left and right with the join between them.
  std::unique_ptr<source> left, right;
  join_spec join;

  // Set by the analysis.
  std::vector<source_column> columns;
  std::string sql_alias;  // the name the emitted statement gives it
  bool is_view = false;
  bool is_cte = false;
  bool recursive_ref = false;
  bool dual = false;
  bool outer_joined = false;  // the (+) side of an old-style outer join
};

struct block {
  bool distinct = false;
  std::vector<item> items;
  std::vector<std::unique_ptr<source>> from;
  expr_ptr where;
  expr_ptr start_with, connect_by;
  bool nocycle = false;
  std::vector<expr_ptr> group_by;
  expr_ptr having;
  std::size_t first = 0;
};

struct with_query {
  std::string name;
  bool quoted = false;
  std::vector<std::string> columns;
  query_ptr q;
};

// A query expression: a block, or two joined by a set operator.
struct query_expr {
  enum kind_t { simple, union_, union_all, intersect, minus } kind = simple;
  std::unique_ptr<block> body;  // simple
  query_ptr left, right;        // set operators
  std::vector<with_query> with;
  std::vector<order_key> order;
  expr_ptr offset, fetch;
  bool fetch_percent = false, fetch_ties = false;
  bool for_update = false;
  bool parenthesized = false;
  std::size_t first = 0;
};

// Reads the significant tokens of a SELECT statement (a query expression
// with its ORDER BY, OFFSET, FETCH and FOR UPDATE clauses) into a tree;
// throws the server's syntax errors (ORA-00936, ORA-00907, ORA-00933, ...).
query_ptr parse_query(const std::vector<token>& tokens);

// The select-list heading of an expression without an alias, as the server
// makes it: the text as written without blanks, names in upper case.
std::string heading_of(const std::vector<token>& tokens, std::size_t first, std::size_t last);

}  // namespace ocilite::query
