#include "ORA/ora_text.h"

#include <string>

std::u16string ora_to_utf16(const std::wstring& text) {
  std::u16string out;
  out.reserve(text.size());
  for (wchar_t wc : text) {
    auto c = static_cast<char32_t>(wc);
    if (c >= 0x10000 && c <= 0x10FFFF) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      out.push_back(u'\uFFFD');
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

std::wstring ora_from_utf16(const char16_t* text, std::size_t units, bool up_to_zero) {
  std::wstring out;
  if (!text) return out;
  if (up_to_zero)
    if (const char16_t* zero = std::char_traits<char16_t>::find(text, units, 0))
      units = static_cast<std::size_t>(zero - text);
  out.resize(units);
  // Without surrogates (the common case) each unit is one character.
  std::size_t i = 0;
  for (; i < units && (text[i] < 0xD800 || text[i] > 0xDFFF); ++i) out[i] = static_cast<wchar_t>(text[i]);
  if (i == units) return out;
  out.resize(i);
  for (; i < units; ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    out.push_back(static_cast<wchar_t>(c));
  }
  return out;
}

std::wstring ora_quote_literal(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size() + 2);
  for (wchar_t c : text) {
    out.push_back(c);
    if (c == L'\'') out.push_back(L'\'');
  }
  return out;
}
