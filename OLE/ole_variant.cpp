#include "OLE/ole_variant.h"

#include "OLE/ole_date.h"
#include "OLE/ole_exception.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <locale.h>
#include <new>
#include <utility>

namespace {

const char k_source[] = "ole_var";
constexpr VARTYPE k_byte_array = VT_ARRAY | VT_UI1;
// Longer arrays print only their first bytes.
constexpr std::size_t k_max_text_bytes = 100000000;

locale_t c_locale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return loc;
}

[[noreturn]] void cast_failed() { throw ole_cast_exception(); }

std::string with_points(std::string text) {
  for (char& c : text)
    if (c == ',') c = '.';
  return text;
}

// The exponent form with a sign and at least three digits: 1.5000000000000000e+003.
std::string exponent_text(double value, int precision) {
  char buffer[64];
  auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, precision);
  std::string text(buffer, r.ptr);
  std::size_t e = text.find('e');
  if (e == std::string::npos || e + 2 > text.size()) return text;
  std::string digits = text.substr(e + 2);
  while (digits.size() < 3) digits.insert(digits.begin(), '0');
  return text.substr(0, e + 2) + digits;
}

// An integer as "%d" writes it.
template <class Integer>
std::string decimal_text(Integer value) {
  char buffer[24];
  return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

// The signed decimal integer at the start of the text, 0 without one.
long long leading_integer(const std::string& text, long long min, long long max) {
  long long v = std::strtoll(text.c_str(), nullptr, 10);
  return v < min ? min : v > max ? max : v;
}

double leading_double(const std::string& text) {
  return strtod_l(with_points(text).c_str(), nullptr, c_locale());
}

// Read as a float, not as a double then narrowed: rounding twice could
// land on the float next to the one the text names.
float leading_float(const std::string& text) {
  return strtof_l(with_points(text).c_str(), nullptr, c_locale());
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

ole_variant bytes_from_hex(const std::string& text) {
  if (text.empty()) {
    tk_log::write(1, "Empty BLOB");
    return ole_variant();
  }
  if (text.size() % 2) {
    tk_log::write(2, "Incorrect BLOB (size is odd)");
    return ole_variant();
  }
  std::size_t start = text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') ? 2 : 0;
  std::vector<unsigned char> bytes;
  bytes.reserve((text.size() - start) / 2);
  for (std::size_t i = start; i < text.size(); i += 2) {
    int high = hex_digit(text[i]), low = hex_digit(text[i + 1]);
    bytes.push_back(high < 0 || low < 0 ? 0 : static_cast<unsigned char>(high * 16 + low));
  }
  ole_variant v;
  v.attach_binary(bytes);
  return v;
}

// Text of the platform's own conversions, with the point as separator.
bool narrow_of(BSTR text, std::string& out) { return tk_w2a(text ? text : L"", out); }

bool fits_int64(double v) { return v > -9223372036854775809.0 && v < 9223372036854775808.0; }

// Rounded half away from zero, to the whole number.
LONGLONG currency_to_whole(LONGLONG cy) {
  LONGLONG q = cy / 10000, r = cy % 10000;
  if (r >= 5000) ++q;
  if (r <= -5000) --q;
  return q;
}

}  // namespace

// ---------------------------------------------------------------- storage

void ole_variant::initialize() {
  tk_log::write(1, "ole_variant::initialize");
  VariantInit(&var);
  i8 = 0;
  ui8 = 0;
  st = SYSTEMTIME{};
}

void ole_variant::release() {
  // An array is destroyed once, here; the VARIANT no longer points to it.
  if (var.vt == k_byte_array || var.vt == VT_SAFEARRAY) {
    SafeArrayDestroy(var.parray);
    VariantInit(&var);
  }
  VariantClear(&var);
}

void ole_variant::take(VARIANT& value) {
  release();
  var = value;
  VariantInit(&value);
}

void ole_variant::copy_from(const ole_variant& other) {
  VARIANT copy;
  VariantInit(&copy);
  if (other.var.vt == k_byte_array) {
    SAFEARRAY* array = nullptr;
    if (SUCCEEDED(SafeArrayCopy(other.var.parray, &array)) && array) {
      copy.vt = k_byte_array;
      copy.parray = array;
    } else {
      copy.vt = VT_ERROR;
    }
  } else if (FAILED(VariantCopy(&copy, &other.var))) {
    tk_log::write(2, "VariantCopy failed, vt=%d", other.var.vt);
    VariantInit(&copy);
  }
  take(copy);
  i8 = other.i8;
  ui8 = other.ui8;
  st = other.st;
}

ole_variant::ole_variant() {
  tk_log::write(1, "ole_variant::ole_variant()");
  initialize();
}

ole_variant::ole_variant(const SYSTEMTIME& time) {
  tk_log::write(1, "ole_variant::ole_variant(SYSTEMTIME)");
  initialize();
  var.vt = VT_DATE;
  st = time;
  if (!SystemTimeToVariantTime(&st, &var.date)) {
    tk_log::write(2, "Failed to convert SYSTEMTIME->VARIANT");
    // No date number (a year before 100, say): one that every consumer
    // refuses, rather than 0, which is a time of day.
    var.date = std::numeric_limits<double>::quiet_NaN();
  }
}

ole_variant::ole_variant(const CY& value) {
  tk_log::write(1, "ole_variant::ole_variant(CY)");
  initialize();
  var.vt = VT_CY;
  var.cyVal = value;
}

ole_variant::ole_variant(const DECIMAL& value) {
  tk_log::write(1, "ole_variant::ole_variant(DECIMAL)");
  initialize();
  var.decVal = value;
  var.vt = VT_DECIMAL;
}

ole_variant::ole_variant(const OLECHAR* text) {
  tk_log::write(1, "ole_variant::ole_variant(BSTR)");
  initialize();
  *this = text;
}

ole_variant::ole_variant(const char* text) {
  tk_log::write(1, "ole_variant::ole_variant(const char*)");
  initialize();
  attach_string(text ? text : "");
}

ole_variant::ole_variant(const ole_variant& other) {
  tk_log::write(1, "ole_variant::ole_variant(const ole_variant&)");
  initialize();
  tk_log::write(1, "src.vt=%d", other.var.vt);
  copy_from(other);
}

ole_variant::ole_variant(ole_variant&& other) noexcept : i8(other.i8), ui8(other.ui8), st(other.st), var(other.var) {
  VariantInit(&other.var);
}

ole_variant::ole_variant(bool value) {
  tk_log::write(1, "ole_variant::ole_variant(bool)");
  initialize();
  var.vt = VT_BOOL;
  var.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

#define QM_SCALAR_CONSTRUCTOR(type, code, member)     \
  ole_variant::ole_variant(type value) {              \
    tk_log::write(1, "ole_variant::ole_variant(" #type ")"); \
    initialize();                                     \
    var.vt = code;                                    \
    var.member = value;                               \
  }

QM_SCALAR_CONSTRUCTOR(char, VT_I1, cVal)
QM_SCALAR_CONSTRUCTOR(signed char, VT_I1, cVal)
QM_SCALAR_CONSTRUCTOR(unsigned char, VT_UI1, bVal)
QM_SCALAR_CONSTRUCTOR(short, VT_I2, iVal)
QM_SCALAR_CONSTRUCTOR(unsigned short, VT_UI2, uiVal)
QM_SCALAR_CONSTRUCTOR(int, VT_I4, lVal)
QM_SCALAR_CONSTRUCTOR(unsigned int, VT_UI4, ulVal)
QM_SCALAR_CONSTRUCTOR(float, VT_R4, fltVal)
QM_SCALAR_CONSTRUCTOR(double, VT_R8, dblVal)
#undef QM_SCALAR_CONSTRUCTOR

#define QM_WIDE_CONSTRUCTOR(type, code, member)       \
  ole_variant::ole_variant(type value) {              \
    tk_log::write(1, "ole_variant::ole_variant(" #type ")"); \
    initialize();                                     \
    var.vt = code;                                    \
    member = value;                                   \
  }

QM_WIDE_CONSTRUCTOR(long, VT_I8, i8)
QM_WIDE_CONSTRUCTOR(unsigned long, VT_UI8, ui8)
QM_WIDE_CONSTRUCTOR(long long, VT_I8, i8)
QM_WIDE_CONSTRUCTOR(unsigned long long, VT_UI8, ui8)
#undef QM_WIDE_CONSTRUCTOR

ole_variant::ole_variant(std::size_t count, const unsigned char* bytes) {
  tk_log::write(1, "ole_variant::ole_variant(%zu, const unsigned char*)", count);
  initialize();
  attach_binary(count, bytes);
}

ole_variant::ole_variant(const std::string& text) {
  tk_log::write(1, "ole_variant::ole_variant(const std::string&)");
  initialize();
  attach_string(text);
}

ole_variant::ole_variant(const std::wstring& text) {
  tk_log::write(1, "ole_variant::ole_variant(const std::wstring&)");
  initialize();
  attach_wstring(text);
}

ole_variant::~ole_variant() { release(); }

ole_variant& ole_variant::operator=(const ole_variant& other) {
  tk_log::write(1, "ole_variant::operator=(const ole_variant&)");
  if (this != &other) copy_from(other);
  return *this;
}

ole_variant& ole_variant::operator=(ole_variant&& other) noexcept {
  if (this != &other) {
    release();
    var = other.var;
    VariantInit(&other.var);
    i8 = other.i8;
    ui8 = other.ui8;
    st = other.st;
  }
  return *this;
}

ole_variant& ole_variant::operator=(const OLECHAR* text) {
  tk_log::write(1, "ole_variant::operator=(BSTR)");
  // Copied before the old value goes: the text may be that value.
  BSTR copy = SysAllocString(text ? text : L"");
  if (!copy) throw std::bad_alloc();
  release();
  var.vt = VT_BSTR;
  var.bstrVal = copy;
  return *this;
}

ole_variant& ole_variant::operator=(const char* text) {
  attach_string(text ? text : "");
  return *this;
}

ole_variant& ole_variant::operator=(const std::vector<unsigned char>& bytes) {
  attach_binary(bytes);
  return *this;
}

ole_variant& ole_variant::operator=(const std::string& text) {
  attach_string(text);
  return *this;
}

ole_variant& ole_variant::operator=(const std::wstring& text) {
  attach_wstring(text);
  return *this;
}

// ---------------------------------------------------------------- byte arrays

void ole_variant::allocate_safe_array(std::size_t count) {
  tk_log::write(1, "ole_variant::allocate_safe_array(%zu)", count);
  if (count > ULONG_MAX) throw tk_mail_assertion(k_source, 865);
  if (var.vt == k_byte_array && var.parray && SafeArrayGetDim(var.parray) == 1) {
    LONG lower = 0, upper = 0;
    SafeArrayGetLBound(var.parray, 1, &lower);
    SafeArrayGetUBound(var.parray, 1, &upper);
    // An empty array has its upper bound just below the lower one.
    if (static_cast<long long>(upper) + 1 < lower) throw tk_mail_assertion(k_source, 877);
    if (static_cast<unsigned long long>(static_cast<long long>(upper) - lower + 1) == count) return;
    tk_log::write(1, "Redimension array");
    SAFEARRAYBOUND bound{static_cast<ULONG>(count), lower};
    if (FAILED(SafeArrayRedim(var.parray, &bound))) throw tk_mail_assertion(k_source, 865);
    return;
  }
  release();
  SAFEARRAYBOUND bound{static_cast<ULONG>(count), 0};
  SAFEARRAY* array = SafeArrayCreate(VT_UI1, 1, &bound);
  if (!array) throw tk_mail_assertion(k_source, 865);
  var.vt = k_byte_array;
  var.parray = array;
}

void ole_variant::attach_binary(std::size_t count, const unsigned char* bytes) {
  tk_log::write(1, "ole_variant::attach_binary(%zu)", count);
  if (!bytes && count) throw tk_mail_assertion(k_source, 836);
  allocate_safe_array(count);
  if (!count) return;
  void* data = nullptr;
  if (FAILED(SafeArrayAccessData(var.parray, &data))) throw tk_mail_assertion(k_source, 865);
  std::memcpy(data, bytes, count);
  SafeArrayUnaccessData(var.parray);
}

void ole_variant::attach_binary(const std::vector<unsigned char>& bytes) { attach_binary(bytes.size(), bytes.data()); }

std::size_t ole_variant::get_bytes(unsigned char** data) const {
  tk_log::write(1, "ole_variant::get_bytes");
  if (var.vt == VT_EMPTY || var.vt == VT_NULL) return 0;
  if (var.vt != k_byte_array || !var.parray || !data) throw tk_mail_assertion(k_source, 770);
  *data = static_cast<unsigned char*>(var.parray->pvData);
  return get_safe_array_size(var.parray);
}

ULONG ole_variant::get_safe_array_size(const SAFEARRAY* array) {
  LONG lower = 0, upper = 0;
  if (FAILED(SafeArrayGetLBound(array, 1, &lower)) || FAILED(SafeArrayGetUBound(array, 1, &upper))) return 0;
  if (lower > upper) return 0;
  return static_cast<ULONG>(static_cast<long long>(upper) - lower + 1);
}

void ole_variant::convert_to_byte_array(const unsigned char* bytes, std::size_t count,
                                        std::vector<unsigned char>& out) {
  out.clear();
  out.resize(count);
  if (count) std::memcpy(out.data(), bytes, count);
}

// ---------------------------------------------------------------- text storage

void ole_variant::attach_string(const std::string& text) {
  tk_log::write(1, "ole_variant::attach_string(%s)", text.c_str());
  std::wstring wide = tk_from_utf8(text);  // the ANSI code page of this platform
  BSTR copy = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  if (!copy) throw tk_mail_assertion(k_source, 913);
  release();
  var.vt = VT_BSTR;
  var.bstrVal = copy;
}

void ole_variant::attach_wstring(const std::wstring& text) {
  tk_log::write(1, "ole_variant::attach_wstring");
  BSTR copy = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (!copy) throw tk_mail_assertion(k_source, 932);
  release();
  var.vt = VT_BSTR;
  var.bstrVal = copy;
}

// ---------------------------------------------------------------- accessors

LONG ole_variant::to_long() const {
  switch (var.vt) {
    case VT_I2: return var.iVal;
    case VT_BOOL: return var.boolVal;
    case VT_I4: return var.lVal;
    case VT_UI4: return static_cast<LONG>(var.ulVal);
    case VT_R4:
    case VT_R8: {
      double d = var.vt == VT_R4 ? var.fltVal : var.dblVal;
      // Beyond the 32 bits there is no truncated value: 0, as for a failure.
      if (!(d > -2147483649.0 && d < 2147483648.0)) return 0;
      return static_cast<LONG>(d);
    }
    case VT_CY: {
      LONG v = 0;
      return SUCCEEDED(VarI4FromCy(var.cyVal, &v)) ? v : 0;
    }
    case VT_DECIMAL: {
      LONG v = 0;
      return SUCCEEDED(VarI4FromDec(&var.decVal, &v)) ? v : 0;
    }
    case VT_I1: return var.cVal;
    case VT_UI1: return var.bVal;
    case VT_UI2: return var.uiVal;
    case VT_I8: return static_cast<LONG>(static_cast<ULONG>(i8));
    case VT_UI8: return static_cast<LONG>(static_cast<ULONG>(ui8));
    default: return 0;
  }
}

double ole_variant::to_double() const {
  switch (var.vt) {
    case VT_EMPTY:
    case VT_NULL: return 0.0;
    case VT_I1: return var.cVal;
    case VT_UI1: return var.bVal;
    case VT_I2: return var.iVal;
    case VT_UI2: return var.uiVal;
    case VT_I4: return var.lVal;
    case VT_UI4: return var.ulVal;
    case VT_INT: return var.intVal;
    case VT_UINT: return var.uintVal;
    case VT_I8: return static_cast<double>(i8);
    case VT_UI8: return static_cast<double>(ui8);
    case VT_BOOL: return var.boolVal;
    case VT_R4: return var.fltVal;
    case VT_R8: return var.dblVal;
    case VT_CY: {
      double v = 0.0;
      return SUCCEEDED(VarR8FromCy(var.cyVal, &v)) ? v : 0.0;
    }
    case VT_DECIMAL: {
      double v = 0.0;
      return SUCCEEDED(VarR8FromDec(&var.decVal, &v)) ? v : 0.0;
    }
    default: throw tk_mail_assertion(k_source, 623);
  }
}

void ole_variant::get_systemtime(SYSTEMTIME& out) const { out = var.vt == VT_DATE ? st : SYSTEMTIME{}; }

bool ole_variant::is_binary_type(VARTYPE type) {
  return type == VT_BLOB || type == VT_BLOB_OBJECT || type == k_byte_array;
}

// ---------------------------------------------------------------- text

std::string ole_variant::to_string() const {
  tk_log::write(1, "ole_variant::to_string(vt=%d)", var.vt);
  switch (var.vt) {
    case k_byte_array: {
      if (!var.parray || SafeArrayGetDim(var.parray) != 1) return std::string();
      std::size_t n = get_safe_array_size(var.parray);
      if (n > k_max_text_bytes) n = k_max_text_bytes;
      if (!n) return std::string();
      return "0x" + tk_bytes_to_hex(n, static_cast<const unsigned char*>(var.parray->pvData));
    }
    case VT_DECIMAL: {
      BSTR text = nullptr;
      if (FAILED(VarBstrFromDec(&var.decVal, LOCALE_USER_DEFAULT, 0, &text))) return std::string();
      std::string narrow;
      bool ok = narrow_of(text, narrow);
      SysFreeString(text);
      return ok ? with_points(std::move(narrow)) : std::string();
    }
    case VT_DATE: return ole_date(st).to_string(true);
    case VT_CY: {
      VARIANT text;
      VariantInit(&text);
      if (FAILED(VariantChangeType(&text, &var, 0, VT_BSTR))) return std::string();
      std::string narrow;
      bool ok = narrow_of(text.bstrVal, narrow);
      VariantClear(&text);
      return ok ? with_points(std::move(narrow)) : std::string();
    }
    case VT_BSTR: {
      std::string narrow;
      return narrow_of(var.bstrVal, narrow) ? narrow : std::string();
    }
    case VT_BOOL: return var.boolVal == VARIANT_TRUE ? "1" : "0";
    case VT_I1: return decimal_text(var.cVal);
    case VT_I2: return decimal_text(var.iVal);
    case VT_UI1: return decimal_text(var.bVal);
    case VT_UI2: return decimal_text(var.uiVal);
    case VT_I4: return decimal_text(var.lVal);
    case VT_UI4:
    case VT_UINT: return decimal_text(var.ulVal);
    case VT_R4: return exponent_text(var.fltVal, 6);
    case VT_R8: return exponent_text(var.dblVal, 16);
    case VT_I8: return decimal_text(static_cast<long long>(i8));
    case VT_UI8: return decimal_text(static_cast<unsigned long long>(ui8));
    default: return std::string();
  }
}

std::wstring ole_variant::to_wstring() const {
  // The whole text, a NUL character included: it is a character of the value.
  if (var.vt == VT_BSTR) return var.bstrVal ? std::wstring(var.bstrVal, SysStringLen(var.bstrVal)) : std::wstring();
  std::string narrow = to_string();
  narrow.resize(std::strlen(narrow.c_str()));
  // Numbers and dates are ASCII: each byte is its character.
  if (std::all_of(narrow.begin(), narrow.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
    return std::wstring(narrow.begin(), narrow.end());
  std::wstring wide;
  if (!tk_a2w(narrow.c_str(), wide)) wide.clear();
  return wide;
}

ole_variant ole_variant::from_string(const std::string& text, VARTYPE type) {
  tk_log::write(1, "ole_variant::from_string(%s, %d)", text.c_str(), type);
  if (text.empty() && type != VT_BSTR) return ole_variant();
  switch (type) {
    case VT_I1: return ole_variant(static_cast<char>(leading_integer(text, INT_MIN, INT_MAX)));
    case VT_UI1: return ole_variant(static_cast<unsigned char>(leading_integer(text, INT_MIN, INT_MAX)));
    case VT_I2: return ole_variant(static_cast<short>(leading_integer(text, INT_MIN, INT_MAX)));
    case VT_UI2: return ole_variant(static_cast<unsigned short>(leading_integer(text, INT_MIN, INT_MAX)));
    case VT_I4: return ole_variant(static_cast<int>(leading_integer(text, INT_MIN, INT_MAX)));
    case VT_UI4: {
      unsigned int v = 0;
      if (std::sscanf(text.c_str(), "%u", &v) != 1) v = 0;
      return ole_variant(v);
    }
    case VT_I8: return ole_variant(leading_integer(text, LLONG_MIN, LLONG_MAX));
    case VT_UI8: {
      unsigned long long v = 0;
      if (std::sscanf(text.c_str(), "%llu", &v) != 1) v = 0;
      return ole_variant(v);
    }
    case VT_R4: return ole_variant(leading_float(text));
    case VT_R8: return ole_variant(leading_double(text));
    case VT_CY:
    case VT_DECIMAL: {
      std::wstring wide;
      if (!tk_a2w(with_points(text).c_str(), wide)) throw tk_mail_assertion(k_source, type == VT_CY ? 988 : 1016);
      HRESULT hr;
      if (type == VT_CY) {
        CY cy{};
        hr = VarCyFromStr(wide.c_str(), 0x409, 0, &cy);
        if (SUCCEEDED(hr)) return ole_variant(cy);
        tk_log::write(3, "VarCyFromStr failed: %08X", static_cast<unsigned>(hr));
      } else {
        DECIMAL dec{};
        hr = VarDecFromStr(wide.c_str(), 0x409, 0, &dec);
        if (SUCCEEDED(hr)) return ole_variant(dec);
        tk_log::write(3, "VarDecFromStr failed: %08X", static_cast<unsigned>(hr));
      }
      return ole_variant();
    }
    case VT_DATE: {
      ole_date date(text);
      return date.is_valid() ? date.to_variant() : ole_variant();
    }
    case VT_BOOL: {
      if (!tk_compare_no_case(text, std::string("yes")) || !tk_compare_no_case(text, std::string("true")))
        return ole_variant(true);
      if (!tk_compare_no_case(text, std::string("no")) || !tk_compare_no_case(text, std::string("false")))
        return ole_variant(false);
      return ole_variant(leading_integer(text, INT_MIN, INT_MAX) != 0);
    }
    case VT_BLOB:
    case k_byte_array: return bytes_from_hex(text);
    default: {
      ole_variant v(text);
      if (FAILED(VariantChangeType(&v.var, &v.var, 0, type))) throw ole_type_exception();
      tk_log::write(1, "VariantChangeType succeeded");
      return v;
    }
  }
}

ole_variant ole_variant::from_wstring(const std::wstring& text, VARTYPE type) {
  tk_log::write(1, L"ole_variant::from_wstring(%ls, %d)", text.c_str(), type);
  if (type == VT_BSTR) return ole_variant(text.c_str());
  return from_string(tk_to_utf8(text.substr(0, text.find(L'\0'))), type);
}

// ---------------------------------------------------------------- change_type

void ole_variant::change_type(VARTYPE type) {
  const VARTYPE current = var.vt;
  tk_log::write(1, "ole_variant::change_type(old=%d,new=%d)", current, type);
  if (current == type || current == VT_EMPTY || current == VT_NULL ||
      (is_binary_type(current) && is_binary_type(type))) {
    tk_log::write(1, "Type cannot be changed");
    return;
  }
  // The new value is built aside and replaces the old one only when done.
  ole_variant result;
  VARIANT& out = result.var;

  if (current == VT_I8 || current == VT_UI8) {
    const bool is_signed = current == VT_I8;
    const ULONGLONG bits = is_signed ? static_cast<ULONGLONG>(i8) : ui8;
    switch (type) {
      case VT_I1:
      case VT_UI1: out.bVal = static_cast<BYTE>(bits); break;
      case VT_I2:
      case VT_UI2:
      case VT_BOOL: out.uiVal = static_cast<USHORT>(bits); break;
      case VT_I4:
      case VT_UI4:
      case VT_INT:
      case VT_UINT: out.ulVal = static_cast<ULONG>(bits); break;
      case VT_R4: out.fltVal = is_signed ? static_cast<float>(i8) : static_cast<float>(ui8); break;
      case VT_R8: out.dblVal = is_signed ? static_cast<double>(i8) : static_cast<double>(ui8); break;
      case VT_CY: {
        // A product beyond the 64 bits would wrap into another amount.
        constexpr LONGLONG limit = LLONG_MAX / 10000;
        if (is_signed ? (i8 > limit || i8 < -limit) : ui8 > static_cast<ULONGLONG>(limit)) cast_failed();
        out.cyVal.int64 = (is_signed ? i8 : static_cast<LONGLONG>(ui8)) * 10000;
        break;
      }
      case VT_BSTR: {
        char buffer[32];
        if (is_signed)
          std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(i8));
        else
          std::snprintf(buffer, sizeof buffer, "%llu", static_cast<unsigned long long>(ui8));
        result.attach_string(buffer);
        break;
      }
      case VT_DECIMAL: {
        DECIMAL dec{};
        if (FAILED(is_signed ? VarDecFromI8(i8, &dec) : VarDecFromUI8(ui8, &dec))) cast_failed();
        out.decVal = dec;
        break;
      }
      case VT_UI8: result.ui8 = bits; break;
      case VT_I8: result.i8 = static_cast<LONGLONG>(bits); break;
      default: cast_failed();
    }
    out.vt = type;
  } else if (current == VT_DATE) {
    if (type != VT_BSTR) cast_failed();
    result.attach_wstring(ole_date(st).to_wstring(true));
  } else if (type == VT_I8 || type == VT_UI8) {
    LONGLONG value = 0;
    switch (current) {
      case VT_I1: value = var.cVal; break;
      case VT_I2: value = var.iVal; break;
      case VT_BOOL: value = var.boolVal; break;
      case VT_I4: value = var.lVal; break;
      case VT_INT: value = var.intVal; break;
      case VT_UI1: value = var.bVal; break;
      case VT_UI2: value = var.uiVal; break;
      case VT_UI4: value = var.ulVal; break;
      case VT_UINT: value = var.uintVal; break;
      case VT_R4:
      case VT_R8: {
        double d = std::trunc(current == VT_R4 ? var.fltVal : var.dblVal);
        if (type == VT_UI8 && d >= 9223372036854775808.0 && d < 18446744073709551616.0) {
          result.ui8 = static_cast<ULONGLONG>(d);
          result.var.vt = VT_UI8;
          take_over(result);
          return;
        }
        if (!fits_int64(d)) cast_failed();
        value = static_cast<LONGLONG>(d);
        break;
      }
      case VT_CY: value = currency_to_whole(var.cyVal.int64); break;
      case VT_DECIMAL: {
        HRESULT hr;
        if (type == VT_I8) {
          tk_log::write(1, "VT_DECIMAL->VT_I8");
          hr = VarI8FromDec(&var.decVal, &value);
        } else {
          tk_log::write(1, "VT_DECIMAL->VT_UI8");
          ULONGLONG u = 0;
          hr = VarUI8FromDec(&var.decVal, &u);
          value = static_cast<LONGLONG>(u);
        }
        if (FAILED(hr)) cast_failed();
        break;
      }
      default: cast_failed();
    }
    if (type == VT_I8)
      result.i8 = value;
    else
      result.ui8 = static_cast<ULONGLONG>(value);
    out.vt = type;
  } else if (type == VT_I4 || type == VT_UI4 || type == VT_I2 || type == VT_UI2) {
    if (current == VT_R4 || current == VT_R8) {
      double d = current == VT_R4 ? var.fltVal : var.dblVal;
      d = std::trunc(d >= 0 ? d + 0.5 : d - 0.5);
      // A value the target cannot hold is refused, not wrapped.
      double lo = type == VT_I4 ? -2147483648.0 : type == VT_I2 ? -32768.0 : 0.0;
      double hi = type == VT_I4 ? 2147483647.0 : type == VT_UI4 ? 4294967295.0 : type == VT_I2 ? 32767.0 : 65535.0;
      if (!(d >= lo && d <= hi)) cast_failed();
      if (type == VT_I4) out.lVal = static_cast<LONG>(d);
      if (type == VT_UI4) out.ulVal = static_cast<ULONG>(d);
      if (type == VT_I2) out.iVal = static_cast<SHORT>(d);
      if (type == VT_UI2) out.uiVal = static_cast<USHORT>(d);
    } else if (current == VT_DECIMAL) {
      HRESULT hr = type == VT_I4    ? VarI4FromDec(&var.decVal, &out.lVal)
                   : type == VT_UI4 ? VarUI4FromDec(&var.decVal, &out.ulVal)
                   : type == VT_I2  ? VarI2FromDec(&var.decVal, &out.iVal)
                                    : VarUI2FromDec(&var.decVal, &out.uiVal);
      if (FAILED(hr)) cast_failed();
    } else {
      tk_log::write(1, "Type is left unchanged");
      return;
    }
    out.vt = type;
  } else if (type == VT_DATE) {
    if (current != VT_BSTR) cast_failed();
    ole_date date(to_string());
    if (!date.is_valid()) cast_failed();
    result = date.to_variant();
  } else if (is_binary_type(current)) {
    tk_log::write(1, "src.vt is binary, a_type=%d", type);
    if (type != VT_BSTR || current != k_byte_array || !var.parray || SafeArrayGetDim(var.parray) != 1) return;
    std::size_t n = get_safe_array_size(var.parray);
    if (n > k_max_text_bytes) n = k_max_text_bytes;
    const char* bytes = static_cast<const char*>(var.parray->pvData);
    std::string narrow(bytes, ::strnlen(bytes, n));
    std::wstring wide;
    // Bytes that are no text of the code page are refused, not dropped.
    try {
      wide = tk_from_utf8(narrow);
    } catch (const tk_exception&) {
      cast_failed();
    }
    result.attach_wstring(wide);
  } else if (is_binary_type(type)) {
    tk_log::write(1, "a_type is binary, src.vt=%d", current);
    const void* bytes = &var.bVal;
    std::size_t n = 0;
    std::string narrow;
    switch (current) {
      case VT_I1:
      case VT_UI1: n = 1; break;
      case VT_I2:
      case VT_UI2:
      case VT_BOOL: n = 2; break;
      case VT_I4:
      case VT_UI4:
      case VT_INT:
      case VT_UINT:
      case VT_R4: n = 4; break;
      case VT_R8:
      case VT_CY: n = 8; break;
      case VT_DECIMAL:
        bytes = &var;
        n = sizeof var;
        break;
      case VT_BSTR:
        tk_log::write(1, "VT_BSTR->binary");
        if (!narrow_of(var.bstrVal, narrow)) cast_failed();
        bytes = narrow.data();
        n = narrow.size();
        break;
      default: cast_failed();
    }
    result.attach_binary(n, static_cast<const unsigned char*>(bytes));
  } else {
    if (FAILED(VariantChangeType(&out, &var, 0, type))) {
      tk_log::write(2, "VariantChangeType failed");
      tk_log::write(2, "to_string()=%s", to_string().c_str());
      cast_failed();
    }
  }
  take_over(result);
}

void ole_variant::take_over(ole_variant& other) {
  take(other.var);
  i8 = other.i8;
  ui8 = other.ui8;
  st = other.st;
}
