#include "platform/private_file.h"

#include "platform/private_folder.h"
#include "platform/write_all.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace qm_platform {

namespace {

// Writes the whole text, syncs and closes the file; errno tells the first
// failure.
bool write_sync_close(int fd, const std::string& text) {
  bool ok = true;
  if (int error = write_all(fd, text.data(), text.size())) {
    errno = error;
    ok = false;
  }
  if (ok && ::fsync(fd) != 0) ok = false;
  int saved = errno;
  if (::close(fd) != 0 && ok) return false;
  errno = saved;
  return ok;
}

}  // namespace

bool replace_private_file(const std::string& path, const std::string& text) {
  // A name of its own (made with mode 0600), never one that is already
  // there: a link planted at a fixed name would be followed.
  std::string temp = name_pattern_beside(path);
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  if (write_sync_close(fd, text) && ::rename(temp.c_str(), path.c_str()) == 0) return true;
  int saved = errno;
  ::unlink(temp.c_str());
  errno = saved;
  return false;
}

}  // namespace qm_platform
