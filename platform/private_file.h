// Files that may hold a password: readable and writable by their owner only.
#pragma once

#include <string>

namespace qm_platform {
// Writes the text to a new owner-only file beside `path`, puts it on the
// disk and renames it over `path`, so that a failed write leaves an old
// file whole. False, with errno set, when a step fails; the new file is
// removed then.
bool replace_private_file(const std::string& path, const std::string& text);
}  // namespace qm_platform
