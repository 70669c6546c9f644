#include "platform/olenumber.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cwchar>
#include <limits>
#include <locale.h>

namespace qm_platform {

namespace {

// Text of numbers never follows the process locale.
locale_t c_locale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return loc;
}

std::string magnitude_digits(uint128 m) {
  char buffer[40];
  int i = sizeof buffer;
  while (m) {
    buffer[--i] = static_cast<char>('0' + static_cast<int>(m % 10));
    m /= 10;
  }
  return std::string(buffer + i, sizeof buffer - static_cast<std::size_t>(i));
}

template <class Ch>
bool is_blank(Ch c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

template <class Ch>
bool is_digit(Ch c) {
  return c >= '0' && c <= '9';
}

template <class Ch>
bool parse_number(const Ch* s, std::size_t n, ole_number& out) {
  // Exponents are kept within a range that no conversion can tell from
  // infinity, so the arithmetic below stays in int.
  constexpr long long exponent_cap = 1000000;
  std::size_t i = 0;
  while (i < n && is_blank(s[i])) ++i;
  bool negative = false;
  if (i < n && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  std::string digits;
  long long exponent = 0;
  bool any = false;
  for (; i < n && is_digit(s[i]); ++i) {
    any = true;
    if (!digits.empty() || s[i] != '0') digits += static_cast<char>(s[i]);
    if (digits.size() > 1000000) return false;
  }
  if (i < n && s[i] == '.') {
    for (++i; i < n && is_digit(s[i]); ++i) {
      any = true;
      if (!digits.empty() || s[i] != '0') digits += static_cast<char>(s[i]);
      if (digits.size() > 1000000) return false;
      --exponent;
    }
  }
  if (!any) return false;
  if (i < n && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    bool minus = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) minus = s[i++] == '-';
    if (i >= n || !is_digit(s[i])) return false;
    long long e = 0;
    for (; i < n && is_digit(s[i]); ++i)
      if (e < exponent_cap) e = e * 10 + (s[i] - '0');
    exponent += minus ? -e : e;
  }
  while (i < n && is_blank(s[i])) ++i;
  if (i != n) return false;
  if (exponent > exponent_cap) exponent = exponent_cap;
  if (exponent < -2 * exponent_cap) exponent = -2 * exponent_cap;
  out.negative = negative && !digits.empty();
  out.digits = std::move(digits);
  out.exponent = static_cast<int>(exponent);
  return true;
}

constexpr double two_63 = 9223372036854775808.0;
constexpr double two_64 = 18446744073709551616.0;

}  // namespace

ole_number number_from_signed(LONGLONG value) {
  ole_number n;
  n.negative = value < 0;
  uint128 m = value < 0 ? static_cast<uint128>(-static_cast<__int128>(value)) : static_cast<uint128>(value);
  n.digits = magnitude_digits(m);
  return n;
}

ole_number number_from_unsigned(ULONGLONG value) {
  ole_number n;
  n.digits = magnitude_digits(value);
  return n;
}

ole_number number_from_cy(CY value) {
  ole_number n = number_from_signed(value.int64);
  if (!n.is_zero()) n.exponent = -4;
  return n;
}

bool number_from_decimal(const DECIMAL& value, ole_number& out) {
  if (value.scale > DECIMAL_MAX_SCALE) return false;
  uint128 m = (static_cast<uint128>(value.Hi32) << 64) | value.Lo64;
  out.digits = magnitude_digits(m);
  out.negative = (value.sign & DECIMAL_NEG) && m != 0;
  out.exponent = out.digits.empty() ? 0 : -static_cast<int>(value.scale);
  return true;
}

bool number_from_double(double value, ole_number& out) {
  if (!std::isfinite(value)) return false;
  char buffer[64];
  auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
  return r.ec == std::errc() && parse_number(buffer, static_cast<std::size_t>(r.ptr - buffer), out);
}

bool number_from_text(const wchar_t* text, std::size_t length, ole_number& out) {
  return text && parse_number(text, length, out);
}

bool number_round(const ole_number& value, int scale, uint128& magnitude) {
  magnitude = 0;
  if (value.is_zero()) return true;
  const std::string& d = value.digits;
  long long shift = static_cast<long long>(value.exponent) + scale;
  std::size_t keep = d.size();
  bool round_up = false;
  if (shift < 0) {
    auto drop = static_cast<unsigned long long>(-shift);
    if (drop > d.size()) return true;
    keep = d.size() - static_cast<std::size_t>(drop);
    round_up = d[keep] >= '5';
  } else if (d.size() + static_cast<unsigned long long>(shift) > 39) {
    return false;
  }
  const uint128 limit = static_cast<uint128>(1) << 127;
  uint128 m = 0;
  auto push = [&](unsigned digit) {
    if (m > (limit - digit) / 10) return false;
    m = m * 10 + digit;
    return true;
  };
  for (std::size_t i = 0; i < keep; ++i)
    if (!push(static_cast<unsigned>(d[i] - '0'))) return false;
  for (long long i = 0; i < shift; ++i)
    if (!push(0)) return false;
  if (round_up && ++m >= limit) return false;
  magnitude = m;
  return true;
}

HRESULT number_to_signed(const ole_number& value, LONGLONG min, LONGLONG max, LONGLONG& out) {
  uint128 m;
  if (!number_round(value, 0, m)) return DISP_E_OVERFLOW;
  if (value.negative) {
    if (m > static_cast<uint128>(-static_cast<__int128>(min))) return DISP_E_OVERFLOW;
    out = static_cast<LONGLONG>(-static_cast<__int128>(m));
  } else {
    if (m > static_cast<uint128>(max)) return DISP_E_OVERFLOW;
    out = static_cast<LONGLONG>(m);
  }
  return S_OK;
}

HRESULT number_to_unsigned(const ole_number& value, ULONGLONG max, ULONGLONG& out) {
  uint128 m;
  if (!number_round(value, 0, m)) return DISP_E_OVERFLOW;
  if ((value.negative && m != 0) || m > max) return DISP_E_OVERFLOW;
  out = static_cast<ULONGLONG>(m);
  return S_OK;
}

HRESULT number_to_cy(const ole_number& value, CY& out) {
  uint128 m;
  if (!number_round(value, 4, m)) return DISP_E_OVERFLOW;
  const uint128 top = static_cast<uint128>(1) << 63;
  if (value.negative) {
    if (m > top) return DISP_E_OVERFLOW;
    out.int64 = static_cast<LONGLONG>(-static_cast<__int128>(m));
  } else {
    if (m >= top) return DISP_E_OVERFLOW;
    out.int64 = static_cast<LONGLONG>(m);
  }
  return S_OK;
}

HRESULT number_to_decimal(const ole_number& value, DECIMAL& out) {
  int scale = value.exponent < 0 ? -value.exponent : 0;
  if (scale > DECIMAL_MAX_SCALE) scale = DECIMAL_MAX_SCALE;
  const uint128 limit = static_cast<uint128>(1) << 96;
  // Places that do not fit the 96 bits are rounded away, the whole
  // number never.
  for (;; --scale) {
    uint128 m;
    if (number_round(value, scale, m) && m < limit) {
      out = DECIMAL{};
      out.scale = static_cast<BYTE>(scale);
      out.sign = value.negative && m != 0 ? DECIMAL_NEG : 0;
      out.Hi32 = static_cast<ULONG>(m >> 64);
      out.Lo64 = static_cast<ULONGLONG>(m);
      return S_OK;
    }
    if (scale == 0) return DISP_E_OVERFLOW;
  }
}

HRESULT number_to_double(const ole_number& value, double& out) {
  if (value.is_zero()) {
    out = 0.0;
    return S_OK;
  }
  std::string text = (value.negative ? "-" : "") + value.digits + "e" + std::to_string(value.exponent);
  double d = strtod_l(text.c_str(), nullptr, c_locale());
  if (std::isinf(d)) return DISP_E_OVERFLOW;
  out = d;
  return S_OK;
}

std::wstring number_to_text(const ole_number& value) {
  if (value.is_zero()) return L"0";
  const std::string& d = value.digits;
  std::string whole, fraction;
  if (value.exponent >= 0) {
    whole = d + std::string(static_cast<std::size_t>(value.exponent), '0');
  } else {
    long long whole_length = static_cast<long long>(d.size()) + value.exponent;
    if (whole_length > 0) {
      whole = d.substr(0, static_cast<std::size_t>(whole_length));
      fraction = d.substr(static_cast<std::size_t>(whole_length));
    } else {
      whole = "0";
      fraction = std::string(static_cast<std::size_t>(-whole_length), '0') + d;
    }
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  }
  std::string text = (value.negative ? "-" : "") + whole;
  if (!fraction.empty()) text += "." + fraction;
  return std::wstring(text.begin(), text.end());
}

HRESULT double_to_signed(double value, LONGLONG min, LONGLONG max, LONGLONG& out) {
  if (!std::isfinite(value)) return DISP_E_OVERFLOW;
  double r = std::round(value);
  if (!(r >= -two_63 && r < two_63)) return DISP_E_OVERFLOW;
  auto v = static_cast<LONGLONG>(r);
  if (v < min || v > max) return DISP_E_OVERFLOW;
  out = v;
  return S_OK;
}

HRESULT double_to_unsigned(double value, ULONGLONG max, ULONGLONG& out) {
  if (!std::isfinite(value)) return DISP_E_OVERFLOW;
  double r = std::round(value);
  if (!(r >= 0.0 && r < two_64)) return DISP_E_OVERFLOW;
  auto v = static_cast<ULONGLONG>(r);
  if (v > max) return DISP_E_OVERFLOW;
  out = v;
  return S_OK;
}

HRESULT double_to_cy(double value, CY& out) {
  if (!std::isfinite(value)) return DISP_E_OVERFLOW;
  double r = std::round(value * 10000.0);
  if (!(r >= -two_63 && r < two_63)) return DISP_E_OVERFLOW;
  out.int64 = static_cast<LONGLONG>(r);
  return S_OK;
}

std::wstring double_to_text(double value, bool single) {
  char buffer[64];
  auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, single ? 7 : 15);
  std::wstring text;
  for (const char* p = buffer; p != r.ptr; ++p) text += static_cast<wchar_t>(*p == 'e' ? 'E' : *p);
  return text;
}

BSTR make_bstr(const std::wstring& text) {
  return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

}  // namespace qm_platform

using namespace qm_platform;

namespace {

HRESULT read_decimal(const DECIMAL* value, ole_number& n) {
  if (!value) return E_INVALIDARG;
  return number_from_decimal(*value, n) ? S_OK : E_INVALIDARG;
}

template <class T>
HRESULT signed_from_dec(const DECIMAL* value, T* out) {
  ole_number n;
  HRESULT hr = read_decimal(value, n);
  if (FAILED(hr)) return hr;
  if (!out) return E_POINTER;
  LONGLONG v;
  hr = number_to_signed(n, std::numeric_limits<T>::min(), std::numeric_limits<T>::max(), v);
  if (SUCCEEDED(hr)) *out = static_cast<T>(v);
  return hr;
}

template <class T>
HRESULT unsigned_from_dec(const DECIMAL* value, T* out) {
  ole_number n;
  HRESULT hr = read_decimal(value, n);
  if (FAILED(hr)) return hr;
  if (!out) return E_POINTER;
  ULONGLONG v;
  hr = number_to_unsigned(n, std::numeric_limits<T>::max(), v);
  if (SUCCEEDED(hr)) *out = static_cast<T>(v);
  return hr;
}

}  // namespace

HRESULT VarBstrFromDec(const DECIMAL* value, LCID, ULONG, BSTR* text) {
  ole_number n;
  HRESULT hr = read_decimal(value, n);
  if (FAILED(hr)) return hr;
  if (!text) return E_POINTER;
  BSTR b = make_bstr(number_to_text(n));
  if (!b) return E_OUTOFMEMORY;
  *text = b;
  return S_OK;
}

HRESULT VarCyFromStr(LPCOLESTR text, LCID, ULONG, CY* value) {
  if (!text || !value) return E_INVALIDARG;
  ole_number n;
  if (!number_from_text(text, std::wcslen(text), n)) return DISP_E_TYPEMISMATCH;
  return number_to_cy(n, *value);
}

HRESULT VarDecFromStr(LPCOLESTR text, LCID, ULONG, DECIMAL* value) {
  if (!text || !value) return E_INVALIDARG;
  ole_number n;
  if (!number_from_text(text, std::wcslen(text), n)) return DISP_E_TYPEMISMATCH;
  return number_to_decimal(n, *value);
}

HRESULT VarI4FromCy(CY value, LONG* out) {
  if (!out) return E_POINTER;
  LONGLONG v;
  HRESULT hr = number_to_signed(number_from_cy(value), std::numeric_limits<LONG>::min(),
                                std::numeric_limits<LONG>::max(), v);
  if (SUCCEEDED(hr)) *out = static_cast<LONG>(v);
  return hr;
}

HRESULT VarR8FromCy(CY value, DOUBLE* out) {
  if (!out) return E_POINTER;
  return number_to_double(number_from_cy(value), *out);
}

HRESULT VarI2FromDec(const DECIMAL* value, SHORT* out) { return signed_from_dec(value, out); }
HRESULT VarUI2FromDec(const DECIMAL* value, USHORT* out) { return unsigned_from_dec(value, out); }
HRESULT VarI4FromDec(const DECIMAL* value, LONG* out) { return signed_from_dec(value, out); }
HRESULT VarUI4FromDec(const DECIMAL* value, ULONG* out) { return unsigned_from_dec(value, out); }
HRESULT VarI8FromDec(const DECIMAL* value, LONGLONG* out) { return signed_from_dec(value, out); }
HRESULT VarUI8FromDec(const DECIMAL* value, ULONGLONG* out) { return unsigned_from_dec(value, out); }

HRESULT VarR8FromDec(const DECIMAL* value, DOUBLE* out) {
  ole_number n;
  HRESULT hr = read_decimal(value, n);
  if (FAILED(hr)) return hr;
  if (!out) return E_POINTER;
  return number_to_double(n, *out);
}

HRESULT VarDecFromI8(LONGLONG value, DECIMAL* out) {
  if (!out) return E_POINTER;
  return number_to_decimal(number_from_signed(value), *out);
}

HRESULT VarDecFromUI8(ULONGLONG value, DECIMAL* out) {
  if (!out) return E_POINTER;
  return number_to_decimal(number_from_unsigned(value), *out);
}
