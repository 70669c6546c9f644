// UTF-8 and wide text, shared by the platform's own functions.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace qm_platform {
// Strict: invalid sequences, overlong forms, surrogates and values beyond
// U+10FFFF make the conversion fail.
bool utf8_to_wide(const char* text, std::size_t length, std::wstring& out);
bool wide_to_utf8(const wchar_t* text, std::size_t length, std::string& out);
// File names to and from the system; they cannot fail. A name's bytes
// survive the trip whatever they are: each byte that is no part of a UTF-8
// character gets a code point of its own, U+DC80 to U+DCFF (which no UTF-8
// text decodes to), and turns back into that byte. Any other code point
// that UTF-8 cannot hold becomes "?".
std::string path_to_utf8(const wchar_t* path);
std::wstring path_from_utf8(const char* path);
// The same without "?": false on such a code point.
bool path_to_utf8(const wchar_t* path, std::size_t length, std::string& out);
// A path as text for a message or a document: the code points of such
// bytes become U+FFFD, so that the text converts wherever text goes.
std::wstring path_as_text(std::wstring_view path);
// A text of the system (environment, locale, a server's bytes): UTF-8, or
// one character a byte where it is none; never a code point of a path's byte.
std::wstring text_from_system(const char* text);
std::wstring text_from_system(const char* text, std::size_t length);
}  // namespace qm_platform
