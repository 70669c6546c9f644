// The workbook's shared-string table: each distinct cell text once, with the
// index it got when first met. It is the only part of a workbook that grows
// with the data, so it keeps the texts as UTF-8 in large blocks and finds
// them through an open-addressing hash of small slots.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace XlsxModel {

class shared_string_table {
 public:
  shared_string_table();
  shared_string_table(const shared_string_table&) = delete;
  shared_string_table& operator=(const shared_string_table&) = delete;

  // The index of `key` (safe text as UTF-8); a new key gets the number of
  // entries that existed before it.
  std::uint64_t index_of(std::string_view key);
  // The key of an index, valid while the table lives.
  std::string_view at(std::size_t index) const {
    const entry& e = entries[index];
    return std::string_view(e.data, e.size);
  }
  std::size_t size() const { return entries.size(); }
  bool empty() const { return entries.empty(); }
  // Bytes held, for the memory checks.
  std::size_t memory_used() const;

 private:
  struct entry {
    const char* data;
    std::uint32_t size;
    std::uint32_t hash;
  };
  const char* store(std::string_view key);
  void grow();

  std::vector<entry> entries;
  std::vector<std::uint32_t> slots;  // entry number + 1, 0 for a free slot
  std::vector<std::unique_ptr<char[]>> blocks;
  std::size_t block_used = 0;
  std::size_t block_size = 0;
  std::size_t stored_bytes = 0;
};

}  // namespace XlsxModel
