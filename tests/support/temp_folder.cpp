#include "tests/support/temp_folder.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace qm_test {

namespace {

// A plain pointer: it is still there while the program ends.
failure_reporter reporter = nullptr;

std::string failure(const std::string& what, const std::string& path, int error) {
  return errno_text(what + " \"" + path + "\"", error);
}

// Empties the folder open as `fd` (closed here), named `path` in reports.
bool empty_folder(int fd, const std::string& path) {
  DIR* dir = fdopendir(fd);
  if (!dir) {
    report_failure(failure("cannot read the folder", path, errno));
    close(fd);
    return false;
  }
  bool ok = true;
  for (;;) {
    errno = 0;
    dirent* e = readdir(dir);
    if (!e) {
      if (errno != 0) {
        report_failure(failure("cannot read the folder", path, errno));
        ok = false;
      }
      break;
    }
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    std::string inner = path + "/" + name;
    struct stat st{};
    if (fstatat(dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      report_failure(failure("cannot look at", inner, errno));
      ok = false;
      continue;
    }
    if (S_ISDIR(st.st_mode)) {
      // A test may have taken the folder's rights away.
      if ((st.st_mode & S_IRWXU) != S_IRWXU) fchmodat(dirfd(dir), name.c_str(), (st.st_mode & 07777) | S_IRWXU, 0);
      int child = openat(dirfd(dir), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (child < 0) {
        report_failure(failure("cannot open the folder", inner, errno));
        ok = false;
        continue;
      }
      if (!empty_folder(child, inner)) ok = false;
    }
    if (unlinkat(dirfd(dir), name.c_str(), S_ISDIR(st.st_mode) ? AT_REMOVEDIR : 0) != 0) {
      report_failure(failure("cannot remove", inner, errno));
      ok = false;
    }
  }
  closedir(dir);
  return ok;
}

}  // namespace

std::string errno_text(const std::string& what, int error) {
  return what + ": " + std::strerror(error) + " (errno " + std::to_string(error) + ")";
}

std::string temp_base() {
  const char* dir = std::getenv("TMPDIR");
  return dir && *dir ? dir : "/tmp";
}

std::string make_temp_folder(const std::string& prefix, const std::string& base) {
  const std::string pattern = (base.empty() ? temp_base() : base) + "/" + prefix + "XXXXXX";
  std::string made = pattern;
  if (!mkdtemp(made.data())) throw std::runtime_error(failure("cannot make the folder", pattern, errno));
  return made;
}

bool remove_tree(const std::string& path) {
  struct stat st{};
  if (lstat(path.c_str(), &st) != 0) {
    report_failure(failure("cannot remove", path, errno));
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    if ((st.st_mode & S_IRWXU) != S_IRWXU) chmod(path.c_str(), (st.st_mode & 07777) | S_IRWXU);
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
      report_failure(failure("cannot open the folder", path, errno));
      return false;
    }
    if (!empty_folder(fd, path)) return false;
  }
  if ((S_ISDIR(st.st_mode) ? rmdir(path.c_str()) : unlink(path.c_str())) != 0) {
    report_failure(failure("cannot remove", path, errno));
    return false;
  }
  return true;
}

void set_failure_reporter(failure_reporter r) { reporter = r; }

void report_failure(const std::string& message) {
  if (reporter)
    reporter(message);
  else
    std::fprintf(stderr, "%s\n", message.c_str());
}

}  // namespace qm_test
