// Arithmetic of NUMBER values as the server does it: in decimal, the
// result rounded to 40 significant digits (half away from zero), so sums,
// differences and products of numbers of up to 38 digits are exact and
// 1/3 is .3333333333333333333333333333333333333333 (40 threes).
//
// Every function takes its arguments rounded first to what a NUMBER holds
// and returns a NUMBER: rounded to 40 digits, then ORA-01426 when it is
// 1E+126 or more in magnitude, 0 when it is below 1E-130. Errors are
// thrown as ora_failure (ol_error.h).
#pragma once

#include <cstdint>
#include <vector>

#include "ocilite/ol_values.h"

namespace ocilite {

// A decimal made a NUMBER: rounded to 40 digits and checked against the
// range as above. Equal values give equal decimals.
decimal number_rounded(const decimal& d);

decimal decimal_add(const decimal& a, const decimal& b);
decimal decimal_subtract(const decimal& a, const decimal& b);
decimal decimal_multiply(const decimal& a, const decimal& b);
// Throws ORA-01476 for a divisor of 0.
decimal decimal_divide(const decimal& a, const decimal& b);
decimal decimal_negate(const decimal& a);

// -1, 0 or 1 as a is below, equal to or above b, by value.
int decimal_compare(const decimal& a, const decimal& b);
bool decimal_is_integer(const decimal& d);

// ABS(n), SIGN(n) (-1, 0 or 1), CEIL(n), FLOOR(n).
decimal decimal_abs(const decimal& n);
int decimal_sign(const decimal& n);
decimal decimal_ceil(const decimal& n);
decimal decimal_floor(const decimal& n);

// ROUND(n, places): half away from zero; TRUNC(n, places): toward zero.
// A negative count of places works left of the point (ROUND(1250, -2) is
// 1300); a count that is no integer is truncated first.
decimal decimal_round(const decimal& n, const decimal& places);
decimal decimal_round(const decimal& n, long places = 0);
decimal decimal_trunc(const decimal& n, const decimal& places);
decimal decimal_trunc(const decimal& n, long places = 0);

// MOD(m, n) = m - n * TRUNC(m / n), computed exactly: the sign of m;
// MOD(m, 0) is m.
decimal decimal_mod(const decimal& m, const decimal& n);
// REMAINDER(m, n) = m - n * N, N the integer nearest m / n (the even one
// of two as near), computed exactly. ORA-01476 for n = 0.
decimal decimal_remainder(const decimal& m, const decimal& n);

// POWER(m, n). For an integer n the power is exact before the one
// rounding while it has up to 4,000 digits (1/m^k for a negative n), and
// is carried with over 70 digits past that; any other n goes through
// EXP(n * LN(m)) with over 70 digits. ORA-01428 for a negative m with an
// n that is no integer, ORA-01476 for 0 to a negative power.
decimal decimal_power(const decimal& m, const decimal& n);
// SQRT(n), correctly rounded; ORA-01428 for a negative n.
decimal decimal_sqrt(const decimal& n);
// EXP(n), LN(n) and LOG(base, n), computed with 70 digits before the
// rounding. ORA-01428 for LN of n <= 0, and for LOG of n <= 0 or of a base
// <= 0 or equal to 1.
decimal decimal_exp(const decimal& n);
decimal decimal_ln(const decimal& n);
decimal decimal_log(const decimal& base, const decimal& n);

// A value as a column of NUMBER(precision, scale) holds it, as CAST and
// a stored value check it: rounded to `scale` places (a negative scale
// rounds left of the point), then ORA-01438 when more than
// precision - scale digits stand before the point. ORA-01727 for a
// precision outside 1 to 38, ORA-01728 for a scale outside -84 to 127.
decimal number_checked(const decimal& d, int precision, int scale);
// A value of FLOAT(binary_precision): rounded to the decimal digits that
// many bits carry, ceil(bits * 0.30103). ORA-01724 for bits outside 1 to
// 126.
decimal number_float(const decimal& d, int binary_precision);

// The exact sum of the numbers added, for SUM and AVG: nothing is rounded
// until the result is asked for.
class number_sum {
 public:
  void add(const decimal& d);
  std::int64_t count() const { return count_; }
  // The sum (ORA-01426 past the range) and the average: the exact sum
  // divided by the count, rounded once. 0 when nothing was added (SUM and
  // AVG of no rows are NULL: the caller asks count() first).
  decimal sum() const;
  decimal average() const;

 private:
  bool negative_ = false;
  std::vector<std::uint32_t> magnitude_;  // base 10^9, least significant first
  long scale_ = 0;                        // in limbs: value = magnitude x 10^(9 x scale)
  std::int64_t count_ = 0;
};

}  // namespace ocilite
