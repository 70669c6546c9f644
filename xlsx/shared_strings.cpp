#include "xlsx/shared_strings.h"

#include "TK/tk_exception.h"

#include <cstring>
#include <functional>

namespace XlsxModel {

namespace {
constexpr std::size_t block_bytes = 1 << 20;
}

shared_string_table::shared_string_table() : slots(1024, 0) {}

const char* shared_string_table::store(std::string_view key) {
  if (key.empty()) return "";
  if (key.size() > block_bytes / 4) {
    // A long text gets a block of its own; the current block stays open.
    blocks.emplace_back(new char[key.size()]);
    std::memcpy(blocks.back().get(), key.data(), key.size());
    const char* p = blocks.back().get();
    if (blocks.size() >= 2) std::swap(blocks[blocks.size() - 1], blocks[blocks.size() - 2]);
    stored_bytes += key.size();
    return p;
  }
  if (blocks.empty() || block_size - block_used < key.size()) {
    blocks.emplace_back(new char[block_bytes]);
    block_used = 0;
    block_size = block_bytes;
  }
  char* p = blocks.back().get() + block_used;
  std::memcpy(p, key.data(), key.size());
  block_used += key.size();
  stored_bytes += key.size();
  return p;
}

void shared_string_table::grow() {
  std::vector<std::uint32_t> bigger(slots.size() * 2, 0);
  std::size_t mask = bigger.size() - 1;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    std::size_t s = entries[i].hash & mask;
    while (bigger[s]) s = (s + 1) & mask;
    bigger[s] = static_cast<std::uint32_t>(i + 1);
  }
  slots.swap(bigger);
}

std::uint64_t shared_string_table::index_of(std::string_view key) {
  auto hash = static_cast<std::uint32_t>(std::hash<std::string_view>{}(key));
  std::size_t mask = slots.size() - 1;
  std::size_t s = hash & mask;
  while (std::uint32_t n = slots[s]) {
    const entry& e = entries[n - 1];
    if (e.hash == hash && e.size == key.size() && std::memcmp(e.data, key.data(), key.size()) == 0)
      return n - 1;
    s = (s + 1) & mask;
  }
  // Slots hold 32-bit entry numbers; a sheet cannot hold that many texts.
  if (entries.size() >= 0xFFFFFFF0u) throw tk_exception("Too many distinct texts in the workbook", 1);
  entries.push_back(entry{store(key), static_cast<std::uint32_t>(key.size()), hash});
  slots[s] = static_cast<std::uint32_t>(entries.size());
  if (entries.size() * 2 > slots.size()) grow();
  return entries.size() - 1;
}

std::size_t shared_string_table::memory_used() const {
  return entries.capacity() * sizeof(entry) + slots.capacity() * sizeof(std::uint32_t) +
         blocks.size() * block_bytes;
}

}  // namespace XlsxModel
