// UTF-8 and UTF-16 text as the client library exchanges it.
#pragma once

#include "oci/oci_types.h"

#include <string>
#include <string_view>

namespace ocilite {

// Invalid sequences become U+FFFD; stored text is not trusted to be valid.
std::u16string utf8_to_utf16(std::string_view text);
std::string utf16_to_utf8(std::u16string_view text);
// One code point's UTF-8 bytes onto `out`.
void append_utf8(std::string& out, char32_t c);

// Character sets this library speaks: UTF-16 (1000, 2000) or UTF-8 (the
// rest it accepts: 0, 871, 873).
bool is_utf16(ub2 csid);
bool is_known_charset(ub2 csid);

// Text that crosses the interface: bytes in the given character set.
std::string decode_text(const void* data, std::size_t bytes, ub2 csid);  // to UTF-8
std::string encode_text(std::string_view utf8, ub2 csid);
// Bytes of a NUL in that character set.
std::size_t nul_size(ub2 csid);
// The longest prefix of `encoded` (in `csid`) that fits `room` bytes
// without cutting a character.
std::size_t fit_prefix(std::string_view encoded, std::size_t room, ub2 csid);
// Characters of UTF-8 text: its bytes that are not continuation bytes.
std::size_t char_count(std::string_view utf8);
// A CHAR value blank-padded to its length: `length` characters, or bytes
// of UTF-8 for a length in bytes (CHAR(4 BYTE) holds 'é' and two blanks).
void blank_pad(std::string& text, std::size_t length, bool in_bytes);

std::string to_upper_ascii(std::string_view text);
bool equal_no_case(std::string_view a, std::string_view b);

}  // namespace ocilite
