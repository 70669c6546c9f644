// The SQL functions, aggregates and collations that translated queries
// call. Number arguments are taken in any form read_number reads; number
// results are number keys, date results date keys (ol_keys.h).
//
//   OL_NK(x)              the number key of x
//   OL_NV(k)              k as a NUMBER column stores it: what the outermost
//                         select list returns
//   OL_ARITH(ops, x0, x1, ...)  x0 ops[0] x1 ops[1] x2 ..., left to right,
//                         in decimal as the server computes (+ - * /)
//   OL_LIST(x, ...)       numbers packed into one operand of OL_ARITH, for
//                         chains longer than a call takes
//   OL_NEG(x)             -x
//   OL_NTXT(x)            x as the server writes a number as text
//   OL_DK(x)              the date key of a stored date or time stamp
//   OL_INSTANT(k)         the key of k's instant in UTC, without a zone: how
//                         a value with a time zone compares
//   OL_CAT(x, ...)        the texts joined, NULL ones left out; NULL when
//                         nothing is left; ORA-01489 past 4000 bytes
//   OL_CATL(x, ...)       the same for a CLOB, without the limit
//   OL_CASTTEXT(x, n, unit, pad)  CAST to VARCHAR2(n) or CHAR(n): ORA-25137
//                         past n bytes ('B') or characters ('C')
//   OL_PAD(x, n, bytes)   a CHAR value blank-padded to n characters, or to n
//                         bytes when `bytes` is 1
//   OL_ERR(code)          raises ORA-code
//   OL_SUM(x), OL_AVG(x)  exact aggregates (and window functions)
//   OL_ONE(x)             the value of the one row of a scalar subquery;
//                         ORA-01427 for a second row
//   COLLATE OL_BLANKPAD   the blank-padded comparison of two CHAR values
//   OL_LOOP(path, id)     the path of a CONNECT BY row: ORA-01436 when id
//                         is on it already
#pragma once

#include <sqlite3.h>

namespace ocilite {

void register_query_functions(sqlite3* db);

}  // namespace ocilite
