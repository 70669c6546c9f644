#include "xlsx/part_output.h"

#include "TK/tk_log.h"
#include "platform/private_folder.h"
#include "platform/system_error.h"
#include "platform/utf8.h"
#include "platform/win32.h"
#include "platform/write_all.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace XlsxModel {

namespace {

std::wstring in_quotes(const std::wstring& path) { return L"\"" + path + L"\""; }

// A part file on disk, written through its descriptor.
class file_output : public part_output {
 public:
  file_output(int descriptor, std::wstring path) : fd(descriptor), path(std::move(path)) {}
  ~file_output() override {
    close();
    if (fd >= 0) ::close(fd);
  }

 protected:
  bool sink(const char* data, std::size_t size) override { return written(qm_platform::write_all(fd, data, size)); }

  bool sink_at(std::uint64_t offset, const char* data, std::size_t size) override {
    return written(qm_platform::write_all_at(fd, data, size, offset));
  }

  bool written(int error) {
    if (error) set_error(L"cannot write " + in_quotes(path) + L": " + system_error_text(error));
    return !error;
  }

  bool finish() override {
    int descriptor = fd;
    fd = -1;
    if (::close(descriptor) != 0) {
      set_error(L"cannot write " + in_quotes(path) + L": " + system_error_text(errno));
      return false;
    }
    return true;
  }

 private:
  int fd;
  std::wstring path;
};

// A scratch file on disk: appends gather in a buffer, reads take what
// reached the file.
class file_scratch : public scratch_file {
 public:
  file_scratch(int descriptor, std::wstring folder) : fd(descriptor), folder(std::move(folder)) {}
  ~file_scratch() override { ::close(fd); }

  bool append(const char* data, std::size_t size) override {
    if (!error().empty()) return false;
    if (size > buffer_size - used && !flush()) return false;
    if (size >= buffer_size) {
      if (!written(qm_platform::write_all(fd, data, size))) return false;
      end += size;
      return true;
    }
    std::memcpy(buffer.get() + used, data, size);
    used += size;
    return true;
  }

  bool read(std::uint64_t offset, char* data, std::size_t size) override {
    if (offset + size > end + used || (offset + size > end && !flush())) return false;
    while (size > 0) {
      ssize_t n = ::pread(fd, data, size, static_cast<off_t>(offset));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        set_error(L"cannot read the scratch file in " + in_quotes(folder) + L": " +
                  system_error_text(n < 0 ? errno : EIO));
        return false;
      }
      data += n;
      offset += static_cast<std::uint64_t>(n);
      size -= static_cast<std::size_t>(n);
    }
    return true;
  }

 private:
  static constexpr std::size_t buffer_size = 256 * 1024;

  bool flush() {
    std::size_t n = used;
    used = 0;
    if (!written(qm_platform::write_all(fd, buffer.get(), n))) return false;
    end += n;
    return true;
  }
  bool written(int error) {
    if (error) set_error(L"cannot write the scratch file in " + in_quotes(folder) + L": " + system_error_text(error));
    return !error;
  }

  int fd;
  std::wstring folder;
  std::unique_ptr<char[]> buffer{new char[buffer_size]};
  std::size_t used = 0;
  std::uint64_t end = 0;  // bytes in the file
};

}  // namespace

scratch_file::~scratch_file() = default;

part_output::part_output(std::size_t capacity) : buffer(new char[capacity]), capacity(capacity) {}

part_output::~part_output() = default;

void part_output::flush() {
  if (used == 0) return;
  std::size_t size = used;
  used = 0;
  flushed += size;
  if (!failed()) sink(buffer.get(), size);
}

void part_output::write_slow(const char* data, std::size_t size) {
  flush();
  if (size >= capacity) {
    flushed += size;
    if (!failed()) sink(data, size);
    return;
  }
  std::memcpy(buffer.get(), data, size);
  used = size;
}

void part_output::write_wide(const wchar_t* text, std::size_t size) {
  // At most four bytes per character: encode straight into the buffer in
  // slices that fit.
  while (size > 0) {
    if (capacity - used < 4) flush();
    std::size_t room = (capacity - used) / 4;
    std::size_t take = size < room ? size : room;
    char* out = buffer.get() + used;
    for (std::size_t i = 0; i < take; ++i) {
      auto c = static_cast<std::uint32_t>(text[i]);
      if (c < 0x80) {
        *out++ = static_cast<char>(c);
      } else if (c < 0x800) {
        *out++ = static_cast<char>(0xC0 | (c >> 6));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
      } else if (c < 0x10000) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        *out++ = static_cast<char>(0xE0 | (c >> 12));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
      } else if (c <= 0x10FFFF) {
        *out++ = static_cast<char>(0xF0 | (c >> 18));
        *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
      }
    }
    used = static_cast<std::size_t>(out - buffer.get());
    text += take;
    size -= take;
  }
}

bool part_output::rewrite(std::uint64_t offset, std::string_view bytes) {
  if (closed || offset + bytes.size() > position()) return false;
  // The part still in the buffer is changed there; the rest at the sink.
  std::size_t in_sink = offset < flushed ? static_cast<std::size_t>(std::min<std::uint64_t>(flushed - offset, bytes.size())) : 0;
  if (in_sink > 0 && (failed() || !sink_at(offset, bytes.data(), in_sink))) return false;
  if (in_sink < bytes.size())
    std::memcpy(buffer.get() + (offset + in_sink - flushed), bytes.data() + in_sink, bytes.size() - in_sink);
  return true;
}

bool part_output::close() {
  if (!closed) {
    flush();
    closed = true;
    // The sink is ended even after a failed write, so its file is closed.
    finish();
  }
  return !failed();
}

memory_output::~memory_output() = default;

const std::string& memory_output::text() {
  flush();
  return content;
}

bool memory_output::sink(const char* data, std::size_t size) {
  content.append(data, size);
  return true;
}

bool memory_output::sink_at(std::uint64_t offset, const char* data, std::size_t size) {
  content.replace(static_cast<std::size_t>(offset), size, data, size);
  return true;
}

std::wstring system_error_text(int error_number) { return qm_platform::system_error_wide_text(error_number); }

bool make_dir_path(const std::wstring& path) {
  std::size_t from = 0;
  for (;;) {
    std::size_t slash = path.find(L'/', from);
    if (slash == std::wstring::npos) return true;
    if (slash > 0 && !CreateDirectoryW(path.substr(0, slash).c_str(), nullptr) &&
        GetLastError() == ERROR_PATH_NOT_FOUND)
      return false;
    from = slash + 1;
  }
}

part_file_system::~part_file_system() = default;

std::unique_ptr<part_output> part_file_system::open(const std::wstring& path, std::wstring& error) {
  tk_log::write(1, L"open part %ls", path.c_str());
  if (!make_dir_path(path)) {
    error = L"cannot create the folders of " + in_quotes(path) + L": " + system_error_text(ENOENT);
    return nullptr;
  }
  std::string narrow;
  if (!qm_platform::path_to_utf8(path.data(), path.size(), narrow)) {
    error = L"the path " + in_quotes(path) + L" has no narrow form";
    return nullptr;
  }
  int fd = ::open(narrow.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    error = L"cannot create " + in_quotes(path) + L": " + system_error_text(errno);
    return nullptr;
  }
  return std::make_unique<file_output>(fd, path);
}

int part_file_system::create_folder(const std::wstring& path) {
  // The parents may exist; the folder itself must be new to be ours.
  if (!make_dir_path(path)) return ENOENT;
  std::string narrow = qm_platform::path_to_utf8(path.c_str());
  // Mode 0700 once the workbook has marked it as alive (qm_platform::folder_mark).
  if (::mkdir(narrow.c_str(), qm_platform::unmarked_mode) != 0) return errno;
  return 0;
}

void part_file_system::remove_tree(const std::wstring& path) {
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(qm_platform::path_to_utf8(path.c_str())), ignored);
}

std::unique_ptr<scratch_file> part_file_system::open_scratch(const std::wstring& folder, std::wstring& error) {
  std::string narrow;
  if (!qm_platform::path_to_utf8(folder.data(), folder.size(), narrow)) {
    error = L"the path " + in_quotes(folder) + L" has no narrow form";
    return nullptr;
  }
  int fd = ::open(narrow.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    // A file system without unnamed files: a named one, unlinked at once.
    std::string name = narrow + "/.scratch_XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) ::unlink(name.c_str());
  }
  if (fd < 0) {
    error = L"cannot create a scratch file in " + in_quotes(folder) + L": " + system_error_text(errno);
    return nullptr;
  }
  return std::make_unique<file_scratch>(fd, folder);
}

part_file_system& part_file_system::real() {
  static part_file_system files;
  return files;
}

}  // namespace XlsxModel
