// Files that may hold a password: readable and writable by their owner only.
#pragma once

#include <string>

namespace qm_platform {

// Why a file was not replaced: an errno value, or a reason of our own.
struct replace_failure {
  int error = 0;
  std::wstring reason;
  bool failed() const { return error != 0 || !reason.empty(); }
  // The reason as the end of a message.
  std::wstring text() const;
};

// Writes the text to a new owner-only file in a folder of our own beside
// the file `path` names (a symbolic link followed as replacement_target
// follows it), puts it on the disk and in that file's place
// (put_in_place, owner_only), so that a failed write leaves an old file
// whole. The new file is removed when a step fails.
replace_failure replace_private_file(const std::string& path, const std::string& text);

}  // namespace qm_platform
