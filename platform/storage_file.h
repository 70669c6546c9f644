// The files under the compound-file layer, behind a seam so that tests can
// put a failing file system beneath it. Results are errno values (0: done).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qm_platform {

class storage_file {
 public:
  virtual ~storage_file() = default;
  // `got` < `size` only at the end of the file.
  virtual int read_at(std::uint64_t offset, void* data, std::size_t size, std::size_t& got) = 0;
  virtual int write_at(std::uint64_t offset, const void* data, std::size_t size) = 0;
  virtual int get_size(std::uint64_t& size) = 0;
  virtual int set_size(std::uint64_t size) = 0;
  virtual int flush() = 0;
};

enum class storage_open {
  read,           // an existing file
  read_write,     // an existing file
  create_new,     // fails with EEXIST when the file exists
  create_always,  // an existing file is emptied, once it is locked
};

class storage_file_system {
 public:
  virtual ~storage_file_system() = default;
  // `exclusive` locks the file against every other opening of it, else the
  // lock is shared with other readers; a file locked otherwise fails with
  // EWOULDBLOCK. Null with `error` set on failure.
  virtual std::unique_ptr<storage_file> open(const std::wstring& path, storage_open how, bool exclusive,
                                             int& error) = 0;
};

// The file system of this machine.
storage_file_system& native_storage_files();
// The one the layer uses from now on (null: the native one); returns the
// one used before.
storage_file_system* set_storage_file_system(storage_file_system* files);
storage_file_system& current_storage_files();

}  // namespace qm_platform
