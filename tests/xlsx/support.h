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

// Sets or clears an environment variable for one scope.
class scoped_env {
 public:
  scoped_env(const char* name, const char* value) : name(name) {
    if (const char* old = std::getenv(name)) saved = old;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~scoped_env() {
    if (saved)
      setenv(name, saved->c_str(), 1);
    else
      unsetenv(name);
  }
  scoped_env(const scoped_env&) = delete;
  scoped_env& operator=(const scoped_env&) = delete;

 private:
  const char* name;
  std::optional<std::string> saved;
};

// A fresh folder below /tmp, removed with its content at the end.
class scratch_folder {
 public:
  scratch_folder() {
    char pattern[] = "/tmp/qm_xlsx_XXXXXX";
    path = mkdtemp(pattern);
  }
  ~scratch_folder() { run("rm -rf " + quote(path)); }
  std::string path;

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
