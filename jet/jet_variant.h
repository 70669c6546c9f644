// VARIANT and BSTR handling of the driver's COM objects.
#pragma once

#include "platform/oleauto.h"

#include <string>

// Owns one VARIANT.
class jet_variant {
 public:
  jet_variant() { VariantInit(&v); }
  explicit jet_variant(const VARIANT& other) {
    VariantInit(&v);
    VariantCopy(&v, &other);
  }
  jet_variant(const jet_variant& other) : jet_variant(other.v) {}
  jet_variant& operator=(const jet_variant& other) {
    if (this != &other) VariantCopy(&v, &other.v);
    return *this;
  }
  ~jet_variant() { VariantClear(&v); }
  VARIANT v;
};

// An optional argument that was left out.
inline bool jet_missing(const VARIANT& v) { return v.vt == VT_EMPTY || v.vt == VT_ERROR; }
// A whole number of any numeric or boolean VARIANT.
bool jet_to_long(const VARIANT& v, LONG& out);
// The text of a VT_BSTR argument.
bool jet_to_text(const VARIANT& v, std::wstring& out);
// A new BSTR for the caller; E_OUTOFMEMORY when none can be made.
HRESULT jet_bstr_out(const std::wstring& text, BSTR* out);
inline std::wstring jet_from_bstr(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(); }
// Names compare as DAO compares them: ignoring case.
bool jet_same_name(const std::wstring& a, const std::wstring& b);
