#include "xlsx/safe_text.h"

#include "TK/tk_log.h"

namespace XlsxModel {

namespace {

template <class C>
std::size_t letters_of(long column, C* out) {
  static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  char column_text[16];
  std::size_t n = 0;
  if (column < 0) column = 0;
  column_text[n++] = letters[column % 26];
  for (long rest = column / 26; rest != 0 && n < sizeof column_text; rest /= 26) {
    rest -= 1;
    column_text[n++] = letters[rest % 26];
  }
  std::size_t length = 0;
  while (n > 0) out[length++] = static_cast<C>(column_text[--n]);
  return length;
}

template <class C>
std::size_t reference_of(long row, long column, C* out) {
  std::size_t length = letters_of(column, out);
  char digits[24];
  std::size_t d = 0;
  unsigned long r = row < 0 ? 0 : static_cast<unsigned long>(row);
  do {
    digits[d++] = static_cast<char>('0' + r % 10);
    r /= 10;
  } while (r != 0);
  while (d > 0) out[length++] = static_cast<C>(digits[--d]);
  return length;
}

}  // namespace

std::size_t cell_reference(long row, long column, wchar_t* out) { return reference_of(row, column, out); }

std::size_t cell_reference(long row, long column, char* out) { return reference_of(row, column, out); }

std::size_t column_letters(long column, char* out) { return letters_of(column, out); }

std::wstring cell_reference(long row, long column) {
  wchar_t text[48];
  return std::wstring(text, cell_reference(row, column, text));
}

namespace {

bool is_hex(wchar_t c) {
  return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

// "_xHHHH_" at `i`, in any case of the x and the digits: readers would take
// it for an escaped character.
bool escape_pattern_at(std::wstring_view text, std::size_t i) {
  if (text.size() - i < 7 || (text[i + 1] != L'x' && text[i + 1] != L'X') || text[i + 6] != L'_') return false;
  return is_hex(text[i + 2]) && is_hex(text[i + 3]) && is_hex(text[i + 4]) && is_hex(text[i + 5]);
}

// Calls put(entity) for markup and put_char(c) for a character kept as it is.
template <class Entity, class Char>
void make_safe(std::wstring_view text, Entity put, Char put_char) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    wchar_t c = text[i];
    switch (c) {
      case L'&': put("&amp;"); continue;
      case L'!': put("&#33;"); continue;
      case L'\'': put("&#39;"); continue;
      case L'*': put("&#42;"); continue;
      case L'+': put("&#43;"); continue;
      case L':': put("&#58;"); continue;
      case L'<': put("&lt;"); continue;
      case L'=': put("&#61;"); continue;
      case L'>': put("&gt;"); continue;
      case L'?': put("&#63;"); continue;
      case L'"': put("&quot;"); continue;
      // As references: a parser turns them into blanks in an attribute,
      // and a carriage return into a line feed anywhere.
      case L'\t': put("&#9;"); continue;
      case L'\n': put("&#10;"); continue;
      case L'\r': put("&#13;"); continue;
      case L'_':
        if (escape_pattern_at(text, i)) {
          put("_x005F_");
          continue;
        }
        break;
      default:
        break;
    }
    auto u = static_cast<std::uint32_t>(c);
    if (u < 0x20) continue;
    if ((u >= 0xD800 && u <= 0xDFFF) || u == 0xFFFE || u == 0xFFFF || u > 0x10FFFF) continue;
    put_char(u);
  }
}

}  // namespace

std::wstring make_safe_text(std::wstring_view text) {
  std::wstring out;
  out.reserve(text.size());
  make_safe(
      text,
      [&](const char* entity) {
        while (*entity) out.push_back(static_cast<wchar_t>(*entity++));
      },
      [&](std::uint32_t c) { out.push_back(static_cast<wchar_t>(c)); });
  tk_log::write(1, L"Got safe string: %ls", out.c_str());
  return out;
}

namespace {

// UTF-8 of a character that XML carries.
char* put_utf8(char* p, std::uint32_t c) {
  if (c < 0x80) {
    *p++ = static_cast<char>(c);
  } else if (c < 0x800) {
    *p++ = static_cast<char>(0xC0 | (c >> 6));
    *p++ = static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *p++ = static_cast<char>(0xE0 | (c >> 12));
    *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *p++ = static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *p++ = static_cast<char>(0xF0 | (c >> 18));
    *p++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *p++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return p;
}

char* put_safe_utf8(std::wstring_view text, char* p) {
  make_safe(
      text,
      [&](const char* entity) {
        while (*entity) *p++ = *entity++;
      },
      [&](std::uint32_t c) { p = put_utf8(p, c); });
  return p;
}

// The ASCII characters that the rules keep as they are wherever they stand
// (an underscore may start a pattern: never one of them).
struct plain_characters {
  bool ascii[0x80] = {};
  plain_characters() {
    for (wchar_t c = 1; c < 0x80; ++c) {
      char out[max_safe_bytes_per_unit];
      ascii[c] = c != L'_' && put_safe_utf8(std::wstring_view(&c, 1), out) == out + 1 && out[0] == c;
    }
  }
};

bool is_plain(const plain_characters& plain, wchar_t c) {
  auto u = static_cast<std::uint32_t>(c);
  if (u < 0x80) return plain.ascii[u];
  return u < 0xD800 || (u >= 0xE000 && u < 0xFFFE) || (u >= 0x10000 && u <= 0x10FFFF);
}

}  // namespace

std::size_t write_safe_utf8(std::wstring_view text, char* out) {
  // Most texts are plain from end to end: they are only encoded. From the
  // first character a rule may change on, the rules take the rest.
  static const plain_characters plain;
  char* p = out;
  const wchar_t* c = text.data();
  const wchar_t* end = c + text.size();
  while (c != end) {
    auto u = static_cast<std::uint32_t>(*c);
    if (u < 0x80) {
      if (!plain.ascii[u]) break;
      *p++ = static_cast<char>(u);
    } else {
      if (!is_plain(plain, *c)) break;
      p = put_utf8(p, u);
    }
    ++c;
  }
  if (c != end) p = put_safe_utf8(text.substr(static_cast<std::size_t>(c - text.data())), p);
  return static_cast<std::size_t>(p - out);
}

void append_safe_utf8(std::wstring_view text, std::string& out) {
  std::size_t start = out.size();
  out.resize(start + text.size() * max_safe_bytes_per_unit);
  out.resize(start + write_safe_utf8(text, out.data() + start));
}

}  // namespace XlsxModel
