#include "ocilite/ol_interval.h"

#include "ocilite/ol_decimal.h"
#include "ocilite/ol_error.h"

#include <cstdio>
#include <cstdlib>

namespace ocilite {

namespace {

constexpr std::int64_t k_billion = 1000000000;
constexpr std::int64_t k_day_seconds = 86400;
// Nine digits of days or years at most.
constexpr std::int64_t k_most_days = 999999999;

int digit_count(std::int64_t n) {
  int digits = 1;
  for (n = std::llabs(n); n >= 10; n /= 10) ++digits;
  return digits;
}

// Seconds and nanoseconds of any signs as one value whose parts share a sign.
interval_ds normalized(std::int64_t seconds, std::int64_t nanos) {
  seconds += nanos / k_billion;
  nanos %= k_billion;
  if (seconds > 0 && nanos < 0) {
    --seconds;
    nanos += k_billion;
  } else if (seconds < 0 && nanos > 0) {
    ++seconds;
    nanos -= k_billion;
  }
  return {seconds, static_cast<std::int32_t>(nanos)};
}

void check_range(const interval_ds& v) {
  if (std::llabs(v.seconds) / k_day_seconds > k_most_days) fail(1873);
}

void check_range(const interval_ym& v) {
  if (std::llabs(v.months) / 12 > k_most_days) fail(1873);
}

// An interval of seconds as the NUMBER of its seconds, and back to the
// nanosecond (half away from zero).
decimal seconds_decimal(const interval_ds& v) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%s%lld.%09lld", v.seconds < 0 || v.nanos < 0 ? "-" : "",
                std::llabs(v.seconds), static_cast<long long>(std::llabs(v.nanos)));
  return *parse_decimal(buffer);
}

interval_ds from_seconds_decimal(const decimal& d) {
  std::int64_t whole = 0;
  if (!truncated_integer(d, whole) || std::llabs(whole) / k_day_seconds > k_most_days) fail(1873);
  decimal fraction = decimal_subtract(d, integer_decimal(whole));
  std::int64_t nanos = 0;
  decimal_to_int64(decimal_multiply(fraction, integer_decimal(k_billion)), nanos);
  interval_ds v = normalized(whole, nanos);
  check_range(v);
  return v;
}

// Whole months of a NUMBER of months, truncated.
interval_ym from_months_decimal(const decimal& d) {
  interval_ym v;
  if (!truncated_integer(d, v.months)) fail(1873);
  check_range(v);
  return v;
}

// The reader of a literal's text.
struct literal_reader {
  std::string_view s;
  std::size_t at = 0;

  bool done() const { return at == s.size(); }
  bool take(char c) {
    if (at < s.size() && s[at] == c) {
      ++at;
      return true;
    }
    return false;
  }
  // A run of digits, at most `most` of them (0: any); ORA-01867 for none.
  std::int64_t number(std::size_t most, std::size_t* count = nullptr) {
    std::size_t start = at;
    std::int64_t v = 0;
    while (at < s.size() && s[at] >= '0' && s[at] <= '9' && (most == 0 || at - start < most)) {
      if (at - start < 18) v = v * 10 + (s[at] - '0');
      ++at;
    }
    if (at == start) fail(1867);
    if (count) *count = at - start;
    if (at - start >= 18) fail(1873);
    return v;
  }
};

std::string_view blank_trimmed(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

bool negative_sign(literal_reader& r) {
  if (r.take('-')) return true;
  r.take('+');
  return false;
}

void check_leading(std::int64_t value, int precision) {
  if (digit_count(value) > precision) fail(1873);
}

}  // namespace

bool is_year_to_month(const interval_qualifier& q) {
  return q.leading == interval_field::year || q.leading == interval_field::month;
}

void check_qualifier(const interval_qualifier& q) {
  bool ym_lead = is_year_to_month(q);
  bool ym_trail = q.trailing == interval_field::year || q.trailing == interval_field::month;
  if (ym_lead != ym_trail || static_cast<int>(q.trailing) < static_cast<int>(q.leading)) fail(30089);
  if (q.leading_precision < 0 || q.leading_precision > 9 || q.fraction_precision < 0 ||
      q.fraction_precision > 9)
    fail(30088);
}

interval_ym parse_interval_ym(std::string_view text, const interval_qualifier& q) {
  check_qualifier(q);
  if (!is_year_to_month(q)) fail(1867);
  literal_reader r{blank_trimmed(text)};
  bool negative = negative_sign(r);
  std::int64_t lead = r.number(0);
  check_leading(lead, q.leading_precision);
  std::int64_t months = q.leading == interval_field::year ? lead * 12 : lead;
  if (q.leading == interval_field::year && q.trailing == interval_field::month) {
    if (!r.take('-')) fail(1867);
    std::int64_t m = r.number(2);
    if (m > 11) fail(1843);
    months += m;
  }
  if (!r.done()) fail(1867);
  return {negative ? -months : months};
}

interval_ds parse_interval_ds(std::string_view text, const interval_qualifier& q) {
  check_qualifier(q);
  if (is_year_to_month(q)) fail(1867);
  literal_reader r{blank_trimmed(text)};
  bool negative = negative_sign(r);
  static const std::int64_t unit_seconds[] = {0, 0, k_day_seconds, 3600, 60, 1};
  static const std::int64_t field_limit[] = {0, 0, 0, 23, 59, 59};
  static const sb4 field_error[] = {0, 0, 0, 1850, 1851, 1852};
  std::int64_t seconds = 0, nanos = 0;
  int lead = static_cast<int>(q.leading), trail = static_cast<int>(q.trailing);
  for (int field = lead; field <= trail; ++field) {
    if (field > lead) {
      char separator = field == static_cast<int>(interval_field::hour) ? ' ' : ':';
      if (!r.take(separator)) fail(1867);
      if (separator == ' ')
        while (r.take(' ')) {
        }
    }
    std::int64_t v = r.number(field == lead ? 0 : 2);
    if (field == lead) {
      check_leading(v, q.leading_precision);
    } else if (v > field_limit[field]) {
      fail(field_error[field]);
    }
    seconds += v * unit_seconds[field];
  }
  if (trail == static_cast<int>(interval_field::second) && r.take('.')) {
    std::size_t count = 0;
    std::size_t start = r.at;
    r.number(0, &count);
    // Nanoseconds of the first nine digits, the tenth rounding.
    std::string digits(r.s.substr(start, count));
    digits.resize(10, '0');
    nanos = std::atoll(digits.substr(0, 9).c_str()) + (digits[9] >= '5' ? 1 : 0);
  }
  if (!r.done()) fail(1867);
  interval_ds v = round_fraction(normalized(seconds, nanos), q.fraction_precision);
  if (negative) v = interval_negate(v);
  return v;
}

std::string interval_text(const interval_ym& v, int year_precision) {
  std::int64_t m = std::llabs(v.months);
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%c%0*lld-%02lld", v.months < 0 ? '-' : '+', year_precision,
                static_cast<long long>(m / 12), static_cast<long long>(m % 12));
  return buffer;
}

std::string interval_text(const interval_ds& in, int day_precision, int fraction_precision) {
  if (fraction_precision < 0) fraction_precision = 0;
  if (fraction_precision > 9) fraction_precision = 9;
  interval_ds v = round_fraction(in, fraction_precision);
  bool negative = v.seconds < 0 || v.nanos < 0;
  std::int64_t s = std::llabs(v.seconds);
  char buffer[64];
  int n = std::snprintf(buffer, sizeof buffer, "%c%0*lld %02lld:%02lld:%02lld", negative ? '-' : '+',
                        day_precision, static_cast<long long>(s / k_day_seconds),
                        static_cast<long long>(s / 3600 % 24), static_cast<long long>(s / 60 % 60),
                        static_cast<long long>(s % 60));
  std::string out(buffer, static_cast<std::size_t>(n));
  if (fraction_precision > 0) {
    std::snprintf(buffer, sizeof buffer, "%09lld", static_cast<long long>(std::llabs(v.nanos)));
    out += '.';
    out.append(buffer, static_cast<std::size_t>(fraction_precision));
  }
  return out;
}

void check_leading_precision(const interval_ym& v, int precision) {
  check_leading(v.months / 12, precision);
}

void check_leading_precision(const interval_ds& v, int precision) {
  check_leading(v.seconds / k_day_seconds, precision);
}

interval_ds round_fraction(const interval_ds& v, int digits) {
  if (digits >= 9) return v;
  if (digits < 0) digits = 0;
  std::int64_t unit = 1;
  for (int k = digits; k < 9; ++k) unit *= 10;
  std::int64_t n = std::llabs(v.nanos);
  n = (n + unit / 2) / unit * unit;
  bool negative = v.seconds < 0 || v.nanos < 0;
  return normalized(v.seconds, negative ? -n : n);
}

interval_ym interval_add(const interval_ym& a, const interval_ym& b) {
  interval_ym v{a.months + b.months};
  check_range(v);
  return v;
}

interval_ym interval_subtract(const interval_ym& a, const interval_ym& b) {
  return interval_add(a, interval_negate(b));
}

interval_ym interval_negate(const interval_ym& a) { return {-a.months}; }

interval_ym interval_multiply(const interval_ym& a, const decimal& n) {
  return from_months_decimal(decimal_multiply(integer_decimal(a.months), n));
}

interval_ym interval_divide(const interval_ym& a, const decimal& n) {
  return from_months_decimal(decimal_divide(integer_decimal(a.months), n));
}

interval_ds interval_add(const interval_ds& a, const interval_ds& b) {
  interval_ds v = normalized(a.seconds + b.seconds, static_cast<std::int64_t>(a.nanos) + b.nanos);
  check_range(v);
  return v;
}

interval_ds interval_subtract(const interval_ds& a, const interval_ds& b) {
  return interval_add(a, interval_negate(b));
}

interval_ds interval_negate(const interval_ds& a) { return {-a.seconds, -a.nanos}; }

interval_ds interval_multiply(const interval_ds& a, const decimal& n) {
  return from_seconds_decimal(decimal_multiply(seconds_decimal(a), n));
}

interval_ds interval_divide(const interval_ds& a, const decimal& n) {
  return from_seconds_decimal(decimal_divide(seconds_decimal(a), n));
}

int interval_compare(const interval_ym& a, const interval_ym& b) {
  return a.months < b.months ? -1 : a.months > b.months ? 1 : 0;
}

int interval_compare(const interval_ds& a, const interval_ds& b) {
  if (a.seconds != b.seconds) return a.seconds < b.seconds ? -1 : 1;
  return a.nanos < b.nanos ? -1 : a.nanos > b.nanos ? 1 : 0;
}

datetime add_interval(const datetime& t, const interval_ym& v) {
  // The months with a year 0 between 1 BC and AD 1.
  int year = t.year < 0 ? t.year + 1 : t.year;
  std::int64_t index = static_cast<std::int64_t>(year) * 12 + (t.month - 1) + v.months;
  std::int64_t y = index >= 0 ? index / 12 : -((-index + 11) / 12);
  if (y < -4712 || y > 9999) fail(1841);
  datetime d = t;
  d.year = y <= 0 ? static_cast<int>(y) - 1 : static_cast<int>(y);
  d.month = static_cast<int>(index - y * 12) + 1;
  if (!is_valid_date(d.year, d.month, d.day)) fail(1839);
  return d;
}

datetime add_interval(const datetime& t, const interval_ds& v) {
  std::int64_t nanos = static_cast<std::int64_t>(t.nanos) + v.nanos;
  std::int64_t seconds = wall_seconds(t) + v.seconds;
  if (nanos < 0) {
    nanos += k_billion;
    --seconds;
  } else if (nanos >= k_billion) {
    nanos -= k_billion;
    ++seconds;
  }
  datetime d = from_wall_seconds(seconds, t);
  d.nanos = static_cast<ub4>(nanos);
  return d;
}

interval_ds datetime_difference(const datetime& later, const datetime& earlier) {
  datetime a = later, b = earlier;
  if (a.has_zone || b.has_zone) {
    a = to_utc(a);
    b = to_utc(b);
  }
  return normalized(wall_seconds(a) - wall_seconds(b),
                    static_cast<std::int64_t>(a.nanos) - static_cast<std::int64_t>(b.nanos));
}

decimal extract_field(const interval_ym& v, datetime_field field) {
  if (field == datetime_field::year) return integer_decimal(v.months / 12);
  if (field == datetime_field::month) return integer_decimal(v.months % 12);
  fail(30076);
}

decimal extract_field(const interval_ds& v, datetime_field field) {
  switch (field) {
    case datetime_field::day:
      return integer_decimal(v.seconds / k_day_seconds);
    case datetime_field::hour:
      return integer_decimal(v.seconds / 3600 % 24);
    case datetime_field::minute:
      return integer_decimal(v.seconds / 60 % 60);
    case datetime_field::second:
      return seconds_decimal({v.seconds % 60, v.nanos});
    default:
      fail(30076);
  }
}

}  // namespace ocilite
