#include "ocilite/ol_sql.h"

#include "ocilite/ol_error.h"
#include "ocilite/ol_text.h"

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
    {"DELETE", stmt_kind::dml, OCI_STMT_DELETE},    {"MERGE", stmt_kind::dml, 16},
    {"CREATE", stmt_kind::ddl, OCI_STMT_CREATE},    {"DROP", stmt_kind::ddl, OCI_STMT_DROP},
    {"ALTER", stmt_kind::ddl, OCI_STMT_ALTER},      {"TRUNCATE", stmt_kind::ddl, OCI_STMT_DROP},
    {"RENAME", stmt_kind::ddl, OCI_STMT_ALTER},     {"COMMENT", stmt_kind::ddl, OCI_STMT_ALTER},
    {"GRANT", stmt_kind::ddl, OCI_STMT_ALTER},      {"REVOKE", stmt_kind::ddl, OCI_STMT_ALTER},
    {"COMMIT", stmt_kind::commit, 0},               {"ROLLBACK", stmt_kind::rollback, 0},
    {"BEGIN", stmt_kind::plsql, OCI_STMT_BEGIN},    {"DECLARE", stmt_kind::plsql, OCI_STMT_DECLARE},
    {"CALL", stmt_kind::plsql, 10},
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

sql_plan translate(std::string_view sql, const std::string& user) {
  std::vector<token> tokens = lex(sql);
  sql_plan plan = classify_tokens(tokens);

  // Significant tokens by position, for looking ahead.
  std::vector<std::size_t> sig;
  for (std::size_t k = 0; k < tokens.size(); ++k)
    if (significant(tokens[k])) sig.push_back(k);

  // A statement separator is not part of a statement sent on its own.
  if (plan.kind != stmt_kind::plsql) {
    for (std::size_t k : sig)
      if (tokens[k].kind == tok::punct && tokens[k].text == ";") fail(911);
  }

  std::vector<bool> drop(tokens.size(), false);
  std::vector<std::string> insert_before(tokens.size());

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
  if (plan.for_update && first_from != std::string::npos) insert_before[first_from] = ", ROWID ";

  std::string out;
  int returning_column = 0;
  for (std::size_t k = 0; k < tokens.size(); ++k) {
    const token& t = tokens[k];
    out += insert_before[k];
    if (t.kind == tok::param) {
      placeholder p;
      p.name = t.value;
      if (into_at != std::string::npos && k > into_at) {
        p.out = true;
        p.index = returning_column++;
        plan.placeholders.push_back(p);
        continue;
      }
      p.index = ++plan.in_count;
      plan.placeholders.push_back(p);
      out += "?" + std::to_string(p.index);
      continue;
    }
    if (drop[k]) continue;
    if (t.kind == tok::word)
      out += t.value;
    else
      out += t.text;
  }
  plan.sqlite_sql = out;
  return plan;
}

}  // namespace ocilite
