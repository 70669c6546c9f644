// The workbook a run writes: made whole under a name of its own, in a folder
// of its own beside the file the destination names (a symbolic link is
// followed as qm_platform::replacement_target follows it, and stays), and
// put in that file's place in one step once it is complete. Until then the
// old workbook stays as it was; whatever the run made goes with the object.
#pragma once

#include "platform/private_folder.h"

#include <memory>
#include <string>

class workbook_draft {
 public:
  // Makes nothing yet.
  explicit workbook_draft(const std::wstring& destination);
  ~workbook_draft();

  // The file the run writes; its folder is made at the first call, and
  // the messages of the file show the destination's name. Raises
  // tk_exception (level 1), naming the destination, when it cannot be made.
  const std::wstring& path();
  // The complete workbook becomes the destination, with the old file's
  // owner, group, permission bits, ACL and extended attributes. Raises
  // tk_exception (level 1), naming the destination, when it cannot; the
  // destination is then as it was. Returns what a failed removal of the
  // run's folder is to say (empty when it went).
  std::string put_in_place();
  // Removes what the run made; returns the same as put_in_place.
  std::string discard();

 private:
  std::string remove_folder();

  std::wstring destination;
  std::wstring target;
  std::wstring file_name;
  std::wstring file;
  std::unique_ptr<qm_platform::private_folder> folder;
};

// "Cannot write the destination file "...": " and the cause.
[[noreturn]] void cannot_write_destination(const std::wstring& destination, const std::wstring& cause);
