// INTERVAL YEAR TO MONTH and INTERVAL DAY TO SECOND values: their
// literals, their text as the server shows it, and their arithmetic with
// each other and with DATE and TIMESTAMP values.
#pragma once

#include "ocilite/ol_date_math.h"
#include "ocilite/ol_values.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace ocilite {

// A signed number of months.
struct interval_ym {
  std::int64_t months = 0;
};

// A signed span of seconds and nanoseconds, both of the same sign
// (-1.5 s is seconds -1, nanos -500000000).
struct interval_ds {
  std::int64_t seconds = 0;
  std::int32_t nanos = 0;
};

enum class interval_field { year, month, day, hour, minute, second };

// The qualifier of a literal or type: INTERVAL '1-2' YEAR(3) TO MONTH has
// leading year, trailing month, leading_precision 3. A single field is its
// own trailing field. fraction_precision is the SECOND's (default 6).
struct interval_qualifier {
  interval_field leading = interval_field::day;
  interval_field trailing = interval_field::second;
  int leading_precision = 2;
  int fraction_precision = 6;
};

// Whether the qualifier is of YEAR TO MONTH (year, month) or of DAY TO
// SECOND (the rest). ORA-30089 for a trailing field before the leading one
// (MONTH TO YEAR) or one that mixes the two kinds (YEAR TO DAY); ORA-30088
// for a leading precision outside 0..9 or a fraction precision outside
// 0..9.
bool is_year_to_month(const interval_qualifier& q);
void check_qualifier(const interval_qualifier& q);

// The value of INTERVAL 'text' <qualifier>, its fields as the qualifier
// lists them: 'y-m' YEAR TO MONTH, 'y' YEAR, 'm' MONTH, 'd hh:mi:ss.f'
// DAY TO SECOND, 'd hh' DAY TO HOUR, 'hh:mi' HOUR TO MINUTE, 'ss.f'
// SECOND and so on, with an optional sign before the first field.
// ORA-01867 for a text that does not match the qualifier, ORA-01873 for a
// leading field of more digits than its precision, ORA-01843 for months
// past 11, ORA-01850 hours past 23, ORA-01851 minutes past 59, ORA-01852
// seconds past 59 in a trailing field. A fraction longer than the
// precision is rounded (half up).
interval_ym parse_interval_ym(std::string_view text, const interval_qualifier& q);
interval_ds parse_interval_ds(std::string_view text, const interval_qualifier& q);

// The server's text: "+01-02" (sign, years in at least `year_precision`
// digits, months), "+01 02:03:04.000000" (sign, days in at least
// `day_precision` digits, the time, the fraction in `fraction_precision`
// digits, rounded half up; none and no point for 0). A TIMESTAMP
// difference shows as DAY(9) TO SECOND(f): "+000000001 02:03:04.000000".
std::string interval_text(const interval_ym& v, int year_precision = 2);
std::string interval_text(const interval_ds& v, int day_precision = 2, int fraction_precision = 6);

// ORA-01873 when the leading field needs more digits than `precision`
// (years for YEAR TO MONTH, days for DAY TO SECOND), as when a value is
// stored in a column of that type.
void check_leading_precision(const interval_ym& v, int precision);
void check_leading_precision(const interval_ds& v, int precision);
// The value with its fraction rounded (half up) to `digits` digits.
interval_ds round_fraction(const interval_ds& v, int digits);

// Arithmetic of two intervals of one kind, and with a NUMBER: a product or
// quotient of months is truncated to whole months, one of seconds to the
// nanosecond (half away from zero). Division by 0 is ORA-01476; a result
// of more than 9 leading digits ORA-01873.
interval_ym interval_add(const interval_ym& a, const interval_ym& b);
interval_ym interval_subtract(const interval_ym& a, const interval_ym& b);
interval_ym interval_negate(const interval_ym& a);
interval_ym interval_multiply(const interval_ym& a, const decimal& n);
interval_ym interval_divide(const interval_ym& a, const decimal& n);
interval_ds interval_add(const interval_ds& a, const interval_ds& b);
interval_ds interval_subtract(const interval_ds& a, const interval_ds& b);
interval_ds interval_negate(const interval_ds& a);
interval_ds interval_multiply(const interval_ds& a, const decimal& n);
interval_ds interval_divide(const interval_ds& a, const decimal& n);
// -1, 0 or 1.
int interval_compare(const interval_ym& a, const interval_ym& b);
int interval_compare(const interval_ds& a, const interval_ds& b);

// DATE or TIMESTAMP + INTERVAL (subtract by adding the negation). Months
// keep the day of the month and fail with ORA-01839 where it does not
// exist (DATE '2001-01-31' + INTERVAL '1' MONTH), unlike ADD_MONTHS. A
// DATE operand stays a DATE: the caller applies as_date to the result,
// which rounds a fraction the interval brings to the second. ORA-01841
// past the calendar.
datetime add_interval(const datetime& t, const interval_ym& v);
datetime add_interval(const datetime& t, const interval_ds& v);
// TIMESTAMP - TIMESTAMP (or either one a DATE): the interval between, by
// the instant when a zone is involved (compare_datetimes' rule).
interval_ds datetime_difference(const datetime& later, const datetime& earlier);

// EXTRACT(field FROM interval): YEAR and MONTH of a YEAR TO MONTH, DAY,
// HOUR, MINUTE and SECOND (with its fraction) of a DAY TO SECOND, each
// with the interval's sign; ORA-30076 for a field of the other kind.
decimal extract_field(const interval_ym& v, datetime_field field);
decimal extract_field(const interval_ds& v, datetime_field field);

}  // namespace ocilite
