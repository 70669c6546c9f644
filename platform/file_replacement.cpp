#include "platform/file_replacement.h"

#include "platform/file_identity.h"
#include "platform/private_folder.h"
#include "platform/system_error.h"
#include "platform/utf8.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace qm_platform {

namespace {

replace_steps system_steps;
replace_steps* steps_in_use = nullptr;

// Enough for any chain of links the system itself would follow.
constexpr int max_links = 40;

const char acl_access[] = "system.posix_acl_access";

std::string parent_of(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The names of the file's extended attributes; empty when it has none or
// they cannot be read.
std::vector<std::string> attribute_names(const std::string& path) {
  std::vector<std::string> names;
  ssize_t size = ::llistxattr(path.c_str(), nullptr, 0);
  if (size <= 0) return names;
  std::vector<char> list(static_cast<std::size_t>(size));
  size = ::llistxattr(path.c_str(), list.data(), list.size());
  for (ssize_t at = 0; at < size;) {
    std::string name(list.data() + at);
    at += static_cast<ssize_t>(name.size()) + 1;
    if (!name.empty()) names.push_back(name);
  }
  return names;
}

bool attribute_value(const std::string& path, const std::string& name, std::vector<char>& value) {
  ssize_t size = ::lgetxattr(path.c_str(), name.c_str(), nullptr, 0);
  if (size < 0) return false;
  value.resize(static_cast<std::size_t>(size));
  size = ::lgetxattr(path.c_str(), name.c_str(), value.data(), value.size());
  if (size < 0) return false;
  value.resize(static_cast<std::size_t>(size));
  return true;
}

// The stored form of an access ACL: a 4-byte version, then entries of a
// 2-byte tag, a 2-byte permission and a 4-byte id, little-endian.
constexpr std::uint16_t acl_group_obj = 0x04, acl_mask = 0x10;
constexpr std::size_t acl_header = 4, acl_entry = 8;

std::uint16_t read16(const std::vector<char>& v, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(v[at]) | (static_cast<unsigned char>(v[at + 1]) << 8));
}

// The permission bits of the owning group's entry as the mask lets them
// through (no mask: the entry alone); -1 when the ACL cannot be read.
int acl_group_bits(const std::vector<char>& acl) {
  if (acl.size() < acl_header || (acl.size() - acl_header) % acl_entry != 0) return -1;
  int group = -1, mask = 7;
  for (std::size_t at = acl_header; at < acl.size(); at += acl_entry) {
    std::uint16_t tag = read16(acl, at), perm = read16(acl, at + 2) & 7;
    if (tag == acl_group_obj) group = perm;
    if (tag == acl_mask) mask = perm;
  }
  return group < 0 ? -1 : group & mask;
}

// The owning group's entry emptied: it is to stand for another group.
void clear_acl_group(std::vector<char>& acl) {
  for (std::size_t at = acl_header; at + acl_entry <= acl.size(); at += acl_entry)
    if (read16(acl, at) == acl_group_obj) acl[at + 2] = acl[at + 3] = 0;
}

// The old file's owner, group, mode, ACL and other attributes onto the new
// one, as far as the system lets us, never giving anyone more than the old
// file gave: 0, or the errno of a change of mode that failed.
int take_access_of(int fd, const std::string& old_path, const struct stat& old, replaced_access access,
                   replace_steps& steps) {
  // Before the mode: a change of owner clears the set-id bits.
  if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
    // The owner only root may give; a group of ours the user may.
    if (::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
      // The file keeps the owner it has.
    }
  }
  struct stat now {};
  if (::fstat(fd, &now) != 0) return errno;
  const bool same_group = now.st_gid == old.st_gid;

  std::vector<std::string> names = attribute_names(old_path);
  std::vector<char> acl;
  bool has_acl = false;
  for (const std::string& name : names)
    if (name == acl_access) has_acl = attribute_value(old_path, name, acl);

  mode_t mode = access == replaced_access::owner_only ? 0600 : old.st_mode & 0777;
  if (access == replaced_access::as_old) {
    // With an ACL the group bits are its mask, which lets named users and
    // groups in: the owning group itself had only its own entry.
    if (has_acl) {
      int bits = acl_group_bits(acl);
      mode = (mode & ~mode_t{070}) | (bits < 0 ? 0 : static_cast<mode_t>(bits) << 3);
    }
    // Bits meant for one group would let another in.
    if (!same_group) mode &= ~mode_t{070};
  }
  // An ACL the new file took from its folder is none of the old file's.
  ::fremovexattr(fd, acl_access);
  if (::fchmod(fd, mode) != 0) return errno;

  std::vector<char> value;
  for (const std::string& name : names) {
    if (name == acl_access) {
      if (access != replaced_access::as_old || !has_acl) continue;
      if (!same_group) clear_acl_group(acl);
      // Failing, the mode set above stands: it gives no more than the ACL.
      steps.set_attribute(fd, name, acl.data(), acl.size());
      continue;
    }
    if (name.compare(0, 6, "system") == 0) continue;
    // Attributes the user may not set (security.*, trusted.*) stay behind.
    if (attribute_value(old_path, name, value)) steps.set_attribute(fd, name, value.data(), value.size());
  }
  return 0;
}

}  // namespace

int replace_steps::sync(int fd) { return ::fsync(fd) == 0 ? 0 : errno; }

int replace_steps::rename(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int replace_steps::remove_folder(const std::string& path) { return ::rmdir(path.c_str()) == 0 ? 0 : errno; }

int replace_steps::set_attribute(int fd, const std::string& name, const void* value, std::size_t size) {
  return ::fsetxattr(fd, name.c_str(), value, size, 0) == 0 ? 0 : errno;
}

replace_steps* set_replace_steps(replace_steps* steps) {
  replace_steps* before = steps_in_use;
  steps_in_use = steps;
  return before;
}

replace_steps& current_replace_steps() { return steps_in_use ? *steps_in_use : system_steps; }

std::wstring link_refusal_text(link_refusal refusal) {
  switch (refusal) {
    case link_refusal::foreign:
      return L"it is a symbolic link that belongs to another user";
    case link_refusal::dangling:
      return L"it is a symbolic link to a file that does not exist";
    case link_refusal::loop:
      return L"it is a chain of too many symbolic links";
    case link_refusal::none:
      break;
  }
  return std::wstring();
}

link_refusal replacement_target(const std::string& path, std::string& target) {
  const uid_t user = ::geteuid();
  std::string current = path;
  for (int links = 0;; ++links) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0) {
      // A name that leads nowhere is a new file; a link that does is refused.
      if (links > 0) return link_refusal::dangling;
      target = current;
      return link_refusal::none;
    }
    if (!S_ISLNK(st.st_mode)) {
      target = current;
      return link_refusal::none;
    }
    if (links == max_links) return link_refusal::loop;
    std::string folder = parent_of(current);
    struct stat holder {};
    if (::stat(folder.c_str(), &holder) != 0) return link_refusal::foreign;
    if (st.st_uid != user && st.st_uid != holder.st_uid) return link_refusal::foreign;
    std::string next = symbolic_link_target(current);
    if (next.empty()) return link_refusal::dangling;
    current = next[0] == '/' ? next : folder + "/" + next;
  }
}

int put_in_place(const std::wstring& from, const std::wstring& to, replaced_access access) {
  std::string source = path_to_utf8(from.c_str());
  std::string target = path_to_utf8(to.c_str());
  replace_steps& steps = current_replace_steps();
  int fd = ::open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat old {};
  int rc = 0;
  if (::lstat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode))
    rc = take_access_of(fd, target, old, access, steps);
  else if (access == replaced_access::owner_only && ::fchmod(fd, 0600) != 0)
    rc = errno;
  // A disk that is full shows at the latest here, before the old file goes.
  if (rc == 0) rc = steps.sync(fd);
  ::close(fd);
  if (rc == 0) rc = steps.rename(source, target);
  if (rc != 0) return rc;
  // The rename is done whatever this says: some file systems cannot sync a folder.
  int folder = ::open(parent_of(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    steps.sync(folder);
    ::close(folder);
  }
  return 0;
}

std::wstring replacement_refusal(const std::string& target) {
  const std::string folder_path = parent_of(target);
  {
    // The folder the run would write in, made and removed again.
    private_folder probe(path_from_utf8(target.c_str()));
    if (probe.path().empty())
      return L"cannot create a folder beside it: " + system_error_wide_text(probe.error());
  }
  struct stat file {}, folder {};
  if (::lstat(target.c_str(), &file) != 0 || ::stat(folder_path.c_str(), &folder) != 0) return std::wstring();
  // In a sticky folder only the owner of a file, or of the folder, may rename over it.
  const uid_t user = ::geteuid();
  if ((folder.st_mode & S_ISVTX) && user != 0 && file.st_uid != user && folder.st_uid != user)
    return L"it belongs to another user in a folder where only the owner of a file may replace it";
  // A file mounted over another: a rename cannot take its place.
  struct statx mount {};
  bool mount_root = ::statx(AT_FDCWD, target.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &mount) == 0 &&
                    (mount.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) &&
                    (mount.stx_attributes & STATX_ATTR_MOUNT_ROOT);
  if (mount_root || file.st_dev != folder.st_dev) return L"it is a mount point";
  return std::wstring();
}

}  // namespace qm_platform
