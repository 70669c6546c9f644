#include "platform/private_folder.h"

#include "platform/utf8.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm_platform {

namespace {

std::string parent_of(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string name_pattern_beside(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return path.substr(0, slash == std::string::npos ? 0 : slash + 1) + ".quillmark-XXXXXX";
}

private_folder::private_folder(const std::wstring& beside) {
  std::string pattern = name_pattern_beside(path_to_utf8(beside.c_str()));
  if (::mkdtemp(pattern.data()))
    folder = path_from_utf8(pattern.c_str());
  else
    error_number = errno;
}

private_folder::~private_folder() { remove(); }

void private_folder::remove() {
  if (folder.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(path_to_utf8(folder.c_str())), ignored);
  folder.clear();
}

int put_in_place(const std::wstring& from, const std::wstring& to) {
  std::string source = path_to_utf8(from.c_str());
  std::string target = path_to_utf8(to.c_str());
  int fd = ::open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat old {};
  int rc = 0;
  if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode) && ::fchmod(fd, old.st_mode & 0777) != 0) rc = errno;
  // A disk that is full shows at the latest here, before the old file goes.
  if (rc == 0 && ::fsync(fd) != 0) rc = errno;
  ::close(fd);
  if (rc == 0 && std::rename(source.c_str(), target.c_str()) != 0) rc = errno;
  if (rc != 0) return rc;
  // The rename is done whatever this says: some file systems cannot sync a folder.
  int folder = ::open(parent_of(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  return 0;
}

}  // namespace qm_platform
