// The server's built-in functions as SQL functions of translated queries,
// computed by the number, date, interval and character libraries. Each
// takes numbers in any form read_number reads, dates as date keys (or any
// stored date text) and texts as texts; it gives number keys, date keys
// and texts, NULL where the server gives NULL. A `kind` argument is a
// datetime_kind (0 DATE, 1 TIMESTAMP, 2 WITH TIME ZONE, 3 WITH LOCAL TIME
// ZONE); an interval is passed as its text with the widest precisions.
//
//   numbers   OL_ABS OL_SIGN OL_CEIL OL_FLOOR OL_MOD OL_REMAINDER
//             OL_ROUND(n[, places]) OL_TRUNC(n[, places]) OL_POWER OL_SQRT
//             OL_EXP OL_LN OL_LOG OL_TONUMBER(text[, mask])
//             OL_NUMCHAR(n[, mask]) OL_NUMCAST(n, precision, scale)
//   dates     OL_DATEADD(d, days) OL_DATEDIFF(a, b) OL_ADDMONTHS(d, n)
//             OL_MONTHSBETWEEN(a, b) OL_LASTDAY(d) OL_NEXTDAY(d, name)
//             OL_DATETRUNC(d[, format]) OL_DATEROUND(d[, format])
//             OL_EXTRACT(field, d, kind) OL_TODATE(text, kind[, mask])
//             OL_DATECHAR(d, kind, digits[, mask]) OL_ASDATE(d)
//   intervals OL_DATEADDIV(d, interval, ym) OL_DATESPAN(a, b)
//             OL_IVEXTRACT(field, interval, ym) OL_IVTEXT(interval, ym,
//             leading, fraction) OL_IVARITH(op, a, b, ym)
//   texts     OL_UPPER OL_LOWER OL_INITCAP OL_LENGTH OL_SUBSTR OL_INSTR
//             OL_LPAD OL_RPAD OL_TRIM(s, side, c) OL_LTRIM OL_RTRIM
//             OL_REPLACE OL_TRANSLATE OL_ASCII OL_CHR
//   like(pattern, s[, escape]), SQLite's LIKE: case-sensitive, as the
//             server matches
#pragma once

#include <sqlite3.h>

#include <string>

namespace ocilite {

void register_builtin_functions(sqlite3* db);

// An interval's text as these functions pass it: DAY(9) TO SECOND(9), or
// YEAR(9) TO MONTH. Throws the server's errors of a bad literal.
std::string interval_literal(const std::string& text, const std::string& qualifier, bool& year_to_month);

}  // namespace ocilite
