#include "xlsx/shared_strings.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "xlsx/part_output.h"

#include <algorithm>
#include <cstring>

namespace XlsxModel {

namespace {

constexpr std::size_t first_memory = 64 * 1024;
constexpr std::size_t read_block = 1 << 20;

}  // namespace

shared_string_table::shared_string_table(std::size_t memory_budget)
    : slots(1024, 0), tags(1024, 0), budget(memory_budget) {}

shared_string_table::~shared_string_table() = default;

void shared_string_table::spill_to(part_file_system& file_system, const std::wstring& scratch_folder) {
  files = &file_system;
  folder = scratch_folder;
}

std::uint64_t shared_string_table::start_past_4gib(std::size_t i) const {
  auto marks_passed = std::upper_bound(high_marks.begin(), high_marks.end(), i) - high_marks.begin();
  return static_cast<std::uint64_t>(marks_passed) << 32 | entry_at(i).start_low;
}

bool shared_string_table::reserve_memory(std::size_t size) {
  std::uint64_t need = stored + size;
  if (need <= memory_capacity) return true;
  // Past the budget the keys go to the scratch file, when there can be one.
  if (need > budget && files && !scratch) {
    std::wstring why;
    scratch = files->open_scratch(folder, why);
    if (!scratch) {
      tk_log::write(2, L"%ls; the table of cell texts stays in memory", why.c_str());
      files = nullptr;
    }
  }
  if (scratch) return false;
  // With a scratch file to go to, the budget is taken at once: its pages
  // cost nothing until they are written, and no copy is left behind.
  std::size_t capacity = files ? budget : std::max<std::size_t>(memory_capacity * 2, first_memory);
  if (capacity > budget && need <= budget) capacity = budget;
  if (capacity < need) capacity = static_cast<std::size_t>(need);
  std::unique_ptr<char[]> bigger(new char[capacity]);
  if (stored) std::memcpy(bigger.get(), memory.get(), static_cast<std::size_t>(stored));
  memory.swap(bigger);
  memory_capacity = capacity;
  return true;
}

void shared_string_table::store(std::string_view key) {
  if (!spilling && reserve_memory(key.size())) {
    if (!key.empty()) std::memcpy(memory.get() + stored, key.data(), key.size());
    stored += key.size();
    memory_end = stored;
    return;
  }
  spilling = true;
  // A key that cannot be kept is lost; the offsets of the others stay right
  // and the workbook fails when it is saved.
  if (!key.empty() && !scratch->append(key.data(), key.size()) && error_text.empty())
    error_text = scratch->error();
  stored += key.size();
}

void shared_string_table::add_entry(std::uint64_t start, std::uint32_t hash) {
  if ((count & (chunk_size - 1)) == 0) chunks.emplace_back(new entry[chunk_size]);
  while ((start >> 32) > high_marks.size()) high_marks.push_back(static_cast<std::uint32_t>(count));
  chunks.back()[count & (chunk_size - 1)] = entry{static_cast<std::uint32_t>(start), hash};
  ++count;
}

bool shared_string_table::read_back(std::uint64_t start, std::size_t size, std::string& out) const {
  out.resize(size);
  if (size == 0) return true;
  if (scratch && scratch->read(start - memory_end, out.data(), size)) return true;
  out.clear();
  if (error_text.empty()) error_text = scratch ? scratch->error() : L"a text of the table was lost";
  return false;
}

bool shared_string_table::equals(std::size_t i, std::string_view key) const {
  std::uint64_t start = start_of(i), end = end_of(i);
  if (end - start != key.size()) return false;
  if (key.empty()) return true;
  if (in_memory(end)) return std::memcmp(memory.get() + start, key.data(), key.size()) == 0;
  if (key.size() > cached_size_limit)
    return read_back(start, key.size(), probe) && std::memcmp(probe.data(), key.data(), key.size()) == 0;
  if (!cache) cache = std::make_unique<std::array<cached_key, cache_slots>>();
  cached_key& c = (*cache)[i % cache_slots];
  if (c.entry != i) {
    c.entry = SIZE_MAX;
    if (!read_back(start, key.size(), c.text)) return false;
    c.entry = i;
  }
  return std::memcmp(c.text.data(), key.data(), key.size()) == 0;
}

void shared_string_table::grow() {
  std::vector<std::uint32_t> bigger(slots.size() * 2, 0);
  std::vector<std::uint8_t> bigger_tags(bigger.size(), 0);
  std::size_t mask = bigger.size() - 1;
  for (std::size_t i = 0; i < count; ++i) {
    std::uint32_t hash = entry_at(i).hash;
    std::size_t s = hash & mask;
    while (bigger[s]) s = (s + 1) & mask;
    bigger[s] = static_cast<std::uint32_t>(i + 1);
    bigger_tags[s] = static_cast<std::uint8_t>(hash >> 24);
  }
  slots.swap(bigger);
  tags.swap(bigger_tags);
}

std::uint32_t shared_string_table::hash_of(std::string_view key) {
  return static_cast<std::uint32_t>(std::hash<std::string_view>{}(key));
}

void shared_string_table::prefetch(std::uint32_t hash, int step) const {
  std::size_t s = hash & (slots.size() - 1);
  if (step == 0) {
    __builtin_prefetch(&slots[s]);
    __builtin_prefetch(&tags[s]);
    return;
  }
  std::uint32_t n = slots[s];
  if (n == 0 || tags[s] != static_cast<std::uint8_t>(hash >> 24)) return;
  if (step == 1) {
    __builtin_prefetch(&entry_at(n - 1));
    return;
  }
  std::uint64_t start = start_of(n - 1);
  if (!spilling || start < memory_end) __builtin_prefetch(memory.get() + start);
}

std::uint64_t shared_string_table::index_of(std::string_view key, std::uint32_t hash) {
  std::size_t mask = slots.size() - 1;
  std::size_t s = hash & mask;
  const auto tag = static_cast<std::uint8_t>(hash >> 24);
  while (std::uint32_t n = slots[s]) {
    if (tags[s] == tag && entry_at(n - 1).hash == hash && equals(n - 1, key)) return n - 1;
    s = (s + 1) & mask;
  }
  // Slots hold 32-bit entry numbers; a sheet cannot hold that many texts.
  if (count >= 0xFFFFFFF0u) throw tk_exception("Too many distinct texts in the workbook", 1);
  std::uint64_t start = stored;
  store(key);
  add_entry(start, hash);
  slots[s] = static_cast<std::uint32_t>(count);
  tags[s] = tag;
  // Up to seven tenths full: the slots cost less than the entries they find.
  if (count * 10 > slots.size() * 7) grow();
  return count - 1;
}

std::string shared_string_table::at(std::size_t index) const {
  std::uint64_t start = start_of(index), end = end_of(index);
  auto size = static_cast<std::size_t>(end - start);
  if (in_memory(end)) return std::string(memory.get() + start, size);
  std::string text;
  read_back(start, size, text);
  return text;
}

bool shared_string_table::for_each(const std::function<void(std::string_view)>& use) const {
  // The spilled keys are read in large blocks, in the order they were written.
  std::string block;
  std::uint64_t block_start = 0;
  std::uint64_t spilled_end = stored;
  for (std::size_t i = 0; i < count; ++i) {
    std::uint64_t start = start_of(i), end = end_of(i);
    auto size = static_cast<std::size_t>(end - start);
    if (in_memory(end)) {
      use(std::string_view(memory.get() + start, size));
      continue;
    }
    if (size > read_block) {
      if (!read_back(start, size, probe)) return false;
      use(probe);
      continue;
    }
    if (start < block_start || end > block_start + block.size()) {
      block_start = start;
      auto length = static_cast<std::size_t>(std::min<std::uint64_t>(read_block, spilled_end - start));
      if (!read_back(start, length, block)) return false;
    }
    use(std::string_view(block.data() + (start - block_start), size));
  }
  return true;
}

std::size_t shared_string_table::memory_used() const {
  return chunks.size() * chunk_size * sizeof(entry) + slots.capacity() * sizeof(std::uint32_t) + tags.capacity() +
         memory_capacity + high_marks.capacity() * sizeof(std::uint32_t);
}

}  // namespace XlsxModel
