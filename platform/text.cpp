#include "platform/case_fold.h"
#include "platform/utf8.h"
#include "platform/win32.h"

#include <algorithm>
#include <clocale>
#include <cstdint>
#include <cstring>
#include <cwctype>
#include <locale.h>
#include <string>

namespace qm_platform {

namespace {

// The length of the UTF-8 character at s[i] and its code point, or 0 when
// the bytes there are none (a stray or missing continuation byte, an
// overlong form, a surrogate, a value beyond U+10FFFF).
std::size_t decode_one(const unsigned char* s, std::size_t length, std::size_t i, unsigned& cp) {
  unsigned c = s[i];
  if (c < 0x80) {
    cp = c;
    return 1;
  }
  std::size_t extra;
  unsigned min;
  if ((c & 0xE0) == 0xC0) {
    extra = 1, cp = c & 0x1F, min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    extra = 2, cp = c & 0x0F, min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    extra = 3, cp = c & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (length - i <= extra) return 0;
  for (std::size_t k = 1; k <= extra; ++k) {
    unsigned n = s[i + k];
    if ((n & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (n & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return extra + 1;
}

// A byte of a path that is no part of a UTF-8 character stands for itself
// as one of these; no UTF-8 text decodes to them.
constexpr std::uint32_t kept_byte_base = 0xDC00;
bool is_kept_byte(std::uint32_t cp) { return cp >= kept_byte_base + 0x80 && cp <= kept_byte_base + 0xFF; }

}  // namespace

bool utf8_to_wide(const char* text, std::size_t length, std::wstring& out) {
  out.clear();
  out.reserve(length);
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  for (std::size_t i = 0; i < length;) {
    unsigned cp;
    std::size_t n = decode_one(s, length, i, cp);
    if (n == 0) return false;
    out.push_back(static_cast<wchar_t>(cp));
    i += n;
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

namespace {
// False for a code point that is neither text nor a path's own byte.
bool append_path_char(wchar_t c, std::string& out) {
  auto cp = static_cast<std::uint32_t>(c);
  if (is_kept_byte(cp)) {
    out.push_back(static_cast<char>(cp - kept_byte_base));
    return true;
  }
  std::string one;
  if (!wide_to_utf8(&c, 1, one)) return false;
  out.append(one);
  return true;
}
}  // namespace

std::string path_to_utf8(const wchar_t* path) {
  std::string out;
  if (!path) return out;
  for (const wchar_t* p = path; *p; ++p)
    if (!append_path_char(*p, out)) out.push_back('?');
  return out;
}

bool path_to_utf8(const wchar_t* path, std::size_t length, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < length; ++i)
    if (!append_path_char(path[i], out)) return false;
  return true;
}

std::wstring path_from_utf8(const char* path) {
  std::wstring out;
  if (!path) return out;
  const auto* s = reinterpret_cast<const unsigned char*>(path);
  std::size_t length = std::strlen(path);
  out.reserve(length);
  for (std::size_t i = 0; i < length;) {
    unsigned cp;
    std::size_t n = decode_one(s, length, i, cp);
    if (n == 0) {
      cp = kept_byte_base + s[i];
      n = 1;
    }
    out.push_back(static_cast<wchar_t>(cp));
    i += n;
  }
  return out;
}

std::wstring path_as_text(std::wstring_view path) {
  std::wstring out(path);
  for (wchar_t& c : out)
    if (is_kept_byte(static_cast<std::uint32_t>(c))) c = L'\uFFFD';
  return out;
}

std::wstring text_from_system(const char* text, std::size_t length) {
  std::wstring out;
  if (!text) return out;
  if (utf8_to_wide(text, length, out)) return out;
  // Not UTF-8: the text of an 8-bit locale, one character a byte.
  out.clear();
  for (std::size_t i = 0; i < length; ++i) out.push_back(static_cast<unsigned char>(text[i]));
  return out;
}

std::wstring text_from_system(const char* text) { return text_from_system(text, text ? std::strlen(text) : 0); }

}  // namespace qm_platform

namespace {

using qm_platform::unicode_locale;

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
    if (ignore_case) x = qm_platform::fold_char(x), y = qm_platform::fold_char(y);
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
