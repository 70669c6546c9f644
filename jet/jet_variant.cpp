#include "jet/jet_variant.h"

#include "platform/win32.h"

#include <cmath>

bool jet_to_long(const VARIANT& v, LONG& out) {
  if (v.vt == VT_BSTR) return false;
  VARIANT copy;
  VariantInit(&copy);
  if (FAILED(VariantChangeType(&copy, &v, 0, VT_I4))) return false;
  out = copy.lVal;
  return true;
}

bool jet_to_text(const VARIANT& v, std::wstring& out) {
  if (v.vt != VT_BSTR) return false;
  out = jet_from_bstr(v.bstrVal);
  return true;
}

HRESULT jet_bstr_out(const std::wstring& text, BSTR* out) {
  if (!out) return E_POINTER;
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

bool jet_same_name(const std::wstring& a, const std::wstring& b) {
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), static_cast<int>(a.size()), b.c_str(),
                        static_cast<int>(b.size())) == CSTR_EQUAL;
}
