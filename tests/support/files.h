// Files and folders as text, to compare before and after.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace qm_test {

// The file's bytes; empty when it cannot be read.
inline std::string file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The names in a folder, one a line, sorted; empty for an empty folder.
inline std::string listing(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename().string());
  std::string out;
  for (const std::string& name : names) out += name + "\n";
  return out;
}

// A folder's whole tree: one line per entry with its type, mode, owner and
// bytes (a link's target, unfollowed).
inline std::string file_tree(const std::string& folder) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> lines;
  std::error_code error;
  auto describe = [&](const std::string& path, const std::string& name) {
    struct stat st{};
    if (lstat(path.c_str(), &st) != 0) {
      lines[name] = "(gone)";
      return;
    }
    std::string line = std::to_string(st.st_mode) + " " + std::to_string(st.st_uid);
    if (S_ISLNK(st.st_mode)) {
      line += " -> " + fs::read_symlink(path, error).string();
    } else if (S_ISREG(st.st_mode)) {
      std::ifstream in(path, std::ios::binary);
      line += in ? " " + std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())
                 : " (unreadable)";
    }
    lines[name] = line;
  };
  describe(folder, ".");
  for (fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, error), end;
       !error && it != end; it.increment(error))
    describe(it->path().string(), it->path().lexically_relative(folder).string());
  std::string out;
  for (const auto& [name, line] : lines) out += name + ": " + line + "\n";
  return out;
}

}  // namespace qm_test
