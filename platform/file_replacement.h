// How every file the program replaces is replaced: a new file, written whole
// in a folder of our own beside the old one (private_folder.h), takes the
// old file's owner, group, permission bits, POSIX ACL and extended
// attributes, reaches the disk, and is renamed over the old file in one
// step; then the folder is synced. Until the rename the old file stays as
// it was, and a failure leaves it so.
#pragma once

#include <cstddef>
#include <string>

namespace qm_platform {

// The steps of a replacement that may fail late, behind a seam so that
// tests can make one of them fail. Results are errno values (0: done).
class replace_steps {
 public:
  virtual ~replace_steps() = default;
  virtual int sync(int fd);
  virtual int rename(const std::string& from, const std::string& to);
  // Gives the open file an extended attribute (an ACL among them).
  virtual int set_attribute(int fd, const std::string& name, const void* value, std::size_t size);
  // Removes an empty folder.
  virtual int remove_folder(const std::string& path);
};
// The steps used from now on (null: the system's own); returns the ones
// used before.
replace_steps* set_replace_steps(replace_steps* steps);
replace_steps& current_replace_steps();

// Why a name is not followed to the file it leads to.
enum class link_refusal {
  none,
  foreign,   // a symbolic link of a user other than ours and the folder's owner
  dangling,  // a symbolic link that leads to no file
  loop,      // more links than the system itself would follow
};
// The reason as the end of a message ("it is a symbolic link ...").
std::wstring link_refusal_text(link_refusal refusal);

// The file a replacement of `path` goes to: `path` itself, or, when it is
// a symbolic link, the file it leads to, so that the link stays and the
// file it names is replaced. A link is followed only when nobody else could
// have made it: it belongs to the running user or to the owner of the
// folder that holds it (as the kernel's protected-symlinks rule has it).
link_refusal replacement_target(const std::string& path, std::string& target);

// What the new file keeps of the old one.
enum class replaced_access {
  as_old,      // owner, group, mode, ACL and extended attributes
  owner_only,  // owner and group, mode 0600, no ACL: it may hold a password
};

// Puts the file `from` in the place of `to` (a name that
// replacement_target gave: no link is followed here). 0, or the errno of
// the step that failed; `to` is then as it was. Access is never widened:
// group bits go when the old group cannot be kept, and an ACL that cannot
// be copied leaves the group bits its group entry allows, not its mask.
int put_in_place(const std::wstring& from, const std::wstring& to,
                 replaced_access access = replaced_access::as_old);

// Why a file written beside `target` could not be put in its place, as far
// as can be known before anything is written: empty when nothing is known
// against it, else the end of a message ("cannot create a folder beside
// it: Permission denied", "it is a mount point", ...). Folders of runs
// that are gone are removed from beside it on the way.
std::wstring replacement_refusal(const std::string& target);

}  // namespace qm_platform
