// Values as SQLite stores them, and their Oracle forms: number texts,
// dates and time stamps.
#pragma once

#include "oci/oci_types.h"

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ocilite {

// One stored value, copied out of SQLite.
struct cell {
  int type = SQLITE_NULL;  // SQLITE_INTEGER, _FLOAT, _TEXT, _BLOB, _NULL
  std::int64_t i = 0;
  double d = 0;
  std::string bytes;  // text (UTF-8) or blob
  static cell from_column(sqlite3_stmt* st, int column);
  static cell from_value(sqlite3_value* v);
  static cell text(std::string s);
  static cell blob(std::string s);
  static cell integer(std::int64_t v);
  static cell real(double v);
  void bind_to(sqlite3_stmt* st, int index) const;
  void result_to(sqlite3_context* ctx) const;  // as an SQL function's result
};

// A decimal number: value = 0.digits x 10^exponent; digits carry no
// leading or trailing zeros; no digits is zero.
struct decimal {
  bool negative = false;
  std::string digits;
  int exponent = 0;
};

std::optional<decimal> parse_decimal(std::string_view text);
// Throws ORA-01722 for a non-number. A BLOB is read as the number text it
// holds (the storage convention below).
decimal decimal_of(const cell& c);
// Storage convention of a NUMBER column: SQLite keeps integers of 64 bits
// and reals of 15 significant digits; any other number is stored as a BLOB
// holding its text as number_text writes it, which readers take back as
// that number.
bool needs_exact_storage(const decimal& d);
// The value to store for a number text in a NUMBER column: the BLOB of the
// convention when the number needs it, else the text for SQLite's affinity.
cell number_cell(const std::string& text);
// The significant digits a NUMBER keeps.
constexpr std::size_t k_number_digits = 40;
// The value of a computed number, held as the convention holds it: an
// INTEGER of 64 bits, a REAL of 15 significant digits, else the BLOB.
cell number_result(const decimal& d);
// The server's text of a NUMBER: ".5", "-.5", "1234.56", "0".
std::string number_text(const decimal& d);
// The server's text of a BINARY_DOUBLE, "1.5E+000", and of a BINARY_FLOAT,
// in nine significant digits: 0.1f is "1.00000001E-001".
std::string binary_number_text(double v);
std::string binary_number_text(float v);
// Rounds to at most `keep` significant digits, half away from zero.
void round_digits(decimal& d, std::size_t keep);
// Rounds to an integer; false when it does not fit 64 bits.
bool decimal_to_int64(const decimal& d, std::int64_t& out);
double decimal_to_double(const decimal& d);

struct datetime {
  int year = 0, month = 1, day = 1, hour = 0, minute = 0, second = 0;
  ub4 nanos = 0;
  bool has_zone = false;
  int zone_minutes = 0;  // east of UTC
};

// '[-]YYYY-MM-DD[ HH24:MI:SS[.fffffffff]][ +hh:mm]', a day of the server's
// calendar (ol_date_math.h: 1500-02-29 is one, 1582-10-10 none; -0044 is
// 44 BC), or a date key (ol_keys.h).
std::optional<datetime> parse_datetime(std::string_view text);
std::string datetime_text(const datetime& t, bool with_fraction, bool with_zone);
// The same instant in the process's time zone, without a zone.
datetime to_local(const datetime& t);

std::string hex_upper(std::string_view bytes);

}  // namespace ocilite
