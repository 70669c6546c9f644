#include "ocilite/ol_builtin_functions.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <optional>
#include <string>

#include "ocilite/ol_date_format.h"
#include "ocilite/ol_date_math.h"
#include "ocilite/ol_decimal.h"
#include "ocilite/ol_error.h"
#include "ocilite/ol_interval.h"
#include "ocilite/ol_keys.h"
#include "ocilite/ol_number_format.h"
#include "ocilite/ol_text_functions.h"

namespace ocilite {

namespace {

// ------------------------------------------------------------ arguments

struct args {
  int argc;
  sqlite3_value** argv;
  bool has(int k) const { return k < argc; }
  bool null(int k) const {
    if (k >= argc) return true;
    int t = sqlite3_value_type(argv[k]);
    return t == SQLITE_NULL || ((t == SQLITE_TEXT || t == SQLITE_BLOB) && sqlite3_value_bytes(argv[k]) == 0);
  }
  // A number argument; throws ORA-01722 for an infinity or NaN.
  decimal number(int k) const {
    number_value n;
    read_number(argv[k], n);
    if (n.kind != number_value::finite) fail(1722);
    return n.d;
  }
  std::int64_t integer(int k) const { return integer_argument(number(k)); }
  std::string text(int k) const {
    const unsigned char* t = sqlite3_value_text(argv[k]);
    return t ? std::string(reinterpret_cast<const char*>(t), static_cast<std::size_t>(sqlite3_value_bytes(argv[k])))
             : std::string();
  }
  datetime date(int k) const {
    auto t = parse_datetime(text(k));
    if (!t) fail(1861);
    return *t;
  }
  datetime_kind kind(int k) const { return static_cast<datetime_kind>(sqlite3_value_int(argv[k])); }
};

// The libraries give NUMBERs: rounded and in range already.
void result_number(sqlite3_context* ctx, const decimal& d) {
  std::string key = number_key(d);
  sqlite3_result_blob(ctx, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
}

void result_integer(sqlite3_context* ctx, std::int64_t n) {
  std::string key = number_key(integer_decimal(n));
  sqlite3_result_blob(ctx, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
}

void result_text(sqlite3_context* ctx, const text_result& t) {
  if (!t || t->empty()) return sqlite3_result_null(ctx);
  sqlite3_result_text(ctx, t->data(), static_cast<int>(t->size()), SQLITE_TRANSIENT);
}

void result_date(sqlite3_context* ctx, const datetime& t) {
  std::string key = date_key(t);
  sqlite3_result_text(ctx, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
}

using body = void (*)(sqlite3_context*, const args&);

// A function whose result is NULL when any of its first `needed`
// arguments is; the library's errors become the server's.
template <body F, int needed>
void call(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  args a{argc, argv};
  for (int k = 0; k < needed && k < argc; ++k)
    if (a.null(k)) return sqlite3_result_null(ctx);
  try {
    F(ctx, a);
  } catch (const ora_failure& f) {
    result_error(ctx, f.error);
  } catch (const std::bad_alloc&) {
    sqlite3_result_error_nomem(ctx);
  }
}

// ------------------------------------------------------------ numbers

void abs_of(sqlite3_context* c, const args& a) { result_number(c, decimal_abs(a.number(0))); }
void sign_of(sqlite3_context* c, const args& a) { result_integer(c, decimal_sign(a.number(0))); }
void ceil_of(sqlite3_context* c, const args& a) { result_number(c, decimal_ceil(a.number(0))); }
void floor_of(sqlite3_context* c, const args& a) { result_number(c, decimal_floor(a.number(0))); }
void mod_of(sqlite3_context* c, const args& a) { result_number(c, decimal_mod(a.number(0), a.number(1))); }
void remainder_of(sqlite3_context* c, const args& a) { result_number(c, decimal_remainder(a.number(0), a.number(1))); }
void round_of(sqlite3_context* c, const args& a) {
  result_number(c, a.has(1) ? decimal_round(a.number(0), a.number(1)) : decimal_round(a.number(0), 0L));
}
void trunc_of(sqlite3_context* c, const args& a) {
  result_number(c, a.has(1) ? decimal_trunc(a.number(0), a.number(1)) : decimal_trunc(a.number(0), 0L));
}
void power_of(sqlite3_context* c, const args& a) { result_number(c, decimal_power(a.number(0), a.number(1))); }
void sqrt_of(sqlite3_context* c, const args& a) { result_number(c, decimal_sqrt(a.number(0))); }
void exp_of(sqlite3_context* c, const args& a) { result_number(c, decimal_exp(a.number(0))); }
void ln_of(sqlite3_context* c, const args& a) { result_number(c, decimal_ln(a.number(0))); }
void log_of(sqlite3_context* c, const args& a) { result_number(c, decimal_log(a.number(0), a.number(1))); }
void to_number_of(sqlite3_context* c, const args& a) {
  if (a.has(1)) return result_number(c, text_to_number(a.text(0), a.text(1)));
  // A number stays itself; a text is read as the server reads one.
  result_number(c, a.number(0));
}
void number_char_of(sqlite3_context* c, const args& a) {
  result_text(c, a.has(1) ? number_to_char(a.number(0), a.text(1)) : number_to_char(a.number(0)));
}
void number_cast_of(sqlite3_context* c, const args& a) {
  result_number(c, number_checked(a.number(0), static_cast<int>(sqlite3_value_int(a.argv[1])),
                                  static_cast<int>(sqlite3_value_int(a.argv[2]))));
}

// ------------------------------------------------------------ dates

void date_add_of(sqlite3_context* c, const args& a) { result_date(c, add_days(a.date(0), a.number(1))); }
void date_diff_of(sqlite3_context* c, const args& a) { result_number(c, days_between(a.date(0), a.date(1))); }
void add_months_of(sqlite3_context* c, const args& a) { result_date(c, add_months(as_date(a.date(0)), a.number(1))); }
void months_between_of(sqlite3_context* c, const args& a) { result_number(c, months_between(a.date(0), a.date(1))); }
void last_day_of(sqlite3_context* c, const args& a) { result_date(c, last_day(as_date(a.date(0)))); }
void next_day_of(sqlite3_context* c, const args& a) { result_date(c, next_day(as_date(a.date(0)), a.text(1))); }
void date_trunc_of(sqlite3_context* c, const args& a) {
  result_date(c, a.has(1) ? trunc_date(a.date(0), a.text(1)) : trunc_date(a.date(0)));
}
void date_round_of(sqlite3_context* c, const args& a) {
  result_date(c, a.has(1) ? round_date(a.date(0), a.text(1)) : round_date(a.date(0)));
}
void as_date_of(sqlite3_context* c, const args& a) { result_date(c, as_date(a.date(0))); }

void extract_of(sqlite3_context* c, const args& a) {
  datetime_field field;
  if (!datetime_field_of(a.text(0), field)) fail(30076);
  result_number(c, extract_field(a.date(1), a.kind(2), field));
}

// TO_DATE and TO_TIMESTAMP: arguments text, kind[, mask].
void to_date_of(sqlite3_context* c, const args& a) {
  datetime_kind kind = a.kind(1);
  std::string mask = a.has(2) && !a.null(2) ? a.text(2) : std::string(default_format(kind));
  if (a.has(2) && a.null(2)) return sqlite3_result_null(c);
  datetime t = to_datetime(a.text(0), mask, kind);
  result_date(c, kind == datetime_kind::date ? as_date(t) : t);
}

// TO_CHAR of a date and a date in text: d, kind, fraction digits[, mask].
void date_char_of(sqlite3_context* c, const args& a) {
  datetime_kind kind = a.kind(1);
  int digits = sqlite3_value_int(a.argv[2]);
  if (a.has(3)) {
    if (a.null(3)) return sqlite3_result_null(c);
    return result_text(c, to_char_datetime(a.date(0), a.text(3), kind, digits));
  }
  result_text(c, default_datetime_text(a.date(0), kind, digits));
}

// ------------------------------------------------------------ intervals

interval_qualifier widest(bool ym) {
  interval_qualifier q;
  q.leading = ym ? interval_field::year : interval_field::day;
  q.trailing = ym ? interval_field::month : interval_field::second;
  q.leading_precision = 9;
  q.fraction_precision = 9;
  return q;
}

std::string ds_text(const interval_ds& v) { return interval_text(v, 9, 9); }
std::string ym_text(const interval_ym& v) { return interval_text(v, 9); }

interval_ds ds_of(const args& a, int k) { return parse_interval_ds(a.text(k), widest(false)); }
interval_ym ym_of(const args& a, int k) { return parse_interval_ym(a.text(k), widest(true)); }

void date_add_interval_of(sqlite3_context* c, const args& a) {
  bool ym = sqlite3_value_int(a.argv[2]) != 0;
  result_date(c, ym ? add_interval(a.date(0), ym_of(a, 1)) : add_interval(a.date(0), ds_of(a, 1)));
}

void date_span_of(sqlite3_context* c, const args& a) {
  result_text(c, ds_text(datetime_difference(a.date(0), a.date(1))));
}

void interval_extract_of(sqlite3_context* c, const args& a) {
  datetime_field field;
  if (!datetime_field_of(a.text(0), field)) fail(30076);
  bool ym = sqlite3_value_int(a.argv[2]) != 0;
  result_number(c, ym ? extract_field(ym_of(a, 1), field) : extract_field(ds_of(a, 1), field));
}

// The text of an interval in its type's precisions.
void interval_text_of(sqlite3_context* c, const args& a) {
  bool ym = sqlite3_value_int(a.argv[1]) != 0;
  int leading = sqlite3_value_int(a.argv[2]), fraction = sqlite3_value_int(a.argv[3]);
  if (ym) {
    interval_ym v = ym_of(a, 0);
    check_leading_precision(v, leading);
    return result_text(c, interval_text(v, leading));
  }
  interval_ds v = round_fraction(ds_of(a, 0), fraction);
  check_leading_precision(v, leading);
  result_text(c, interval_text(v, leading, fraction));
}

// op: '+' '-' of two intervals, '*' '/' of an interval and a number,
// 'n' the negation; ym tells the kind.
template <typename T>
T interval_step(const std::string& op, const T& x, const args& a, T (*operand)(const args&, int)) {
  if (op == "+") return interval_add(x, operand(a, 2));
  if (op == "-") return interval_subtract(x, operand(a, 2));
  if (op == "*") return interval_multiply(x, a.number(2));
  if (op == "/") return interval_divide(x, a.number(2));
  return interval_negate(x);
}

void interval_arith_of(sqlite3_context* c, const args& a) {
  std::string op = a.text(0);
  if (op != "n" && a.null(2)) return sqlite3_result_null(c);
  if (sqlite3_value_int(a.argv[3]) != 0) return result_text(c, ym_text(interval_step(op, ym_of(a, 1), a, ym_of)));
  result_text(c, ds_text(interval_step(op, ds_of(a, 1), a, ds_of)));
}

// ------------------------------------------------------------ texts

void upper_of(sqlite3_context* c, const args& a) { result_text(c, text_upper(a.text(0))); }
void lower_of(sqlite3_context* c, const args& a) { result_text(c, text_lower(a.text(0))); }
void initcap_of(sqlite3_context* c, const args& a) { result_text(c, text_initcap(a.text(0))); }
void length_of(sqlite3_context* c, const args& a) { result_integer(c, text_length(a.text(0))); }
void substr_of(sqlite3_context* c, const args& a) {
  if (a.has(2) && a.null(2)) return sqlite3_result_null(c);
  std::optional<std::int64_t> length;
  if (a.has(2)) length = a.integer(2);
  result_text(c, text_substr(a.text(0), a.integer(1), length));
}
void instr_of(sqlite3_context* c, const args& a) {
  if ((a.has(2) && a.null(2)) || (a.has(3) && a.null(3))) return sqlite3_result_null(c);
  result_integer(c, text_instr(a.text(0), a.text(1), a.has(2) ? a.integer(2) : 1, a.has(3) ? a.integer(3) : 1));
}
void lpad_of(sqlite3_context* c, const args& a) {
  if (a.has(2) && a.null(2)) return sqlite3_result_null(c);
  result_text(c, text_lpad(a.text(0), a.integer(1), a.has(2) ? a.text(2) : std::string(" ")));
}
void rpad_of(sqlite3_context* c, const args& a) {
  if (a.has(2) && a.null(2)) return sqlite3_result_null(c);
  result_text(c, text_rpad(a.text(0), a.integer(1), a.has(2) ? a.text(2) : std::string(" ")));
}
// s, side (LEADING TRAILING BOTH), c
void trim_of(sqlite3_context* c, const args& a) {
  if (a.null(2)) return sqlite3_result_null(c);
  std::string side = a.text(1);
  trim_side s = side == "LEADING" ? trim_side::leading : side == "TRAILING" ? trim_side::trailing : trim_side::both;
  result_text(c, text_trim(a.text(0), s, a.text(2)));
}
void ltrim_of(sqlite3_context* c, const args& a) {
  if (a.has(1) && a.null(1)) return sqlite3_result_null(c);
  result_text(c, text_ltrim(a.text(0), a.has(1) ? a.text(1) : std::string(" ")));
}
void rtrim_of(sqlite3_context* c, const args& a) {
  if (a.has(1) && a.null(1)) return sqlite3_result_null(c);
  result_text(c, text_rtrim(a.text(0), a.has(1) ? a.text(1) : std::string(" ")));
}
void replace_of(sqlite3_context* c, const args& a) {
  std::optional<std::string> search, replacement;
  if (!a.null(1)) search = a.text(1);
  if (a.has(2) && !a.null(2)) replacement = a.text(2);
  std::optional<std::string_view> s = search, r = replacement;
  result_text(c, text_replace(a.text(0), s, r));
}
void translate_of(sqlite3_context* c, const args& a) {
  result_text(c, text_translate(a.text(0), a.text(1), a.text(2)));
}
void ascii_of(sqlite3_context* c, const args& a) { result_integer(c, text_ascii(a.text(0))); }
void chr_of(sqlite3_context* c, const args& a) {
  std::string s = text_chr(a.integer(0));
  sqlite3_result_text(c, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

// SQLite's LIKE operator calls like(pattern, text[, escape]).
void like_of(sqlite3_context* c, const args& a) {
  std::optional<std::string> escape;
  if (a.has(2)) {
    if (a.null(2)) return sqlite3_result_null(c);
    escape = a.text(2);
  }
  std::optional<std::string_view> e = escape;
  sqlite3_result_int(c, text_like(a.text(1), a.text(0), e) ? 1 : 0);
}

struct function_row {
  const char* name;
  int min_args, max_args;
  void (*function)(sqlite3_context*, int, sqlite3_value**);
};

const function_row k_functions[] = {
    {"OL_ABS", 1, 1, call<abs_of, 1>},
    {"OL_SIGN", 1, 1, call<sign_of, 1>},
    {"OL_CEIL", 1, 1, call<ceil_of, 1>},
    {"OL_FLOOR", 1, 1, call<floor_of, 1>},
    {"OL_MOD", 2, 2, call<mod_of, 2>},
    {"OL_REMAINDER", 2, 2, call<remainder_of, 2>},
    {"OL_ROUND", 1, 2, call<round_of, 2>},
    {"OL_TRUNC", 1, 2, call<trunc_of, 2>},
    {"OL_POWER", 2, 2, call<power_of, 2>},
    {"OL_SQRT", 1, 1, call<sqrt_of, 1>},
    {"OL_EXP", 1, 1, call<exp_of, 1>},
    {"OL_LN", 1, 1, call<ln_of, 1>},
    {"OL_LOG", 2, 2, call<log_of, 2>},
    {"OL_TONUMBER", 1, 2, call<to_number_of, 2>},
    {"OL_NUMCHAR", 1, 2, call<number_char_of, 2>},
    {"OL_NUMCAST", 3, 3, call<number_cast_of, 1>},
    {"OL_DATEADD", 2, 2, call<date_add_of, 2>},
    {"OL_DATEDIFF", 2, 2, call<date_diff_of, 2>},
    {"OL_ADDMONTHS", 2, 2, call<add_months_of, 2>},
    {"OL_MONTHSBETWEEN", 2, 2, call<months_between_of, 2>},
    {"OL_LASTDAY", 1, 1, call<last_day_of, 1>},
    {"OL_NEXTDAY", 2, 2, call<next_day_of, 2>},
    {"OL_DATETRUNC", 1, 2, call<date_trunc_of, 2>},
    {"OL_DATEROUND", 1, 2, call<date_round_of, 2>},
    {"OL_ASDATE", 1, 1, call<as_date_of, 1>},
    {"OL_EXTRACT", 3, 3, call<extract_of, 2>},
    {"OL_TODATE", 2, 3, call<to_date_of, 1>},
    {"OL_DATECHAR", 3, 4, call<date_char_of, 1>},
    {"OL_DATEADDIV", 3, 3, call<date_add_interval_of, 2>},
    {"OL_DATESPAN", 2, 2, call<date_span_of, 2>},
    {"OL_IVEXTRACT", 3, 3, call<interval_extract_of, 2>},
    {"OL_IVTEXT", 4, 4, call<interval_text_of, 1>},
    {"OL_IVARITH", 3, 4, call<interval_arith_of, 2>},
    {"OL_UPPER", 1, 1, call<upper_of, 1>},
    {"OL_LOWER", 1, 1, call<lower_of, 1>},
    {"OL_INITCAP", 1, 1, call<initcap_of, 1>},
    {"OL_LENGTH", 1, 1, call<length_of, 1>},
    {"OL_SUBSTR", 2, 3, call<substr_of, 2>},
    {"OL_INSTR", 2, 4, call<instr_of, 2>},
    {"OL_LPAD", 2, 3, call<lpad_of, 2>},
    {"OL_RPAD", 2, 3, call<rpad_of, 2>},
    {"OL_TRIM", 3, 3, call<trim_of, 1>},
    {"OL_LTRIM", 1, 2, call<ltrim_of, 1>},
    {"OL_RTRIM", 1, 2, call<rtrim_of, 1>},
    {"OL_REPLACE", 2, 3, call<replace_of, 1>},
    {"OL_TRANSLATE", 3, 3, call<translate_of, 3>},
    {"OL_ASCII", 1, 1, call<ascii_of, 1>},
    {"OL_CHR", 1, 1, call<chr_of, 1>},
    {"like", 2, 3, call<like_of, 2>},
};

}  // namespace

void register_builtin_functions(sqlite3* db) {
  for (const function_row& f : k_functions)
    for (int n = f.min_args; n <= f.max_args; ++n)
      sqlite3_create_function(db, f.name, n, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, f.function, nullptr, nullptr);
}

std::string interval_literal(const std::string& text, const std::string& qualifier, bool& year_to_month) {
  // YEAR[(p)] [TO MONTH], DAY[(p)] [TO HOUR|MINUTE|SECOND[(s)]], ...
  interval_qualifier q;
  auto field_of = [](const std::string& w) {
    if (w == "YEAR") return interval_field::year;
    if (w == "MONTH") return interval_field::month;
    if (w == "DAY") return interval_field::day;
    if (w == "HOUR") return interval_field::hour;
    if (w == "MINUTE") return interval_field::minute;
    return interval_field::second;
  };
  std::size_t to = qualifier.find(" TO ");
  std::string lead = qualifier.substr(0, to), trail = to == std::string::npos ? lead : qualifier.substr(to + 4);
  // A precision past any the server takes stays past them: check_qualifier
  // refuses it.
  auto number = [](const std::string& digits) {
    long n = std::strtol(digits.c_str(), nullptr, 10);
    return static_cast<int>(std::clamp<long>(n, 0, 1000));
  };
  auto precision = [&](const std::string& part, int fallback, int index) {
    std::size_t open = part.find('(');
    if (open == std::string::npos) return fallback;
    std::string inner = part.substr(open + 1, part.find(')') - open - 1);
    std::size_t comma = inner.find(',');
    if (index == 1) return comma == std::string::npos ? fallback : number(inner.substr(comma + 1));
    return number(inner.substr(0, comma));
  };
  auto name = [](const std::string& part) { return part.substr(0, part.find('(')); };
  q.leading = field_of(name(lead));
  q.trailing = field_of(name(trail));
  q.leading_precision = precision(lead, 2, 0);
  q.fraction_precision =
      q.trailing == interval_field::second ? precision(trail, 6, to == std::string::npos ? 1 : 0) : 6;
  check_qualifier(q);
  year_to_month = is_year_to_month(q);
  if (year_to_month) return ym_text(parse_interval_ym(text, q));
  return ds_text(parse_interval_ds(text, q));
}

}  // namespace ocilite
