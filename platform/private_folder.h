// Writing a file whole before it replaces another: the new file is made in
// a folder of our own beside the old one and then put in its place in one
// step (file_replacement.h), so that a failed or interrupted write leaves
// the old file as it was.
#pragma once

#include "platform/file_replacement.h"

#include <string>

namespace qm_platform {

// A folder's mark as alive: an flock held on it, which the system lets go
// when the process ends, however it ends. A folder is made with
// unmarked_mode and gets mode 0700 once it is marked, so that no clean-up
// takes it for a dead one between its making and its mark.
constexpr unsigned unmarked_mode = 0500;
class folder_mark {
 public:
  folder_mark() = default;
  ~folder_mark() { release(); }
  folder_mark(const folder_mark&) = delete;
  folder_mark& operator=(const folder_mark&) = delete;

  // Marks the folder at `path` and gives it mode 0700 (also where the file
  // system keeps no locks): 0; ESTALE when the name no longer leads to the
  // folder opened, or the errno of the open or of the lock.
  int take(const std::string& path);
  void release();
  bool held() const { return fd >= 0; }
  // What take() said: the folder went, or was replaced, before it could be
  // marked (its maker tries another), or its file system keeps no locks (it
  // goes unmarked, and no run can take it for a dead one there either).
  static bool taken_by_another(int error);
  static bool no_locks_here(int error);
  // The folder, open while it is held.
  int descriptor() const { return fd; }

 private:
  int fd = -1;
};

// Removes from `folder` the folders whose names `ours` accepts and that a
// process now gone made: a folder (never a link), the running user's own,
// mode 0700 and marked by nobody, with everything inside it. Nothing else
// is touched, and a folder that cannot be checked is left.
void remove_dead_folders(const std::string& folder, bool (*ours)(const std::string& name));

// ".quillmark-XXXXXX" in the folder of `beside` (mode 0700, made new: never
// a folder or a link that was there before), marked as alive for the
// object's life. The dead ones of that name beside it are removed first.
// It goes with everything in it when the object goes.
class private_folder {
 public:
  explicit private_folder(const std::wstring& beside);
  ~private_folder();
  private_folder(const private_folder&) = delete;
  private_folder& operator=(const private_folder&) = delete;

  // Empty when the folder could not be made; error() is then its errno.
  const std::wstring& path() const { return folder; }
  int error() const { return error_number; }
  // Removes it now, with everything in it: 0, or the errno of the first
  // step that failed (what is left is removed by a later run).
  int remove();

 private:
  std::wstring folder;
  int error_number = 0;
  folder_mark mark;
};

// Makes a new folder of the pattern (its last six characters replaced),
// with unmarked_mode: 0 or the errno.
int make_unmarked_folder(std::string& pattern);
// The mkstemp or mkdtemp pattern of a name of our own beside `path`:
// ".quillmark-XXXXXX" in its folder. Short, not the file's name with more
// after it, which a name as long as the file system takes would not take.
std::string name_pattern_beside(const std::string& path);
// True for a name that pattern gives.
bool is_private_folder_name(const std::string& name);

}  // namespace qm_platform
