// Writing a file whole before it replaces another: the new file is made in
// a folder of our own beside the old one and then put in its place in one
// step, so that a failed or interrupted write leaves the old file as it was.
#pragma once

#include <string>

namespace qm_platform {

// ".quillmark-XXXXXX" in the folder of `beside` (mode 0700, made by
// mkdtemp: never a folder or a link that was there before). It goes with
// everything in it when the object goes.
class private_folder {
 public:
  explicit private_folder(const std::wstring& beside);
  ~private_folder();
  private_folder(const private_folder&) = delete;
  private_folder& operator=(const private_folder&) = delete;

  // Empty when the folder could not be made; error() is then its errno.
  const std::wstring& path() const { return folder; }
  int error() const { return error_number; }
  // Removes it now, with everything in it.
  void remove();

 private:
  std::wstring folder;
  int error_number = 0;
};

// The mkstemp or mkdtemp pattern of a name of our own beside `path`:
// ".quillmark-XXXXXX" in its folder. Short, not the file's name with more
// after it, which a name as long as the file system takes would not take.
std::string name_pattern_beside(const std::string& path);

// Puts the file `from` in the place of `to`: its data on the disk, the
// permission bits of the file at `to` when there is one (a link is replaced,
// with the bits of the file it names), one rename, then the folder on the
// disk. 0, or the errno of the step that failed (`to` is then as it was).
int put_in_place(const std::wstring& from, const std::wstring& to);

}  // namespace qm_platform
