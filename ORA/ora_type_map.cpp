#include "ORA/ora_type_map.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "UDB/udb_schema.h"

#include <cwchar>

const std::map<std::wstring, ub2>& supported_type_map() {
  static const std::map<std::wstring, ub2> map = {
      {L"VARCHAR", 9},       {L"VARCHAR2", 9},      {L"NVARCHAR2", 9},     {L"NUMBER", 2},
      {L"FLOAT", 2},         {L"LONG", 3},          {L"DATE", 184},        {L"BINARY_FLOAT", 2},
      {L"BINARY_DOUBLE", 2}, {L"TIMESTAMP", 185},   {L"TIMESTAMP(3)", 185}, {L"TIMESTAMP(6)", 185},
      {L"RAW", 23},          {L"LONG RAW", 113},    {L"ROWID", 23},        {L"UROWID", 23},
      {L"CHAR", 1},          {L"BYTE", 23},         {L"NCHAR", 9},         {L"CLOB", 112},
      {L"NCLOB", 112},       {L"BLOB", 113},        {L"BFILE", 113},       {L"XMLTYPE", 9},
  };
  return map;
}

bool ora_is_supported_type(const std::wstring& type_name) {
  tk_log::write(1, L"ora_engine::is_supported_type(%ls)", type_name.c_str());
  std::wstring pure = type_name;
  std::size_t paren = pure.find(L'(');
  if (paren != std::wstring::npos) {
    pure.erase(paren);
    tk_log::write(1, L"Pure type='%ls'", pure.c_str());
  }
  return supported_type_map().count(pure) != 0;
}

VARTYPE get_refined_num_type(ub4& precision, int scale) {
  tk_log::write(1, "get_refined_num_type(prec=%u,scale=%d)", precision, scale);
  // NUMBER without precision, FLOAT(b) and the numbers of expressions
  // describe scale -127 (or precision 0): decimals of up to 38 digits that a
  // double would round. They take the road of NUMBER(38), an exact DECIMAL
  // or beyond it the server's text; precision 0 marks them unconstrained.
  if (scale == -127 || precision == 0) {
    precision = 0;
    return VT_DECIMAL;
  }
  if (scale < 0) {
    // NUMBER(p,-s) rounds to 10^s: its integers have p + s digits.
    precision += static_cast<ub4>(-scale);
    scale = 0;
  }
  // Past 38 digits no width holds every value: each is a DECIMAL when one
  // holds it exactly, else the server's text, never a rounded double.
  if (precision > 38) {
    precision = 0;
    return VT_DECIMAL;
  }
  if (scale == 0) {
    tk_log::write(1, "Refine type mapping for int (prec=%u)", precision);
    if (precision <= 2) return VT_I1;
    if (precision <= 4) return VT_I2;
    if (precision <= 9) return VT_I4;
    if (precision <= 18) return VT_I8;
    return VT_DECIMAL;
  }
  if (precision == static_cast<ub4>(scale)) ++precision;
  return VT_DECIMAL;
}

bool ora_is_large_object(VARTYPE vartype, int size) {
  if (size >= 1 && size <= 2000) return false;
  return vartype == VT_BSTR || vartype == VT_BLOB || vartype == (VT_ARRAY | VT_UI1);
}

std::wstring get_ora_native_type(const t_ftd* ftd, bool bare) {
  tk_log::write(1, "get_ora_native_type [Oracle]");
  if (!ftd) throw tk_mail_assertion("ora_util", 187);
  tk_log::write(1, "vt=%d, size=%d, dw_reserved=%u", ftd->vartype, ftd->size, ftd->reserved);
  wchar_t text[64];
  switch (ftd->vartype) {
    case VT_BOOL:
    case VT_I1:
      return bare ? L"NUMBER" : L"NUMBER(3,0)";
    case VT_I2:
    case VT_UI1:
      return bare ? L"NUMBER" : L"NUMBER(5,0)";
    case VT_I4:
    case VT_UI2:
    case VT_INT:
      return bare ? L"NUMBER" : L"NUMBER(10,0)";
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_UINT:
      return L"NUMBER";
    case VT_DECIMAL:
      // Precision 0: a NUMBER without precision.
      if (bare || ((ftd->reserved >> 8) & 0xFF) == 0) return L"NUMBER";
      std::swprintf(text, 64, L"NUMBER(%d,%d)", static_cast<int>((ftd->reserved >> 8) & 0xFF),
                    static_cast<int>(ftd->reserved & 0xFF));
      return text;
    case VT_DATE:
      return ftd->reserved == 1 ? L"TIMESTAMP" : L"DATE";
    case VT_BSTR:
      tk_log::write(1, "process as text");
      if (ftd->size >= 1 && ftd->size <= 2000) {
        if (bare) return L"NVARCHAR2";
        std::swprintf(text, 64, L"NVARCHAR2(%d) ", ftd->size);
        return text;
      }
      return ftd->reserved == 10 ? L"LONG" : L"CLOB";
    case VT_BLOB:
      tk_log::write(1, "process as binary(size=%d)", ftd->size);
      if (ftd->size >= 1 && ftd->size <= 2000) {
        if (bare) return L"RAW";
        std::swprintf(text, 64, L"RAW(%d)", ftd->size);
        return text;
      }
      return L"BLOB";
    default:
      throw tk_mail_assertion("ora_util", 187);
  }
}

ub2 get_ora_type(const t_ftd* ftd) {
  tk_log::write(1, "get_ora_type");
  switch (ftd->vartype) {
    case VT_I2:
    case VT_I4:
    case VT_BOOL:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
      return SQLT_INT;
    case VT_R4:
      return SQLT_FLT;
    case VT_R8:
    case VT_I8:
    case VT_UI8:
      return SQLT_BDOUBLE;
    case VT_CY:
    case VT_BSTR:
    case VT_DECIMAL:
    case VT_LPWSTR:
    case VT_BLOB:
      return SQLT_STR;
    case VT_DATE:
      return SQLT_ODT;
    default:
      return 0;
  }
}

ub4 get_ora_len(const t_ftd* ftd) {
  tk_log::write(1, "get_ora_len");
  if (ora_is_large_object(ftd->vartype, ftd->size)) return 0;
  switch (ftd->vartype) {
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_BOOL:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
      return 4;
    case VT_R8:
    case VT_DATE:
    case VT_I8:
    case VT_UI8:
      return 8;
    case VT_CY:
      return 48;
    case VT_BSTR:
    case VT_LPWSTR:
      return static_cast<ub4>(ftd->size) * 2 + 2;
    case VT_DECIMAL: {
      ub4 len = ((ftd->reserved >> 8) & 0xFF) * 2 + 6;
      return len < 60 ? 60 : len;
    }
    default:
      return 0;
  }
}
