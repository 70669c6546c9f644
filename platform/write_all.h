// Writing a whole buffer to a file descriptor: write(2) may take a part of
// it, or be interrupted by a signal before it takes anything.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qm_platform {

// Writes all `size` bytes, again after each interruption; 0, or the errno
// of the failure (EIO for a write that takes nothing). `written`, when
// given, gets the bytes written either way.
int write_all(int fd, const void* data, std::size_t size, std::size_t* written = nullptr);

// The same at `offset` (pwrite(2)); the file position does not move.
int write_all_at(int fd, const void* data, std::size_t size, std::uint64_t offset);

}  // namespace qm_platform
