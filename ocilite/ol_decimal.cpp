#include "ocilite/ol_decimal.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "ocilite/ol_error.h"

namespace ocilite {

namespace {

// Whole numbers in limbs of nine decimal digits, least significant first,
// without zero limbs on top (empty is 0).
// Kept inline up to the size a NUMBER's operations need, so that they ask
// the heap for nothing; longer ones (sums, powers) move to it.
class limbs {
 public:
  limbs() = default;
  limbs(std::size_t n, std::uint32_t v) { assign(n, v); }
  limbs(const limbs& o) { *this = o; }
  limbs(limbs&& o) noexcept { *this = std::move(o); }
  limbs& operator=(const limbs& o) {
    if (this == &o) return *this;
    size_ = 0;
    resize(o.size_);
    std::copy(o.begin(), o.end(), data());
    return *this;
  }
  limbs& operator=(limbs&& o) noexcept {
    if (this == &o) return *this;
    if (o.heap_.empty()) {
      heap_.clear();
      std::copy(o.begin(), o.end(), inline_);
    } else {
      heap_ = std::move(o.heap_);
    }
    size_ = o.size_;
    o.heap_.clear();
    o.size_ = 0;
    return *this;
  }
  explicit limbs(const std::vector<std::uint32_t>& v) {
    resize(v.size());
    std::copy(v.begin(), v.end(), data());
  }
  std::vector<std::uint32_t> to_vector() const { return std::vector<std::uint32_t>(begin(), end()); }

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::uint32_t* data() { return heap_.empty() ? inline_ : heap_.data(); }
  const std::uint32_t* data() const { return heap_.empty() ? inline_ : heap_.data(); }
  std::uint32_t* begin() { return data(); }
  std::uint32_t* end() { return data() + size_; }
  const std::uint32_t* begin() const { return data(); }
  const std::uint32_t* end() const { return data() + size_; }
  std::uint32_t& operator[](std::size_t i) { return data()[i]; }
  std::uint32_t operator[](std::size_t i) const { return data()[i]; }
  std::uint32_t& back() { return data()[size_ - 1]; }
  std::uint32_t back() const { return data()[size_ - 1]; }

  void clear() { size_ = 0; }
  void pop_back() { --size_; }
  void push_back(std::uint32_t v) {
    resize(size_ + 1);
    back() = v;
  }
  void assign(std::size_t n, std::uint32_t v) {
    size_ = 0;
    resize(n, v);
  }
  // New limbs take `v`.
  void resize(std::size_t n, std::uint32_t v = 0) {
    if (n > k_inline && heap_.empty()) heap_.assign(inline_, inline_ + size_);
    if (!heap_.empty() || n > k_inline) heap_.resize(std::max<std::size_t>(n, 1));
    std::uint32_t* d = data();
    for (std::size_t i = size_; i < n; ++i) d[i] = v;
    size_ = n;
  }
  // Drops the `k` least significant limbs.
  void drop_low(std::size_t k) {
    std::uint32_t* d = data();
    std::copy(d + k, d + size_, d);
    size_ -= k;
  }

 private:
  static constexpr std::size_t k_inline = 24;
  std::uint32_t inline_[k_inline];   // the first size_ are in use
  std::vector<std::uint32_t> heap_;  // in use once not empty
  std::size_t size_ = 0;
};
constexpr std::uint32_t k_base = 1000000000;
constexpr int k_limb_digits = 9;

void trim(limbs& a) {
  while (!a.empty() && a.back() == 0) a.pop_back();
}

int compare(const limbs& a, const limbs& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (std::size_t i = a.size(); i-- > 0;)
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  return 0;
}

limbs add(const limbs& a, const limbs& b) {
  const limbs& longer = a.size() >= b.size() ? a : b;
  const limbs& shorter = a.size() >= b.size() ? b : a;
  limbs out(longer.size() + 1, 0);
  std::uint32_t carry = 0;
  for (std::size_t i = 0; i < longer.size(); ++i) {
    std::uint32_t sum = longer[i] + (i < shorter.size() ? shorter[i] : 0) + carry;
    carry = sum >= k_base;
    out[i] = carry ? sum - k_base : sum;
  }
  out.back() = carry;
  trim(out);
  return out;
}

// a -= b, for a >= b.
void subtract_from(limbs& a, const limbs& b) {
  std::uint32_t borrow = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    std::uint32_t take = (i < b.size() ? b[i] : 0) + borrow;
    borrow = a[i] < take;
    a[i] = borrow ? a[i] + k_base - take : a[i] - take;
    if (!borrow && i >= b.size()) break;
  }
  trim(a);
}

limbs multiply(const limbs& a, const limbs& b) {
  if (a.empty() || b.empty()) return {};
  std::uint64_t small[2 * 24];
  std::vector<std::uint64_t> large;
  const std::size_t count = a.size() + b.size();
  if (count > std::size(small)) large.resize(count);
  std::uint64_t* sum = large.empty() ? small : large.data();
  std::fill(sum, sum + count, 0);
  for (std::size_t i = 0; i < a.size(); ++i) {
    std::uint64_t carry = 0;
    for (std::size_t j = 0; j < b.size(); ++j) {
      std::uint64_t v = sum[i + j] + static_cast<std::uint64_t>(a[i]) * b[j] + carry;
      sum[i + j] = v % k_base;
      carry = v / k_base;
    }
    sum[i + b.size()] += carry;
  }
  limbs out(count, 0);
  std::uint64_t carry = 0;
  for (std::size_t k = 0; k < count; ++k) {
    std::uint64_t v = sum[k] + carry;
    out[k] = static_cast<std::uint32_t>(v % k_base);
    carry = v / k_base;
  }
  trim(out);
  return out;
}

void multiply_small(limbs& a, std::uint32_t m) {
  std::uint64_t carry = 0;
  for (std::uint32_t& limb : a) {
    std::uint64_t v = static_cast<std::uint64_t>(limb) * m + carry;
    limb = static_cast<std::uint32_t>(v % k_base);
    carry = v / k_base;
  }
  if (carry) a.push_back(static_cast<std::uint32_t>(carry));
  trim(a);
}

// a /= d, returning the remainder (d not 0, below k_base).
std::uint32_t divide_small(limbs& a, std::uint32_t d) {
  std::uint64_t rest = 0;
  for (std::size_t i = a.size(); i-- > 0;) {
    std::uint64_t v = rest * k_base + a[i];
    a[i] = static_cast<std::uint32_t>(v / d);
    rest = v % d;
  }
  trim(a);
  return static_cast<std::uint32_t>(rest);
}

// Long division, a digit of the quotient estimated from the top limbs and
// corrected (the classic algorithm for limbs); b is not 0.
void divide(const limbs& a, const limbs& b, limbs& quotient, limbs& rest) {
  if (compare(a, b) < 0) {
    quotient.clear();
    rest = a;
    return;
  }
  if (b.size() == 1) {
    quotient = a;
    std::uint32_t r = divide_small(quotient, b[0]);
    rest.clear();
    if (r) rest.push_back(r);
    return;
  }
  const std::size_t n = b.size(), m = a.size() - n;
  // Scaled so that the divisor's top limb is at least half the base.
  auto f = static_cast<std::uint32_t>(k_base / (static_cast<std::uint64_t>(b.back()) + 1));
  limbs u = a, v = b;
  multiply_small(u, f);
  multiply_small(v, f);
  u.resize(a.size() + 1, 0);
  quotient.assign(m + 1, 0);
  const std::uint64_t top = v[n - 1], next = v[n - 2];
  for (std::size_t j = m + 1; j-- > 0;) {
    std::uint64_t num = static_cast<std::uint64_t>(u[j + n]) * k_base + u[j + n - 1];
    std::uint64_t qhat = num / top, rhat = num % top;
    while (qhat >= k_base || qhat * next > rhat * k_base + u[j + n - 2]) {
      --qhat;
      rhat += top;
      if (rhat >= k_base) break;
    }
    // u[j .. j+n] -= qhat * v
    std::uint64_t carry = 0;
    std::int64_t borrow = 0;
    for (std::size_t i = 0; i < n; ++i) {
      std::uint64_t p = qhat * v[i] + carry;
      carry = p / k_base;
      std::int64_t t = static_cast<std::int64_t>(u[i + j]) - static_cast<std::int64_t>(p % k_base) - borrow;
      borrow = t < 0;
      u[i + j] = static_cast<std::uint32_t>(t < 0 ? t + k_base : t);
    }
    std::int64_t t = static_cast<std::int64_t>(u[j + n]) - static_cast<std::int64_t>(carry) - borrow;
    if (t < 0) {
      // One too many: add the divisor back.
      u[j + n] = static_cast<std::uint32_t>(t + k_base);
      --qhat;
      std::uint32_t c = 0;
      for (std::size_t i = 0; i < n; ++i) {
        std::uint32_t s = u[i + j] + v[i] + c;
        c = s >= k_base;
        u[i + j] = c ? s - k_base : s;
      }
      u[j + n] = (u[j + n] + c) % k_base;
    } else {
      u[j + n] = static_cast<std::uint32_t>(t);
    }
    quotient[j] = static_cast<std::uint32_t>(qhat);
  }
  trim(quotient);
  u.resize(n);
  trim(u);
  divide_small(u, f);
  rest = std::move(u);
}

limbs shifted(const limbs& a, std::size_t places) {
  if (a.empty()) return a;
  limbs out(places + a.size(), 0);
  std::copy(a.begin(), a.end(), out.begin() + places);
  return out;
}

std::size_t digit_count(const limbs& a) {
  if (a.empty()) return 0;
  std::size_t n = (a.size() - 1) * k_limb_digits;
  for (std::uint32_t top = a.back(); top; top /= 10) ++n;
  return n;
}

// A signed value: magnitude x 10^(9 x scale).
struct exact {
  bool negative = false;
  limbs magnitude;
  long scale = 0;
};

long floor_div(long a, long b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

constexpr std::uint32_t k_tens[k_limb_digits] = {1,      10,      100,      1000,     10000,
                                                 100000, 1000000, 10000000, 100000000};

exact exact_of(const decimal& d) {
  exact x;
  if (d.digits.empty()) return x;
  x.negative = d.negative;
  const long n = static_cast<long>(d.digits.size());
  long low = static_cast<long>(d.exponent) - n;
  x.scale = floor_div(low, k_limb_digits);
  long pad = low - x.scale * k_limb_digits;
  std::uint32_t limb = 0, place = k_tens[pad];
  for (long i = n; i-- > 0;) {
    limb += static_cast<std::uint32_t>(d.digits[static_cast<std::size_t>(i)] - '0') * place;
    place *= 10;
    if (place == k_base) {
      x.magnitude.push_back(limb);
      limb = 0;
      place = 1;
    }
  }
  if (limb) x.magnitude.push_back(limb);
  trim(x.magnitude);
  return x;
}

// Unrounded, every digit of the value.
decimal decimal_of_exact(const exact& x) {
  decimal d;
  if (x.magnitude.empty()) return d;
  std::size_t count = digit_count(x.magnitude);
  std::string digits(count, '0');
  std::size_t at = count;
  for (std::size_t i = 0; i < x.magnitude.size(); ++i) {
    // Two digits a step.
    static const char pairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    std::uint32_t limb = x.magnitude[i];
    for (int k = 0; k < 4 && at > 1; ++k, limb /= 100) {
      digits[--at] = pairs[2 * (limb % 100) + 1];
      digits[--at] = pairs[2 * (limb % 100)];
    }
    if (at > 0 && (limb || i + 1 < x.magnitude.size())) digits[--at] = static_cast<char>('0' + limb % 10);
  }
  d.exponent = static_cast<int>(x.scale * k_limb_digits + static_cast<long>(count));
  digits.resize(digits.find_last_not_of('0') + 1);
  d.digits = std::move(digits);
  d.negative = x.negative;
  return d;
}

// Both brought to the finer scale of the two.
void align(exact& a, exact& b) {
  if (a.scale > b.scale) {
    a.magnitude = shifted(a.magnitude, static_cast<std::size_t>(a.scale - b.scale));
    a.scale = b.scale;
  } else if (b.scale > a.scale) {
    b.magnitude = shifted(b.magnitude, static_cast<std::size_t>(b.scale - a.scale));
    b.scale = a.scale;
  }
}

exact exact_sum(exact a, exact b) {
  if (a.magnitude.empty()) return b;
  if (b.magnitude.empty()) return a;
  align(a, b);
  if (a.negative == b.negative) {
    a.magnitude = add(a.magnitude, b.magnitude);
    return a;
  }
  int order = compare(a.magnitude, b.magnitude);
  if (order == 0) return exact{};
  if (order < 0) std::swap(a, b);
  subtract_from(a.magnitude, b.magnitude);
  return a;
}

// a / b (b not 0) with at least `limbs_wanted` limbs past the first, the
// rest dropped.
exact cut_quotient(const exact& a, const exact& b, long limbs_wanted) {
  if (a.magnitude.empty()) return a;
  long extra = std::max(
      0L, limbs_wanted + static_cast<long>(b.magnitude.size()) - static_cast<long>(a.magnitude.size()));
  exact q;
  limbs rest;
  divide(shifted(a.magnitude, static_cast<std::size_t>(extra)), b.magnitude, q.magnitude, rest);
  q.negative = !q.magnitude.empty() && a.negative != b.negative;
  q.scale = a.scale - extra - b.scale;
  return q;
}

// a / b (b not 0) with at least 42 significant digits, the rest dropped:
// the 41st digit then decides the rounding to 40, whatever follows.
decimal quotient_of(const exact& a, const exact& b) { return decimal_of_exact(cut_quotient(a, b, 6)); }

decimal zero() { return decimal{}; }

// Digits of a that lie this far below b's leading digit cannot change b
// rounded to 40 digits.
constexpr long k_beyond_rounding = static_cast<long>(k_number_digits) + 3;

}  // namespace

namespace {

// d made a NUMBER in place.
decimal finish(decimal d) {
  std::size_t lead = d.digits.find_first_not_of('0');
  if (lead == std::string::npos) return zero();
  if (lead > 0) {
    d.digits.erase(0, lead);
    d.exponent -= static_cast<int>(lead);
  }
  round_digits(d, k_number_digits);
  if (d.digits.empty()) return zero();
  // 0.digits x 10^exponent: NUMBER ends below 1E+126 and at 1E-130.
  if (d.exponent > 126) fail(1426);
  if (d.exponent < -129) return zero();
  return d;
}

bool is_number(const decimal& d) {
  if (d.digits.empty()) return !d.negative;
  return d.digits.size() <= k_number_digits && d.digits.front() != '0' && d.digits.back() != '0' &&
         d.exponent <= 126 && d.exponent >= -129;
}

// The argument itself when it is a NUMBER already, else its rounded copy
// kept in `room`.
const decimal& as_number(const decimal& d, decimal& room) {
  if (is_number(d)) return d;
  room = finish(d);
  return room;
}

}  // namespace

decimal number_rounded(const decimal& in) { return is_number(in) ? in : finish(in); }

decimal decimal_add(const decimal& a, const decimal& b) {
  decimal room_a, room_b;
  const decimal &x = as_number(a, room_a), &y = as_number(b, room_b);
  if (x.digits.empty()) return y;
  if (y.digits.empty()) return x;
  if (x.exponent - y.exponent >= k_beyond_rounding) return x;
  if (y.exponent - x.exponent >= k_beyond_rounding) return y;
  return finish(decimal_of_exact(exact_sum(exact_of(x), exact_of(y))));
}

decimal decimal_subtract(const decimal& a, const decimal& b) { return decimal_add(a, decimal_negate(b)); }

decimal decimal_multiply(const decimal& a, const decimal& b) {
  decimal room_a, room_b;
  exact x = exact_of(as_number(a, room_a)), y = exact_of(as_number(b, room_b));
  exact p;
  p.magnitude = multiply(x.magnitude, y.magnitude);
  p.negative = x.negative != y.negative;
  p.scale = x.scale + y.scale;
  return finish(decimal_of_exact(p));
}

decimal decimal_divide(const decimal& a, const decimal& b) {
  decimal room_a, room_b;
  exact x = exact_of(as_number(a, room_a)), y = exact_of(as_number(b, room_b));
  if (y.magnitude.empty()) fail(1476);
  return finish(quotient_of(x, y));
}

decimal decimal_negate(const decimal& a) {
  decimal d = a;
  d.negative = !d.digits.empty() && !d.negative;
  return d;
}

int decimal_compare(const decimal& a, const decimal& b) {
  std::size_t lead_a = a.digits.find_first_not_of('0'), lead_b = b.digits.find_first_not_of('0');
  bool zero_a = lead_a == std::string::npos, zero_b = lead_b == std::string::npos;
  int sign_a = zero_a ? 0 : a.negative ? -1 : 1, sign_b = zero_b ? 0 : b.negative ? -1 : 1;
  if (sign_a != sign_b) return sign_a < sign_b ? -1 : 1;
  if (sign_a == 0) return 0;
  // Same sign: compare the magnitudes, then turn the order for negatives.
  long e_a = static_cast<long>(a.exponent) - static_cast<long>(lead_a);
  long e_b = static_cast<long>(b.exponent) - static_cast<long>(lead_b);
  int order = 0;
  if (e_a != e_b) {
    order = e_a < e_b ? -1 : 1;
  } else {
    std::size_t i = lead_a, j = lead_b;
    for (; order == 0 && (i < a.digits.size() || j < b.digits.size()); ++i, ++j) {
      char x = i < a.digits.size() ? a.digits[i] : '0', y = j < b.digits.size() ? b.digits[j] : '0';
      if (x != y) order = x < y ? -1 : 1;
    }
  }
  return sign_a < 0 ? -order : order;
}

bool decimal_is_integer(const decimal& d) {
  return d.digits.empty() || d.exponent >= static_cast<int>(d.digits.size());
}

decimal decimal_abs(const decimal& n) {
  decimal d = number_rounded(n);
  d.negative = false;
  return d;
}

int decimal_sign(const decimal& n) {
  decimal d = number_rounded(n);
  return d.digits.empty() ? 0 : d.negative ? -1 : 1;
}

namespace {

// The count of places as the server takes it: truncated to an integer;
// beyond +-200 every count gives the same result.
long places_of(const decimal& places) {
  decimal p = number_rounded(places);
  if (p.digits.empty() || p.exponent <= 0) return 0;
  if (p.exponent > 3) return p.negative ? -200 : 200;
  long v = 0;
  for (int i = 0; i < p.exponent; ++i)
    v = v * 10 + (i < static_cast<int>(p.digits.size()) ? p.digits[i] - '0' : 0);
  v = std::min(v, 200L);
  return p.negative ? -v : v;
}

// n cut to `places` places; `away` when the digits cut off round away
// from zero (the first of them 5 or more), `dropped` when any was not 0.
decimal cut(const decimal& in, long places, bool& away, bool& dropped) {
  decimal d = number_rounded(in);
  away = dropped = false;
  places = std::clamp(places, -200L, 200L);
  long keep = static_cast<long>(d.exponent) + places;
  if (keep >= static_cast<long>(d.digits.size())) return d;
  dropped = !d.digits.empty();
  if (keep < 0) {
    decimal z;
    z.negative = d.negative;  // kept for a step away from zero
    return z;
  }
  away = d.digits[static_cast<std::size_t>(keep)] >= '5';
  d.digits.resize(static_cast<std::size_t>(keep));
  std::size_t trail = d.digits.find_last_not_of('0');
  if (trail == std::string::npos) {
    bool negative = d.negative;
    d = zero();
    d.negative = negative;  // kept for a step away from zero
    return d;
  }
  d.digits.resize(trail + 1);
  return d;
}

// d + one unit of the last of `places` places, away from zero.
decimal step_away(decimal d, long places) {
  decimal unit;
  unit.digits = "1";
  unit.exponent = static_cast<int>(1 - places);
  unit.negative = d.negative;
  if (d.digits.empty()) return number_rounded(unit);
  return decimal_add(d, unit);
}

decimal positive_zero_if_empty(decimal d) {
  if (d.digits.empty()) return zero();
  return d;
}

}  // namespace

decimal decimal_round(const decimal& n, long places) {
  bool away = false, dropped = false;
  decimal d = cut(n, places, away, dropped);
  if (away) return step_away(d, std::clamp(places, -200L, 200L));
  return positive_zero_if_empty(d);
}

decimal decimal_round(const decimal& n, const decimal& places) { return decimal_round(n, places_of(places)); }

decimal decimal_trunc(const decimal& n, long places) {
  bool away = false, dropped = false;
  return positive_zero_if_empty(cut(n, places, away, dropped));
}

decimal decimal_trunc(const decimal& n, const decimal& places) { return decimal_trunc(n, places_of(places)); }

decimal decimal_ceil(const decimal& n) {
  bool away = false, dropped = false;
  decimal d = cut(n, 0, away, dropped);
  if (dropped && !d.negative) return step_away(d, 0);
  return positive_zero_if_empty(d);
}

decimal decimal_floor(const decimal& n) {
  bool away = false, dropped = false;
  decimal d = cut(n, 0, away, dropped);
  if (dropped && d.negative) return step_away(d, 0);
  return positive_zero_if_empty(d);
}

namespace {

// m and n as whole numbers of one scale, and the quotient and remainder of
// their magnitudes (n not 0).
struct whole_division {
  exact m, n;
  limbs quotient, rest;
};

whole_division divided(const decimal& m, const decimal& n) {
  whole_division w;
  w.m = exact_of(m);
  w.n = exact_of(n);
  align(w.m, w.n);
  divide(w.m.magnitude, w.n.magnitude, w.quotient, w.rest);
  return w;
}

}  // namespace

decimal decimal_mod(const decimal& m_in, const decimal& n_in) {
  decimal m = number_rounded(m_in), n = number_rounded(n_in);
  if (n.digits.empty() || m.digits.empty()) return m;
  whole_division w = divided(m, n);
  exact r;
  r.negative = m.negative;
  r.magnitude = std::move(w.rest);
  r.scale = w.m.scale;
  return number_rounded(decimal_of_exact(r));
}

decimal decimal_remainder(const decimal& m_in, const decimal& n_in) {
  decimal m = number_rounded(m_in), n = number_rounded(n_in);
  if (n.digits.empty()) fail(1476);
  if (m.digits.empty()) return m;
  whole_division w = divided(m, n);
  exact r;
  r.scale = w.m.scale;
  limbs twice = add(w.rest, w.rest);
  int order = compare(twice, w.n.magnitude);
  bool odd = !w.quotient.empty() && (w.quotient[0] & 1);
  if (order > 0 || (order == 0 && odd)) {
    // The nearest integer is the quotient plus one: m - n * N turns sign.
    r.magnitude = w.n.magnitude;
    subtract_from(r.magnitude, w.rest);
    r.negative = !m.negative;
  } else {
    r.magnitude = std::move(w.rest);
    r.negative = m.negative;
  }
  return number_rounded(decimal_of_exact(r));
}

namespace {

// Numbers carried with about 72 significant digits for the functions that
// are no rational operation: magnitude x 10^(9 x scale), the magnitude cut
// to k_work_limbs limbs after each step.
constexpr std::size_t k_work_limbs = 9;

exact cut_to_work(exact x) {
  if (x.magnitude.size() > k_work_limbs) {
    std::size_t drop = x.magnitude.size() - k_work_limbs;
    x.magnitude.drop_low(drop);
    x.scale += static_cast<long>(drop);
  }
  if (x.magnitude.empty()) x = exact{};
  return x;
}

exact w_int(long v) {
  exact x;
  x.negative = v < 0;
  unsigned long u = static_cast<unsigned long>(v < 0 ? -v : v);
  for (; u; u /= k_base) x.magnitude.push_back(static_cast<std::uint32_t>(u % k_base));
  return x;
}

long top_of(const exact& x) { return x.scale + static_cast<long>(x.magnitude.size()); }

exact w_add(const exact& a, const exact& b) {
  if (a.magnitude.empty()) return b;
  if (b.magnitude.empty()) return a;
  long ta = top_of(a), tb = top_of(b);
  if (ta - tb > static_cast<long>(k_work_limbs) + 1) return a;
  if (tb - ta > static_cast<long>(k_work_limbs) + 1) return b;
  return cut_to_work(exact_sum(a, b));
}

exact w_negated(exact a) {
  a.negative = !a.magnitude.empty() && !a.negative;
  return a;
}

exact w_sub(const exact& a, const exact& b) { return w_add(a, w_negated(b)); }

exact w_mul(const exact& a, const exact& b) {
  exact p;
  p.magnitude = multiply(a.magnitude, b.magnitude);
  p.negative = !p.magnitude.empty() && a.negative != b.negative;
  p.scale = a.scale + b.scale;
  return cut_to_work(p);
}

exact w_div(const exact& a, const exact& b) {
  return cut_to_work(cut_quotient(a, b, static_cast<long>(k_work_limbs) + 1));
}

// x times 10^k.
exact w_scaled10(exact x, long k) {
  if (x.magnitude.empty()) return x;
  long q = floor_div(k, k_limb_digits), r = k - q * k_limb_digits;
  std::uint32_t m = 1;
  for (long i = 0; i < r; ++i) m *= 10;
  multiply_small(x.magnitude, m);
  x.scale += q;
  return cut_to_work(x);
}

// floor(sqrt(a)), exactly.
limbs whole_sqrt(const limbs& a) {
  if (a.empty()) return a;
  // A start just above the root, from the top three or four limbs (h, the
  // limbs below them, even), then Newton's steps down to it.
  std::size_t h = a.size() < 4 ? 0 : (a.size() - 3) % 2 ? a.size() - 4 : a.size() - 3;
  double top = 0;
  for (std::size_t i = a.size(); i-- > h;) top = top * k_base + a[i];
  auto start = static_cast<std::uint64_t>(std::sqrt(top) * (1 + 1e-12)) + 2;
  limbs x;
  for (; start; start /= k_base) x.push_back(static_cast<std::uint32_t>(start % k_base));
  x = shifted(x, h / 2);
  for (;;) {
    limbs q, rest;
    divide(a, x, q, rest);
    limbs y = add(x, q);
    divide_small(y, 2);
    if (compare(y, x) >= 0) return x;
    x = std::move(y);
  }
}

exact w_sqrt(const exact& a) {
  // An even scale and enough limbs for a root of k_work_limbs limbs.
  long extra = std::max(0L, 2 * static_cast<long>(k_work_limbs) + 2 - static_cast<long>(a.magnitude.size()));
  if ((a.scale - extra) % 2) ++extra;
  exact r;
  r.magnitude = whole_sqrt(shifted(a.magnitude, static_cast<std::size_t>(extra)));
  r.scale = (a.scale - extra) / 2;
  return cut_to_work(r);
}

// ln(x) for x near 1, by 2 atanh((x-1)/(x+1)).
exact ln_near_one(const exact& x) {
  exact one = w_int(1);
  exact z = w_div(w_sub(x, one), w_add(x, one));
  exact z2 = w_mul(z, z), term = z, sum = z;
  for (long k = 3;; k += 2) {
    term = w_mul(term, z2);
    exact part = w_div(term, w_int(k));
    if (part.magnitude.empty() || top_of(sum) - top_of(part) > static_cast<long>(k_work_limbs) + 1) break;
    sum = w_add(sum, part);
  }
  return w_add(sum, sum);
}

// ln(x) for x in [1, 10]: four square roots bring it within 1.16 of 1,
// where the series needs some 36 terms.
exact ln_reduced(exact x) {
  constexpr int roots = 4;
  for (int i = 0; i < roots; ++i) x = w_sqrt(x);
  return w_mul(ln_near_one(x), w_int(1L << roots));
}

const exact& ln10() {
  static const exact value = ln_reduced(w_int(10));
  return value;
}

std::size_t digits_of(const exact& x) { return digit_count(x.magnitude); }

// The decimal exponent k with 10^k <= |x| < 10^(k+1).
long decimal_top(const exact& x) { return x.scale * k_limb_digits + static_cast<long>(digits_of(x)) - 1; }

// ln(x), x > 0.
exact w_ln(const exact& x) {
  exact one = w_int(1);
  exact off = w_sub(x, one);
  // Near 1 the series takes x directly: the roots would lose the digits of
  // a small logarithm.
  if (off.magnitude.empty()) return exact{};
  if (decimal_top(off) < -2) return ln_near_one(x);
  long k = decimal_top(x);
  exact f = w_scaled10(x, -k);
  return w_add(w_mul(w_int(k), ln10()), ln_reduced(f));
}

// exp(x) for |x| within the range of NUMBER (the caller checks).
exact w_exp(const exact& x) {
  if (x.magnitude.empty()) return w_int(1);
  // x = k ln 10 + r, 0 <= r < ln 10; exp(r) from its series at r / 2^10,
  // squared ten times.
  exact q = w_div(x, ln10());
  decimal qd = decimal_of_exact(q);
  decimal kd = decimal_floor(qd);
  long k = places_of(kd);
  exact r = w_sub(x, w_mul(w_int(k), ln10()));
  constexpr int halvings = 10;
  exact s = w_div(r, w_int(1L << halvings));
  exact term = w_int(1), sum = w_int(1);
  for (long i = 1; i < 200; ++i) {
    term = w_div(w_mul(term, s), w_int(i));
    if (term.magnitude.empty() || top_of(sum) - top_of(term) > static_cast<long>(k_work_limbs) + 1) break;
    sum = w_add(sum, term);
  }
  for (int i = 0; i < halvings; ++i) sum = w_mul(sum, sum);
  return w_scaled10(sum, k);
}

[[noreturn]] void out_of_range(const decimal& argument) { fail(1428, number_text(argument)); }

// EXP of a value carried with the working digits: ORA-01426 above the
// range, 0 below it.
decimal exp_result(const exact& x) {
  // ln(1E+126) is 290.1, ln(1E-130) is -299.3.
  decimal approximate = number_rounded(decimal_of_exact(x));
  if (!approximate.digits.empty() && approximate.exponent >= 3) {
    decimal limit;
    limit.digits = approximate.negative ? "301" : "291";
    limit.exponent = 3;
    limit.negative = approximate.negative;
    if (approximate.negative ? decimal_compare(approximate, limit) < 0
                             : decimal_compare(approximate, limit) > 0) {
      if (approximate.negative) return zero();
      fail(1426);
    }
  }
  return number_rounded(decimal_of_exact(w_exp(x)));
}

}  // namespace

decimal decimal_sqrt(const decimal& n_in) {
  decimal n = number_rounded(n_in);
  if (n.negative) out_of_range(n);
  if (n.digits.empty()) return n;
  exact x = exact_of(n);
  // A root of at least 42 digits (11 limbs of the square), on an even scale.
  long extra = std::max(0L, 12 - static_cast<long>(x.magnitude.size()));
  if ((x.scale - extra) % 2) ++extra;
  exact r;
  r.magnitude = whole_sqrt(shifted(x.magnitude, static_cast<std::size_t>(extra)));
  r.scale = (x.scale - extra) / 2;
  return number_rounded(decimal_of_exact(r));
}

decimal decimal_exp(const decimal& n) { return exp_result(exact_of(number_rounded(n))); }

decimal decimal_ln(const decimal& n_in) {
  decimal n = number_rounded(n_in);
  if (n.negative || n.digits.empty()) out_of_range(n);
  return number_rounded(decimal_of_exact(w_ln(exact_of(n))));
}

decimal decimal_log(const decimal& base_in, const decimal& n_in) {
  decimal base = number_rounded(base_in), n = number_rounded(n_in);
  decimal one;
  one.digits = "1";
  one.exponent = 1;
  if (base.negative || base.digits.empty() || decimal_compare(base, one) == 0) out_of_range(base);
  if (n.negative || n.digits.empty()) out_of_range(n);
  return number_rounded(decimal_of_exact(w_div(w_ln(exact_of(n)), w_ln(exact_of(base)))));
}

namespace {

// m^k for a whole k > 0, exactly.
exact exact_power(exact m, std::uint64_t k) {
  exact result = w_int(1);
  for (; k; k >>= 1) {
    if (k & 1) {
      result.magnitude = multiply(result.magnitude, m.magnitude);
      result.scale += m.scale;
    }
    if (k > 1) {
      m.magnitude = multiply(m.magnitude, m.magnitude);
      m.scale *= 2;
    }
  }
  return result;
}

// m^k for a whole k > 0 with the working digits.
exact working_power(exact m, std::uint64_t k) {
  exact result = w_int(1);
  m = cut_to_work(m);
  for (; k; k >>= 1) {
    if (k & 1) result = w_mul(result, m);
    if (k > 1) m = w_mul(m, m);
  }
  return result;
}

}  // namespace

decimal decimal_power(const decimal& m_in, const decimal& n_in) {
  decimal m = number_rounded(m_in), n = number_rounded(n_in);
  decimal one;
  one.digits = "1";
  one.exponent = 1;
  if (n.digits.empty()) return one;
  if (m.digits.empty()) {
    if (n.negative) fail(1476);
    return m;
  }
  bool whole = decimal_is_integer(n);
  if (m.negative && !whole) out_of_range(m);
  // The size of the result, roughly: far outside the range it is decided
  // here (ORA-01426, or 0 below 1E-130).
  double log_m = std::log10(decimal_to_double(decimal_abs(m)));
  double estimate = decimal_to_double(n) * log_m;
  if (estimate > 130) fail(1426);
  if (estimate < -140) return zero();
  exact base = exact_of(m);
  base.negative = false;
  // Odd only when the last digit is a unit: a whole NUMBER past that
  // ends in zeros.
  bool negative_result =
      m.negative && whole && n.exponent == static_cast<int>(n.digits.size()) && (n.digits.back() - '0') % 2;
  decimal result;
  std::int64_t k = 0;
  if (whole && decimal_to_int64(decimal_abs(n), k) &&
      static_cast<double>(m.digits.size()) * static_cast<double>(k) <= 4000) {
    // Exact, then rounded once.
    exact p = exact_power(base, static_cast<std::uint64_t>(k));
    result = n.negative ? quotient_of(w_int(1), p) : decimal_of_exact(p);
  } else if (whole && k > 0) {
    exact p = working_power(base, static_cast<std::uint64_t>(k));
    if (n.negative) p = w_div(w_int(1), p);
    result = decimal_of_exact(p);
  } else {
    result = exp_result(w_mul(exact_of(n), w_ln(base)));
  }
  result.negative = negative_result && !result.digits.empty();
  return number_rounded(result);
}

decimal number_checked(const decimal& d, int precision, int scale) {
  if (precision < 1 || precision > 38) fail(1727);
  if (scale < -84 || scale > 127) fail(1728);
  decimal r = decimal_round(d, scale);
  if (!r.digits.empty() && r.exponent > precision - scale) fail(1438);
  return r;
}

decimal number_float(const decimal& d, int binary_precision) {
  if (binary_precision < 1 || binary_precision > 126) fail(1724);
  decimal r = number_rounded(d);
  // ceil(bits x 0.30103), in whole numbers.
  round_digits(r, static_cast<std::size_t>((binary_precision * 30103 + 99999) / 100000));
  return number_rounded(r);
}

void number_sum::add(const decimal& d) {
  ++count_;
  exact x = exact_of(number_rounded(d));
  exact total;
  total.negative = negative_;
  total.magnitude = limbs(magnitude_);
  total.scale = scale_;
  total = exact_sum(std::move(total), std::move(x));
  negative_ = total.negative;
  magnitude_ = total.magnitude.to_vector();
  scale_ = total.scale;
}

decimal number_sum::sum() const {
  exact total;
  total.negative = negative_;
  total.magnitude = limbs(magnitude_);
  total.scale = scale_;
  return number_rounded(decimal_of_exact(total));
}

decimal number_sum::average() const {
  if (count_ == 0) return zero();
  exact total;
  total.negative = negative_;
  total.magnitude = limbs(magnitude_);
  total.scale = scale_;
  return number_rounded(quotient_of(total, w_int(static_cast<long>(count_))));
}

}  // namespace ocilite
