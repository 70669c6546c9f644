#pragma once
#include <cstdlib>
#include <string>
#include <unistd.h>

// A fresh folder below /tmp, removed with its content at the end.
class temp_folder {
 public:
  temp_folder() {
    char tmpl[] = "/tmp/qm_tk_XXXXXX";
    path = mkdtemp(tmpl);
  }
  ~temp_folder() {
    std::string cmd = "rm -rf '" + path + "'";
    if (std::system(cmd.c_str()) != 0) {
    }
  }
  std::string path;
};
