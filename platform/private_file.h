// Files that may hold a password: readable and writable by their owner only.
#pragma once

#include <string>

namespace qm_platform {
// Creates or empties the file with mode 0600 (an existing file's mode is
// tightened too) and writes the whole text. False, with errno set, when a
// step fails; a failed write leaves what was written. With `sync` the data
// is on the disk when it returns, as a rename that replaces a file needs.
bool write_private_file(const std::string& path, const std::string& text, bool sync = false);
// Writes the text to a new owner-only file beside `path` and renames it
// over `path`, so that a failed write leaves an old file whole. False, with
// errno set, when a step fails; the new file is removed then.
bool replace_private_file(const std::string& path, const std::string& text);
}  // namespace qm_platform
