#include "platform/file_identity.h"

#include "platform/win32.h"

#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace qm_platform {

namespace {

// Enough for any chain of links the system itself would follow.
constexpr int max_links = 40;

std::string lexical_full_path(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> full(_fullpath(nullptr, path.c_str(), 0), &std::free);
  return full ? std::string(full.get()) : path;
}

std::string real_path(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
  return real ? std::string(real.get()) : std::string();
}

// The folder resolved as the system finds it; a name that ends in a link
// is followed too, also when its target does not exist yet.
std::string resolve(std::string path) {
  for (int links = 0;; ++links) {
    if (path.empty() || path[0] != '/') {
      char* cwd = ::getcwd(nullptr, 0);
      path = std::string(cwd ? cwd : "") + "/" + path;
      std::free(cwd);
    }
    std::size_t slash = path.find_last_of('/');
    std::string folder = path.substr(0, slash + 1), name = path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") {
      std::string whole = real_path(path);
      return whole.empty() ? lexical_full_path(path) : whole;
    }
    std::string real_folder = real_path(folder);
    if (real_folder.empty()) return lexical_full_path(path);
    if (real_folder.back() != '/') real_folder += '/';
    std::string full = real_folder + name;
    struct stat st {};
    if (links >= max_links || ::lstat(full.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return full;
    std::string target = symbolic_link_target(full);
    if (target.empty()) return full;
    path = target[0] == '/' ? target : real_folder + target;
  }
}

}  // namespace

file_identity::file_identity(const std::string& path) : resolved_path(resolve(path)) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    exists = true;
    device = st.st_dev;
    inode = st.st_ino;
  }
}

file_identity file_identity::of_descriptor(int fd) {
  file_identity id;
  struct stat st {};
  if (::fstat(fd, &st) == 0) {
    id.exists = true;
    id.device = st.st_dev;
    id.inode = st.st_ino;
  }
  id.resolved_path = symbolic_link_target("/proc/self/fd/" + std::to_string(fd));
  return id;
}

bool file_identity::same_file(const file_identity& other) const {
  if (exists && other.exists) return device == other.device && inode == other.inode;
  return !resolved_path.empty() && resolved_path == other.resolved_path;
}

std::vector<file_identity> open_files() {
  std::vector<file_identity> files;
  DIR* folder = ::opendir("/proc/self/fd");
  if (!folder) return files;
  int own = ::dirfd(folder);
  while (dirent* entry = ::readdir(folder)) {
    char* end = nullptr;
    long fd = std::strtol(entry->d_name, &end, 10);
    if (*end || end == entry->d_name || fd <= STDERR_FILENO || fd == own) continue;
    // Read from: a file the process only writes (the log's own line, a
    // workbook) is no file it reads.
    int flags = ::fcntl(static_cast<int>(fd), F_GETFL);
    struct stat st {};
    if (flags < 0 || (flags & O_ACCMODE) == O_WRONLY) continue;
    if (::fstat(static_cast<int>(fd), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    files.push_back(file_identity::of_descriptor(static_cast<int>(fd)));
  }
  ::closedir(folder);
  return files;
}

bool is_symbolic_link(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::string symbolic_link_target(const std::string& path) {
  std::string target(PATH_MAX, '\0');
  ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
  if (n < 0 || static_cast<std::size_t>(n) >= target.size()) return std::string();
  target.resize(static_cast<std::size_t>(n));
  return target;
}

}  // namespace qm_platform
