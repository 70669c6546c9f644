#include "jet_test_support.h"

#include "platform/utf8.h"

#include <cstdlib>
#include <unistd.h>

temp_dir::temp_dir() {
  char tmpl[] = "/tmp/qm_jet_XXXXXX";
  path = mkdtemp(tmpl);
}

temp_dir::~temp_dir() {
  std::string cmd = "chmod -R u+w '" + path + "' && rm -rf '" + path + "'";
  if (std::system(cmd.c_str()) != 0) {
  }
}

std::wstring temp_dir::file(const std::wstring& name) const {
  return qm_platform::path_from_utf8(path.c_str()) + L"/" + name;
}
