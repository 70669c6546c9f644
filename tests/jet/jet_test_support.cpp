#include "jet_test_support.h"

#include "platform/utf8.h"

std::wstring temp_dir::file(const std::wstring& name) const {
  return qm_platform::path_from_utf8(path.c_str()) + L"/" + name;
}
