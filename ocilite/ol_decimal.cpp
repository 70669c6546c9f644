#include "ocilite/ol_decimal.h"

#include "ocilite/ol_error.h"

#include <algorithm>
#include <vector>

namespace ocilite {

namespace {

// Whole numbers as decimal digits, most significant first, without
// leading zeros ("" is 0).
int compare_whole(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b) < 0 ? -1 : a == b ? 0 : 1;
}

std::string trimmed(std::string s) {
  std::size_t lead = s.find_first_not_of('0');
  return lead == std::string::npos ? std::string() : s.substr(lead);
}

std::string add_whole(const std::string& a, const std::string& b) {
  std::string out;
  int carry = 0;
  for (std::size_t i = 0; i < a.size() || i < b.size() || carry; ++i) {
    int sum = carry;
    if (i < a.size()) sum += a[a.size() - 1 - i] - '0';
    if (i < b.size()) sum += b[b.size() - 1 - i] - '0';
    out.push_back(static_cast<char>('0' + sum % 10));
    carry = sum / 10;
  }
  std::reverse(out.begin(), out.end());
  return trimmed(out);
}

// a - b for a >= b.
std::string subtract_whole(const std::string& a, const std::string& b) {
  std::string out = a;
  int borrow = 0;
  for (std::size_t i = 0; i < out.size(); ++i) {
    char& d = out[out.size() - 1 - i];
    int v = d - '0' - borrow - (i < b.size() ? b[b.size() - 1 - i] - '0' : 0);
    borrow = v < 0;
    d = static_cast<char>('0' + (v + 10) % 10);
  }
  return trimmed(out);
}

std::string multiply_whole(const std::string& a, const std::string& b) {
  std::vector<int> sum(a.size() + b.size());
  for (std::size_t i = 0; i < a.size(); ++i)
    for (std::size_t j = 0; j < b.size(); ++j) sum[i + j + 1] += (a[i] - '0') * (b[j] - '0');
  for (std::size_t k = sum.size(); k-- > 1;) {
    sum[k - 1] += sum[k] / 10;
    sum[k] %= 10;
  }
  std::string out;
  for (int d : sum) out.push_back(static_cast<char>('0' + d));
  return trimmed(out);
}

// The quotient of a by b (b not 0), remainder dropped.
std::string divide_whole(const std::string& a, const std::string& b) {
  std::string quotient, rest;
  for (char d : a) {
    rest = trimmed(rest + d);
    char q = '0';
    while (compare_whole(rest, b) >= 0) {
      rest = subtract_whole(rest, b);
      ++q;
    }
    quotient.push_back(q);
  }
  return trimmed(quotient);
}

// A number as digits x 10^scale, rounded first to what a NUMBER holds.
struct scaled {
  bool negative = false;
  std::string whole;
  long scale = 0;
};

scaled scaled_of(decimal d) {
  round_digits(d, k_number_digits);
  return {d.negative, d.digits, static_cast<long>(d.exponent) - static_cast<long>(d.digits.size())};
}

decimal result(bool negative, const std::string& whole, long scale) {
  decimal d;
  if (whole.empty()) return d;
  std::size_t trail = whole.find_last_not_of('0');
  d.digits = whole.substr(0, trail + 1);
  d.negative = negative;
  long exponent = scale + static_cast<long>(whole.size());
  // 0.digits x 10^exponent: NUMBER ends below 1E+126 and at 1E-130.
  if (exponent > 126) fail(1426);
  if (exponent < -129) return decimal{};
  d.exponent = static_cast<int>(exponent);
  round_digits(d, k_number_digits);
  if (d.exponent > 126) fail(1426);
  if (d.digits.empty()) d = decimal{};
  return d;
}

// Digits of a that lie this far below b's leading digit cannot change b
// rounded to 40 digits.
constexpr long k_beyond_rounding = static_cast<long>(k_number_digits) + 3;

}  // namespace

decimal decimal_add(const decimal& a, const decimal& b) {
  scaled x = scaled_of(a), y = scaled_of(b);
  if (x.whole.empty()) return result(y.negative, y.whole, y.scale);
  if (y.whole.empty()) return result(x.negative, x.whole, x.scale);
  long top_x = x.scale + static_cast<long>(x.whole.size()), top_y = y.scale + static_cast<long>(y.whole.size());
  if (top_x - top_y >= k_beyond_rounding) return result(x.negative, x.whole, x.scale);
  if (top_y - top_x >= k_beyond_rounding) return result(y.negative, y.whole, y.scale);
  long scale = std::min(x.scale, y.scale);
  x.whole.append(static_cast<std::size_t>(x.scale - scale), '0');
  y.whole.append(static_cast<std::size_t>(y.scale - scale), '0');
  if (x.negative == y.negative) return result(x.negative, add_whole(x.whole, y.whole), scale);
  int order = compare_whole(x.whole, y.whole);
  if (order == 0) return decimal{};
  return order > 0 ? result(x.negative, subtract_whole(x.whole, y.whole), scale)
                   : result(y.negative, subtract_whole(y.whole, x.whole), scale);
}

decimal decimal_subtract(const decimal& a, const decimal& b) {
  decimal negated = b;
  negated.negative = !negated.negative;
  return decimal_add(a, negated);
}

decimal decimal_multiply(const decimal& a, const decimal& b) {
  scaled x = scaled_of(a), y = scaled_of(b);
  return result(x.negative != y.negative, multiply_whole(x.whole, y.whole), x.scale + y.scale);
}

decimal decimal_divide(const decimal& a, const decimal& b) {
  scaled x = scaled_of(a), y = scaled_of(b);
  if (y.whole.empty()) fail(1476);
  if (x.whole.empty()) return decimal{};
  // One digit past those kept: it decides the rounding, whatever follows.
  long shift = static_cast<long>(k_number_digits) + 1 + static_cast<long>(y.whole.size()) -
               static_cast<long>(x.whole.size());
  if (shift < 0) shift = 0;
  x.whole.append(static_cast<std::size_t>(shift), '0');
  return result(x.negative != y.negative, divide_whole(x.whole, y.whole), x.scale - y.scale - shift);
}

// Not yet computed: refused rather than answered wrongly.
[[noreturn]] void not_yet(const char* what) { fail(600, what); }

decimal number_rounded(const decimal&) { not_yet("number_rounded"); }
decimal decimal_negate(const decimal&) { not_yet("decimal_negate"); }
int decimal_compare(const decimal&, const decimal&) { not_yet("decimal_compare"); }
bool decimal_is_integer(const decimal&) { not_yet("decimal_is_integer"); }
decimal decimal_abs(const decimal&) { not_yet("decimal_abs"); }
int decimal_sign(const decimal&) { not_yet("decimal_sign"); }
decimal decimal_ceil(const decimal&) { not_yet("decimal_ceil"); }
decimal decimal_floor(const decimal&) { not_yet("decimal_floor"); }
decimal decimal_round(const decimal&, const decimal&) { not_yet("decimal_round"); }
decimal decimal_round(const decimal&, long) { not_yet("decimal_round"); }
decimal decimal_trunc(const decimal&, const decimal&) { not_yet("decimal_trunc"); }
decimal decimal_trunc(const decimal&, long) { not_yet("decimal_trunc"); }
decimal decimal_mod(const decimal&, const decimal&) { not_yet("decimal_mod"); }
decimal decimal_remainder(const decimal&, const decimal&) { not_yet("decimal_remainder"); }
decimal decimal_power(const decimal&, const decimal&) { not_yet("decimal_power"); }
decimal decimal_sqrt(const decimal&) { not_yet("decimal_sqrt"); }
decimal decimal_exp(const decimal&) { not_yet("decimal_exp"); }
decimal decimal_ln(const decimal&) { not_yet("decimal_ln"); }
decimal decimal_log(const decimal&, const decimal&) { not_yet("decimal_log"); }
decimal number_checked(const decimal&, int, int) { not_yet("number_checked"); }
decimal number_float(const decimal&, int) { not_yet("number_float"); }
void number_sum::add(const decimal&) { not_yet("number_sum"); }
decimal number_sum::sum() const { not_yet("number_sum"); }
decimal number_sum::average() const { not_yet("number_sum"); }

}  // namespace ocilite
