#include "platform/private_folder.h"

#include "platform/utf8.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm_platform {

namespace {

const char prefix[] = ".quillmark-";

std::string parent_of(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool same_inode(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Everything inside the open folder `fd`, never through a link: 0, or the
// first errno; the rest is removed all the same.
int remove_inside(int fd) {
  int copy = ::dup(fd);
  if (copy < 0) return errno;
  DIR* folder = ::fdopendir(copy);
  if (!folder) {
    int error = errno;
    ::close(copy);
    return error;
  }
  // The copy shares its position with the descriptor, which may have been read.
  ::rewinddir(folder);
  int first = 0;
  auto keep = [&first](int error) {
    if (!first) first = error;
  };
  while (dirent* entry = ::readdir(folder)) {
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    struct stat st {};
    if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
      keep(errno);
      continue;
    }
    if (S_ISDIR(st.st_mode)) {
      int inner = ::openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (inner < 0) {
        keep(errno);
        continue;
      }
      // Our own folder: one made without write access is emptied all the same.
      ::fchmod(inner, 0700);
      keep(remove_inside(inner));
      ::close(inner);
      if (::unlinkat(fd, name, AT_REMOVEDIR) != 0) keep(errno);
    } else if (::unlinkat(fd, name, 0) != 0) {
      keep(errno);
    }
  }
  ::closedir(folder);
  return first;
}

}  // namespace

int folder_mark::take(const std::string& path) {
  release();
  int folder = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folder < 0) return errno;
  // A clean-up that looks at the folder holds it for a moment only.
  int locked;
  do locked = ::flock(folder, LOCK_EX);
  while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    int error = errno;
    // Usable all the same where no process can mark a folder.
    if (no_locks_here(error)) ::fchmod(folder, 0700);
    ::close(folder);
    return error;
  }
  struct stat opened {}, named {};
  if (::fstat(folder, &opened) != 0 || ::lstat(path.c_str(), &named) != 0 || !same_inode(opened, named)) {
    ::close(folder);
    return ESTALE;
  }
  // Marked: from now on it has the mode of a folder a clean-up may look at.
  ::fchmod(folder, 0700);
  fd = folder;
  return 0;
}

bool folder_mark::taken_by_another(int error) { return error == EWOULDBLOCK || error == ESTALE; }

bool folder_mark::no_locks_here(int error) {
  return error == ENOLCK || error == EOPNOTSUPP || error == EINVAL || error == EBADF;
}

void folder_mark::release() {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

void remove_dead_folders(const std::string& folder, bool (*ours)(const std::string& name)) {
  int parent = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (parent < 0) return;
  int copy = ::dup(parent);
  DIR* listing = copy >= 0 ? ::fdopendir(copy) : nullptr;
  if (!listing) {
    if (copy >= 0) ::close(copy);
    ::close(parent);
    return;
  }
  const uid_t user = ::geteuid();
  while (dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (!ours(name)) continue;
    int candidate = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (candidate < 0) continue;
    struct stat st {}, named {};
    // As the program makes it, and unmarked: the process that marked it is gone.
    bool dead = ::fstat(candidate, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == user &&
                (st.st_mode & 07777) == 0700 && ::flock(candidate, LOCK_EX | LOCK_NB) == 0 &&
                ::fstatat(parent, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && same_inode(st, named);
    if (dead && remove_inside(candidate) == 0) ::unlinkat(parent, name.c_str(), AT_REMOVEDIR);
    ::close(candidate);
  }
  ::closedir(listing);
  ::close(parent);
}

int make_unmarked_folder(std::string& pattern) {
  static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  const std::size_t at = pattern.size() - 6;
  for (int attempt = 0; attempt < 1000; ++attempt) {
    unsigned char random[6];
    if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) return errno ? errno : EIO;
    for (std::size_t i = 0; i < 6; ++i) pattern[at + i] = letters[random[i] % (sizeof letters - 1)];
    if (::mkdir(pattern.c_str(), unmarked_mode) == 0) return 0;
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

std::string name_pattern_beside(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return path.substr(0, slash == std::string::npos ? 0 : slash + 1) + prefix + "XXXXXX";
}

bool is_private_folder_name(const std::string& name) {
  const std::size_t length = sizeof prefix - 1;
  if (name.size() != length + 6 || name.compare(0, length, prefix) != 0) return false;
  for (std::size_t i = length; i < name.size(); ++i) {
    char c = name[i];
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

private_folder::private_folder(const std::wstring& beside) {
  const std::string pattern = name_pattern_beside(path_to_utf8(beside.c_str()));
  remove_dead_folders(parent_of(pattern), is_private_folder_name);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = pattern;
    if (int rc = make_unmarked_folder(name)) {
      error_number = rc;
      return;
    }
    int rc = mark.take(name);
    if (folder_mark::taken_by_another(rc) || rc == ENOENT) continue;
    if (rc != 0 && !folder_mark::no_locks_here(rc)) {
      ::rmdir(name.c_str());
      error_number = rc;
      return;
    }
    // Without locks on this file system the folder goes unmarked; no run
    // can take it for a dead one there either.
    folder = path_from_utf8(name.c_str());
    return;
  }
  error_number = EAGAIN;
}

private_folder::~private_folder() { remove(); }

int private_folder::remove() {
  if (folder.empty()) return 0;
  std::string path = path_to_utf8(folder.c_str());
  int error = 0;
  if (mark.held()) {
    error = remove_inside(mark.descriptor());
  } else if (int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); fd >= 0) {
    error = remove_inside(fd);
    ::close(fd);
  } else {
    error = errno;
  }
  if (int rc = current_replace_steps().remove_folder(path); rc != 0 && error == 0) error = rc;
  mark.release();
  folder.clear();
  return error;
}

}  // namespace qm_platform
