#include "ocilite/ol_types.h"

#include "ocilite/ol_text.h"

#include <cstdlib>
#include <vector>

namespace ocilite {

namespace {

// Upper case, single blanks, no blanks around parentheses and commas.
std::string normalise(const std::string& text) {
  std::string out;
  bool blank = false;
  for (char c : to_upper_ascii(text)) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      blank = true;
      continue;
    }
    if (blank && !out.empty() && c != '(' && c != ')' && c != ',' && out.back() != '(' &&
        out.back() != ',')
      out += ' ';
    blank = false;
    out += c;
  }
  return out;
}

// Splits "NAME(a,b) REST" into the name, the numbers and what follows.
struct type_parts {
  std::string name;
  std::vector<std::string> args;
  std::string rest;
};

type_parts split(const std::string& t) {
  type_parts p;
  std::size_t open = t.find('(');
  if (open == std::string::npos) {
    p.name = t;
    return p;
  }
  std::size_t close = t.find(')', open);
  if (close == std::string::npos) close = t.size();
  p.name = t.substr(0, open);
  std::string inner = t.substr(open + 1, close - open - 1);
  std::size_t start = 0;
  for (;;) {
    std::size_t comma = inner.find(',', start);
    p.args.push_back(inner.substr(start, comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (close + 1 < t.size()) p.rest = t.substr(close + 1);
  while (!p.rest.empty() && p.rest.front() == ' ') p.rest.erase(0, 1);
  return p;
}

// The length semantics written after a text length: "10 CHAR", "10 BYTE".
char semantics(const type_parts& p) {
  if (p.args.empty()) return 0;
  const std::string& a = p.args[0];
  auto ends = [&](const char* tail) {
    std::string t = tail;
    return a.size() > t.size() && a.compare(a.size() - t.size(), t.size(), t) == 0;
  };
  return ends(" CHAR") ? 'C' : ends(" BYTE") ? 'B' : 0;
}

int arg(const type_parts& p, std::size_t i, int fallback) {
  if (i >= p.args.size() || p.args[i].empty() || p.args[i] == "*") return fallback;
  char* end = nullptr;
  long v = std::strtol(p.args[i].c_str(), &end, 10);
  bool whole = end && (*end == 0 || (i == 0 && semantics(p) && *end == ' '));
  return whole ? static_cast<int>(v) : fallback;
}

// The number in the parentheses that follow `word` in the type text.
int arg_after(const std::string& t, const std::string& word, int fallback) {
  std::size_t at = t.find(word + "(");
  if (at == std::string::npos) return fallback;
  char* end = nullptr;
  long v = std::strtol(t.c_str() + at + word.size() + 1, &end, 10);
  return end && *end == ')' ? static_cast<int>(v) : fallback;
}

col_type make(col_kind kind, ub2 code, ub2 size, const std::string& dict, ub4 dict_length) {
  col_type t;
  t.kind = kind;
  t.code = code;
  t.data_size = size;
  t.dict_type = dict;
  t.dict_length = dict_length;
  return t;
}

col_type number(std::optional<int> precision, std::optional<int> scale) {
  col_type t = make(col_kind::number, SQLT_NUM, 22, "NUMBER", 22);
  t.dict_precision = precision;
  t.dict_scale = scale;
  t.precision = static_cast<sb2>(precision.value_or(0));
  t.scale = static_cast<sb1>(scale ? *scale : (precision ? 0 : -127));
  return t;
}

col_type float_type(int binary_precision) {
  col_type t = make(col_kind::number, SQLT_NUM, 22, "FLOAT", 22);
  t.dict_precision = binary_precision;
  t.precision = static_cast<sb2>(binary_precision);
  t.scale = -127;
  return t;
}

// `unit`: 'B' or 'C' as declared, 0 for the default (bytes).
col_type text(col_kind kind, ub2 code, int chars, bool national, const std::string& dict, char unit = 0) {
  bool in_chars = national || unit == 'C';
  // A character of the database's UTF-8 takes up to 4 bytes.
  ub4 bytes = static_cast<ub4>(national ? chars * 2 : unit == 'C' ? chars * 4 : chars);
  ub4 limit = kind == col_kind::fixed_char ? 2000u : 4000u;
  if (unit == 'C' && bytes > limit) bytes = limit;
  col_type t = make(kind, code, static_cast<ub2>(bytes), dict, bytes);
  t.char_length = static_cast<ub4>(chars);
  t.char_used = in_chars ? 'C' : 'B';
  if (national) t.charset_form = SQLCS_NCHAR;
  t.max_length = static_cast<ub4>(chars);
  t.length_unit = national ? 'U' : in_chars ? 'C' : 'B';
  return t;
}

col_type timestamp(col_kind kind, ub2 code, ub2 size, int fraction, const std::string& suffix) {
  col_type t = make(kind, code, size, "TIMESTAMP(" + std::to_string(fraction) + ")" + suffix, size);
  t.scale = static_cast<sb1>(fraction);
  t.dict_scale = fraction;
  return t;
}

}  // namespace

col_type parse_declared_type(const std::string& declared) {
  std::string t = normalise(declared);
  type_parts p = split(t);
  const std::string& n = p.name;
  if (n == "NUMBER" || n == "NUMERIC" || n == "DECIMAL" || n == "DEC") {
    if (p.args.empty()) return n == "NUMBER" ? number(std::nullopt, std::nullopt)
                                             : number(38, 0);
    std::optional<int> precision;
    if (p.args[0] != "*") precision = arg(p, 0, 38);
    int scale = arg(p, 1, 0);
    if (!precision && p.args.size() < 2) return number(std::nullopt, std::nullopt);
    col_type c = number(precision, scale);
    if (!precision) c.precision = 38;
    return c;
  }
  if (n == "INTEGER" || n == "INT" || n == "SMALLINT") {
    col_type c = number(std::nullopt, 0);
    c.precision = 38;
    c.scale = 0;
    return c;
  }
  if (n == "FLOAT") return float_type(arg(p, 0, 126));
  if (n == "REAL") return float_type(63);
  if (n == "DOUBLE PRECISION") return float_type(126);
  if (n == "BINARY_FLOAT") return make(col_kind::binary_float, SQLT_IBFLOAT, 4, "BINARY_FLOAT", 4);
  if (n == "BINARY_DOUBLE")
    return make(col_kind::binary_double, SQLT_IBDOUBLE, 8, "BINARY_DOUBLE", 8);
  if (n == "VARCHAR2" || n == "VARCHAR" || n == "CHARACTER VARYING" || n == "CHAR VARYING")
    return text(col_kind::varchar, SQLT_CHR, arg(p, 0, 4000), false, "VARCHAR2", semantics(p));
  if (n == "NVARCHAR2" || n == "NCHAR VARYING" || n == "NATIONAL CHARACTER VARYING")
    return text(col_kind::varchar, SQLT_CHR, arg(p, 0, 2000), true, "NVARCHAR2");
  if (n == "CHAR" || n == "CHARACTER")
    return text(col_kind::fixed_char, SQLT_AFC, arg(p, 0, 1), false, "CHAR", semantics(p));
  if (n == "NCHAR" || n == "NATIONAL CHARACTER" || n == "NATIONAL CHAR")
    return text(col_kind::fixed_char, SQLT_AFC, arg(p, 0, 1), true, "NCHAR");
  if (n == "LONG") return make(col_kind::varchar, SQLT_LNG, 0, "LONG", 0);
  if (n == "DATE") return make(col_kind::date, SQLT_DAT, 7, "DATE", 7);
  if (n == "TIMESTAMP") {
    int fraction = arg(p, 0, 6);
    if (p.rest.empty() && t.rfind(" WITH TIME ZONE") == std::string::npos &&
        t.rfind(" WITH LOCAL TIME ZONE") == std::string::npos)
      return timestamp(col_kind::timestamp, SQLT_TIMESTAMP, 11, fraction, "");
  }
  if (n.rfind("TIMESTAMP", 0) == 0) {
    bool local = t.find("WITH LOCAL TIME ZONE") != std::string::npos;
    bool zone = t.find("WITH TIME ZONE") != std::string::npos;
    int fraction = arg(p, 0, 6);
    if (local)
      return timestamp(col_kind::timestamp_ltz, SQLT_TIMESTAMP_LTZ, 11, fraction,
                       " WITH LOCAL TIME ZONE");
    if (zone)
      return timestamp(col_kind::timestamp_tz, SQLT_TIMESTAMP_TZ, 13, fraction,
                       " WITH TIME ZONE");
  }
  if (n == "INTERVAL_DAY_TO_SECOND" || n.rfind("INTERVAL DAY", 0) == 0) {
    int days = arg_after(t, "DAY", 2), fraction = arg_after(t, "SECOND", 6);
    col_type c = make(col_kind::varchar, SQLT_INTERVAL_DS, 11,
                      "INTERVAL DAY(" + std::to_string(days) + ") TO SECOND(" + std::to_string(fraction) + ")", 11);
    c.precision = static_cast<sb2>(days);
    c.scale = static_cast<sb1>(fraction);
    c.dict_precision = days;
    c.dict_scale = fraction;
    return c;
  }
  if (n == "INTERVAL_YEAR_TO_MONTH" || n.rfind("INTERVAL YEAR", 0) == 0) {
    int years = arg_after(t, "YEAR", 2);
    col_type c = make(col_kind::varchar, SQLT_INTERVAL_YM, 5, "INTERVAL YEAR(" + std::to_string(years) + ") TO MONTH", 5);
    c.precision = static_cast<sb2>(years);
    c.dict_precision = years;
    c.dict_scale = 0;
    return c;
  }
  if (n == "CLOB") return make(col_kind::clob, SQLT_CLOB, 4000, "CLOB", 4000);
  if (n == "NCLOB") {
    col_type c = make(col_kind::clob, SQLT_CLOB, 4000, "NCLOB", 4000);
    c.charset_form = SQLCS_NCHAR;
    return c;
  }
  if (n == "BLOB") return make(col_kind::blob, SQLT_BLOB, 4000, "BLOB", 4000);
  if (n == "BFILE") return make(col_kind::blob, SQLT_BFILEE, 530, "BFILE", 530);
  if (n == "RAW") {
    int size = arg(p, 0, 2000);
    col_type c = make(col_kind::raw, SQLT_BIN, static_cast<ub2>(size), "RAW", static_cast<ub4>(size));
    c.max_length = static_cast<ub4>(size);
    c.length_unit = 'B';
    return c;
  }
  if (n == "LONG RAW") return make(col_kind::raw, SQLT_LBI, 0, "LONG RAW", 0);
  if (n == "ROWID") return make(col_kind::varchar, SQLT_RDD, 10, "ROWID", 10);
  if (n == "UROWID") {
    int size = arg(p, 0, 4000);
    return make(col_kind::varchar, SQLT_RDD, static_cast<ub2>(size), "UROWID",
                static_cast<ub4>(size));
  }
  if (n == "XMLTYPE") return make(col_kind::varchar, SQLT_NTY, 2000, "XMLTYPE", 2000);
  col_type c;
  c.dict_type = t.empty() ? "UNDEFINED" : t;
  return c;
}

col_type number_expression_type() { return number(std::nullopt, std::nullopt); }

col_type text_expression_type(ub4 max_bytes) {
  col_type c = text(col_kind::varchar, SQLT_CHR, static_cast<int>(max_bytes), false, "VARCHAR2");
  c.max_length = 0;  // describes a result, stores nothing
  return c;
}

col_type raw_expression_type(ub4 max_bytes) {
  return make(col_kind::raw, SQLT_BIN, static_cast<ub2>(max_bytes), "RAW", max_bytes);
}

col_type rowid_type() { return make(col_kind::rowid, SQLT_RDD, 10, "ROWID", 10); }

}  // namespace ocilite
