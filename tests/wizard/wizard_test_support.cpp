#include "wizard_test_support.h"

#include <array>
#include <cstdio>

std::string read_workbook(const std::string& path) {
  std::string cmd = "/usr/bin/python3 '" QM_SOURCE_DIR "/tests/wizard/read_workbook.py' '" + path + "' 2>&1";
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    std::array<char, 512> buffer;
    while (std::fgets(buffer.data(), buffer.size(), p)) out += buffer.data();
    pclose(p);
  }
  return out;
}
