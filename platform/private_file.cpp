#include "platform/private_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm_platform {

bool write_private_file(const std::string& path, const std::string& text, bool sync) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, S_IRUSR | S_IWUSR);
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0;
  const char* p = text.data();
  std::size_t left = text.size();
  while (ok && left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  if (ok && sync && ::fsync(fd) != 0) ok = false;
  int saved = errno;
  if (::close(fd) != 0 && ok) return false;
  errno = saved;
  return ok;
}

}  // namespace qm_platform
