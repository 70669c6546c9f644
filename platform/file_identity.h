// Whether two names lead to one file.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace qm_platform {
// The file a name leads to: the full path with its folders and symbolic
// links resolved, which also stands for a file not made yet, and the
// device and inode of a file that exists, so that a hard link or another
// path to it is the same file too.
class file_identity {
 public:
  explicit file_identity(const std::string& path);
  // The file behind an open descriptor.
  static file_identity of_descriptor(int fd);

  bool same_file(const file_identity& other) const;
  const std::string& resolved() const { return resolved_path; }

 private:
  file_identity() = default;

  std::string resolved_path;
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
};

// The regular files this process holds open for reading, the standard
// streams left aside: what a library opened for the run reads them.
std::vector<file_identity> open_files();

// True when the name itself is a symbolic link (its folders may be links).
bool is_symbolic_link(const std::string& path);
// What the symbolic link says, as it says it; empty when it is none or
// cannot be read.
std::string symbolic_link_target(const std::string& path);
}  // namespace qm_platform
