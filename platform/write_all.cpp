#include "platform/write_all.h"

#include <cerrno>
#include <sys/types.h>
#include <unistd.h>

namespace qm_platform {

namespace {

// `put` writes from the byte `done` on, as write(2) or pwrite(2) does.
template <class Put>
int write_loop(const void* data, std::size_t size, std::size_t* written, Put put) {
  const char* p = static_cast<const char*>(data);
  std::size_t done = 0;
  int error = 0;
  while (done < size) {
    ssize_t n = put(p + done, size - done, done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = n < 0 ? errno : EIO;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (written) *written = done;
  return error;
}

}  // namespace

int write_all(int fd, const void* data, std::size_t size, std::size_t* written) {
  return write_loop(data, size, written,
                    [fd](const char* p, std::size_t left, std::size_t) { return ::write(fd, p, left); });
}

int write_all_at(int fd, const void* data, std::size_t size, std::uint64_t offset) {
  return write_loop(data, size, nullptr, [fd, offset](const char* p, std::size_t left, std::size_t done) {
    return ::pwrite(fd, p, left, static_cast<off_t>(offset + done));
  });
}

}  // namespace qm_platform
