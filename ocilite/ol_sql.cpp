#include "ocilite/ol_sql.h"

#include "ocilite/ol_error.h"
#include "ocilite/ol_query.h"
#include "ocilite/ol_text.h"
#include "ocilite/ol_values.h"

#include <algorithm>
#include <optional>

namespace ocilite {

namespace {

bool word_start(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80;
}

bool word_char(unsigned char c) {
  return word_start(c) || (c >= '0' && c <= '9') || c == '$' || c == '#';
}

bool digit(char c) { return c >= '0' && c <= '9'; }

std::size_t quoted_end(std::string_view s, std::size_t i, char q) {
  // i is at the opening quote; returns one past the closing quote.
  for (std::size_t k = i + 1; k < s.size(); ++k) {
    if (s[k] != q) continue;
    if (k + 1 < s.size() && s[k + 1] == q) {
      ++k;
      continue;
    }
    return k + 1;
  }
  return std::string::npos;
}

std::string unquote(std::string_view body, char q) {
  std::string out;
  for (std::size_t k = 0; k < body.size(); ++k) {
    out += body[k];
    if (body[k] == q && k + 1 < body.size() && body[k + 1] == q) ++k;
  }
  return out;
}

bool significant(const token& t) { return t.kind != tok::space && t.kind != tok::comment; }

struct kind_row {
  const char* word;
  stmt_kind kind;
  ub2 type;
};

const kind_row kinds[] = {
    {"SELECT", stmt_kind::query, OCI_STMT_SELECT},  {"WITH", stmt_kind::query, OCI_STMT_SELECT},
    {"INSERT", stmt_kind::dml, OCI_STMT_INSERT},    {"UPDATE", stmt_kind::dml, OCI_STMT_UPDATE},
    {"DELETE", stmt_kind::dml, OCI_STMT_DELETE},    {"MERGE", stmt_kind::dml, OCI_STMT_MERGE},
    {"CREATE", stmt_kind::ddl, OCI_STMT_CREATE},    {"DROP", stmt_kind::ddl, OCI_STMT_DROP},
    {"ALTER", stmt_kind::ddl, OCI_STMT_ALTER},      {"TRUNCATE", stmt_kind::ddl, OCI_STMT_DROP},
    {"RENAME", stmt_kind::ddl, OCI_STMT_ALTER},     {"COMMENT", stmt_kind::ddl, OCI_STMT_ALTER},
    {"GRANT", stmt_kind::ddl, OCI_STMT_ALTER},      {"REVOKE", stmt_kind::ddl, OCI_STMT_ALTER},
    {"COMMIT", stmt_kind::commit, OCI_STMT_UNKNOWN}, {"ROLLBACK", stmt_kind::rollback, OCI_STMT_UNKNOWN},
    {"BEGIN", stmt_kind::plsql, OCI_STMT_BEGIN},    {"DECLARE", stmt_kind::plsql, OCI_STMT_DECLARE},
    {"CALL", stmt_kind::plsql, OCI_STMT_CALL},
};

sql_plan classify_tokens(const std::vector<token>& tokens) {
  sql_plan plan;
  for (const token& t : tokens) {
    if (!significant(t) || (t.kind == tok::punct && t.text == "(")) continue;
    if (t.kind == tok::word) {
      plan.first_word = t.value;
      for (const kind_row& k : kinds)
        if (t.value == k.word) {
          plan.kind = k.kind;
          plan.stmt_type = k.type;
        }
    }
    break;
  }
  return plan;
}

bool is_word(const token& t, const char* w) { return t.kind == tok::word && t.value == w; }

// The first word of the statement that a leading WITH clause leads ("" when
// none follows), or nothing when the clause does not read as name [(columns)]
// AS (query), ... The type the client reports is SELECT whatever follows.
std::optional<std::string> led_by_with(const std::vector<token>& tokens) {
  std::vector<const token*> t;
  for (const token& k : tokens)
    if (significant(k)) t.push_back(&k);
  auto punct = [&](std::size_t i, const char* p) {
    return i < t.size() && t[i]->kind == tok::punct && t[i]->text == p;
  };
  auto past_closing = [&](std::size_t i) {
    int depth = 0;
    for (; i < t.size(); ++i) {
      if (punct(i, "(")) ++depth;
      if (punct(i, ")") && --depth == 0) return i + 1;
    }
    return i;
  };
  std::size_t i = 0;
  while (punct(i, "(")) ++i;
  if (i >= t.size() || !is_word(*t[i], "WITH")) return std::nullopt;
  ++i;
  for (;;) {
    if (i >= t.size() || (t[i]->kind != tok::word && t[i]->kind != tok::quoted)) return std::nullopt;
    ++i;
    if (punct(i, "(")) i = past_closing(i);
    if (i >= t.size() || !is_word(*t[i], "AS") || !punct(i + 1, "(")) return std::nullopt;
    i = past_closing(i + 1);
    if (!punct(i, ",")) break;
    ++i;
  }
  while (punct(i, "(")) ++i;
  return i < t.size() && t[i]->kind == tok::word ? t[i]->value : "";
}

}  // namespace

std::vector<token> lex(std::string_view s) {
  std::vector<token> out;
  std::size_t i = 0;
  while (i < s.size()) {
    char c = s[i];
    auto uc = static_cast<unsigned char>(c);
    std::size_t start = i;
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
      while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r' ||
                              s[i] == '\f' || s[i] == '\v'))
        ++i;
      out.push_back({tok::space, std::string(s.substr(start, i - start)), ""});
    } else if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
      while (i < s.size() && s[i] != '\n') ++i;
      out.push_back({tok::comment, std::string(s.substr(start, i - start)), ""});
    } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
      std::size_t end = s.find("*/", i + 2);
      i = end == std::string::npos ? s.size() : end + 2;
      std::string text(s.substr(start, i - start));
      if (end == std::string::npos) text += "*/";
      out.push_back({tok::comment, text, ""});
    } else if (c == '\'' || ((c == 'N' || c == 'n' || c == 'X' || c == 'x') && i + 1 < s.size() &&
                             s[i + 1] == '\'')) {
      bool prefixed = c != '\'';
      std::size_t q = prefixed ? i + 1 : i;
      std::size_t end = quoted_end(s, q, '\'');
      if (end == std::string::npos) fail(1756);
      std::string body(s.substr(q + 1, end - q - 2));
      i = end;
      if (c == 'X' || c == 'x')
        out.push_back({tok::blob, std::string(s.substr(start, end - start)), body});
      else
        out.push_back({tok::string, "'" + body + "'", unquote(body, '\'')});
    } else if (c == '"') {
      std::size_t end = quoted_end(s, i, '"');
      if (end == std::string::npos) fail(1740 /* missing double quote */);
      std::string body(s.substr(i + 1, end - i - 2));
      i = end;
      out.push_back({tok::quoted, std::string(s.substr(start, end - start)), unquote(body, '"')});
    } else if (digit(c) || (c == '.' && i + 1 < s.size() && digit(s[i + 1]))) {
      while (i < s.size() && (digit(s[i]) || s[i] == '.')) ++i;
      if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t k = i + 1;
        if (k < s.size() && (s[k] == '+' || s[k] == '-')) ++k;
        if (k < s.size() && digit(s[k])) {
          i = k;
          while (i < s.size() && digit(s[i])) ++i;
        }
      }
      out.push_back({tok::number, std::string(s.substr(start, i - start)), ""});
    } else if (word_start(uc)) {
      while (i < s.size() && word_char(static_cast<unsigned char>(s[i]))) ++i;
      std::string text(s.substr(start, i - start));
      out.push_back({tok::word, text, to_upper_ascii(text)});
    } else if (c == ':' && i + 1 < s.size() && word_char(static_cast<unsigned char>(s[i + 1]))) {
      ++i;
      while (i < s.size() && word_char(static_cast<unsigned char>(s[i]))) ++i;
      std::string text(s.substr(start, i - start));
      out.push_back({tok::param, text, to_upper_ascii(text.substr(1))});
    } else {
      static const char* const pairs[] = {"||", "<=", ">=", "<>", "!=", "^=", ":=", "=>"};
      std::size_t n = 1;
      for (const char* p : pairs)
        if (s.substr(i, 2) == p) n = 2;
      i += n;
      out.push_back({tok::punct, std::string(s.substr(start, n)), ""});
    }
  }
  return out;
}

sql_plan classify(std::string_view sql) { return classify_tokens(lex(sql)); }

std::string object_name(const token& t) { return t.kind == tok::quoted ? t.value : to_upper_ascii(t.text); }

namespace {
// The text between two quote marks, each one inside it doubled.
std::string quoted(const std::string& text, char mark) {
  std::string out(1, mark);
  for (char c : text) {
    out += c;
    if (c == mark) out += mark;
  }
  return out + mark;
}
}  // namespace

std::string sql_string(const std::string& text) { return quoted(text, '\''); }

std::string sql_name(const std::string& name) { return quoted(name, '"'); }

std::string blob_literal(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out = "X'";
  for (char b : bytes) {
    auto u = static_cast<unsigned char>(b);
    out += digits[u >> 4];
    out += digits[u & 15];
  }
  return out + "'";
}

std::string hex_to_bytes(const std::string& digits) {
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    fail(1465);
  };
  std::string out;
  std::size_t i = 0;
  if (digits.size() % 2) out += static_cast<char>(nibble(digits[i++]));
  for (; i < digits.size(); i += 2) out += static_cast<char>(nibble(digits[i]) << 4 | nibble(digits[i + 1]));
  return out;
}

std::optional<std::string> storable_type(const std::vector<token>& type) {
  // SQLite takes names, then at most "(n)" or "(n, m)" of signed numbers.
  std::size_t i = 0;
  while (i < type.size() && type[i].kind == tok::word) ++i;
  bool fine = i > 0;
  if (fine && i < type.size()) {
    auto punct = [&](std::size_t k, const char* p) {
      return k < type.size() && type[k].kind == tok::punct && type[k].text == p;
    };
    auto number = [&](std::size_t& k) {
      if (punct(k, "-") || punct(k, "+")) ++k;
      return k < type.size() && type[k].kind == tok::number ? (++k, true) : false;
    };
    std::size_t k = i;
    fine = punct(k, "(") && number(++k);
    if (fine && punct(k, ",")) fine = number(++k);
    fine = fine && punct(k, ")") && k + 1 == type.size();
  }
  for (const token& t : type)
    if (t.kind == tok::quoted) return std::nullopt;  // written as SQLite takes it
  if (fine) return std::nullopt;
  std::string text;
  for (std::size_t k = 0; k < type.size(); ++k) {
    const token& t = type[k];
    bool tight = t.kind == tok::punct || (k > 0 && type[k - 1].kind == tok::punct && type[k - 1].text != ")");
    if (k > 0 && !tight) text += ' ';
    text += t.kind == tok::word ? t.value : t.text;
  }
  return "\"" + text + "\"";
}

namespace {

// Words after which a quoted name is a name in use, never an alias.
bool expects_name(const token& t) {
  static const char* const words[] = {
      "SELECT", "FROM",     "WHERE",    "AND",       "OR",      "NOT",      "ON",        "JOIN",   "BY",
      "DISTINCT", "UNIQUE", "ALL",      "ANY",       "SOME",    "SET",      "INTO",      "VALUES", "UPDATE",
      "TABLE",  "IN",       "IS",       "LIKE",      "BETWEEN", "CASE",     "WHEN",      "THEN",   "ELSE",
      "HAVING", "UNION",    "INTERSECT", "MINUS",    "EXCEPT",  "EXISTS",   "INNER",     "LEFT",   "RIGHT",
      "OUTER",  "FULL",     "CROSS",    "NATURAL",   "AS",      "DELETE",   "INSERT",    "WITH",   "PRIOR",
      "ESCAPE", "RETURNING", "RETURN",  "USING",     "START",   "CONNECT",  "GROUP",     "ORDER",  "PARTITION",
      "OVER",   "OF",       "FOR",      "MERGE",     "MATCHED", "ASC",      "DESC",      "NULLS",  "FIRST",
      "LAST",   "INDEX",    "VIEW"};
  if (t.kind != tok::word) return false;
  for (const char* w : words)
    if (t.value == w) return true;
  return false;
}

bool has_spelling(const std::map<std::string, std::vector<std::string>>& names, const std::string& upper,
                  const std::string& name) {
  auto it = names.find(upper);
  if (it == names.end()) return false;
  for (const std::string& n : it->second)
    if (n == name) return true;
  return false;
}

}  // namespace

void check_quoted_names(std::string_view sql, schema_lookup& schema) {
  std::vector<token> t;
  for (token& k : lex(sql))
    if (significant(k)) t.push_back(std::move(k));
  auto punct = [&](std::size_t i, const char* p) { return i < t.size() && t[i].kind == tok::punct && t[i].text == p; };
  auto word = [&](std::size_t i, const char* w) { return i < t.size() && is_word(t[i], w); };
  // Aliases: after AS, or right after an expression (a name, a literal or a
  // closing parenthesis); and the names of WITH clauses.
  std::vector<std::string> aliases;
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t[i].kind != tok::quoted) continue;
    bool after_expression = i > 0 && (t[i - 1].kind == tok::quoted || t[i - 1].kind == tok::number ||
                                      t[i - 1].kind == tok::string || punct(i - 1, ")") ||
                                      (t[i - 1].kind == tok::word && !expects_name(t[i - 1])));
    if ((i > 0 && word(i - 1, "AS")) || after_expression || (word(i + 1, "AS") && punct(i + 2, "(")))
      aliases.push_back(t[i].value);
  }
  const known_names* known = nullptr;  // looked up at the first name to check
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t[i].kind != tok::quoted) continue;
    const std::string& name = t[i].value;
    // A sequence before NEXTVAL or CURRVAL.
    if (punct(i + 1, ".") && (word(i + 2, "NEXTVAL") || word(i + 2, "CURRVAL"))) continue;
    if (std::find(aliases.begin(), aliases.end(), name) != aliases.end()) continue;
    if (!known) known = &schema.names();
    std::string upper = to_upper_ascii(name);
    bool table = known->tables.count(upper) != 0, column = known->columns.count(upper) != 0;
    if (!table && !column) continue;
    if (has_spelling(known->tables, upper, name) || has_spelling(known->columns, upper, name)) continue;
    bool table_place = i > 0 && (word(i - 1, "FROM") || word(i - 1, "JOIN") || word(i - 1, "INTO") ||
                                 word(i - 1, "UPDATE") || word(i - 1, "TABLE"));
    if (table && (!column || table_place)) fail(942);
    fail(904, "\"" + name + "\"");
  }
}

namespace {

// The token surgery of one translation: what each token becomes.
struct rewriter {
  std::vector<token>& tokens;
  std::vector<std::size_t>& sig;
  std::vector<bool> drop;
  std::vector<std::string> before, after;
  std::vector<std::optional<std::string>> replace;
  std::vector<col_kind> target;  // of placeholder tokens
  // The calls that arithmetic becomes, inside what the passes above put
  // around a value.
  std::vector<std::string> arith_before, arith_after;
  std::vector<std::optional<std::string>> arith_replace;

  std::string user;

  rewriter(std::vector<token>& t, std::vector<std::size_t>& s, const std::string& session_user)
      : tokens(t), sig(s), drop(t.size()), before(t.size()), after(t.size()), replace(t.size()),
        target(t.size(), col_kind::by_value), arith_before(t.size()), arith_after(t.size()),
        arith_replace(t.size()), user(session_user) {}

  const token& at(std::size_t n) const { return tokens[sig[n]]; }
  bool punct(std::size_t n, const char* p) const {
    return n < sig.size() && at(n).kind == tok::punct && at(n).text == p;
  }
  bool word(std::size_t n, const char* w) const { return n < sig.size() && is_word(at(n), w); }
  bool is_name(std::size_t n) const {
    return n < sig.size() && (at(n).kind == tok::word || at(n).kind == tok::quoted);
  }
  // The significant position of the parenthesis that closes the one at n.
  std::size_t closing(std::size_t n) const {
    int depth = 0;
    for (std::size_t m = n; m < sig.size(); ++m) {
      if (punct(m, "(")) ++depth;
      if (punct(m, ")") && --depth == 0) return m;
    }
    return sig.size();
  }
  // A name, qualified or not; n moves past it.
  std::string read_name(std::size_t& n) const {
    std::string name = object_name(at(n));
    ++n;
    while (punct(n, ".") && is_name(n + 1)) {
      name = object_name(at(n + 1));
      n += 2;
    }
    return name;
  }
  // Ranges [first, last] of the items of a parenthesised list at n.
  std::vector<std::pair<std::size_t, std::size_t>> items(std::size_t open, std::size_t close) const {
    std::vector<std::pair<std::size_t, std::size_t>> out;
    std::size_t first = open + 1;
    int depth = 0;
    for (std::size_t m = open + 1; m <= close && m < sig.size(); ++m) {
      if (punct(m, "(")) ++depth;
      if (punct(m, ")")) --depth;
      if ((depth == 0 && punct(m, ",")) || m == close) {
        if (m > first) out.emplace_back(first, m - 1);
        first = m + 1;
      }
    }
    return out;
  }

  // The BLOB literal of the number literal at n (negated after a minus)
  // when SQLite would round it: the storage convention of NUMBER columns.
  std::optional<std::string> exact_literal(std::size_t n, bool negative) const {
    cell c = number_cell((negative ? "-" : "") + at(n).text);
    if (c.type != SQLITE_BLOB) return std::nullopt;
    return blob_literal(c.bytes);
  }

  // A value written into, or compared with, a column of that kind.
  void value(std::size_t first, std::size_t last, col_kind kind) {
    if (first == last && at(first).kind == tok::param) {
      target[sig[first]] = kind;
      return;
    }
    bool negative = first + 1 == last && punct(first, "-");
    std::size_t n = negative ? last : first;
    if (n != last) return;
    if (kind == col_kind::number && at(n).kind == tok::number) {
      std::optional<std::string> exact = exact_literal(n, negative);
      if (!exact) return;
      if (negative) drop[sig[first]] = true;
      replace[sig[n]] = *exact;
    } else if ((kind == col_kind::raw || kind == col_kind::blob) && !negative && at(n).kind == tok::string &&
               !at(n).value.empty()) {
      replace[sig[n]] = blob_literal(hex_to_bytes(at(n).value));
    }
  }

  void sequences() {
    for (std::size_t n = 0; n + 2 < sig.size(); ++n) {
      if (!is_name(n) || !punct(n + 1, ".") || (!word(n + 2, "NEXTVAL") && !word(n + 2, "CURRVAL"))) continue;
      if (n > 0 && punct(n - 1, ".")) continue;
      std::string function = word(n + 2, "NEXTVAL") ? "OL_NEXTVAL(" : "OL_CURRVAL(";
      replace[sig[n]] = function + sql_string(object_name(at(n))) + ")";
      for (std::size_t k = sig[n] + 1; k <= sig[n + 2]; ++k) drop[k] = true;
      n += 2;
    }
  }

  static const column_info* column_of(const std::vector<column_info>& cols, const std::string& name) {
    for (const column_info& c : cols)
      if (equal_no_case(c.name, name)) return &c;
    return nullptr;
  }
  static col_kind kind_of(const std::vector<column_info>& cols, const std::string& name) {
    const column_info* c = column_of(cols, name);
    return c ? c->kind : col_kind::by_value;
  }

  // A value written into a column of limited length: checked as it is
  // stored, as the server refuses a value too long (ORA-12899).
  void fit(std::size_t first, std::size_t last, const column_info* c, const std::string& table) {
    if (!c || !c->max_length) return;
    auto quoted = [](const std::string& n) { return "\"" + n + "\""; };
    std::string label = (user.empty() ? "" : quoted(user) + ".") + quoted(table) + "." + quoted(c->name);
    before[sig[first]] = "OL_FIT(" + before[sig[first]];
    after[sig[last]] += ", " + std::to_string(c->max_length) + ", '" + std::string(1, c->length_unit) + "', " +
                        sql_string(label) + ")";
  }
  static bool has(const std::vector<column_info>& cols, const std::string& name) {
    for (const column_info& c : cols)
      if (equal_no_case(c.name, name)) return true;
    return false;
  }

  // column = value and value = column, from n to the end (or RETURNING).
  void conditions(std::size_t n, const std::vector<column_info>& cols) {
    for (; n < sig.size() && !word(n, "RETURNING") && !word(n, "RETURN"); ++n) {
      if (!punct(n, "=")) continue;
      // The column on the left: a name, maybe after an alias and a point.
      if (n >= 1 && is_name(n - 1) && has(cols, object_name(at(n - 1))) && n + 1 < sig.size()) {
        std::size_t first = n + 1, last = first;
        if (punct(first, "-") && first + 1 < sig.size()) last = first + 1;
        value(first, last, kind_of(cols, object_name(at(n - 1))));
      }
      // The column on the right.
      if (n + 1 < sig.size() && is_name(n + 1) && !punct(n + 2, ".") && !punct(n + 2, "(") &&
          has(cols, object_name(at(n + 1))) && n >= 1) {
        std::size_t last = n - 1, first = last;
        if (first >= 1 && punct(first - 1, "-")) --first;
        value(first, last, kind_of(cols, object_name(at(n + 1))));
      }
    }
  }

  void insert(schema_lookup& schema) {
    std::size_t n = 0;
    while (n < sig.size() && !word(n, "INTO")) ++n;
    if (++n >= sig.size() || !is_name(n)) return;
    std::string table = read_name(n);
    std::vector<column_info> cols = schema.columns(table);
    if (cols.empty()) return;
    if (is_name(n) && !word(n, "VALUES") && !word(n, "SELECT")) ++n;  // alias
    std::vector<std::string> names;
    std::size_t names_close = sig.size();
    if (punct(n, "(")) {
      names_close = closing(n);
      for (auto [first, last] : items(n, names_close)) names.push_back(object_name(at(last)));
      n = names_close + 1;
    } else {
      for (const column_info& c : cols) names.push_back(c.name);
    }
    if (!word(n, "VALUES") || !punct(n + 1, "(")) return;
    std::size_t values_close = closing(n + 1);
    auto values = items(n + 1, values_close);
    for (std::size_t i = 0; i < names.size() && i < values.size(); ++i) {
      value(values[i].first, values[i].second, kind_of(cols, names[i]));
      exact_value(values[i].first, values[i].second, kind_of(cols, names[i]));
    }
    for (const sequence_fill& f : schema.fills(table)) {
      std::string next = "OL_NEXTVAL(" + sql_string(f.sequence) + ")";
      std::size_t i = 0;
      while (i < names.size() && !equal_no_case(names[i], f.column)) ++i;
      if (i < names.size() && i < values.size()) {
        // The trigger sees the value the statement gives.
        before[sig[values[i].first]] += f.only_when_null ? "coalesce(" : "coalesce(" + next + ", ";
        after[sig[values[i].second]] += f.only_when_null ? ", " + next + ")" : ")";
      } else if (i == names.size() && names_close < sig.size() && values_close < sig.size()) {
        before[sig[names_close]] += ", \"" + f.column + "\"";
        before[sig[values_close]] += ", " + next;
      }
    }
    // Outermost, around what a trigger makes of the value too.
    for (std::size_t i = 0; i < names.size() && i < values.size(); ++i)
      fit(values[i].first, values[i].second, column_of(cols, names[i]), table);
  }

  void update(schema_lookup& schema) {
    std::size_t n = 1;
    if (!is_name(n)) return;
    std::string table = read_name(n);
    std::vector<column_info> cols = schema.columns(table);
    if (cols.empty()) return;
    if (!word(n, "SET") && is_name(n)) ++n;  // alias
    if (!word(n, "SET")) return;
    ++n;
    int depth = 0;
    std::size_t item = n;
    for (; n <= sig.size(); ++n) {
      bool end = n == sig.size() || (depth == 0 && (word(n, "WHERE") || word(n, "RETURNING") ||
                                                    word(n, "RETURN") || punct(n, ",")));
      if (n < sig.size() && punct(n, "(")) ++depth;
      if (n < sig.size() && punct(n, ")")) --depth;
      if (!end) continue;
      // name = expression
      std::size_t eq = item;
      while (eq < n && !punct(eq, "=")) ++eq;
      if (eq > item && eq + 1 < n) {
        value(eq + 1, n - 1, kind_of(cols, object_name(at(eq - 1))));
        exact_value(eq + 1, n - 1, kind_of(cols, object_name(at(eq - 1))));
        fit(eq + 1, n - 1, column_of(cols, object_name(at(eq - 1))), table);
      }
      item = n + 1;
      if (n == sig.size() || !punct(n, ",")) break;
    }
    if (word(n, "WHERE")) conditions(n + 1, cols);
  }

  void remove(schema_lookup& schema) {
    std::size_t n = 1;
    if (word(n, "FROM")) ++n;
    if (!is_name(n)) return;
    std::string table = read_name(n);
    std::vector<column_info> cols = schema.columns(table);
    if (cols.empty()) return;
    while (n < sig.size() && !word(n, "WHERE")) ++n;
    if (n < sig.size()) conditions(n + 1, cols);
  }

  // ------------------------------------------------------------ arithmetic

  // One operand or operation of an arithmetic expression, on significant
  // positions [first, last].
  struct arith_node {
    enum { leaf, binary, negate } kind = leaf;
    std::size_t first = 0, last = 0, op = 0;
    int left = -1, right = -1;
  };
  // An expression whose outermost operation is arithmetic; `exact` when
  // its value is stored or fetched as it is, `consumed` when an enclosing
  // operation takes it.
  struct arith_root {
    std::size_t first, last;
    bool exact = false, consumed = false;
  };
  std::vector<arith_node> nodes;
  std::vector<arith_root> roots;

  bool not_operand(std::size_t n) const { return expects_name(at(n)) || word(n, "END"); }

  // One past the primary at n (a literal, a name, a call, a parenthesised
  // expression, CASE ... END), or 0 when none starts there.
  std::size_t primary_end(std::size_t n, std::size_t to) const {
    if (n >= to) return 0;
    const token& t = at(n);
    if (t.kind == tok::number || t.kind == tok::string || t.kind == tok::blob || t.kind == tok::param) return n + 1;
    if (punct(n, "(")) {
      std::size_t close = closing(n);
      return close < to ? close + 1 : 0;
    }
    if (word(n, "CASE")) {
      int depth = 0;
      for (std::size_t m = n; m < to; ++m) {
        if (word(m, "CASE")) ++depth;
        if (word(m, "END") && --depth == 0) return m + 1;
      }
      return 0;
    }
    if (!is_name(n) || not_operand(n)) return 0;
    std::size_t m = n + 1;
    while (m + 1 < to && punct(m, ".") && is_name(m + 1)) m += 2;
    if (m < to && punct(m, "(")) {
      std::size_t close = closing(m);
      return close < to ? close + 1 : 0;
    }
    return m;
  }

  int add_node(arith_node node) {
    nodes.push_back(node);
    return static_cast<int>(nodes.size() - 1);
  }

  // factor: sign factor | primary. A plus sign goes; a minus before a
  // number literal stays part of the literal.
  int parse_factor(std::size_t n, std::size_t to, std::size_t& end) {
    if (n < to && (punct(n, "-") || punct(n, "+"))) {
      // SQLite takes no expression deeper than this: such a run of signs
      // goes to it as written, for its own error, and the parse stays shallow.
      constexpr std::size_t deepest = 1000;
      std::size_t signs = 1;
      while (signs <= deepest && n + signs < to && (punct(n + signs, "-") || punct(n + signs, "+"))) ++signs;
      if (signs > deepest) return -1;
      int child = parse_factor(n + 1, to, end);
      if (child < 0) return -1;
      if (punct(n, "+")) {
        arith_replace[sig[n]] = "";
        nodes[static_cast<std::size_t>(child)].first = n;
        return child;
      }
      const arith_node c = nodes[static_cast<std::size_t>(child)];
      if (c.kind == arith_node::leaf && at(c.last).kind == tok::number && c.first == c.last)
        return add_node({arith_node::leaf, n, c.last});
      return add_node({arith_node::negate, n, c.last, n, child});
    }
    std::size_t e = primary_end(n, to);
    if (!e) return -1;
    end = e;
    return add_node({arith_node::leaf, n, e - 1});
  }

  // expression: term (+|- term)*; term: factor (*|/ factor)*.
  int parse_chain(std::size_t n, std::size_t to, std::size_t& end, bool additive) {
    int left = additive ? parse_chain(n, to, end, false) : parse_factor(n, to, end);
    while (left >= 0 && end < to &&
           (additive ? punct(end, "+") || punct(end, "-") : punct(end, "*") || punct(end, "/"))) {
      std::size_t op = end, right_end = 0;
      int right = additive ? parse_chain(op + 1, to, right_end, false) : parse_factor(op + 1, to, right_end);
      if (right < 0) break;
      left = add_node({arith_node::binary, nodes[static_cast<std::size_t>(left)].first,
                       nodes[static_cast<std::size_t>(right)].last, op, left, right});
      end = right_end;
    }
    return left;
  }

  // Past the parentheses that wrap the whole of [first, last].
  void unwrap(std::size_t& first, std::size_t& last) const {
    while (first < last && punct(first, "(") && closing(first) == last) {
      ++first;
      --last;
    }
  }

  void emit(int index) {
    const arith_node node = nodes[static_cast<std::size_t>(index)];
    if (node.kind == arith_node::binary) {
      // A chain of + and -, or of * and /, is one call, not one per
      // operator: SQLite's parser takes only so many nested calls.
      auto additive = [&](const arith_node& n) { return punct(n.op, "+") || punct(n.op, "-"); };
      std::vector<int> operands;
      std::vector<std::size_t> ops;
      int left = index;
      for (; nodes[static_cast<std::size_t>(left)].kind == arith_node::binary &&
             additive(nodes[static_cast<std::size_t>(left)]) == additive(node);
           left = nodes[static_cast<std::size_t>(left)].left) {
        operands.push_back(nodes[static_cast<std::size_t>(left)].right);
        ops.push_back(nodes[static_cast<std::size_t>(left)].op);
      }
      operands.push_back(left);
      std::reverse(operands.begin(), operands.end());
      std::reverse(ops.begin(), ops.end());
      // A call takes 127 arguments: the operators and 126 operands, the
      // first of which may be the call of the operators before them.
      const std::size_t per_call = 125;
      std::string calls;
      for (std::size_t k = 0; k < ops.size(); k += per_call) {
        std::string text;
        for (std::size_t j = k; j < ops.size() && j < k + per_call; ++j) text += at(ops[j]).text;
        calls = "OL_CALC('" + text + "', " + calls;
      }
      arith_before[sig[node.first]] += calls;
      for (std::size_t k = 0; k < ops.size(); ++k) arith_replace[sig[ops[k]]] = k && k % per_call == 0 ? "), " : ",";
      for (int operand : operands) emit(operand);
      arith_after[sig[node.last]] += ")";
      return;
    }
    if (node.kind == arith_node::negate) {
      arith_replace[sig[node.op]] = "OL_CALC('-', 0, ";
      emit(node.left);
      arith_after[sig[node.last]] += ")";
      return;
    }
    if (at(node.last).kind == tok::number) {
      // A literal that SQLite would round goes as the BLOB of its text.
      bool negative = node.last > node.first && punct(node.last - 1, "-");
      if (std::optional<std::string> exact = exact_literal(node.last, negative)) {
        if (negative) arith_replace[sig[node.last - 1]] = "";
        arith_replace[sig[node.last]] = *exact;
      }
      return;
    }
    // Inside parentheses, a call's arguments or CASE ... END.
    std::size_t start = node.first;
    while (start < node.last && punct(start, "+")) ++start;
    std::size_t open = start;
    while (open < node.last && !punct(open, "(") && !word(open, "CASE")) ++open;
    if (open == node.last) return;
    std::size_t count = roots.size();
    scan(open + 1, node.last);
    if (open != start || !punct(open, "(")) return;
    std::size_t inner_first = open + 1, inner_last = node.last - 1;
    unwrap(inner_first, inner_last);
    for (std::size_t r = count; r < roots.size(); ++r)
      if (roots[r].first == inner_first && roots[r].last == inner_last) roots[r].consumed = true;
  }

  // Every arithmetic expression of [from, to).
  void scan(std::size_t from, std::size_t to) {
    for (std::size_t n = from; n < to;) {
      std::size_t end = 0;
      int root = parse_chain(n, to, end, true);
      if (root < 0 || nodes[static_cast<std::size_t>(root)].kind == arith_node::leaf) {
        ++n;
        continue;
      }
      const arith_node top = nodes[static_cast<std::size_t>(root)];
      roots.push_back({top.first, top.last});
      emit(root);
      n = end;
    }
  }

  arith_root* root_at(std::size_t first, std::size_t last) {
    unwrap(first, last);
    for (arith_root& r : roots)
      if (r.first == first && r.last == last) return &r;
    return nullptr;
  }

  // A value stored as it is: into a NUMBER column.
  void exact_value(std::size_t first, std::size_t last, col_kind kind) {
    if (kind != col_kind::number) return;
    if (arith_root* r = root_at(first, last)) r->exact = true;
  }

  // The text SQLite gets for the raw token k, kept, arithmetic aside.
  std::string plain_token(std::size_t k) const {
    return replace[k] ? *replace[k] : tokens[k].kind == tok::word ? tokens[k].value : tokens[k].text;
  }

  // What SQLite compares, sorts or passes on is a REAL, never the BLOB of
  // an exact number.
  void finish_arithmetic() {
    for (const arith_root& r : roots) {
      if (r.exact || r.consumed) continue;
      arith_before[sig[r.first]] = "OL_NUM(" + arith_before[sig[r.first]];
      arith_after[sig[r.last]] += ")";
    }
  }

  // The column types of CREATE TABLE that SQLite's grammar does not take
  // become one quoted name each.
  void column_types() {
    std::size_t n = 2;
    if (!is_name(n)) return;
    read_name(n);
    if (!punct(n, "(")) return;
    std::size_t close = closing(n);
    for (auto [first, last] : items(n, close)) {
      if (word(first, "CONSTRAINT") || word(first, "PRIMARY") || word(first, "UNIQUE") || word(first, "FOREIGN") ||
          word(first, "CHECK"))
        continue;
      std::size_t end = first + 1;
      int depth = 0;
      for (; end <= last; ++end) {
        if (punct(end, "(")) ++depth;
        if (punct(end, ")")) --depth;
        if (depth == 0 && (word(end, "DEFAULT") || word(end, "NOT") || word(end, "NULL") || word(end, "CONSTRAINT") ||
                           word(end, "PRIMARY") || word(end, "UNIQUE") || word(end, "CHECK") ||
                           word(end, "REFERENCES") || word(end, "COLLATE") || word(end, "GENERATED")))
          break;
      }
      if (end <= first + 1) continue;
      std::vector<token> type;
      for (std::size_t m = first + 1; m < end; ++m) type.push_back(at(m));
      std::optional<std::string> text = storable_type(type);
      if (!text) continue;
      replace[sig[first + 1]] = *text;
      for (std::size_t k = sig[first + 1] + 1; k <= sig[end - 1]; ++k) drop[k] = true;
    }
  }

  // DEFAULT f(...) becomes DEFAULT (f(...)): SQLite takes only literals
  // and parenthesised expressions.
  void defaults() {
    for (std::size_t n = 0; n + 1 < sig.size(); ++n) {
      if (!word(n, "DEFAULT") || at(n + 1).kind != tok::word || word(n + 1, "NULL")) continue;
      std::size_t last = punct(n + 2, "(") ? closing(n + 2) : n + 1;
      if (last >= sig.size()) continue;
      before[sig[n + 1]] += "(";
      after[sig[last]] += ")";
    }
  }
};

}  // namespace

sql_plan translate(std::string_view sql, const std::string& user, schema_lookup* schema) {
  std::vector<token> tokens = lex(sql);
  sql_plan plan = classify_tokens(tokens);
  // The server parses the whole statement: a WITH clause leads a query.
  if (plan.first_word == "WITH") {
    std::optional<std::string> led = led_by_with(tokens);
    if (led && *led != "SELECT") fail(928);
  }
  if (schema && plan.kind == stmt_kind::query) {
    query_translation q = translate_query(tokens, user, *schema);
    plan.sqlite_sql = q.sql;
    plan.for_update = q.for_update;
    plan.columns = std::move(q.columns);
    for (const std::string& name : q.placeholders) {
      placeholder p;
      p.name = name;
      p.index = ++plan.in_count;
      plan.placeholders.push_back(p);
    }
    return plan;
  }
  if (schema && plan.kind == stmt_kind::dml) check_quoted_names(sql, *schema);

  // Significant tokens by position, for looking ahead.
  std::vector<std::size_t> sig;
  for (std::size_t k = 0; k < tokens.size(); ++k)
    if (significant(tokens[k])) sig.push_back(k);

  // A statement separator is not part of a statement sent on its own.
  if (plan.kind != stmt_kind::plsql) {
    for (std::size_t k : sig)
      if (tokens[k].kind == tok::punct && tokens[k].text == ";") fail(911);
  }

  rewriter r(tokens, sig, user);
  std::vector<bool>& drop = r.drop;

  // Schema prefixes: SYS.X, PUBLIC.X and the user's own name.
  for (std::size_t n = 0; n + 2 < sig.size(); ++n) {
    const token& a = tokens[sig[n]];
    const token& dot = tokens[sig[n + 1]];
    const token& b = tokens[sig[n + 2]];
    if (a.kind != tok::word || dot.kind != tok::punct || dot.text != "." ||
        (b.kind != tok::word && b.kind != tok::quoted))
      continue;
    if (n > 0 && tokens[sig[n - 1]].kind == tok::punct && tokens[sig[n - 1]].text == ".") continue;
    if (a.value == "SYS" || a.value == "PUBLIC" || (!user.empty() && a.value == user)) {
      for (std::size_t k = sig[n]; k <= sig[n + 1]; ++k) drop[k] = true;
    }
  }

  int depth = 0;
  std::size_t returning_at = std::string::npos;
  std::size_t into_at = std::string::npos;
  std::size_t first_from = std::string::npos;
  for (std::size_t n = 0; n < sig.size(); ++n) {
    const token& t = tokens[sig[n]];
    if (t.kind == tok::punct && t.text == "(") ++depth;
    if (t.kind == tok::punct && t.text == ")") --depth;
    if (depth != 0 || t.kind != tok::word) continue;
    if (plan.kind == stmt_kind::query && t.value == "FROM" && first_from == std::string::npos)
      first_from = sig[n];
    if (plan.kind == stmt_kind::query && t.value == "FOR" && n + 1 < sig.size() &&
        is_word(tokens[sig[n + 1]], "UPDATE")) {
      plan.for_update = true;
      for (std::size_t k = sig[n]; k < tokens.size(); ++k) drop[k] = true;
      break;
    }
    if (plan.kind == stmt_kind::dml && (t.value == "RETURNING" || t.value == "RETURN"))
      returning_at = n;
    if (plan.kind == stmt_kind::dml && t.value == "INTO" && returning_at != std::string::npos) {
      plan.returning = true;
      into_at = sig[n];
      // Everything from INTO on names the targets: placeholders and commas.
      for (std::size_t k = sig[n]; k < tokens.size(); ++k) {
        if (tokens[k].kind == tok::param) continue;
        drop[k] = true;
      }
      break;
    }
  }
  if (plan.for_update && first_from != std::string::npos) r.before[first_from] += ", ROWID ";

  bool computes = plan.kind == stmt_kind::query || plan.kind == stmt_kind::dml;
  if (computes) {
    r.sequences();
    r.scan(0, sig.size());
  }
  if (schema && plan.kind == stmt_kind::dml) {
    if (plan.first_word == "INSERT") r.insert(*schema);
    if (plan.first_word == "UPDATE") r.update(*schema);
    if (plan.first_word == "DELETE") r.remove(*schema);
  }
  if (computes) r.finish_arithmetic();
  if (plan.kind == stmt_kind::ddl && r.word(0, "CREATE") && r.word(1, "TABLE")) {
    r.defaults();
    r.column_types();
  }

  std::string out;
  int returning_column = 0;
  for (std::size_t k = 0; k < tokens.size(); ++k) {
    const token& t = tokens[k];
    out += r.before[k];
    out += r.arith_before[k];
    if (t.kind == tok::param) {
      placeholder p;
      p.name = t.value;
      p.target = r.target[k];
      if (into_at != std::string::npos && k > into_at) {
        p.out = true;
        p.index = returning_column++;
        plan.placeholders.push_back(p);
        continue;
      }
      p.index = ++plan.in_count;
      plan.placeholders.push_back(p);
      out += "?" + std::to_string(p.index);
    } else if (!drop[k]) {
      out += r.arith_replace[k] ? *r.arith_replace[k] : r.plain_token(k);
    }
    out += r.arith_after[k];
    out += r.after[k];
  }
  plan.sqlite_sql = out;
  return plan;
}

}  // namespace ocilite
