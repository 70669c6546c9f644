// What calls of the driver's DAO interfaces take and give, for the tests
// and the fuzz harness (which builds without GoogleTest): references,
// VARIANT arguments, BSTR texts, and a new DBEngine made through COM.
#pragma once

#include "jet/dao_interfaces.h"
#include "jet/jet_com.h"
#include "platform/com_runtime.h"

#include <string>

template <class T>
using ref = jet_held<T>;

// Owns its VARIANT, which it hands to calls by value.
struct arg {
  VARIANT v;
  arg() { VariantInit(&v); }
  arg(const wchar_t* text) : arg(std::wstring(text)) {}
  arg(const std::wstring& text) {
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  }
  arg(int n) {
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = n;
  }
  arg(double d) {
    VariantInit(&v);
    v.vt = VT_R8;
    v.dblVal = d;
  }
  static arg date(double d) {
    arg a;
    a.v.vt = VT_DATE;
    a.v.date = d;
    return a;
  }
  static arg boolean(bool b) {
    arg a;
    a.v.vt = VT_BOOL;
    a.v.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
    return a;
  }
  static arg null() {
    arg a;
    a.v.vt = VT_NULL;
    return a;
  }
  arg(const arg& other) {
    VariantInit(&v);
    VariantCopy(&v, &other.v);
  }
  ~arg() { VariantClear(&v); }
  operator VARIANT() const { return v; }
};

struct bstr {
  BSTR b = nullptr;
  explicit bstr(const std::wstring& text) : b(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  bstr() = default;
  bstr(const bstr&) = delete;
  ~bstr() { SysFreeString(b); }
  BSTR* out() {
    SysFreeString(b);
    b = nullptr;
    return &b;
  }
  std::wstring str() const { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(); }
};

// A DBEngine of the class DAO 3.6 is registered under.
inline HRESULT new_dbengine(ref<_DAODBEngine>& engine) {
  static const CLSID dao36 = {0x00000100, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
  return CoCreateInstance(dao36, nullptr, CLSCTX_ALL, IID__DAODBEngine, reinterpret_cast<void**>(engine.out()));
}
