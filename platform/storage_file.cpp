#include "platform/storage_file.h"

#include "platform/utf8.h"
#include "platform/write_all.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm_platform {
namespace {

class native_file final : public storage_file {
 public:
  explicit native_file(int d) : fd(d) {}
  ~native_file() override { ::close(fd); }

  int read_at(std::uint64_t offset, void* data, std::size_t size, std::size_t& got) override {
    got = 0;
    auto* p = static_cast<char*>(data);
    while (got < size) {
      ssize_t n = ::pread(fd, p + got, size - got, static_cast<off_t>(offset + got));
      if (n < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      if (n == 0) break;
      got += static_cast<std::size_t>(n);
    }
    return 0;
  }
  int write_at(std::uint64_t offset, const void* data, std::size_t size) override {
    return write_all_at(fd, data, size, offset);
  }
  int get_size(std::uint64_t& size) override {
    struct stat st{};
    if (::fstat(fd, &st) != 0) return errno;
    size = static_cast<std::uint64_t>(st.st_size);
    return 0;
  }
  int set_size(std::uint64_t size) override {
    return ::ftruncate(fd, static_cast<off_t>(size)) == 0 ? 0 : errno;
  }
  int flush() override { return ::fsync(fd) == 0 ? 0 : errno; }

 private:
  int fd;
};

class native_files final : public storage_file_system {
 public:
  std::unique_ptr<storage_file> open(const std::wstring& path, storage_open how, bool exclusive,
                                     int& error) override {
    error = 0;
    std::string name = path_to_utf8(path.c_str());
    bool write = how != storage_open::read;
    struct stat st{};
    if (::stat(name.c_str(), &st) == 0) {
      // As for CreateFile: a folder is not a file, and a file without any
      // write bit is read-only for everyone, the super-user included.
      if (S_ISDIR(st.st_mode) || (write && !(st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)))) {
        error = EACCES;
        return nullptr;
      }
    }
    int flags = write ? O_RDWR : O_RDONLY;
    if (how == storage_open::create_new) flags |= O_CREAT | O_EXCL;
    if (how == storage_open::create_always) flags |= O_CREAT;
    int fd = ::open(name.c_str(), flags | O_CLOEXEC, 0666);
    if (fd < 0) {
      error = errno;
      return nullptr;
    }
    auto file = std::make_unique<native_file>(fd);
    if (::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
      error = errno;
      return nullptr;
    }
    // Emptied only once it is ours, so that a file in use elsewhere is kept.
    if (how == storage_open::create_always && ::ftruncate(fd, 0) != 0) {
      error = errno;
      return nullptr;
    }
    return file;
  }
};

std::atomic<storage_file_system*> current{nullptr};

}  // namespace

storage_file_system& native_storage_files() {
  static native_files files;
  return files;
}

storage_file_system* set_storage_file_system(storage_file_system* files) { return current.exchange(files); }

storage_file_system& current_storage_files() {
  storage_file_system* files = current.load();
  return files ? *files : native_storage_files();
}

}  // namespace qm_platform
