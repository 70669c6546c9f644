// Files that may hold a password: readable and writable by their owner only.
#pragma once

#include <string>

namespace qm_platform {
// Creates or empties the file with mode 0600 (an existing file's mode is
// tightened too) and writes the whole text. False, with errno set, when a
// step fails; a failed write leaves what was written. With `sync` the data
// is on the disk when it returns, as a rename that replaces a file needs.
bool write_private_file(const std::string& path, const std::string& text, bool sync = false);
}  // namespace qm_platform
