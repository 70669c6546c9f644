// Cell references and the safe text of cells and sheet titles.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace XlsxModel {

// Row from 1, column from 0: (12, 27) gives AB12. Columns are letters in
// bijective base 26: 0 A, 25 Z, 26 AA, 701 ZZ, 702 AAA.
std::wstring cell_reference(long row, long column);
// The same into `out` (room for 24 characters); returns the length.
std::size_t cell_reference(long row, long column, wchar_t* out);
std::size_t cell_reference(long row, long column, char* out);
// The letters of a column alone (room for 16).
std::size_t column_letters(long column, char* out);

// Text for XML character data and attribute values that reads back as the
// text given: "&" "!" "'" "*" "+" ":" "<" "=" ">" "?" and the double quote
// become entities, tab, line feed and carriage return character references
// (a parser changes them otherwise: into blanks in an attribute, a carriage
// return into a line feed), and "_" before an "xHHHH_" pattern, in any case
// of the x and the digits, "_x005F_" (readers decode that pattern). Only
// what XML 1.0 cannot carry is left out:
// control characters other than tab, line feed and carriage return,
// surrogates, U+FFFE, U+FFFF and values past U+10FFFF.
std::wstring make_safe_text(std::wstring_view text);
// The same text, appended to `out` as UTF-8.
void append_safe_utf8(std::wstring_view text, std::string& out);
// The most bytes that one character of a text takes in its safe UTF-8.
constexpr std::size_t max_safe_bytes_per_unit = 7;
// The safe UTF-8 of `text` into `out`, which has room for
// max_safe_bytes_per_unit bytes per character; returns its length.
std::size_t write_safe_utf8(std::wstring_view text, char* out);

}  // namespace XlsxModel
