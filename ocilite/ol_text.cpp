#include "ocilite/ol_text.h"

#include <cstring>

namespace ocilite {

namespace {

void append_utf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out.push_back(static_cast<char16_t>(c));
  } else {
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  }
}

// Decodes one UTF-8 character at i; advances i. Invalid input gives U+FFFD.
char32_t next_utf8(std::string_view s, std::size_t& i) {
  unsigned char b = static_cast<unsigned char>(s[i]);
  if (b < 0x80) {
    ++i;
    return b;
  }
  int extra = (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
  if (extra < 0 || i + static_cast<std::size_t>(extra) >= s.size()) {
    ++i;
    return 0xFFFD;
  }
  char32_t c = b & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    unsigned char n = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
    if ((n & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    c = (c << 6) | (n & 0x3F);
  }
  static const char32_t minimum[] = {0, 0x80, 0x800, 0x10000};
  i += static_cast<std::size_t>(extra) + 1;
  if (c < minimum[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0xFFFD;
  return c;
}

}  // namespace

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

std::u16string utf8_to_utf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) append_utf16(out, next_utf8(text, i));
  return out;
}

std::string utf16_to_utf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    append_utf8(out, c);
  }
  return out;
}

bool is_utf16(ub2 csid) { return csid == 1000 || csid == 2000; }

bool is_known_charset(ub2 csid) {
  return csid == 0 || csid == 871 || csid == 873 || csid == 1000 || csid == 2000;
}

std::string decode_text(const void* data, std::size_t bytes, ub2 csid) {
  if (!data || bytes == 0) return std::string();
  if (is_utf16(csid)) {
    std::u16string units(bytes / 2, u'\0');
    std::memcpy(units.data(), data, units.size() * 2);
    return utf16_to_utf8(units);
  }
  std::string_view raw(static_cast<const char*>(data), bytes);
  // Re-encode so that invalid input is not passed on.
  return utf16_to_utf8(utf8_to_utf16(raw));
}

std::string encode_text(std::string_view utf8, ub2 csid) {
  if (!is_utf16(csid)) return std::string(utf8);
  std::u16string units = utf8_to_utf16(utf8);
  return std::string(reinterpret_cast<const char*>(units.data()), units.size() * 2);
}

std::size_t nul_size(ub2 csid) { return is_utf16(csid) ? 2 : 1; }

std::size_t fit_prefix(std::string_view encoded, std::size_t room, ub2 csid) {
  if (encoded.size() <= room) return encoded.size();
  if (is_utf16(csid)) {
    std::size_t n = room & ~std::size_t(1);
    if (n >= 2) {
      char16_t last;
      std::memcpy(&last, encoded.data() + n - 2, 2);
      if (last >= 0xD800 && last <= 0xDBFF) n -= 2;
    }
    return n;
  }
  std::size_t n = room;
  while (n > 0 && (static_cast<unsigned char>(encoded[n]) & 0xC0) == 0x80) --n;
  return n;
}

std::size_t char_count(std::string_view utf8) {
  std::size_t n = 0;
  for (char c : utf8)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

void blank_pad(std::string& text, std::size_t length, bool in_bytes) {
  std::size_t have = in_bytes ? text.size() : char_count(text);
  if (have < length) text.append(length - have, ' ');
}

std::string to_upper_ascii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

bool equal_no_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() && to_upper_ascii(a) == to_upper_ascii(b);
}

}  // namespace ocilite
