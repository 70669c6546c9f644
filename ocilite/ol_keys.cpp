#include "ocilite/ol_keys.h"

#include <cmath>
#include <limits>

#include "ocilite/ol_error.h"
#include "ocilite/ol_number_format.h"

namespace ocilite {

namespace {

constexpr unsigned char k_minus_infinity = 0x20, k_negative = 0x40, k_zero = 0x80, k_positive = 0xC0,
                        k_plus_infinity = 0xE0, k_nan = 0xF0;

}  // namespace

std::string number_key(const decimal& d) {
  if (d.digits.empty()) return std::string(1, static_cast<char>(k_zero));
  std::string out;
  out.reserve(d.digits.size() + 4);
  unsigned e = static_cast<unsigned>(d.exponent + 0x8000) & 0xFFFF;
  if (d.negative) {
    e = ~e & 0xFFFF;
    out += static_cast<char>(k_negative);
  } else {
    out += static_cast<char>(k_positive);
  }
  out += static_cast<char>(e >> 8);
  out += static_cast<char>(e & 0xFF);
  for (char c : d.digits) out += d.negative ? static_cast<char>(0xFF - static_cast<unsigned char>(c)) : c;
  if (d.negative) out += static_cast<char>(0xFF);
  return out;
}

std::string number_key(const number_value& n) {
  switch (n.kind) {
    case number_value::minus_infinity:
      return std::string(1, static_cast<char>(k_minus_infinity));
    case number_value::plus_infinity:
      return std::string(1, static_cast<char>(k_plus_infinity));
    case number_value::not_a_number:
      return std::string(1, static_cast<char>(k_nan));
    default:
      return number_key(n.d);
  }
}

bool is_number_key(const void* bytes, int size) {
  if (!bytes || size < 1) return false;
  unsigned char lead = *static_cast<const unsigned char*>(bytes);
  if (size == 1) return lead == k_minus_infinity || lead == k_zero || lead == k_plus_infinity || lead == k_nan;
  return (lead == k_negative && size >= 4) || (lead == k_positive && size >= 3);
}

number_value number_of_key(const void* bytes, int size) {
  const auto* b = static_cast<const unsigned char*>(bytes);
  number_value n;
  switch (b[0]) {
    case k_minus_infinity:
      n.kind = number_value::minus_infinity;
      return n;
    case k_plus_infinity:
      n.kind = number_value::plus_infinity;
      return n;
    case k_nan:
      n.kind = number_value::not_a_number;
      return n;
    case k_zero:
      return n;
    default:
      break;
  }
  bool negative = b[0] == k_negative;
  unsigned e = static_cast<unsigned>(b[1]) << 8 | b[2];
  if (negative) e = ~e & 0xFFFF;
  n.d.negative = negative;
  n.d.exponent = static_cast<int>(e) - 0x8000;
  int end = negative ? size - 1 : size;
  n.d.digits.reserve(static_cast<std::size_t>(end > 3 ? end - 3 : 0));
  for (int k = 3; k < end; ++k) n.d.digits += negative ? static_cast<char>(0xFF - b[k]) : static_cast<char>(b[k]);
  return n;
}

bool read_number(sqlite3_value* v, number_value& out) {
  out = number_value{};
  switch (sqlite3_value_type(v)) {
    case SQLITE_NULL:
      return false;
    case SQLITE_INTEGER: {
      std::string text = std::to_string(sqlite3_value_int64(v));
      out.d = *parse_decimal(text);
      return true;
    }
    case SQLITE_FLOAT: {
      double d = sqlite3_value_double(v);
      if (std::isnan(d)) {
        out.kind = number_value::not_a_number;
      } else if (std::isinf(d)) {
        out.kind = d < 0 ? number_value::minus_infinity : number_value::plus_infinity;
      } else {
        out.d = decimal_of(cell::real(d));
      }
      return true;
    }
    case SQLITE_BLOB: {
      const void* b = sqlite3_value_blob(v);
      int n = sqlite3_value_bytes(v);
      if (n == 0) return false;
      if (is_number_key(b, n)) {
        out = number_of_key(b, n);
        return true;
      }
      auto d = parse_decimal(std::string_view(static_cast<const char*>(b), static_cast<std::size_t>(n)));
      if (!d) fail(1722);
      out.d = *d;
      return true;
    }
    default: {
      const unsigned char* t = sqlite3_value_text(v);
      std::string_view text(reinterpret_cast<const char*>(t), static_cast<std::size_t>(sqlite3_value_bytes(v)));
      if (text.empty()) return false;
      if (text == "Nan") {
        out.kind = number_value::not_a_number;
        return true;
      }
      out.d = text_to_number(text);
      return true;
    }
  }
}

cell stored_number(const number_value& n) {
  switch (n.kind) {
    case number_value::minus_infinity:
      return cell::real(-std::numeric_limits<double>::infinity());
    case number_value::plus_infinity:
      return cell::real(std::numeric_limits<double>::infinity());
    case number_value::not_a_number:
      return cell::text("Nan");
    default:
      return number_result(n.d);
  }
}

std::string date_key(const datetime& t) {
  if (t.year >= 0) return datetime_text(t, true, t.has_zone);
  datetime shown = t;
  shown.year = 10000 + t.year;
  return "!" + datetime_text(shown, true, t.has_zone);
}

std::optional<std::string> date_key(std::string_view stored) {
  auto t = parse_datetime(stored);
  if (!t) return std::nullopt;
  return date_key(*t);
}

}  // namespace ocilite
