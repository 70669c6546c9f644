// Small OLE helpers: the GUID inside a text, reference counts, type tests
// and stream offsets.
#pragma once

#include "platform/com.h"
#include "platform/oleauto.h"

#include <string>

// Finds a braced GUID that follows the word "guid" (or "GUID") in a text.
class ole_guid_extractor {
 public:
  explicit ole_guid_extractor(const std::wstring& text);
  explicit ole_guid_extractor(const std::string& text);

  // The 32 hexadecimal digits without braces and hyphens; empty when no
  // GUID was found or the text ends before the GUID does.
  std::wstring get_guid() const;

  int pos = -1;
  std::wstring text;
  bool found = false;

 private:
  void locate();
};

// The object's current count: one reference added and released again.
ULONG ole_get_ref_count(IUnknown* object);
bool ole_is_string_or_date(VARTYPE type);
// The offset argument of IStream::Seek.
LARGE_INTEGER ole_make_large_integer(DWORD value);
