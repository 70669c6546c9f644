// Small COM helpers of the DAO layer: an owned BSTR, an owned VARIANT
// temporary, and the checks that turn a failed DAO call into an exception.
#pragma once

#include "OLE/ole_variant.h"
#include "platform/oleauto.h"

#include <string>

class dao_bstr {
 public:
  dao_bstr() = default;
  explicit dao_bstr(const std::wstring& text);
  // From the thread's ANSI code page.
  explicit dao_bstr(const std::string& text);
  dao_bstr(const dao_bstr&) = delete;
  dao_bstr& operator=(const dao_bstr&) = delete;
  virtual ~dao_bstr();

  operator BSTR();
  // For a DAO getter to fill; a text held before is freed first.
  BSTR* address();
  std::wstring str() const;

 private:
  BSTR bstr = nullptr;
};

// Clears the VARIANT when it goes, also while an exception unwinds.
class dao_variant {
 public:
  dao_variant() { VariantInit(&v); }
  dao_variant(const dao_variant&) = delete;
  dao_variant& operator=(const dao_variant&) = delete;
  ~dao_variant() { VariantClear(&v); }
  VARIANT v;
};

// Arguments of DAO calls.
VARIANT dao_arg_bool(bool value);
VARIANT dao_arg_i2(SHORT value);
VARIANT dao_arg_i4(LONG value);
// Points at the text; the VARIANT must not outlive `text`.
VARIANT dao_arg_text(const dao_bstr& text);
// An optional argument left out.
VARIANT dao_arg_missing();

// A negative result throws dao_exception.
void dao_check(HRESULT hr);
// A call that succeeded without its object throws tk_exception of level 1.
[[noreturn]] void dao_throw_null();
template <class T>
T* dao_not_null(T* object) {
  if (!object) dao_throw_null();
  return object;
}

// The value of a DAO VARIANT becomes the variant, which owns it from then
// on; dates get their calendar fields.
void dao_take_value(ole_variant& target, VARIANT& value);
