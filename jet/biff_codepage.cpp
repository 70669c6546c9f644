// The Windows code pages of BIFF5 text. A workbook is written in the first
// of them that holds all of its text (leaving aside what none of them
// holds), so that a single-script workbook keeps every character and every
// reader of the format shows it; what no one of them holds is written in
// Windows-1252 with '?' for what it lacks.
#include "jet/biff_record.h"

#include "platform/utf8.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace {
// Windows-1252 from 0x80 to 0x9F; the rest of it is Latin-1. Its five
// unassigned bytes stand for nothing. Written out so that it never depends
// on the C library's converters.
constexpr char16_t cp1252_high[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Western first; then the other single-byte Windows code pages.
constexpr unsigned candidates[] = {1252, 1250, 1251, 1253, 1254, 1257, 1255, 1256, 874};

struct codepage_table {
  bool usable = false;
  std::array<wchar_t, 128> high{};  // bytes 0x80 to 0xFF; 0 where unassigned
  std::unordered_map<wchar_t, std::uint8_t> bytes;
};

codepage_table make_table(unsigned codepage) {
  codepage_table t;
  if (codepage == biff_cp1252) {
    for (unsigned b = 0x80; b < 0x100; ++b) t.high[b - 0x80] = b < 0xA0 ? cp1252_high[b - 0x80] : b;
  } else {
    std::string name = "CP" + std::to_string(codepage);
    iconv_t cd = iconv_open("UTF-32LE", name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return t;  // not offered here: never chosen
    for (unsigned b = 0x80; b < 0x100; ++b) {
      char in = static_cast<char>(b);
      unsigned char out[16] = {};
      char* src = &in;
      char* dst = reinterpret_cast<char*>(out);
      std::size_t src_left = 1, dst_left = sizeof out;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      // A converter may hold a character back until it sees the next byte
      // (Windows-1255 does so with every letter, which a point may follow):
      // the flush gives it.
      if (iconv(cd, &src, &src_left, &dst, &dst_left) != static_cast<std::size_t>(-1) &&
          iconv(cd, nullptr, nullptr, &dst, &dst_left) != static_cast<std::size_t>(-1) &&
          dst_left == sizeof out - 4)
        t.high[b - 0x80] = static_cast<wchar_t>(out[0] | out[1] << 8 | out[2] << 16 | out[3] << 24);
    }
    iconv_close(cd);
  }
  for (unsigned b = 0x80; b < 0x100; ++b)
    if (t.high[b - 0x80]) t.bytes.emplace(t.high[b - 0x80], static_cast<std::uint8_t>(b));
  t.usable = true;
  return t;
}

const codepage_table* table_of(unsigned codepage) {
  static std::unordered_map<unsigned, codepage_table> tables;
  static std::once_flag built;
  std::call_once(built, [] {
    for (unsigned c : candidates) tables.emplace(c, make_table(c));
  });
  auto it = tables.find(codepage);
  return it != tables.end() && it->second.usable ? &it->second : nullptr;
}

bool encode(const codepage_table& t, wchar_t c, std::uint8_t& byte) {
  if (c < 0x80) {
    byte = static_cast<std::uint8_t>(c);
    return true;
  }
  auto it = t.bytes.find(c);
  if (it == t.bytes.end()) return false;
  byte = it->second;
  return true;
}
}  // namespace

std::uint8_t biff_font_charset(unsigned codepage) {
  switch (codepage) {
    case 1250: return 238;  // Central European
    case 1251: return 204;  // Cyrillic
    case 1253: return 161;  // Greek
    case 1254: return 162;  // Turkish
    case 1257: return 186;  // Baltic
    case 1255: return 177;  // Hebrew
    case 1256: return 178;  // Arabic
    case 874: return 222;   // Thai
    default: return 0;      // Western
  }
}

unsigned biff_codepage_for(const std::set<wchar_t>& characters) {
  std::vector<std::pair<unsigned, const codepage_table*>> tables;
  for (unsigned c : candidates)
    if (const codepage_table* t = table_of(c)) tables.emplace_back(c, t);
  std::uint8_t byte;
  // A character that none of them holds (an emoji, Chinese) is '?' in any
  // of them: it must not cost the rest of the text its code page.
  auto in_none = [&](wchar_t ch) {
    return std::none_of(tables.begin(), tables.end(), [&](const auto& t) { return encode(*t.second, ch, byte); });
  };
  // Not a structured binding: clang 14 cannot capture one in the lambda.
  for (const auto& candidate : tables)
    if (std::all_of(characters.begin(), characters.end(),
                    [&](wchar_t ch) { return encode(*candidate.second, ch, byte) || in_none(ch); }))
      return candidate.first;
  return biff_cp1252;
}

std::string biff_narrow(const std::wstring& text, unsigned codepage) {
  std::string out;
  if (codepage == biff_cp_utf16) {
    for (char16_t u : biff_utf16(text)) {
      out.push_back(static_cast<char>(u & 0xFF));
      out.push_back(static_cast<char>(u >> 8));
    }
    return out;
  }
  const codepage_table* t = table_of(codepage);
  if (!t) t = table_of(biff_cp1252);
  out.reserve(text.size());
  for (wchar_t c : text) {
    std::uint8_t byte;
    out.push_back(static_cast<char>(encode(*t, c, byte) ? byte : '?'));
  }
  return out;
}

std::wstring biff_fit_codepage(const std::wstring& text, unsigned codepage, wchar_t missing) {
  if (codepage == biff_cp_utf16) return text;
  const codepage_table* t = table_of(codepage);
  if (!t) t = table_of(biff_cp1252);
  std::wstring out(text);
  std::uint8_t byte;
  for (wchar_t& c : out)
    if (!encode(*t, c, byte)) c = missing;
  return out;
}

std::wstring biff_from_narrow(const std::uint8_t* bytes, std::size_t length, unsigned codepage) {
  std::wstring out;
  if (codepage == biff_cp_utf16) {
    std::u16string units;
    for (std::size_t i = 0; i + 1 < length; i += 2) units.push_back(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
    return biff_from_utf16(units);
  }
  if (codepage == 65001 && qm_platform::utf8_to_wide(reinterpret_cast<const char*>(bytes), length, out)) return out;
  out.clear();
  const codepage_table* t = table_of(codepage);
  if (!t) t = table_of(biff_cp1252);
  out.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    std::uint8_t b = bytes[i];
    wchar_t c = b < 0x80 ? b : t->high[b - 0x80];
    out.push_back(c ? c : static_cast<wchar_t>(b));
  }
  return out;
}
