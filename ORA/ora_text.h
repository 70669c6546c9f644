// Text as it crosses OCI: UTF-16 with lengths in bytes, and SQL literals.
#pragma once

#include <cstddef>
#include <string>

// Wide text as UTF-16 for the client (environment character set 1000).
std::u16string ora_to_utf16(const std::wstring& text);
// UTF-16 from the client up to its first zero unit or `units`, whichever
// comes first; with `up_to_zero` false, all `units` (a text fetched with its
// length keeps a NUL character). Unpaired surrogates become U+FFFD.
std::wstring ora_from_utf16(const char16_t* text, std::size_t units, bool up_to_zero = true);

// The units of a text that a cell surely keeps: a NUL is left out of a
// cell and a CR may fold into the LF after it, every other unit stays.
std::size_t ora_kept_units(const char16_t* text, std::size_t units);

// The text between single quotes in generated SQL: every single quote
// doubled, so a name cannot end the literal early.
std::wstring ora_quote_literal(const std::wstring& text);
