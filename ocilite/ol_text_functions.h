// The character functions of the server in an AL32UTF8 database with
// binary sorting, over UTF-8 text: lengths and positions count characters
// (a character of four bytes is one). '' is NULL: where a function would
// give the empty text it gives NULL (std::nullopt), and an argument that
// is '' is taken as NULL. Unless a function says otherwise, a NULL
// argument makes its result NULL, which the caller decides before the call.
// Invalid UTF-8 passes through as it is, a byte a character.
#pragma once

#include "ocilite/ol_values.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ocilite {

using text_result = std::optional<std::string>;

// NULL for "", else the text.
text_result text_or_null(std::string s);

// A NUMBER argument where the server wants an integer (a position, a
// length, an occurrence): truncated toward zero, and held to +-2^62 so a
// huge one still means "past every end".
std::int64_t integer_argument(const decimal& d);

// UPPER, LOWER, INITCAP: the simple case mappings of every script, from a
// fixed table (so the result does not depend on the machine's locales).
// INITCAP capitalises the first letter of each word and lowers the rest;
// a word is a run of letters, digits and combining marks.
std::string text_upper(std::string_view s);
std::string text_lower(std::string_view s);
std::string text_initcap(std::string_view s);

// LENGTH(s): characters.
std::int64_t text_length(std::string_view s);

// SUBSTR(s, position[, length]): position 0 is 1, a negative position
// counts from the end (-1 the last character); NULL for a position past
// either end and for a length below 1. The length, when given, is
// characters from the start; none means to the end.
text_result text_substr(std::string_view s, std::int64_t position,
                        std::optional<std::int64_t> length = std::nullopt);

// INSTR(s, sub[, position[, occurrence]]): the character position of the
// occurrence-th match from position on (0 when there is none); a negative
// position searches backwards from that many characters before the end,
// position 0 gives 0. Matches may overlap. ORA-01428 for an occurrence
// below 1 ("argument '0' is out of range").
std::int64_t text_instr(std::string_view s, std::string_view sub, std::int64_t position = 1,
                        std::int64_t occurrence = 1);

// LPAD and RPAD(s, length[, pad]): s cut or padded to `length` characters
// (the pad repeated, the last copy cut); NULL for a length below 1. As a
// VARCHAR2 the result keeps at most its first 4000 bytes (whole
// characters), whatever the length asks.
// ORA-03001 when the text or the pad holds a character shown two columns
// wide (CJK, emoji), whose width the server counts.
text_result text_lpad(std::string_view s, std::int64_t length, std::string_view pad = " ");
text_result text_rpad(std::string_view s, std::int64_t length, std::string_view pad = " ");

// TRIM([LEADING|TRAILING|BOTH] [c] FROM s): ORA-30001 unless c is one
// character. LTRIM and RTRIM(s[, set]) remove every character of `set`.
enum class trim_side { leading, trailing, both };
text_result text_trim(std::string_view s, trim_side side = trim_side::both,
                      std::string_view c = " ");
text_result text_ltrim(std::string_view s, std::string_view set = " ");
text_result text_rtrim(std::string_view s, std::string_view set = " ");

// REPLACE(s, search[, replacement]): every match of search, left to
// right, replaced; no or a NULL replacement removes them; a NULL search
// leaves s. NULL only for a NULL s (the caller's) or a result of ''.
text_result text_replace(std::string_view s, std::optional<std::string_view> search,
                         std::optional<std::string_view> replacement = std::nullopt);

// TRANSLATE(s, from, to): each character of `from` in s becomes the
// character at its place in `to`, or goes when `to` is shorter; the first
// place of a character repeated in `from` counts.
text_result text_translate(std::string_view s, std::string_view from, std::string_view to);

// ASCII(s): the bytes of s's first character as a number ('A' 65, 'é'
// 50089, the bytes C3 A9). CHR(n): its inverse, n's bytes without leading
// zero bytes (CHR(0) is one NUL byte); ORA-01428 for n below 0 or of more
// than four bytes. The text may be no valid UTF-8, as on the server.
std::int64_t text_ascii(std::string_view s);
std::string text_chr(std::int64_t n);

// CONCAT(a, b) and a || b: a NULL operand counts as ''.
text_result text_concat(std::optional<std::string_view> a, std::optional<std::string_view> b);

// s LIKE pattern [ESCAPE e]: case-sensitive; % any characters (none too),
// _ exactly one. ORA-01425 for an escape that is not one character,
// ORA-01424 for an escape not followed by %, _ or itself.
bool text_like(std::string_view s, std::string_view pattern,
               std::optional<std::string_view> escape = std::nullopt);
// The pattern's errors alone, for a pattern known before the rows.
void check_like_pattern(std::string_view pattern, std::optional<std::string_view> escape);

// CHAR comparison: the shorter text as if padded with blanks to the
// longer's length, then byte by byte (code point order); 'ab ' equals
// 'ab'. -1, 0 or 1.
int compare_blank_padded(std::string_view a, std::string_view b);

}  // namespace ocilite
