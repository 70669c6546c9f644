// The canonical forms in which a translated query computes: a number key
// and a date key. Equal values have equal keys, and SQLite's order of the
// keys (memcmp of a BLOB, byte order of a text) is the order of the values,
// so that SQLite's own comparisons, sorting, grouping, DISTINCT, UNION, MIN
// and MAX work on them unchanged; NULL stays NULL.
#pragma once

#include <sqlite3.h>

#include <optional>
#include <string>

#include "ocilite/ol_values.h"

namespace ocilite {

// A number as a query computes it: a decimal, or one of the values of
// BINARY_DOUBLE that have none.
struct number_value {
  enum kind_t { finite, minus_infinity, plus_infinity, not_a_number } kind = finite;
  decimal d;
};

// Number key: a BLOB. 0x20 is -Inf; 0x40 leads a negative number (its
// exponent and digits inverted, closed by 0xFF); 0x80 is zero; 0xC0 leads
// a positive number (exponent + 0x8000 in two bytes, then the digits as
// '0'..'9'); 0xE0 is +Inf and 0xF0 NaN (above every number, as on the
// server).
std::string number_key(const number_value& n);
std::string number_key(const decimal& d);
bool is_number_key(const void* bytes, int size);
number_value number_of_key(const void* bytes, int size);

// Any value a query meets where a number is expected: an INTEGER, a REAL,
// the BLOB of a number text (the storage convention of NUMBER columns), a
// key, or a text converted as the server converts it (text_to_number:
// ORA-01722 when it is no number). False for NULL and for an empty text, which is NULL.
bool read_number(sqlite3_value* v, number_value& out);

// The value as a NUMBER column stores it (number_result), a REAL for an
// infinity and the text "Nan" for NaN.
cell stored_number(const number_value& n);

// Date key: "YYYY-MM-DD HH24:MI:SS.fffffffff", a TIMESTAMP WITH TIME ZONE
// with " +hh:mm" after it; DATE and TIMESTAMP values compare with each
// other. A year BC is "!" and 10000 less its number ("!9956" is 44 BC),
// so that the years BC sort in their order and before the years AD.
// parse_datetime reads a key back. Nothing for a text that is no date.
std::optional<std::string> date_key(std::string_view stored);
std::string date_key(const datetime& t);

}  // namespace ocilite
