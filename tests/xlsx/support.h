// Shared helpers of the workbook tests.
#pragma once

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <optional>
#include <string>
#include <unistd.h>

#include "tests/support/scoped_env.h"
#include "tests/support/temp_folder.h"

// A fresh folder under TMPDIR, removed with its content at the end, and
// shell lines of the tests.
class scratch_folder : public qm_test::temp_folder {
 public:
  scratch_folder() : temp_folder("qm_xlsx_") {}

  static std::string quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
  }
  // Runs a shell line of the test (never the code under test); its output.
  static std::string run(const std::string& command, int* status = nullptr) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
      std::array<char, 4096> buffer;
      std::size_t n;
      while ((n = std::fread(buffer.data(), 1, buffer.size(), p)) > 0) out.append(buffer.data(), n);
      int rc = pclose(p);
      if (status) *status = rc;
    }
    return out;
  }
  // The names in a folder, one a line, sorted; empty for an empty folder.
  static std::string listing(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
      names.insert(entry.path().filename().string());
    std::string out;
    for (const std::string& n : names) out += n + "\n";
    return out;
  }
};
