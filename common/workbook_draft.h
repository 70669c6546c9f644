// The workbook a run writes: made whole under a name of its own, in a folder
// of its own beside the destination, and put in the destination's place in
// one step once it is complete. Until then the old workbook stays as it was;
// whatever the run made goes with the object.
#pragma once

#include "platform/private_folder.h"

#include <memory>
#include <string>

class workbook_draft {
 public:
  // Makes nothing yet.
  explicit workbook_draft(const std::wstring& destination);

  // The file the run writes; its folder is made at the first call. Raises
  // tk_exception (level 1), naming the destination, when it cannot be made.
  const std::wstring& path();
  // The complete workbook becomes the destination, with the old file's
  // permission bits. Raises tk_exception (level 1), naming the destination,
  // when it cannot; the destination is then as it was.
  void put_in_place();
  // Removes what the run made.
  void discard() { folder.reset(); }

 private:
  std::wstring destination;
  std::wstring file_name;
  std::wstring file;
  std::unique_ptr<qm_platform::private_folder> folder;
};
