#include "OLE/ole_misc.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"

ole_guid_extractor::ole_guid_extractor(const std::wstring& t) : text(t) { locate(); }

ole_guid_extractor::ole_guid_extractor(const std::string& t) {
  if (!tk_a2w(t.c_str(), text)) text.clear();
  locate();
}

void ole_guid_extractor::locate() {
  tk_log::write(1, "ole_guid_extractor::locate");
  if (text.size() < 45) return;
  std::size_t keyword = text.find(L"guid");
  if (keyword == std::wstring::npos) keyword = text.find(L"GUID");
  if (keyword == std::wstring::npos) return;
  std::size_t brace = text.find(L'{', keyword + 4);
  if (brace == std::wstring::npos) return;
  pos = static_cast<int>(brace);
  found = true;
}

std::wstring ole_guid_extractor::get_guid() const {
  // {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx} from the brace on: a text that
  // ends inside it holds no GUID.
  if (!found || pos < 0 || text.size() - static_cast<std::size_t>(pos) < 37) return std::wstring();
  auto at = static_cast<std::size_t>(pos);
  return text.substr(at + 1, 8) + text.substr(at + 10, 4) + text.substr(at + 15, 4) + text.substr(at + 20, 4) +
         text.substr(at + 25, 12);
}

ULONG ole_get_ref_count(IUnknown* object) {
  if (!object) throw tk_mail_assertion("ole_misc", 14);
  object->AddRef();
  return object->Release();
}

bool ole_is_string_or_date(VARTYPE type) { return type == VT_BSTR || type == VT_DATE; }

LARGE_INTEGER ole_make_large_integer(DWORD value) {
  LARGE_INTEGER li;
  li.u.LowPart = value;
  li.u.HighPart = 0;
  return li;
}
