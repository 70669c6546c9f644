// The workbook's shared-string table: each distinct cell text once, with the
// index it got when first met. It is the only part of a workbook that grows
// with the data, so its texts (safe text as UTF-8) lie end to end, the first
// ones in memory and, once a budget is spent, the rest in a scratch file of
// the package's folder; an open-addressing hash of small slots finds them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace XlsxModel {

class part_file_system;
class scratch_file;

class shared_string_table {
 public:
  static constexpr std::size_t default_memory_budget = std::size_t{32} << 20;

  explicit shared_string_table(std::size_t memory_budget = default_memory_budget);
  ~shared_string_table();
  shared_string_table(const shared_string_table&) = delete;
  shared_string_table& operator=(const shared_string_table&) = delete;

  // Where the texts past the budget go: a scratch file made in `folder`.
  // Without one, or when it cannot be made, every text stays in memory.
  void spill_to(part_file_system& files, const std::wstring& folder);

  // The index of `key` (safe text as UTF-8); a new key gets the number of
  // entries that existed before it.
  std::uint64_t index_of(std::string_view key) { return index_of(key, hash_of(key)); }
  // The same with the key's hash_of.
  std::uint64_t index_of(std::string_view key, std::uint32_t hash);
  static std::uint32_t hash_of(std::string_view key);
  // Asks the memory for what a lookup of this hash reads, so that the
  // lookups of several keys wait for it at once: step 0 its slot, step 1
  // (once the slot is there) the entry that the slot names, step 2 that
  // entry's key.
  void prefetch(std::uint32_t hash, int step) const;
  // The key of an index; empty when it cannot be read back (see error()).
  std::string at(std::size_t index) const;
  std::size_t size() const { return count; }
  bool empty() const { return count == 0; }
  // Hands each key to `use` in the order of the indexes. False when a key
  // cannot be read back; error() then tells why.
  bool for_each(const std::function<void(std::string_view)>& use) const;
  // Why keys were lost (the scratch file failed); empty when none was.
  const std::wstring& error() const { return error_text; }
  // Bytes held in memory, for the memory checks.
  std::size_t memory_used() const;
  // Bytes of keys that went to the scratch file.
  std::uint64_t spilled_bytes() const { return spilling ? stored - memory_end : 0; }

 private:
  struct entry {
    std::uint32_t start_low;  // the low 32 bits of where the key starts
    std::uint32_t hash;
  };
  static constexpr unsigned chunk_bits = 16;
  static constexpr std::size_t chunk_size = std::size_t{1} << chunk_bits;

  const entry& entry_at(std::size_t i) const { return chunks[i >> chunk_bits][i & (chunk_size - 1)]; }
  std::uint64_t start_of(std::size_t i) const {
    return high_marks.empty() ? entry_at(i).start_low : start_past_4gib(i);
  }
  std::uint64_t start_past_4gib(std::size_t i) const;
  std::uint64_t end_of(std::size_t i) const { return i + 1 < count ? start_of(i + 1) : stored; }
  bool in_memory(std::uint64_t end) const { return !spilling || end <= memory_end; }
  bool equals(std::size_t i, std::string_view key) const;
  bool read_back(std::uint64_t start, std::size_t size, std::string& out) const;
  void store(std::string_view key);
  bool reserve_memory(std::size_t size);
  void add_entry(std::uint64_t start, std::uint32_t hash);
  void grow();

  std::vector<std::unique_ptr<entry[]>> chunks;
  std::size_t count = 0;
  std::vector<std::uint32_t> high_marks;  // the first entry of each further 4 GiB of keys
  std::vector<std::uint32_t> slots;       // entry number + 1, 0 for a free slot
  // The top byte of each slot's hash: most slots of another key are passed
  // without a look at their entry, which lies far away in memory.
  std::vector<std::uint8_t> tags;

  // Key bytes [0, memory_end) are in `memory`, the rest in the scratch file.
  std::size_t budget;
  std::unique_ptr<char[]> memory;
  std::size_t memory_capacity = 0;
  std::uint64_t memory_end = 0;
  std::uint64_t stored = 0;
  bool spilling = false;

  part_file_system* files = nullptr;
  std::wstring folder;
  std::unique_ptr<scratch_file> scratch;
  mutable std::wstring error_text;

  // Short spilled keys read back lately: a text that repeats is not read
  // from the file each time.
  struct cached_key {
    std::size_t entry = SIZE_MAX;
    std::string text;
  };
  static constexpr std::size_t cache_slots = 1024;
  static constexpr std::size_t cached_size_limit = 256;
  mutable std::unique_ptr<std::array<cached_key, cache_slots>> cache;
  mutable std::string probe;
};

}  // namespace XlsxModel
