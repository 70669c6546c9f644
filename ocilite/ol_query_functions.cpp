#include "ocilite/ol_query_functions.h"

#include <cmath>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "ocilite/ol_date_math.h"
#include "ocilite/ol_decimal.h"
#include "ocilite/ol_error.h"
#include "ocilite/ol_keys.h"
#include "ocilite/ol_text.h"
#include "ocilite/ol_text_functions.h"

namespace ocilite {

namespace {

void result_key(sqlite3_context* ctx, const number_value& n) {
  std::string key = number_key(n);
  sqlite3_result_blob(ctx, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
}

void result_text(sqlite3_context* ctx, const std::string& text) {
  sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

std::string text_of(sqlite3_value* v) {
  const unsigned char* t = sqlite3_value_text(v);
  return t ? std::string(reinterpret_cast<const char*>(t), static_cast<std::size_t>(sqlite3_value_bytes(v)))
           : std::string();
}

double double_of(const number_value& n) {
  switch (n.kind) {
    case number_value::minus_infinity:
      return -std::numeric_limits<double>::infinity();
    case number_value::plus_infinity:
      return std::numeric_limits<double>::infinity();
    case number_value::not_a_number:
      return std::numeric_limits<double>::quiet_NaN();
    default:
      return decimal_to_double(n.d);
  }
}

number_value of_double(double d) {
  number_value n;
  if (std::isnan(d))
    n.kind = number_value::not_a_number;
  else if (std::isinf(d))
    n.kind = d < 0 ? number_value::minus_infinity : number_value::plus_infinity;
  else
    n.d = decimal_of(cell::real(d));
  return n;
}

// One step of + - * /: decimal as on the server; IEEE once an infinity or
// NaN of a BINARY_DOUBLE takes part.
number_value step(char op, const number_value& a, const number_value& b) {
  if (a.kind != number_value::finite || b.kind != number_value::finite) {
    double x = double_of(a), y = double_of(b);
    return of_double(op == '+' ? x + y : op == '-' ? x - y : op == '*' ? x * y : x / y);
  }
  number_value r;
  r.d = op == '+'   ? decimal_add(a.d, b.d)
        : op == '-' ? decimal_subtract(a.d, b.d)
        : op == '*' ? decimal_multiply(a.d, b.d)
                    : decimal_divide(a.d, b.d);
  return r;
}

// Runs `body`, turning the library's errors into the function's error.
template <typename F>
void guarded(sqlite3_context* ctx, F body) {
  try {
    body();
  } catch (const ora_failure& f) {
    result_error(ctx, f.error);
  } catch (const std::bad_alloc&) {
    sqlite3_result_error_nomem(ctx);
  }
}

void number_key_function(sqlite3_context* ctx, int, sqlite3_value** argv) {
  guarded(ctx, [&] {
    number_value n;
    if (!read_number(argv[0], n)) return sqlite3_result_null(ctx);
    result_key(ctx, n);
  });
}

void number_value_function(sqlite3_context* ctx, int, sqlite3_value** argv) {
  guarded(ctx, [&] {
    number_value n;
    if (!read_number(argv[0], n)) return sqlite3_result_null(ctx);
    stored_number(n).result_to(ctx);
  });
}

// OL_LIST(x, ...): numbers packed into one value, 0x01 then for each its
// key's length in two bytes and the key (0xFFFF for NULL), so that a chain
// longer than a call's arguments is still one left-to-right computation.
constexpr unsigned char k_list = 0x01;

void list_function(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  guarded(ctx, [&] {
    std::string out(1, static_cast<char>(k_list));
    for (int k = 0; k < argc; ++k) {
      number_value n;
      if (!read_number(argv[k], n)) {
        out += "\xFF\xFF";
        continue;
      }
      std::string key = number_key(n);
      out += static_cast<char>(key.size() >> 8);
      out += static_cast<char>(key.size() & 0xFF);
      out += key;
    }
    sqlite3_result_blob(ctx, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
  });
}

// The operands an argument holds: one number, or the numbers of a list.
// False when one of them is NULL.
bool operands_of(sqlite3_value* v, std::vector<number_value>& out) {
  if (sqlite3_value_type(v) == SQLITE_BLOB && sqlite3_value_bytes(v) > 0 &&
      *static_cast<const unsigned char*>(sqlite3_value_blob(v)) == k_list) {
    const auto* b = static_cast<const unsigned char*>(sqlite3_value_blob(v));
    int size = sqlite3_value_bytes(v);
    for (int at = 1; at + 2 <= size;) {
      int length = b[at] << 8 | b[at + 1];
      at += 2;
      if (length == 0xFFFF) return false;
      out.push_back(number_of_key(b + at, length));
      at += length;
    }
    return true;
  }
  number_value n;
  if (!read_number(v, n)) return false;
  out.push_back(n);
  return true;
}

void arithmetic_function(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  guarded(ctx, [&] {
    std::vector<number_value> operands;
    for (int k = 1; k < argc; ++k)
      if (!operands_of(argv[k], operands)) return sqlite3_result_null(ctx);
    const unsigned char* ops = sqlite3_value_text(argv[0]);
    if (operands.empty() || !ops || static_cast<std::size_t>(sqlite3_value_bytes(argv[0])) != operands.size() - 1) {
      sqlite3_result_error(ctx, "OL_ARITH: one operator between each two operands", -1);
      return;
    }
    number_value value = operands[0];
    for (std::size_t k = 1; k < operands.size(); ++k) value = step(static_cast<char>(ops[k - 1]), value, operands[k]);
    result_key(ctx, value);
  });
}

void negate_function(sqlite3_context* ctx, int, sqlite3_value** argv) {
  guarded(ctx, [&] {
    number_value n;
    if (!read_number(argv[0], n)) return sqlite3_result_null(ctx);
    if (n.kind == number_value::finite)
      n.d.negative = !n.d.digits.empty() && !n.d.negative;
    else if (n.kind == number_value::plus_infinity)
      n.kind = number_value::minus_infinity;
    else if (n.kind == number_value::minus_infinity)
      n.kind = number_value::plus_infinity;
    result_key(ctx, n);
  });
}

void number_text_function(sqlite3_context* ctx, int, sqlite3_value** argv) {
  guarded(ctx, [&] {
    number_value n;
    if (!read_number(argv[0], n)) return sqlite3_result_null(ctx);
    switch (n.kind) {
      case number_value::minus_infinity:
        return result_text(ctx, "-Inf");
      case number_value::plus_infinity:
        return result_text(ctx, "Inf");
      case number_value::not_a_number:
        return result_text(ctx, "Nan");
      default:
        return result_text(ctx, number_text(n.d));
    }
  });
}

void date_key_function(sqlite3_context* ctx, int, sqlite3_value** argv) {
  int type = sqlite3_value_type(argv[0]);
  if (type == SQLITE_NULL) return sqlite3_result_null(ctx);
  std::string text = text_of(argv[0]);
  if (text.empty()) return sqlite3_result_null(ctx);
  std::optional<std::string> key = date_key(text);
  if (!key) return result_error(ctx, 1861);
  result_text(ctx, *key);
}

// The UTC instant of a date key, without a zone; a value without a zone is
// taken in the session's (the process's) time zone, as the server takes it
// when it compares one with a value that has one.
void instant_function(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  guarded(ctx, [&] {
    std::optional<datetime> t = parse_datetime(text_of(argv[0]));
    if (!t) return result_error(ctx, 1861);
    datetime utc = to_utc(*t);
    utc.has_zone = false;
    result_text(ctx, date_key(utc));
  });
}

// Texts joined; NULL ones count as empty, an empty result is NULL.
void concat(sqlite3_context* ctx, int argc, sqlite3_value** argv, bool limited) {
  std::string out;
  for (int k = 0; k < argc; ++k)
    if (sqlite3_value_type(argv[k]) != SQLITE_NULL) out += text_of(argv[k]);
  if (out.empty()) return sqlite3_result_null(ctx);
  if (limited && out.size() > 4000) return result_error(ctx, 1489);
  result_text(ctx, out);
}

void concat_function(sqlite3_context* ctx, int argc, sqlite3_value** argv) { concat(ctx, argc, argv, true); }
void concat_lob_function(sqlite3_context* ctx, int argc, sqlite3_value** argv) { concat(ctx, argc, argv, false); }

void pad_function(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  std::string text = text_of(argv[0]);
  if (text.empty()) return sqlite3_result_null(ctx);
  blank_pad(text, static_cast<std::size_t>(sqlite3_value_int64(argv[1])), sqlite3_value_int(argv[2]) != 0);
  result_text(ctx, text);
}

// CAST(x AS VARCHAR2(n)) and AS CHAR(n): ORA-25137 for a longer value; a
// CHAR is blank-padded. The length counts bytes ('B') or characters.
void cast_text_function(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  std::string text = text_of(argv[0]);
  if (text.empty()) return sqlite3_result_null(ctx);
  auto length = static_cast<std::size_t>(sqlite3_value_int64(argv[1]));
  bool chars = text_of(argv[2]) == "C";
  std::size_t have = chars ? char_count(text) : text.size();
  if (have > length) return result_error(ctx, 25137);
  if (sqlite3_value_int(argv[3])) text.append(length - have, ' ');
  result_text(ctx, text);
}

void error_function(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  result_error(ctx, static_cast<sb4>(sqlite3_value_int64(argv[0])), argc > 1 ? text_of(argv[1]) : std::string());
}

// SUM and AVG: the exact sum of the values and their count, rounded once
// at the end. As window functions a value leaves the frame by the addition
// of its negation, also exact. An infinity or NaN of a BINARY_DOUBLE turns
// the sum into IEEE arithmetic.
struct sum_state {
  bool started = false;
  std::int64_t count = 0;
  bool left = false;  // a value has left the frame
  number_sum exact;
  std::int64_t special_count = 0;
  double special = 0;  // the sum of the infinities and NaNs
};

sum_state* state_of(sqlite3_context* ctx, bool make) {
  void* p = sqlite3_aggregate_context(ctx, make ? static_cast<int>(sizeof(sum_state)) : 0);
  if (!p) return nullptr;
  auto* s = static_cast<sum_state*>(p);
  if (!s->started) {
    new (s) sum_state();
    s->started = true;
  }
  return s;
}

void sum_add(sqlite3_context* ctx, sqlite3_value* v, bool leaving) {
  guarded(ctx, [&] {
    number_value n;
    if (!read_number(v, n)) return;
    sum_state* s = state_of(ctx, true);
    if (!s) return sqlite3_result_error_nomem(ctx);
    s->count += leaving ? -1 : 1;
    if (n.kind != number_value::finite) {
      s->special_count += leaving ? -1 : 1;
      if (!leaving) s->special += double_of(n);
      return;
    }
    if (leaving) s->left = true;
    s->exact.add(leaving ? decimal_negate(n.d) : n.d);
  });
}

void sum_step(sqlite3_context* ctx, int, sqlite3_value** argv) { sum_add(ctx, argv[0], false); }
void sum_inverse(sqlite3_context* ctx, int, sqlite3_value** argv) { sum_add(ctx, argv[0], true); }

void sum_value(sqlite3_context* ctx) {
  sum_state* s = state_of(ctx, false);
  if (!s || s->count == 0) return sqlite3_result_null(ctx);
  guarded(ctx, [&] {
    if (s->special_count) return result_key(ctx, of_double(s->special));
    number_value n;
    n.d = s->exact.sum();
    result_key(ctx, n);
  });
}

void sum_final(sqlite3_context* ctx) {
  sum_value(ctx);
  if (sum_state* s = state_of(ctx, false)) s->~sum_state();
}

void avg_value(sqlite3_context* ctx) {
  sum_state* s = state_of(ctx, false);
  if (!s || s->count == 0) return sqlite3_result_null(ctx);
  guarded(ctx, [&] {
    if (s->special_count) return result_key(ctx, of_double(s->special));
    number_value n;
    n.d = s->left ? decimal_divide(s->exact.sum(), *parse_decimal(std::to_string(s->count))) : s->exact.average();
    result_key(ctx, n);
  });
}

void avg_final(sqlite3_context* ctx) {
  avg_value(ctx);
  if (sum_state* s = state_of(ctx, false)) s->~sum_state();
}

// The value of a scalar subquery's one row.
struct one_state {
  int rows;
  sqlite3_value* value;
};

void one_step(sqlite3_context* ctx, int, sqlite3_value** argv) {
  auto* s = static_cast<one_state*>(sqlite3_aggregate_context(ctx, sizeof(one_state)));
  if (!s) return sqlite3_result_error_nomem(ctx);
  if (++s->rows > 1) return result_error(ctx, 1427);
  s->value = sqlite3_value_dup(argv[0]);
}

void one_final(sqlite3_context* ctx) {
  auto* s = static_cast<one_state*>(sqlite3_aggregate_context(ctx, 0));
  if (!s || !s->value) return sqlite3_result_null(ctx);
  sqlite3_result_value(ctx, s->value);
  sqlite3_value_free(s->value);
}

// A CONNECT BY row's path of row ids, ",1,5,": ORA-01436 when the row is
// on it already, as the server refuses a loop.
void loop_function(sqlite3_context* ctx, int, sqlite3_value** argv) {
  std::string path = text_of(argv[0]);
  std::string id = "," + text_of(argv[1]) + ",";
  if (path.find(id) != std::string::npos) return result_error(ctx, 1436);
  result_text(ctx, (path.empty() ? "" : path.substr(0, path.size() - 1)) + id);
}

// OL_BLANKPAD: two CHAR values compared as the server compares them.
int blank_padded_collation(void*, int a_size, const void* a, int b_size, const void* b) {
  return compare_blank_padded(std::string_view(static_cast<const char*>(a), static_cast<std::size_t>(a_size)),
                              std::string_view(static_cast<const char*>(b), static_cast<std::size_t>(b_size)));
}

}  // namespace

void register_query_functions(sqlite3* db) {
  sqlite3_create_collation(db, "OL_BLANKPAD", SQLITE_UTF8, nullptr, blank_padded_collation);
  const int pure = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
  sqlite3_create_function(db, "OL_NK", 1, pure, nullptr, number_key_function, nullptr, nullptr);
  sqlite3_create_function(db, "OL_NV", 1, pure, nullptr, number_value_function, nullptr, nullptr);
  sqlite3_create_function(db, "OL_ARITH", -1, pure, nullptr, arithmetic_function, nullptr, nullptr);
  sqlite3_create_function(db, "OL_LIST", -1, pure, nullptr, list_function, nullptr, nullptr);
  sqlite3_create_function(db, "OL_NEG", 1, pure, nullptr, negate_function, nullptr, nullptr);
  sqlite3_create_function(db, "OL_NTXT", 1, pure, nullptr, number_text_function, nullptr, nullptr);
  sqlite3_create_function(db, "OL_DK", 1, pure, nullptr, date_key_function, nullptr, nullptr);
  sqlite3_create_function(db, "OL_INSTANT", 1, pure, nullptr, instant_function, nullptr, nullptr);
  sqlite3_create_function(db, "OL_CAT", -1, pure, nullptr, concat_function, nullptr, nullptr);
  sqlite3_create_function(db, "OL_CATL", -1, pure, nullptr, concat_lob_function, nullptr, nullptr);
  sqlite3_create_function(db, "OL_CASTTEXT", 4, pure, nullptr, cast_text_function, nullptr, nullptr);
  sqlite3_create_function(db, "OL_PAD", 3, pure, nullptr, pad_function, nullptr, nullptr);
  sqlite3_create_function(db, "OL_ERR", -1, SQLITE_UTF8, nullptr, error_function, nullptr, nullptr);
  sqlite3_create_function(db, "OL_LOOP", 2, pure, nullptr, loop_function, nullptr, nullptr);
  sqlite3_create_window_function(db, "OL_SUM", 1, pure, nullptr, sum_step, sum_final, sum_value, sum_inverse, nullptr);
  sqlite3_create_window_function(db, "OL_AVG", 1, pure, nullptr, sum_step, avg_final, avg_value, sum_inverse, nullptr);
  sqlite3_create_function(db, "OL_ONE", 1, SQLITE_UTF8, nullptr, nullptr, one_step, one_final);
}

}  // namespace ocilite
