#include "ocilite/ol_values.h"

#include "ocilite/ol_date_math.h"
#include "ocilite/ol_error.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <ctime>

namespace ocilite {

cell cell::from_column(sqlite3_stmt* st, int column) { return from_value(sqlite3_column_value(st, column)); }

cell cell::from_value(sqlite3_value* v) {
  cell c;
  c.type = sqlite3_value_type(v);
  switch (c.type) {
    case SQLITE_INTEGER:
      c.i = sqlite3_value_int64(v);
      break;
    case SQLITE_FLOAT:
      c.d = sqlite3_value_double(v);
      break;
    case SQLITE_TEXT: {
      const unsigned char* t = sqlite3_value_text(v);
      c.bytes.assign(reinterpret_cast<const char*>(t), static_cast<std::size_t>(sqlite3_value_bytes(v)));
      break;
    }
    case SQLITE_BLOB: {
      const void* b = sqlite3_value_blob(v);
      int n = sqlite3_value_bytes(v);
      if (b && n > 0) c.bytes.assign(static_cast<const char*>(b), static_cast<std::size_t>(n));
      break;
    }
    default:
      break;
  }
  return c;
}

cell cell::text(std::string s) {
  cell c;
  c.type = SQLITE_TEXT;
  c.bytes = std::move(s);
  return c;
}

cell cell::blob(std::string s) {
  cell c;
  c.type = SQLITE_BLOB;
  c.bytes = std::move(s);
  return c;
}

cell cell::integer(std::int64_t v) {
  cell c;
  c.type = SQLITE_INTEGER;
  c.i = v;
  return c;
}

cell cell::real(double v) {
  cell c;
  c.type = SQLITE_FLOAT;
  c.d = v;
  return c;
}

void cell::bind_to(sqlite3_stmt* st, int index) const {
  switch (type) {
    case SQLITE_INTEGER:
      sqlite3_bind_int64(st, index, i);
      break;
    case SQLITE_FLOAT:
      sqlite3_bind_double(st, index, d);
      break;
    case SQLITE_TEXT:
      sqlite3_bind_text(st, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
      break;
    case SQLITE_BLOB:
      sqlite3_bind_blob(st, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
      break;
    default:
      sqlite3_bind_null(st, index);
      break;
  }
}

void cell::result_to(sqlite3_context* ctx) const {
  switch (type) {
    case SQLITE_INTEGER:
      sqlite3_result_int64(ctx, i);
      break;
    case SQLITE_FLOAT:
      sqlite3_result_double(ctx, d);
      break;
    case SQLITE_TEXT:
      sqlite3_result_text(ctx, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
      break;
    case SQLITE_BLOB:
      sqlite3_result_blob(ctx, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
      break;
    default:
      sqlite3_result_null(ctx);
      break;
  }
}

std::optional<decimal> parse_decimal(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  std::size_t end = s.size();
  while (end > i && (s[end - 1] == ' ' || s[end - 1] == '\t')) --end;
  s = s.substr(i, end - i);
  if (s.empty()) return std::nullopt;
  decimal d;
  i = 0;
  if (s[i] == '+' || s[i] == '-') d.negative = s[i++] == '-';
  std::string mantissa;
  int point = -1;
  bool any = false;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c >= '0' && c <= '9') {
      mantissa += c;
      any = true;
    } else if (c == '.' && point < 0) {
      point = static_cast<int>(mantissa.size());
    } else {
      break;
    }
  }
  if (!any) return std::nullopt;
  long long exp10 = 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    bool neg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
    if (i >= s.size()) return std::nullopt;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
      exp10 = exp10 * 10 + (s[i] - '0');
      if (exp10 > 100000) return std::nullopt;
    }
    if (neg) exp10 = -exp10;
  }
  if (i != s.size()) return std::nullopt;
  if (point < 0) point = static_cast<int>(mantissa.size());
  std::size_t lead = mantissa.find_first_not_of('0');
  if (lead == std::string::npos) return decimal{};
  std::size_t trail = mantissa.find_last_not_of('0');
  d.digits = mantissa.substr(lead, trail - lead + 1);
  d.exponent = point - static_cast<int>(lead) + static_cast<int>(exp10);
  return d;
}

namespace {

decimal from_double(double v) {
  char buffer[64];
  auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
  auto d = parse_decimal(std::string_view(buffer, static_cast<std::size_t>(r.ptr - buffer)));
  return d ? *d : decimal{};
}

}  // namespace

void round_digits(decimal& d, std::size_t keep) {
  if (d.digits.size() <= keep) return;
  bool up = d.digits[keep] >= '5';
  d.digits.resize(keep);
  if (up) {
    std::size_t k = keep;
    while (k > 0 && d.digits[k - 1] == '9') {
      d.digits[k - 1] = '0';
      --k;
    }
    if (k == 0) {
      d.digits.insert(d.digits.begin(), '1');
      ++d.exponent;
    } else {
      ++d.digits[k - 1];
    }
  }
  std::size_t trail = d.digits.find_last_not_of('0');
  d.digits.resize(trail == std::string::npos ? 0 : trail + 1);
}

decimal decimal_of(const cell& c) {
  switch (c.type) {
    case SQLITE_INTEGER: {
      std::string text = std::to_string(c.i);
      return *parse_decimal(text);
    }
    case SQLITE_FLOAT:
      if (!std::isfinite(c.d)) fail(1722);
      return from_double(c.d);
    case SQLITE_TEXT:
    case SQLITE_BLOB: {
      auto d = parse_decimal(c.bytes);
      if (!d) fail(1722);
      return *d;
    }
    default:
      fail(1722);
  }
}

bool needs_exact_storage(const decimal& d) {
  if (d.digits.size() <= 15) return false;
  std::int64_t whole = 0;
  return !(d.exponent >= static_cast<int>(d.digits.size()) && decimal_to_int64(d, whole));
}

cell number_cell(const std::string& text) {
  auto d = parse_decimal(text);
  if (!d || !needs_exact_storage(*d)) return cell::text(text);
  return cell::blob(number_text(*d));
}

cell number_result(const decimal& d) {
  std::int64_t whole = 0;
  if (d.exponent >= static_cast<int>(d.digits.size()) && decimal_to_int64(d, whole)) return cell::integer(whole);
  if (!needs_exact_storage(d)) return cell::real(decimal_to_double(d));
  return cell::blob(number_text(d));
}

std::string number_text(const decimal& in) {
  decimal d = in;
  round_digits(d, k_number_digits);
  if (d.digits.empty()) return "0";
  std::string out = d.negative ? "-" : "";
  int n = static_cast<int>(d.digits.size());
  int e = d.exponent;
  std::string body;
  if (e <= 0) {
    body = "." + std::string(static_cast<std::size_t>(-e), '0') + d.digits;
  } else if (e < n) {
    body = d.digits.substr(0, static_cast<std::size_t>(e)) + "." +
           d.digits.substr(static_cast<std::size_t>(e));
  } else {
    body = d.digits + std::string(static_cast<std::size_t>(e - n), '0');
  }
  if (body.size() + out.size() <= 64) return out + body;
  // Too long for fixed notation: scientific, as the server's TM format does.
  std::string sci = d.digits.substr(0, 1);
  if (n > 1) sci += "." + d.digits.substr(1);
  int exp10 = e - 1;
  char tail[16];
  std::snprintf(tail, sizeof tail, "E%c%02d", exp10 < 0 ? '-' : '+', std::abs(exp10));
  return out + sci + tail;
}

namespace {

// "1.5E+000": the digits with one before the point, a signed exponent of
// three digits.
std::string exponent_text(const decimal& d) {
  std::string out = d.negative ? "-" : "";
  out += d.digits.substr(0, 1);
  out += ".";
  out += d.digits.size() > 1 ? d.digits.substr(1) : "0";
  int exp10 = d.exponent - 1;
  char tail[16];
  std::snprintf(tail, sizeof tail, "E%c%03d", exp10 < 0 ? '-' : '+', std::abs(exp10));
  return out + tail;
}

// The texts that hold no digits: "Nan", "Inf", "-Inf" and "0"; null for
// any other value.
const char* digitless_text(double v) {
  if (std::isnan(v)) return "Nan";
  if (std::isinf(v)) return v < 0 ? "-Inf" : "Inf";
  return v == 0 ? "0" : nullptr;
}

}  // namespace

std::string binary_number_text(double v) {
  if (const char* text = digitless_text(v)) return text;
  return exponent_text(from_double(v));
}

std::string binary_number_text(float v) {
  if (const char* text = digitless_text(v)) return text;
  // Nine significant digits, as many as tell every float apart.
  char buffer[32];
  int n = std::snprintf(buffer, sizeof buffer, "%.8e", static_cast<double>(v));
  auto d = parse_decimal(std::string_view(buffer, static_cast<std::size_t>(n)));
  return exponent_text(d ? *d : decimal{});
}

bool decimal_to_int64(const decimal& in, std::int64_t& out) {
  if (in.digits.empty()) {
    out = 0;
    return true;
  }
  if (in.exponent > 19) return false;
  decimal d = in;
  if (d.exponent < 0) {
    out = 0;
    return true;
  }
  round_digits(d, static_cast<std::size_t>(d.exponent));
  if (d.digits.empty()) {
    out = 0;
    return true;
  }
  std::string whole = d.digits;
  if (static_cast<int>(whole.size()) < d.exponent)
    whole += std::string(static_cast<std::size_t>(d.exponent) - whole.size(), '0');
  if (d.negative) whole.insert(whole.begin(), '-');
  auto r = std::from_chars(whole.data(), whole.data() + whole.size(), out);
  return r.ec == std::errc() && r.ptr == whole.data() + whole.size();
}

double decimal_to_double(const decimal& d) {
  if (d.digits.empty()) return 0;
  std::string text = (d.negative ? "-0." : "0.") + d.digits + "e" + std::to_string(d.exponent);
  return std::strtod(text.c_str(), nullptr);
}

namespace {

bool digits_at(std::string_view s, std::size_t at, std::size_t n, int& out) {
  if (at + n > s.size()) return false;
  out = 0;
  for (std::size_t k = 0; k < n; ++k) {
    char c = s[at + k];
    if (c < '0' || c > '9') return false;
    out = out * 10 + (c - '0');
  }
  return true;
}

}  // namespace

std::optional<datetime> parse_datetime(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  datetime t;
  // A year BC has a sign; in a date key (ol_keys.h) it is "!" and 10000
  // less the year's number.
  bool bc = !s.empty() && s[0] == '-';
  bool bc_key = !s.empty() && s[0] == '!';
  if (bc || bc_key) s.remove_prefix(1);
  if (!digits_at(s, 0, 4, t.year) || s.size() < 10 || s[4] != '-' || s[7] != '-' ||
      !digits_at(s, 5, 2, t.month) || !digits_at(s, 8, 2, t.day))
    return std::nullopt;
  std::size_t i = 10;
  if (i < s.size() && (s[i] == ' ' || s[i] == 'T') && i + 1 < s.size() && s[i + 1] != '+' &&
      s[i + 1] != '-') {
    if (!digits_at(s, i + 1, 2, t.hour) || i + 9 > s.size() || s[i + 3] != ':' ||
        s[i + 6] != ':' || !digits_at(s, i + 4, 2, t.minute) || !digits_at(s, i + 7, 2, t.second))
      return std::nullopt;
    i += 9;
    if (i < s.size() && s[i] == '.') {
      ++i;
      std::size_t start = i;
      ub4 nanos = 0;
      while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        if (i - start < 9) nanos = nanos * 10 + static_cast<ub4>(s[i] - '0');
        ++i;
      }
      if (i == start) return std::nullopt;
      for (std::size_t k = i - start; k < 9; ++k) nanos *= 10;
      t.nanos = nanos;
    }
  }
  while (i < s.size() && s[i] == ' ') ++i;
  if (i < s.size()) {
    if (s[i] != '+' && s[i] != '-') return std::nullopt;
    int hh = 0, mm = 0;
    if (!digits_at(s, i + 1, 2, hh) || i + 6 != s.size() || s[i + 3] != ':' ||
        !digits_at(s, i + 4, 2, mm) || hh > 14 || mm > 59)
      return std::nullopt;
    t.has_zone = true;
    t.zone_minutes = (s[i] == '-' ? -1 : 1) * (hh * 60 + mm);
    i = s.size();
  }
  if (bc) t.year = -t.year;
  if (bc_key) t.year -= 10000;
  if (!is_valid_date(t.year, t.month, t.day) || t.hour > 23 || t.minute > 59 || t.second > 59)
    return std::nullopt;
  return t;
}

std::string datetime_text(const datetime& t, bool with_fraction, bool with_zone) {
  char buffer[64];
  int n = std::snprintf(buffer, sizeof buffer, "%s%04d-%02d-%02d %02d:%02d:%02d", t.year < 0 ? "-" : "",
                        std::abs(t.year), t.month, t.day, t.hour, t.minute, t.second);
  std::string out(buffer, static_cast<std::size_t>(n));
  if (with_fraction) {
    std::snprintf(buffer, sizeof buffer, ".%09u", static_cast<unsigned>(t.nanos));
    out += buffer;
  }
  if (with_zone && t.has_zone) {
    int z = std::abs(t.zone_minutes);
    std::snprintf(buffer, sizeof buffer, " %c%02d:%02d", t.zone_minutes < 0 ? '-' : '+', z / 60,
                  z % 60);
    out += buffer;
  }
  return out;
}

datetime to_local(const datetime& t) {
  if (!t.has_zone) return t;
  std::tm utc{};
  utc.tm_year = t.year - 1900;
  utc.tm_mon = t.month - 1;
  utc.tm_mday = t.day;
  utc.tm_hour = t.hour;
  utc.tm_min = t.minute;
  utc.tm_sec = t.second;
  std::time_t when = timegm(&utc) - static_cast<std::time_t>(t.zone_minutes) * 60;
  std::tm local{};
  localtime_r(&when, &local);
  datetime out;
  out.year = local.tm_year + 1900;
  out.month = local.tm_mon + 1;
  out.day = local.tm_mday;
  out.hour = local.tm_hour;
  out.minute = local.tm_min;
  out.second = local.tm_sec;
  out.nanos = t.nanos;
  return out;
}

std::string hex_upper(std::string_view bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char b : bytes) {
    auto u = static_cast<unsigned char>(b);
    out += digits[u >> 4];
    out += digits[u & 15];
  }
  return out;
}

}  // namespace ocilite
