#include "platform/oleauto.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>

namespace {

// The count sits in a header right before the characters.
struct alignas(8) bstr_header {
  UINT length;
};

bstr_header* header_of(BSTR text) { return reinterpret_cast<bstr_header*>(text) - 1; }

}  // namespace

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  std::size_t chars = static_cast<std::size_t>(length) + 1;
  if (chars > (SIZE_MAX - sizeof(bstr_header)) / sizeof(OLECHAR)) return nullptr;
  void* block = std::malloc(sizeof(bstr_header) + chars * sizeof(OLECHAR));
  if (!block) return nullptr;
  auto* header = new (block) bstr_header{length};
  auto* data = reinterpret_cast<OLECHAR*>(header + 1);
  if (text)
    std::wmemcpy(data, text, length);
  else
    std::wmemset(data, L'\0', length);
  data[length] = L'\0';
  return data;
}

BSTR SysAllocString(const OLECHAR* text) {
  if (!text) return nullptr;
  return SysAllocStringLen(text, static_cast<UINT>(std::wcslen(text)));
}

void SysFreeString(BSTR text) {
  if (text) std::free(header_of(text));
}

UINT SysStringLen(BSTR text) { return text ? header_of(text)->length : 0; }
