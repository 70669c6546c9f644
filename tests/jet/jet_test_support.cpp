#include "jet_test_support.h"

#include "platform/utf8.h"
#include "tests/support/wide_text.h"

std::wstring temp_dir::file(const std::wstring& name) const {
  return qm_test::wide(path) + L"/" + name;
}
