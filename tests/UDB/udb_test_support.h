#pragma once
#include "TK/tk_log.h"
#include "tests/support/files.h"
#include "tests/support/temp_folder.h"

#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

// A fresh folder under TMPDIR, removed with its content at the end.
using qm_test::temp_folder;

inline void write_file(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The log's single instance, writing into a file of its own, for tests that
// look at what was logged.
class log_capture {
 public:
  explicit log_capture(int threshold = 1) {
    file = folder.path + "/trace.log";
    log.set_file_name(file.c_str());
    log.time_stamp = false;
    log.threshold = threshold;
    log.enabled = true;
  }
  std::string text() const { return qm_test::file_bytes(file); }
  bool has_line(const std::string& line) const {
    return ("\n" + text()).find("\n" + line + "\n") != std::string::npos;
  }

  temp_folder folder;
  std::string file;
  tk_log log;
};
