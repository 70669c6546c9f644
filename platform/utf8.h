// UTF-8 and wide text, shared by the platform's own functions.
#pragma once
#include <cstddef>
#include <string>

namespace qm_platform {
// Strict: invalid sequences, overlong forms, surrogates and values beyond
// U+10FFFF make the conversion fail.
bool utf8_to_wide(const char* text, std::size_t length, std::wstring& out);
bool wide_to_utf8(const wchar_t* text, std::size_t length, std::string& out);
// Lenient forms for file names handed to the system: they cannot fail.
std::string path_to_utf8(const wchar_t* path);
std::wstring path_from_utf8(const char* path);
}  // namespace qm_platform
