#include "platform/olenumber.h"
#include "platform/oleauto.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <cwctype>
#include <limits>

using namespace qm_platform;

namespace {

bool is_known_type(VARTYPE vt) {
  VARTYPE base = vt & VT_TYPEMASK;
  if (vt & ~(VT_TYPEMASK | VT_ARRAY | VT_BYREF)) return false;
  return base <= VT_LPWSTR ? base != 15 : (base >= VT_BLOB && base <= VT_BLOB_OBJECT);
}

bool is_interface(VARTYPE vt) { return vt == VT_UNKNOWN || vt == VT_DISPATCH; }

// A source value of the conversion: an exact number, a floating-point
// number or a text.
struct source_value {
  enum { number, real, text } kind = number;
  ole_number n;
  double r = 0.0;
  bool single = false;
  const OLECHAR* chars = nullptr;
  std::size_t length = 0;
};

HRESULT read_source(const VARIANT& src, source_value& out) {
  switch (src.vt) {
    case VT_EMPTY: out.n = ole_number{}; return S_OK;
    case VT_I1: out.n = number_from_signed(src.cVal); return S_OK;
    case VT_UI1: out.n = number_from_unsigned(src.bVal); return S_OK;
    case VT_I2: out.n = number_from_signed(src.iVal); return S_OK;
    case VT_UI2: out.n = number_from_unsigned(src.uiVal); return S_OK;
    case VT_I4: out.n = number_from_signed(src.lVal); return S_OK;
    case VT_UI4: out.n = number_from_unsigned(src.ulVal); return S_OK;
    case VT_INT: out.n = number_from_signed(src.intVal); return S_OK;
    case VT_UINT: out.n = number_from_unsigned(src.uintVal); return S_OK;
    case VT_I8: out.n = number_from_signed(src.llVal); return S_OK;
    case VT_UI8: out.n = number_from_unsigned(src.ullVal); return S_OK;
    case VT_BOOL: out.n = number_from_signed(src.boolVal); return S_OK;
    case VT_CY: out.n = number_from_cy(src.cyVal); return S_OK;
    case VT_DECIMAL: return number_from_decimal(src.decVal, out.n) ? S_OK : E_INVALIDARG;
    case VT_R4:
      out.kind = source_value::real;
      out.r = src.fltVal;
      out.single = true;
      return S_OK;
    case VT_R8:
      out.kind = source_value::real;
      out.r = src.dblVal;
      return S_OK;
    case VT_BSTR:
      out.kind = source_value::text;
      out.chars = src.bstrVal ? src.bstrVal : L"";
      out.length = SysStringLen(src.bstrVal);
      return S_OK;
    default:
      return is_known_type(src.vt) ? DISP_E_TYPEMISMATCH : DISP_E_BADVARTYPE;
  }
}

bool equals_no_case(const OLECHAR* chars, std::size_t length, const wchar_t* word) {
  std::size_t begin = 0, end = length;
  while (begin < end && std::iswspace(static_cast<wint_t>(chars[begin]))) ++begin;
  while (end > begin && std::iswspace(static_cast<wint_t>(chars[end - 1]))) --end;
  std::size_t n = std::wcslen(word);
  if (end - begin != n) return false;
  for (std::size_t i = 0; i < n; ++i)
    if (std::towlower(static_cast<wint_t>(chars[begin + i])) != static_cast<wint_t>(word[i])) return false;
  return true;
}

// Text becomes a number first; the targets then treat it as any number.
HRESULT settle_text(source_value& v, VARTYPE target) {
  if (v.kind != source_value::text) return S_OK;
  if (target == VT_BOOL) {
    if (equals_no_case(v.chars, v.length, L"true")) {
      v.kind = source_value::number;
      v.n = number_from_signed(-1);
      return S_OK;
    }
    if (equals_no_case(v.chars, v.length, L"false")) {
      v.kind = source_value::number;
      v.n = ole_number{};
      return S_OK;
    }
  }
  ole_number n;
  if (!number_from_text(v.chars, v.length, n)) return DISP_E_TYPEMISMATCH;
  v.kind = source_value::number;
  v.n = std::move(n);
  return S_OK;
}

template <class T>
HRESULT to_signed(const source_value& v, T& out) {
  LONGLONG x = 0;
  constexpr LONGLONG lo = std::numeric_limits<T>::min(), hi = std::numeric_limits<T>::max();
  HRESULT hr = v.kind == source_value::real ? double_to_signed(v.r, lo, hi, x) : number_to_signed(v.n, lo, hi, x);
  if (SUCCEEDED(hr)) out = static_cast<T>(x);
  return hr;
}

template <class T>
HRESULT to_unsigned(const source_value& v, T& out) {
  ULONGLONG x = 0;
  constexpr ULONGLONG hi = std::numeric_limits<T>::max();
  HRESULT hr = v.kind == source_value::real ? double_to_unsigned(v.r, hi, x) : number_to_unsigned(v.n, hi, x);
  if (SUCCEEDED(hr)) out = static_cast<T>(x);
  return hr;
}

HRESULT to_double(const source_value& v, double& out) {
  if (v.kind == source_value::real) {
    out = v.r;
    return S_OK;
  }
  return number_to_double(v.n, out);
}

HRESULT write_target(const source_value& v, VARTYPE vt, VARIANT& out) {
  HRESULT hr = S_OK;
  switch (vt) {
    case VT_I1: hr = to_signed(v, out.cVal); break;
    case VT_UI1: hr = to_unsigned(v, out.bVal); break;
    case VT_I2: hr = to_signed(v, out.iVal); break;
    case VT_UI2: hr = to_unsigned(v, out.uiVal); break;
    case VT_I4: hr = to_signed(v, out.lVal); break;
    case VT_UI4: hr = to_unsigned(v, out.ulVal); break;
    case VT_INT: hr = to_signed(v, out.intVal); break;
    case VT_UINT: hr = to_unsigned(v, out.uintVal); break;
    case VT_I8: hr = to_signed(v, out.llVal); break;
    case VT_UI8: hr = to_unsigned(v, out.ullVal); break;
    case VT_R8: hr = to_double(v, out.dblVal); break;
    case VT_R4: {
      double d = 0.0;
      hr = to_double(v, d);
      if (SUCCEEDED(hr) && std::isfinite(d) && std::fabs(d) > FLT_MAX) hr = DISP_E_OVERFLOW;
      if (SUCCEEDED(hr)) out.fltVal = static_cast<float>(d);
      break;
    }
    case VT_BOOL: {
      bool set = v.kind == source_value::real ? v.r != 0.0 : !v.n.is_zero();
      out.boolVal = set ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    }
    case VT_CY: hr = v.kind == source_value::real ? double_to_cy(v.r, out.cyVal) : number_to_cy(v.n, out.cyVal); break;
    case VT_DECIMAL: {
      ole_number n = v.n;
      if (v.kind == source_value::real && !number_from_double(v.r, n)) return DISP_E_OVERFLOW;
      hr = number_to_decimal(n, out.decVal);
      break;
    }
    case VT_BSTR: {
      std::wstring text = v.kind == source_value::real ? double_to_text(v.r, v.single) : number_to_text(v.n);
      out.bstrVal = make_bstr(text);
      if (!out.bstrVal) hr = E_OUTOFMEMORY;
      break;
    }
    default:
      return is_known_type(vt) ? DISP_E_TYPEMISMATCH : DISP_E_BADVARTYPE;
  }
  if (SUCCEEDED(hr)) out.vt = vt;
  return hr;
}

HRESULT convert(const VARIANT& src, VARTYPE vt, VARIANT& out) {
  if (!is_known_type(vt)) return DISP_E_BADVARTYPE;
  if (vt == VT_EMPTY || vt == VT_NULL) {
    out.vt = vt;
    return S_OK;
  }
  if (src.vt == VT_NULL) return DISP_E_TYPEMISMATCH;
  if ((src.vt | vt) & (VT_ARRAY | VT_BYREF)) return DISP_E_TYPEMISMATCH;
  if (src.vt == VT_EMPTY && vt == VT_BSTR) {
    out.bstrVal = SysAllocStringLen(L"", 0);
    if (!out.bstrVal) return E_OUTOFMEMORY;
    out.vt = VT_BSTR;
    return S_OK;
  }
  source_value v;
  HRESULT hr = read_source(src, v);
  if (SUCCEEDED(hr)) hr = settle_text(v, vt);
  if (SUCCEEDED(hr)) hr = write_target(v, vt, out);
  return hr;
}

}  // namespace

void VariantInit(VARIANTARG* value) {
  if (value) std::memset(value, 0, sizeof *value);
}

HRESULT VariantClear(VARIANTARG* value) {
  if (!value) return E_INVALIDARG;
  VARTYPE vt = value->vt;
  if (!(vt & VT_BYREF)) {
    if (vt & VT_ARRAY) {
      HRESULT hr = SafeArrayDestroy(value->parray);
      if (FAILED(hr)) return hr;
    } else if (vt == VT_BSTR) {
      SysFreeString(value->bstrVal);
    } else if (is_interface(vt) && value->punkVal) {
      value->punkVal->Release();
    }
  }
  std::memset(value, 0, sizeof *value);
  return S_OK;
}

HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* src) {
  if (!dest || !src) return E_INVALIDARG;
  if (dest == src) return S_OK;
  VARIANT copy = *src;
  VARTYPE vt = src->vt;
  if (!(vt & VT_BYREF)) {
    if (vt & VT_ARRAY) {
      HRESULT hr = SafeArrayCopy(src->parray, &copy.parray);
      if (FAILED(hr)) return hr;
    } else if (vt == VT_BSTR && src->bstrVal) {
      copy.bstrVal = SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal));
      if (!copy.bstrVal) return E_OUTOFMEMORY;
    } else if (is_interface(vt) && src->punkVal) {
      src->punkVal->AddRef();
    }
  }
  HRESULT hr = VariantClear(dest);
  if (FAILED(hr)) {
    VariantClear(&copy);
    return hr;
  }
  *dest = copy;
  return S_OK;
}

HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* src, USHORT, VARTYPE vt) {
  if (!dest || !src) return E_INVALIDARG;
  if (src->vt == vt) return VariantCopy(dest, src);
  VARIANT out;
  VariantInit(&out);
  HRESULT hr = convert(*src, vt, out);
  if (FAILED(hr)) {
    VariantClear(&out);
    return hr;
  }
  hr = VariantClear(dest);
  if (FAILED(hr)) {
    VariantClear(&out);
    return hr;
  }
  *dest = out;
  return S_OK;
}
