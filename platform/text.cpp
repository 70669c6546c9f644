#include "platform/utf8.h"
#include "platform/win32.h"

#include <algorithm>
#include <clocale>
#include <cstring>
#include <cwctype>
#include <locale.h>
#include <string>

namespace qm_platform {

bool utf8_to_wide(const char* text, std::size_t length, std::wstring& out) {
  out.clear();
  out.reserve(length);
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  std::size_t i = 0;
  while (i < length) {
    unsigned c = s[i];
    if (c < 0x80) {
      out.push_back(static_cast<wchar_t>(c));
      ++i;
      continue;
    }
    int extra;
    unsigned cp, min;
    if ((c & 0xE0) == 0xC0) {
      extra = 1, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3, cp = c & 0x07, min = 0x10000;
    } else {
      return false;
    }
    if (length - i <= static_cast<std::size_t>(extra)) return false;
    for (int k = 1; k <= extra; ++k) {
      unsigned n = s[i + k];
      if ((n & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (n & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    out.push_back(static_cast<wchar_t>(cp));
    i += static_cast<std::size_t>(extra) + 1;
  }
  return true;
}

bool wide_to_utf8(const wchar_t* text, std::size_t length, std::string& out) {
  out.clear();
  out.reserve(length + length / 2);
  for (std::size_t i = 0; i < length; ++i) {
    auto cp = static_cast<std::uint32_t>(text[i]);
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      if (cp >= 0xD800 && cp <= 0xDFFF) return false;
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp <= 0x10FFFF) {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      return false;
    }
  }
  return true;
}

std::string path_to_utf8(const wchar_t* path) {
  std::string out;
  if (!path) return out;
  std::string one;
  for (const wchar_t* p = path; *p; ++p) {
    wchar_t c = *p;
    if (!wide_to_utf8(&c, 1, one)) one.assign(1, '?');
    out.append(one.data(), one.size());
  }
  return out;
}

std::wstring path_from_utf8(const char* path) {
  std::wstring out;
  if (!path) return out;
  if (utf8_to_wide(path, std::strlen(path), out)) return out;
  out.clear();
  for (const char* p = path; *p; ++p) out.push_back(static_cast<unsigned char>(*p));
  return out;
}

}  // namespace qm_platform

namespace {

// Unicode case mapping and classes of every script: the C.UTF-8 locale.
locale_t unicode_locale() {
  static locale_t loc = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (!l) l = newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(nullptr));
    return l;
  }();
  return loc;
}

wint_t fold(wint_t c) { return towlower_l(towupper_l(c, unicode_locale()), unicode_locale()); }

std::size_t wide_length(LPCWSTR s, int len) {
  return len < 0 ? std::wcslen(s) : static_cast<std::size_t>(len);
}

}  // namespace

namespace {
// The common tail of both conversions: the size asked for, or the converted
// text copied into a buffer that holds it. An empty source is refused.
template <class Text, class Char>
int deliver(bool converted, std::size_t source_length, const Text& out, Char* dst, int dst_len) {
  if (!converted) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  if (source_length == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (dst_len == 0) return static_cast<int>(out.size());
  if (out.size() > static_cast<std::size_t>(dst_len)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::copy(out.begin(), out.end(), dst);
  return static_cast<int>(out.size());
}
}  // namespace

int MultiByteToWideChar(UINT, DWORD, LPCSTR src, int src_len, LPWSTR dst, int dst_len) {
  if (!src || dst_len < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::size_t n = src_len < 0 ? std::strlen(src) + 1 : static_cast<std::size_t>(src_len);
  std::wstring out;
  bool converted = qm_platform::utf8_to_wide(src, n, out);
  return deliver(converted, n, out, dst, dst_len);
}

int WideCharToMultiByte(UINT, DWORD, LPCWSTR src, int src_len, LPSTR dst, int dst_len, LPCSTR,
                        LPBOOL used_default) {
  if (used_default) *used_default = FALSE;
  if (!src || dst_len < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::size_t n = src_len < 0 ? std::wcslen(src) + 1 : static_cast<std::size_t>(src_len);
  std::string out;
  bool converted = qm_platform::wide_to_utf8(src, n, out);
  return deliver(converted, n, out, dst, dst_len);
}

int CompareStringW(LCID, DWORD flags, LPCWSTR a, int a_len, LPCWSTR b, int b_len) {
  if (!a || !b) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::size_t na = wide_length(a, a_len), nb = wide_length(b, b_len);
  bool ignore_case = flags & NORM_IGNORECASE;
  for (std::size_t i = 0; i < na && i < nb; ++i) {
    wint_t x = static_cast<wint_t>(a[i]), y = static_cast<wint_t>(b[i]);
    if (ignore_case) x = fold(x), y = fold(y);
    if (x != y) return x < y ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
  }
  if (na == nb) return CSTR_EQUAL;
  return na < nb ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
}

int CompareStringA(LCID locale, DWORD flags, LPCSTR a, int a_len, LPCSTR b, int b_len) {
  if (!a || !b) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::wstring wa, wb;
  std::size_t na = a_len < 0 ? std::strlen(a) : static_cast<std::size_t>(a_len);
  std::size_t nb = b_len < 0 ? std::strlen(b) : static_cast<std::size_t>(b_len);
  if (!qm_platform::utf8_to_wide(a, na, wa) || !qm_platform::utf8_to_wide(b, nb, wb)) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  return CompareStringW(locale, flags, wa.c_str(), static_cast<int>(wa.size()), wb.c_str(),
                        static_cast<int>(wb.size()));
}

BOOL IsCharAlphaW(WCHAR c) { return iswalpha_l(static_cast<wint_t>(c), unicode_locale()) ? TRUE : FALSE; }

BOOL IsCharAlphaNumericW(WCHAR c) {
  return iswalnum_l(static_cast<wint_t>(c), unicode_locale()) ? TRUE : FALSE;
}

DWORD CharUpperBuffW(LPWSTR text, DWORD length) {
  for (DWORD i = 0; i < length; ++i)
    text[i] = static_cast<wchar_t>(towupper_l(static_cast<wint_t>(text[i]), unicode_locale()));
  return length;
}

DWORD CharLowerBuffW(LPWSTR text, DWORD length) {
  for (DWORD i = 0; i < length; ++i)
    text[i] = static_cast<wchar_t>(towlower_l(static_cast<wint_t>(text[i]), unicode_locale()));
  return length;
}
