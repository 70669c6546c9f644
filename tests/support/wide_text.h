// Narrow text of the tests (paths under TMPDIR, names) as the program's
// wide strings: UTF-8 decoded, one wchar_t per code point. A byte that is
// no part of a UTF-8 character stands for itself as the program keeps file
// names: U+DC80 plus the byte. Written apart from the program's own
// conversion, so that its tests do not check it against itself.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qm_test {

inline std::wstring wide(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    // Continuation bytes, and the smallest code point each length may hold.
    const std::size_t more = lead >= 0xF0 && lead <= 0xF4 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : 0;
    const char32_t least[] = {0, 0x80, 0x800, 0x10000};
    char32_t code = more == 3 ? lead & 0x07 : more == 2 ? lead & 0x0F : lead & 0x1F;
    bool whole = lead >= 0xC2 && lead <= 0xF4 && i + more < text.size();
    for (std::size_t k = 1; whole && k <= more; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      whole = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    whole = whole && code >= least[more] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
    if (lead < 0x80) {
      out += static_cast<wchar_t>(lead);
      ++i;
    } else if (whole) {
      out += static_cast<wchar_t>(code);
      i += more + 1;
    } else {
      out += static_cast<wchar_t>(0xDC00 + lead);
      ++i;
    }
  }
  return out;
}

}  // namespace qm_test
