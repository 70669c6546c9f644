#include "dao/dao_bstr.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "dao/dao_exception.h"
#include "platform/win32.h"

dao_bstr::dao_bstr(const std::wstring& text) {
  tk_log::write(1, L"dao_bstr::ctor( wstring=%ls )", text.c_str());
  bstr = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

dao_bstr::dao_bstr(const std::string& text) {
  tk_log::write(1, "dao_bstr::ctor( string=%s )", text.c_str());
  int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(n > 0 ? static_cast<std::size_t>(n) : 0, L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  // The length of the converted text: a character of several bytes makes
  // it shorter than the narrow one.
  bstr = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

dao_bstr::~dao_bstr() { SysFreeString(bstr); }

dao_bstr::operator BSTR() {
  tk_log::write(1, "dao_bstr::operator BSTR");
  return bstr;
}

BSTR* dao_bstr::address() {
  SysFreeString(bstr);
  bstr = nullptr;
  return &bstr;
}

std::wstring dao_bstr::str() const { return bstr ? std::wstring(bstr, SysStringLen(bstr)) : std::wstring(); }

VARIANT dao_arg_bool(bool value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BOOL;
  v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

VARIANT dao_arg_i2(SHORT value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I2;
  v.iVal = value;
  return v;
}

VARIANT dao_arg_i4(LONG value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

VARIANT dao_arg_text(const dao_bstr& text) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = const_cast<dao_bstr&>(text);
  return v;
}

VARIANT dao_arg_missing() {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_ERROR;
  v.scode = static_cast<SCODE>(0x80020004u);  // DISP_E_PARAMNOTFOUND
  return v;
}

void dao_check(HRESULT hr) {
  if (FAILED(hr)) throw dao_exception();
}

void dao_throw_null() {
  tk_log::write(2, "DAO call returned no object");
  throw tk_exception(std::string("A call of Data Access Objects returned no object."), 1);
}

void dao_take_value(ole_variant& target, VARIANT& value) {
  target = ole_variant();
  target.var = value;
  VariantInit(&value);
  if (target.var.vt == VT_I8) target.i8 = target.var.llVal;
  if (target.var.vt == VT_UI8) target.ui8 = target.var.ullVal;
  if (target.var.vt == VT_DATE && !VariantTimeToSystemTime(target.var.date, &target.st))
    tk_log::write(1, "Failed to convert VARIANT->SYSTEMTIME");
}
