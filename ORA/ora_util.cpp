#include "ORA/ora_util.h"

#include "OLE/ole_date.h"
#include "OLE/ole_misc.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "UDB/udb_field.h"
#include "UDB/udb_schema.h"

#include <cmath>
#include <cstdlib>
#include <cwchar>
#include <cwctype>

namespace {

bool is_binary(VARTYPE vt) { return vt == VT_BLOB || vt == VT_BLOB_OBJECT || vt == (VT_ARRAY | VT_UI1); }

std::wstring date_literal(const std::wstring& text) {
  ole_date date(text);
  if (!date.is_valid()) return std::wstring();
  switch (date.type) {
    case ole_date::time_only: {
      std::wstring t = date.to_wstring(true);
      const std::wstring null_date = L"0000-00-00 ";
      std::size_t at = t.find(null_date);
      if (at != std::wstring::npos) {
        tk_log::write(2, "Null date has been found");
        t.erase(at, null_date.size());
      }
      return L"to_date('" + t + L"', 'HH24-MI-SS')";
    }
    case ole_date::date_only:
      return L"to_date('" + date.to_wstring(false) + L"', 'YYYY-MM-DD')";
    default:
      return L"to_date('" + date.to_wstring(false) + L"', 'YYYY-MM-DD HH24:MI:SS')";
  }
}

std::wstring binary_literal(const std::wstring& text) {
  tk_log::write(1, "GOT BLOB");
  if (text.size() < 3 || text[0] != L'0' || (text[1] != L'x' && text[1] != L'X')) return L"''";
  for (std::size_t i = 2; i < text.size(); ++i)
    if (!std::iswxdigit(text[i])) return L"''";
  tk_log::write(1, "BLOB IS VALID");
  return L"'" + text.substr(2) + L"'";
}

}  // namespace

std::wstring to_oracle_str(const std::wstring& text, VARTYPE vartype, bool quote) {
  tk_log::write(1, L"to_oracle_str(%ls,%d)", text.c_str(), vartype);
  if (text.empty()) return L"''";
  if (vartype == VT_DATE) return date_literal(text);
  if (is_binary(vartype)) return binary_literal(text);
  if (!quote) return text;
  std::wstring out;
  for (wchar_t c : text) {
    out.push_back(c);
    if (c == L'\'') out.push_back(L'\'');
  }
  return vartype == VT_BSTR ? L"'" + out + L"'" : out;
}

std::wstring to_oracle_str(const udb_field* field, bool quote) {
  tk_log::write(1, "to_oracle_str( const udb_field *  )");
  if (!field) throw tk_mail_assertion("ora_util", 344);
  VARTYPE vt = field->get_type();
  std::wstring text = field->to_wstring();
  if (vt == VT_BSTR || vt == VT_BLOB || vt == (VT_ARRAY | VT_UI1)) {
    ole_guid_extractor extractor(text);
    std::wstring guid = extractor.get_guid();
    if (extractor.found && !guid.empty()) {
      tk_log::write(1, "FIELD IS A GUID!");
      return guid;
    }
  }
  return to_oracle_str(text, vt, quote);
}

std::wstring make_ora_def_val(const t_ftd* ftd) {
  if (!ftd) throw tk_mail_assertion("ora_util", 236);
  std::wstring def = ftd->default_value.to_wstring();
  tk_log::write(1, L"make_ora_def_val(%ls)", def.c_str());
  if (def.empty()) {
    tk_log::write(1, "Got empty def value");
    return std::wstring();
  }
  switch (ftd->vartype) {
    case VT_BSTR:
      tk_log::write(1, L"Got BSTR or DATE def value: %ls", def.c_str());
      if (ftd->size > 0 && def.size() > static_cast<std::size_t>(ftd->size)) def.resize(ftd->size);
      return to_oracle_str(def, VT_BSTR, true);
    case VT_DATE: {
      tk_log::write(1, "Got DATE def value");
      ole_date date(def);
      std::wstring canonical = date.to_wstring(false);
      tk_log::write(1, L"After canonization: %ls", canonical.c_str());
      return canonical.empty() ? std::wstring() : date_literal(canonical);
    }
    case VT_I2:
    case VT_I4:
    case VT_BOOL:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_INT:
    case VT_UINT: {
      long value = std::wcstol(def.c_str(), nullptr, 10);
      return std::to_wstring(value) == def ? def : std::wstring();
    }
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DECIMAL: {
      double value = std::wcstod(def.c_str(), nullptr);
      if (!(value >= -1e126 && value <= 1e126)) {
        tk_log::write(1, "def value is out of range");
        return L"0";
      }
      if (value != 0) return def;
      return def.find_first_not_of(L"eE-+.,0") == std::wstring::npos ? def : std::wstring();
    }
    default:
      return std::wstring();
  }
}
