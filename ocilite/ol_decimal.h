// Arithmetic of NUMBER values as the server does it: in decimal, the
// result rounded to 40 significant digits (half away from zero), so sums,
// differences and products of numbers of up to 38 digits are exact and
// 1/3 is .3333333333333333333333333333333333333333 (40 threes).
#pragma once

#include "ocilite/ol_values.h"

namespace ocilite {

// Each throws ORA-01426 for a result beyond NUMBER's range (1E+126 and
// more); a result below 1E-130 is 0.
decimal decimal_add(const decimal& a, const decimal& b);
decimal decimal_subtract(const decimal& a, const decimal& b);
decimal decimal_multiply(const decimal& a, const decimal& b);
// Throws ORA-01476 for a divisor of 0.
decimal decimal_divide(const decimal& a, const decimal& b);

}  // namespace ocilite
