#include "platform/compound_file.h"

#include "platform/storage.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>

namespace qm_platform {
namespace {

constexpr std::uint8_t signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::size_t header_fat_slots = 109;
constexpr std::uint32_t mini_size = 64;
constexpr std::uint32_t entry_size = 128;

std::uint16_t get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t get32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}
void put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t ceil_div(std::uint64_t a, std::uint64_t b) { return static_cast<std::uint32_t>((a + b - 1) / b); }

char16_t upper(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
  if (c >= 0xD800 && c <= 0xDFFF) return c;
  wchar_t w = c;
  CharUpperBuffW(&w, 1);
  return w <= 0xFFFF ? static_cast<char16_t>(w) : c;
}

}  // namespace

int cf_compare_names(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char16_t x = upper(a[i]), y = upper(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

HRESULT cf_result_of_errno(int error, bool writing) {
  switch (error) {
    case ENOENT: return STG_E_FILENOTFOUND;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP: return STG_E_PATHNOTFOUND;
    case EACCES:
    case EPERM:
    case EISDIR: return STG_E_ACCESSDENIED;
    case EROFS: return STG_E_DISKISWRITEPROTECTED;
    case EEXIST: return STG_E_FILEALREADYEXISTS;
    case EWOULDBLOCK: return STG_E_SHAREVIOLATION;
    case EMFILE:
    case ENFILE: return STG_E_TOOMANYOPENFILES;
    case ENOMEM: return STG_E_INSUFFICIENTMEMORY;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return STG_E_MEDIUMFULL;
    default: return writing ? STG_E_WRITEFAULT : STG_E_READFAULT;
  }
}

// ---------------------------------------------------------------- file I/O

HRESULT compound_file::flush_pending() {
  if (pending_.empty()) return S_OK;
  // Kept when it fails, so that a later commit can still write it.
  if (int error = file_->write_at(pending_at_, pending_.data(), pending_.size())) return cf_result_of_errno(error, true);
  pending_.clear();
  return S_OK;
}

HRESULT compound_file::io_read(std::uint64_t offset, void* data, std::size_t size) {
  if (HRESULT hr = flush_pending(); FAILED(hr)) return hr;
  std::size_t got = 0;
  if (int error = file_->read_at(offset, data, size, got)) return cf_result_of_errno(error, false);
  // Every byte that the tables or a stream's size account for is in the
  // file; a file that ends before them was cut short.
  return got == size ? S_OK : STG_E_DOCFILECORRUPT;
}

HRESULT compound_file::io_write(std::uint64_t offset, const void* data, std::size_t size) {
  // Small writes that follow one another on the file are gathered, so that
  // a stream written record by record costs few system calls.
  const auto* p = static_cast<const std::uint8_t*>(data);
  if (!pending_.empty() && pending_at_ + pending_.size() == offset && pending_.size() + size <= pending_capacity) {
    pending_.insert(pending_.end(), p, p + size);
  } else {
    if (HRESULT hr = flush_pending(); FAILED(hr)) return hr;
    if (size >= pending_capacity / 2) {
      if (int error = file_->write_at(offset, data, size)) return cf_result_of_errno(error, true);
    } else {
      pending_at_ = offset;
      pending_.assign(p, p + size);
    }
  }
  file_size_ = std::max(file_size_, offset + size);
  return S_OK;
}

// ---------------------------------------------------------------- opening

HRESULT compound_file::open(std::unique_ptr<storage_file> file, bool writable, std::shared_ptr<compound_file>& out) {
  std::shared_ptr<compound_file> cf(new compound_file);
  cf->file_ = std::move(file);
  cf->writable_ = writable;
  HRESULT hr = cf->load();
  cf->used_.clear();
  cf->used_.shrink_to_fit();
  cf->mini_used_.clear();
  cf->mini_used_.shrink_to_fit();
  if (FAILED(hr)) return hr;
  out = std::move(cf);
  return S_OK;
}

HRESULT compound_file::load() {
  std::uint64_t size = 0;
  if (int error = file_->get_size(size)) return cf_result_of_errno(error, false);
  file_size_ = size;
  if (size < sizeof header_) return STG_E_FILEALREADYEXISTS;
  if (HRESULT hr = io_read(0, header_, sizeof header_); FAILED(hr)) return hr;
  if (std::memcmp(header_, signature, sizeof signature) != 0) return STG_E_FILEALREADYEXISTS;

  std::uint16_t major = get16(header_ + 0x1A);
  shift_ = get16(header_ + 0x1E);
  if (get16(header_ + 0x1C) != 0xFFFE || !((major == 3 && shift_ == 9) || (major == 4 && shift_ == 12)) ||
      get16(header_ + 0x20) != 6 || get32(header_ + 0x38) != 4096)
    return STG_E_INVALIDHEADER;
  cutoff_ = 4096;
  const std::uint32_t ss = sector_size();
  if (size < ss) return STG_E_DOCFILECORRUPT;
  std::uint64_t count = (size - ss + ss - 1) / ss;
  if (count > cf_max_sector) return STG_E_DOCFILETOOLARGE;
  sectors_ = static_cast<std::uint32_t>(count);
  used_.assign(sectors_, false);
  auto take = [this](std::uint32_t s) {
    if (s >= sectors_ || used_[s]) return false;
    used_[s] = true;
    return true;
  };

  // Where the allocation table lies: the header's slots, then the DIFAT chain.
  std::uint32_t fat_count = get32(header_ + 0x2C);
  if (fat_count > sectors_) return STG_E_DOCFILECORRUPT;
  for (std::uint32_t i = 0; i < std::min<std::uint32_t>(fat_count, header_fat_slots); ++i) {
    std::uint32_t s = get32(header_ + 0x4C + 4 * i);
    if (!take(s)) return STG_E_DOCFILECORRUPT;
    fat_sectors_.push_back(s);
  }
  std::vector<std::uint8_t> buffer(ss);
  std::uint32_t next = get32(header_ + 0x44);
  while (fat_sectors_.size() < fat_count) {
    if (!take(next)) return STG_E_DOCFILECORRUPT;
    difat_sectors_.push_back(next);
    if (HRESULT hr = io_read(sector_offset(next), buffer.data(), ss); FAILED(hr)) return hr;
    for (std::uint32_t i = 0; i + 1 < per_sector() && fat_sectors_.size() < fat_count; ++i) {
      std::uint32_t s = get32(buffer.data() + 4 * i);
      if (!take(s)) return STG_E_DOCFILECORRUPT;
      fat_sectors_.push_back(s);
    }
    next = get32(buffer.data() + ss - 4);
  }

  fat_.resize(std::size_t{fat_count} * per_sector());
  for (std::size_t i = 0; i < fat_sectors_.size(); ++i) {
    if (HRESULT hr = io_read(sector_offset(fat_sectors_[i]), buffer.data(), ss); FAILED(hr)) return hr;
    for (std::uint32_t j = 0; j < per_sector(); ++j) fat_[i * per_sector() + j] = get32(buffer.data() + 4 * j);
  }
  // The table's own sectors are never handed out, whatever the table says.
  for (std::uint32_t s : fat_sectors_)
    if (s < fat_.size()) fat_[s] = cf_fat_sector;
  for (std::uint32_t s : difat_sectors_)
    if (s < fat_.size()) fat_[s] = cf_difat_sector;

  // The directory.
  if (HRESULT hr = walk(get32(header_ + 0x30), false, dir_chain_); FAILED(hr)) return hr;
  if (dir_chain_.empty()) return STG_E_DOCFILECORRUPT;
  entries_.resize(dir_chain_.size() * (ss / entry_size));
  for (std::size_t i = 0; i < dir_chain_.size(); ++i) {
    if (HRESULT hr = io_read(sector_offset(dir_chain_[i]), buffer.data(), ss); FAILED(hr)) return hr;
    for (std::uint32_t j = 0; j < ss / entry_size; ++j) {
      cf_entry& e = entries_[i * (ss / entry_size) + j];
      const std::uint8_t* p = buffer.data() + j * entry_size;
      std::memcpy(e.raw, p, entry_size);
      e.type = p[0x42];
      e.color = p[0x43];
      e.left = get32(p + 0x44);
      e.right = get32(p + 0x48);
      e.child = get32(p + 0x4C);
      e.start = get32(p + 0x74);
      e.size = get32(p + 0x78);
      // Version 3 files may carry junk in the upper half of the size.
      if (major == 4) e.size |= std::uint64_t{get32(p + 0x7C)} << 32;
      std::uint16_t length = get16(p + 0x40);
      if (e.type != cf_type_free && length >= 2 && length <= 64 && length % 2 == 0)
        for (std::uint16_t k = 0; k + 1 < length / 2; ++k) e.name.push_back(static_cast<char16_t>(get16(p + 2 * k)));
    }
  }
  if (entries_[0].type != cf_type_root) return STG_E_DOCFILECORRUPT;
  if (HRESULT hr = load_tree(); FAILED(hr)) return hr;

  // The mini stream (the root's data) and its table.
  cf_entry& root = entries_[0];
  if (HRESULT hr = walk(root.start, false, mini_stream_); FAILED(hr)) return hr;
  if (root.size > std::uint64_t{mini_stream_.size()} * ss) return STG_E_DOCFILECORRUPT;
  if (HRESULT hr = walk(get32(header_ + 0x3C), false, mini_fat_chain_); FAILED(hr)) return hr;
  mini_fat_.resize(mini_fat_chain_.size() * per_sector());
  for (std::size_t i = 0; i < mini_fat_chain_.size(); ++i) {
    if (HRESULT hr = io_read(sector_offset(mini_fat_chain_[i]), buffer.data(), ss); FAILED(hr)) return hr;
    for (std::uint32_t j = 0; j < per_sector(); ++j) mini_fat_[i * per_sector() + j] = get32(buffer.data() + 4 * j);
  }
  return load_stream_chains();
}

HRESULT compound_file::walk(std::uint32_t start, bool mini, std::vector<std::uint32_t>& chain) {
  const std::vector<std::uint32_t>& table = mini ? mini_fat_ : fat_;
  std::vector<bool>& used = mini ? mini_used_ : used_;
  std::uint64_t limit = mini ? std::min<std::uint64_t>(table.size(), ceil_div(entries_[0].size, mini_size))
                             : std::min<std::uint64_t>(table.size(), sectors_);
  // Some writers mark an empty chain as free rather than ended.
  if (start == cf_free) return S_OK;
  // A loop comes back to a sector it has taken, as does a chain that runs
  // into another: both are refused.
  for (std::uint32_t s = start; s != cf_end_of_chain; s = table[s]) {
    if (s >= limit || used[s]) return STG_E_DOCFILECORRUPT;
    used[s] = true;
    chain.push_back(s);
  }
  return S_OK;
}

HRESULT compound_file::load_tree() {
  std::vector<std::uint32_t> storages{0}, pending;
  entries_[0].reached = true;
  while (!storages.empty()) {
    std::uint32_t storage = storages.back();
    storages.pop_back();
    pending.assign(1, entries_[storage].child);
    while (!pending.empty()) {
      std::uint32_t id = pending.back();
      pending.pop_back();
      if (id == cf_no_entry) continue;
      if (id >= entries_.size() || entries_[id].reached) return STG_E_DOCFILECORRUPT;
      cf_entry& e = entries_[id];
      if ((e.type != cf_type_storage && e.type != cf_type_stream) || e.name.empty()) return STG_E_DOCFILECORRUPT;
      e.reached = true;
      e.parent = storage;
      entries_[storage].children.push_back(id);
      pending.push_back(e.left);
      pending.push_back(e.right);
      if (e.type == cf_type_storage) storages.push_back(id);
    }
  }
  return S_OK;
}

HRESULT compound_file::load_stream_chains() {
  mini_used_.assign(mini_fat_.size(), false);
  for (cf_entry& e : entries_) {
    if (!e.reached || e.type != cf_type_stream || e.size == 0) continue;
    bool mini = is_mini(e.size);
    if (HRESULT hr = walk(e.start, mini, e.chain); FAILED(hr)) return hr;
    if (e.chain.size() < ceil_div(e.size, mini ? mini_size : sector_size())) return STG_E_DOCFILECORRUPT;
  }
  return S_OK;
}

// ---------------------------------------------------------------- creating

HRESULT compound_file::create(std::unique_ptr<storage_file> file, std::shared_ptr<compound_file>& out) {
  std::shared_ptr<compound_file> cf(new compound_file);
  cf->file_ = std::move(file);
  cf->writable_ = true;
  std::uint8_t* h = cf->header_;
  std::memcpy(h, signature, sizeof signature);
  put16(h + 0x18, 0x003E);
  put16(h + 0x1A, 3);
  put16(h + 0x1C, 0xFFFE);
  put16(h + 0x1E, 9);
  put16(h + 0x20, 6);
  put32(h + 0x38, 4096);
  put32(h + 0x3C, cf_end_of_chain);
  put32(h + 0x44, cf_end_of_chain);
  for (std::size_t i = 0; i < header_fat_slots; ++i) put32(h + 0x4C + 4 * i, cf_free);

  std::uint32_t id = 0;
  if (HRESULT hr = cf->add_entry(id); FAILED(hr)) return hr;
  cf_entry& root = cf->entries_[0];
  root.name = u"Root Entry";
  root.type = cf_type_root;
  root.reached = true;
  cf->encode(0, true);
  cf->header_dirty_ = true;
  if (HRESULT hr = cf->commit(); FAILED(hr)) return hr;
  out = std::move(cf);
  return S_OK;
}

// ---------------------------------------------------------------- directory

std::uint32_t compound_file::find(std::uint32_t storage, const std::u16string& name) const {
  // Not through the tree: a foreign file's tree may be ordered otherwise.
  for (std::uint32_t id : entries_[storage].children)
    if (cf_compare_names(entries_[id].name, name) == 0) return id;
  return cf_no_entry;
}

HRESULT compound_file::add_entry(std::uint32_t& id) {
  for (std::uint32_t i = 1; i < entries_.size(); ++i)
    if (entries_[i].type == cf_type_free && !entries_[i].reached) {
      entries_[i] = cf_entry();
      id = i;
      return S_OK;
    }
  std::uint32_t s = 0;
  if (HRESULT hr = allocate_sector(s); FAILED(hr)) return hr;
  if (dir_chain_.empty())
    header_dirty_ = true;
  else
    fat_[dir_chain_.back()] = s;
  fat_[s] = cf_end_of_chain;
  dir_chain_.push_back(s);
  id = static_cast<std::uint32_t>(entries_.size());
  entries_.resize(entries_.size() + sector_size() / entry_size);
  for (std::uint32_t i = id; i < entries_.size(); ++i) encode(i, true);
  dir_dirty_ = true;
  return S_OK;
}

HRESULT compound_file::add_stream(std::uint32_t storage, const std::u16string& name, std::uint32_t& id) {
  if (!writable_) return STG_E_ACCESSDENIED;
  if (HRESULT hr = add_entry(id); FAILED(hr)) return hr;
  cf_entry& e = entries_[id];
  e.name = name;
  e.type = cf_type_stream;
  e.parent = storage;
  e.reached = true;
  encode(id, true);
  entries_[storage].children.push_back(id);
  rebuild_tree(storage);
  return S_OK;
}

HRESULT compound_file::remove(std::uint32_t id) {
  if (!writable_) return STG_E_ACCESSDENIED;
  std::vector<std::uint32_t> doomed{id};
  for (std::size_t i = 0; i < doomed.size(); ++i) {
    const cf_entry& e = entries_[doomed[i]];
    if (e.open) return STG_E_ACCESSDENIED;
    doomed.insert(doomed.end(), e.children.begin(), e.children.end());
  }
  std::uint32_t parent = entries_[id].parent;
  for (std::uint32_t d : doomed) {
    free_chain(entries_[d]);
    entries_[d] = cf_entry();
    encode(d, true);
  }
  auto& siblings = entries_[parent].children;
  siblings.erase(std::find(siblings.begin(), siblings.end(), id));
  rebuild_tree(parent);
  return S_OK;
}

void compound_file::rebuild_tree(std::uint32_t storage) {
  std::vector<std::uint32_t> sorted = entries_[storage].children;
  std::sort(sorted.begin(), sorted.end(), [this](std::uint32_t a, std::uint32_t b) {
    return cf_compare_names(entries_[a].name, entries_[b].name) < 0;
  });
  // A tree split at the middle is full down to its last level; that level's
  // nodes are red and the rest black, which keeps every path equally black.
  std::vector<int> depth(sorted.size());
  int deepest = -1;
  std::function<std::uint32_t(std::size_t, std::size_t, int)> build = [&](std::size_t lo, std::size_t hi, int d) {
    if (lo >= hi) return cf_no_entry;
    std::size_t mid = lo + (hi - lo) / 2;
    cf_entry& e = entries_[sorted[mid]];
    depth[mid] = d;
    deepest = std::max(deepest, d);
    e.left = build(lo, mid, d + 1);
    e.right = build(mid + 1, hi, d + 1);
    return sorted[mid];
  };
  entries_[storage].child = build(0, sorted.size(), 0);
  bool perfect = sorted.size() + 1 == (std::size_t{1} << (deepest + 1));
  for (std::size_t i = 0; i < sorted.size(); ++i) {
    entries_[sorted[i]].color = (!perfect && depth[i] == deepest) ? 0 : 1;
    encode(sorted[i], false);
  }
  encode(storage, false);
}

void compound_file::encode(std::uint32_t id, bool with_name) {
  cf_entry& e = entries_[id];
  std::uint8_t* p = e.raw;
  if (e.type == cf_type_free) {
    std::memset(p, 0, entry_size);
    put32(p + 0x44, cf_no_entry);
    put32(p + 0x48, cf_no_entry);
    put32(p + 0x4C, cf_no_entry);
    dir_dirty_ = true;
    return;
  }
  if (with_name) {
    std::memset(p, 0, 64);
    for (std::size_t i = 0; i < e.name.size(); ++i) put16(p + 2 * i, e.name[i]);
    put16(p + 0x40, static_cast<std::uint16_t>((e.name.size() + 1) * 2));
  }
  p[0x42] = e.type;
  p[0x43] = e.color;
  put32(p + 0x44, e.left);
  put32(p + 0x48, e.right);
  put32(p + 0x4C, e.child);
  if (e.type != cf_type_storage) {
    put32(p + 0x74, e.start);
    put32(p + 0x78, static_cast<std::uint32_t>(e.size));
    put32(p + 0x7C, shift_ == 9 ? 0 : static_cast<std::uint32_t>(e.size >> 32));
  }
  dir_dirty_ = true;
}

void compound_file::set_class(std::uint32_t id, const GUID& clsid) {
  std::uint8_t* p = entries_[id].raw + 0x50;
  put32(p, clsid.Data1);
  put16(p + 4, clsid.Data2);
  put16(p + 6, clsid.Data3);
  std::memcpy(p + 8, clsid.Data4, 8);
  dir_dirty_ = true;
}

// ---------------------------------------------------------------- allocation

HRESULT compound_file::allocate_sector(std::uint32_t& sector) {
  std::uint32_t known = static_cast<std::uint32_t>(std::min<std::size_t>(sectors_, fat_.size()));
  for (std::uint32_t i = free_hint_; i < known; ++i)
    if (fat_[i] == cf_free) {
      free_hint_ = i + 1;
      sector = i;
      fat_[i] = cf_end_of_chain;
      fat_dirty_ = true;
      return S_OK;
    }
  free_hint_ = known;
  // Appended: the table may need a sector of its own for it, and the
  // table's extension one for that.
  if (sectors_ >= cf_max_sector - 64) return STG_E_DOCFILETOOLARGE;
  sector = sectors_++;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> marks;
  for (;;) {
    std::size_t extra = fat_sectors_.size() > header_fat_slots ? fat_sectors_.size() - header_fat_slots : 0;
    if (difat_sectors_.size() < ceil_div(extra, per_sector() - 1)) {
      difat_sectors_.push_back(sectors_);
      marks.emplace_back(sectors_++, cf_difat_sector);
      difat_dirty_ = true;
      continue;
    }
    if (fat_.size() < sectors_) {
      fat_sectors_.push_back(sectors_);
      marks.emplace_back(sectors_++, cf_fat_sector);
      fat_.resize(fat_.size() + per_sector(), cf_free);
      difat_dirty_ = true;
      continue;
    }
    break;
  }
  for (auto [s, mark] : marks) fat_[s] = mark;
  fat_[sector] = cf_end_of_chain;
  fat_dirty_ = true;
  return S_OK;
}

void compound_file::free_sector(std::uint32_t sector) {
  fat_[sector] = cf_free;
  free_hint_ = std::min(free_hint_, sector);
  fat_dirty_ = true;
}

HRESULT compound_file::grow_table(std::vector<std::uint32_t>& table_chain) {
  std::uint32_t s = 0;
  if (HRESULT hr = allocate_sector(s); FAILED(hr)) return hr;
  if (table_chain.empty())
    header_dirty_ = true;
  else
    fat_[table_chain.back()] = s;
  table_chain.push_back(s);
  return S_OK;
}

HRESULT compound_file::allocate_mini(std::uint32_t& mini) {
  cf_entry& root = entries_[0];
  std::uint32_t count = ceil_div(root.size, mini_size);
  std::uint32_t known = static_cast<std::uint32_t>(std::min<std::size_t>(count, mini_fat_.size()));
  for (std::uint32_t i = mini_free_hint_; i < known; ++i)
    if (mini_fat_[i] == cf_free) {
      mini_free_hint_ = i + 1;
      mini = i;
      mini_fat_[i] = cf_end_of_chain;
      mini_fat_dirty_ = true;
      return S_OK;
    }
  mini_free_hint_ = known;
  mini = count;
  if (mini_fat_.size() <= mini) {
    if (HRESULT hr = grow_table(mini_fat_chain_); FAILED(hr)) return hr;
    mini_fat_.resize(mini_fat_.size() + per_sector(), cf_free);
  }
  while (std::uint64_t{mini_stream_.size()} * sector_size() < (std::uint64_t{mini} + 1) * mini_size) {
    std::uint32_t s = 0;
    if (HRESULT hr = allocate_sector(s); FAILED(hr)) return hr;
    if (mini_stream_.empty())
      root.start = s;
    else
      fat_[mini_stream_.back()] = s;
    mini_stream_.push_back(s);
  }
  root.size = (std::uint64_t{mini} + 1) * mini_size;
  encode(0, false);
  mini_fat_[mini] = cf_end_of_chain;
  mini_fat_dirty_ = true;
  return S_OK;
}

void compound_file::free_chain(cf_entry& e) {
  bool mini = is_mini(e.size);
  for (std::uint32_t s : e.chain) {
    if (mini) {
      mini_fat_[s] = cf_free;
      mini_free_hint_ = std::min(mini_free_hint_, s);
      mini_fat_dirty_ = true;
    } else {
      free_sector(s);
    }
  }
  e.chain.clear();
  e.start = cf_end_of_chain;
}

HRESULT compound_file::resize_chain(cf_entry& e, std::uint64_t size) {
  bool mini = is_mini(size);
  std::vector<std::uint32_t>& table = mini ? mini_fat_ : fat_;
  std::uint32_t need = ceil_div(size, mini ? mini_size : sector_size());
  while (e.chain.size() > need) {
    std::uint32_t s = e.chain.back();
    e.chain.pop_back();
    table[s] = cf_free;
    if (mini) {
      mini_free_hint_ = std::min(mini_free_hint_, s);
      mini_fat_dirty_ = true;
    } else {
      free_sector(s);
    }
    if (e.chain.empty())
      e.start = cf_end_of_chain;
    else
      table[e.chain.back()] = cf_end_of_chain;
  }
  while (e.chain.size() < need) {
    std::uint32_t s = 0;
    // The tables may move while they grow: index them afresh each time.
    if (HRESULT hr = mini ? allocate_mini(s) : allocate_sector(s); FAILED(hr)) return hr;
    std::vector<std::uint32_t>& t = mini ? mini_fat_ : fat_;
    t[s] = cf_end_of_chain;
    if (e.chain.empty())
      e.start = s;
    else
      t[e.chain.back()] = s;
    e.chain.push_back(s);
  }
  (mini ? mini_fat_dirty_ : fat_dirty_) = true;
  return S_OK;
}

// ---------------------------------------------------------------- stream data

void compound_file::runs_of(const cf_entry& e, std::uint64_t position, std::size_t size, std::vector<run>& out) const {
  out.clear();
  bool mini = is_mini(e.size);
  std::uint64_t unit = mini ? mini_size : sector_size();
  while (size > 0) {
    std::uint64_t index = position / unit, within = position % unit;
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(unit - within, size));
    std::uint64_t offset;
    if (mini) {
      std::uint64_t at = std::uint64_t{e.chain[index]} * mini_size + within;
      offset = sector_offset(mini_stream_[at >> shift_]) + (at & (sector_size() - 1));
    } else {
      offset = sector_offset(e.chain[index]) + within;
    }
    if (!out.empty() && out.back().offset + out.back().size == offset)
      out.back().size += n;
    else
      out.push_back({offset, n});
    position += n;
    size -= n;
  }
}

HRESULT compound_file::read(std::uint32_t id, std::uint64_t position, void* data, std::size_t size, std::size_t& got) {
  got = 0;
  if (!file_) return STG_E_REVERTED;
  const cf_entry& e = entries_[id];
  if (position >= e.size) return S_OK;
  std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, e.size - position));
  std::vector<run> runs;
  runs_of(e, position, n, runs);
  auto* p = static_cast<std::uint8_t*>(data);
  for (const run& r : runs) {
    if (HRESULT hr = io_read(r.offset, p + got, r.size); FAILED(hr)) return hr;
    got += r.size;
  }
  return S_OK;
}

HRESULT compound_file::write(std::uint32_t id, std::uint64_t position, const void* data, std::size_t size) {
  if (!file_) return STG_E_REVERTED;
  if (!writable_) return STG_E_ACCESSDENIED;
  if (size == 0) return S_OK;
  std::uint64_t end = position + size, old = entries_[id].size;
  if (end < position) return STG_E_INVALIDFUNCTION;
  if (end > old)
    if (HRESULT hr = resize(id, end, position); FAILED(hr)) return hr;
  std::vector<run> runs;
  runs_of(entries_[id], position, size, runs);
  const auto* p = static_cast<const std::uint8_t*>(data);
  for (const run& r : runs) {
    if (HRESULT hr = io_write(r.offset, p, r.size); FAILED(hr)) {
      // A stream does not keep a size its bytes never reached.
      if (end > old) resize(id, old, old);
      return hr;
    }
    p += r.size;
  }
  data_written_ = true;
  return S_OK;
}

HRESULT compound_file::set_size(std::uint32_t id, std::uint64_t size) {
  if (!file_) return STG_E_REVERTED;
  if (!writable_) return STG_E_ACCESSDENIED;
  return resize(id, size, size);
}

HRESULT compound_file::zero(std::uint32_t id, std::uint64_t from, std::uint64_t to) {
  static const std::uint8_t zeros[65536] = {};
  std::vector<run> runs;
  while (from < to) {
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof zeros, to - from));
    runs_of(entries_[id], from, n, runs);
    for (const run& r : runs)
      if (HRESULT hr = io_write(r.offset, zeros, r.size); FAILED(hr)) return hr;
    from += n;
  }
  data_written_ = true;
  return S_OK;
}

HRESULT compound_file::resize(std::uint32_t id, std::uint64_t size, std::uint64_t fill_end) {
  cf_entry& e = entries_[id];
  std::uint64_t old = e.size;
  if (size == old) return S_OK;
  // Sizes as the format allows them: version 3 keeps 32 bits.
  if (shift_ == 9 && size > 0x80000000u) return STG_E_DOCFILETOOLARGE;
  std::uint64_t keep = std::min(old, size);
  if (is_mini(old) != is_mini(size)) {
    // Into or out of the mini stream: the bytes move with the stream.
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(keep));
    std::size_t got = 0;
    if (HRESULT hr = read(id, 0, bytes.data(), bytes.size(), got); FAILED(hr)) return hr;
    free_chain(e);
    e.size = 0;
    if (HRESULT hr = resize_chain(e, size); FAILED(hr)) return hr;
    e.size = size;
    encode(id, false);
    std::vector<run> runs;
    runs_of(e, 0, bytes.size(), runs);
    const std::uint8_t* p = bytes.data();
    for (const run& r : runs) {
      if (HRESULT hr = io_write(r.offset, p, r.size); FAILED(hr)) return hr;
      p += r.size;
    }
    data_written_ = true;
  } else {
    if (HRESULT hr = resize_chain(e, size); FAILED(hr)) return hr;
    e.size = size;
    encode(id, false);
  }
  // Bytes between the old end and what the caller writes next read as zeros.
  return zero(id, keep, std::min(size, fill_end));
}

// ---------------------------------------------------------------- commit

void compound_file::build_header(std::uint8_t* h) const {
  std::memcpy(h, header_, sizeof header_);
  put32(h + 0x28, shift_ == 9 ? 0 : static_cast<std::uint32_t>(dir_chain_.size()));
  put32(h + 0x2C, static_cast<std::uint32_t>(fat_sectors_.size()));
  put32(h + 0x30, dir_chain_.empty() ? cf_end_of_chain : dir_chain_[0]);
  put32(h + 0x3C, mini_fat_chain_.empty() ? cf_end_of_chain : mini_fat_chain_[0]);
  put32(h + 0x40, static_cast<std::uint32_t>(mini_fat_chain_.size()));
  put32(h + 0x44, difat_sectors_.empty() ? cf_end_of_chain : difat_sectors_[0]);
  put32(h + 0x48, static_cast<std::uint32_t>(difat_sectors_.size()));
  for (std::size_t i = 0; i < header_fat_slots; ++i)
    put32(h + 0x4C + 4 * i, i < fat_sectors_.size() ? fat_sectors_[i] : cf_free);
}

HRESULT compound_file::write_table(const std::vector<std::uint32_t>& table, const std::vector<std::uint32_t>& sectors) {
  std::vector<std::uint8_t> buffer(sector_size());
  for (std::size_t i = 0; i < sectors.size(); ++i) {
    for (std::uint32_t j = 0; j < per_sector(); ++j) put32(buffer.data() + 4 * j, table[i * per_sector() + j]);
    if (HRESULT hr = io_write(sector_offset(sectors[i]), buffer.data(), buffer.size()); FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT compound_file::commit() {
  if (!file_) return STG_E_REVERTED;
  if (!writable_) return S_OK;
  if (HRESULT hr = flush_pending(); FAILED(hr)) return hr;
  bool structural = header_dirty_ || difat_dirty_ || fat_dirty_ || mini_fat_dirty_ || dir_dirty_;
  bool wrote = data_written_;
  if (mini_fat_dirty_) {
    if (HRESULT hr = write_table(mini_fat_, mini_fat_chain_); FAILED(hr)) return hr;
    wrote = true;
  }
  if (fat_dirty_) {
    if (HRESULT hr = write_table(fat_, fat_sectors_); FAILED(hr)) return hr;
    wrote = true;
  }
  if (difat_dirty_ && !difat_sectors_.empty()) {
    std::vector<std::uint8_t> buffer(sector_size());
    std::size_t next = header_fat_slots;
    for (std::size_t i = 0; i < difat_sectors_.size(); ++i) {
      for (std::uint32_t j = 0; j + 1 < per_sector(); ++j, ++next)
        put32(buffer.data() + 4 * j, next < fat_sectors_.size() ? fat_sectors_[next] : cf_free);
      put32(buffer.data() + sector_size() - 4, i + 1 < difat_sectors_.size() ? difat_sectors_[i + 1] : cf_end_of_chain);
      if (HRESULT hr = io_write(sector_offset(difat_sectors_[i]), buffer.data(), buffer.size()); FAILED(hr)) return hr;
    }
    wrote = true;
  }
  if (dir_dirty_) {
    std::uint32_t per = sector_size() / entry_size;
    std::vector<std::uint8_t> buffer(sector_size());
    for (std::size_t i = 0; i < dir_chain_.size(); ++i) {
      for (std::uint32_t j = 0; j < per; ++j) std::memcpy(buffer.data() + j * entry_size, entries_[i * per + j].raw, entry_size);
      if (HRESULT hr = io_write(sector_offset(dir_chain_[i]), buffer.data(), buffer.size()); FAILED(hr)) return hr;
    }
    wrote = true;
  }
  // Bytes overwritten inside streams leave the header and the file's length
  // as they were.
  if (structural) {
    std::uint8_t header[sizeof header_];
    build_header(header);
    if (header_dirty_ || difat_dirty_ || std::memcmp(header, header_, sizeof header) != 0) {
      if (HRESULT hr = io_write(0, header, sizeof header); FAILED(hr)) return hr;
      if (HRESULT hr = flush_pending(); FAILED(hr)) return hr;
      std::memcpy(header_, header, sizeof header);
      wrote = true;
    }
    if (HRESULT hr = flush_pending(); FAILED(hr)) return hr;
    // The last sector may have been written only in part.
    std::uint64_t length = (std::uint64_t{sectors_} + 1) << shift_;
    std::uint64_t actual = 0;
    if (int error = file_->get_size(actual)) return cf_result_of_errno(error, false);
    file_size_ = actual;
    if (file_size_ < length) {
      if (int error = file_->set_size(length)) return cf_result_of_errno(error, true);
      file_size_ = length;
      wrote = true;
    }
  }
  if (HRESULT hr = flush_pending(); FAILED(hr)) return hr;
  if (wrote)
    if (int error = file_->flush()) return cf_result_of_errno(error, true);
  header_dirty_ = difat_dirty_ = fat_dirty_ = mini_fat_dirty_ = dir_dirty_ = data_written_ = false;
  return S_OK;
}

HRESULT compound_file::close() {
  if (!file_) return S_OK;
  HRESULT hr = commit();
  file_.reset();
  return hr;
}

}  // namespace qm_platform
