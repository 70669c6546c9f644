// The compound-file format under the storage interfaces: header, sector
// allocation table (FAT) with its extension (DIFAT), mini stream and its
// table, and the directory of storages and streams.
//
// Every table is read whole and checked when the file is opened: sector
// numbers within the file, no chain that loops or shares a sector with
// another, a directory tree that reaches each entry once. After that, any
// operation works on sound tables. Stream bytes go to the file in the order
// written, small neighbouring writes gathered in a buffer that the next read
// or commit empties (whose failure that call then answers); the tables are
// written by commit, and only those that changed.
#pragma once

#include "platform/com.h"
#include "platform/storage_file.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qm_platform {

constexpr std::uint32_t cf_max_sector = 0xFFFFFFFAu;
constexpr std::uint32_t cf_difat_sector = 0xFFFFFFFCu;
constexpr std::uint32_t cf_fat_sector = 0xFFFFFFFDu;
constexpr std::uint32_t cf_end_of_chain = 0xFFFFFFFEu;
constexpr std::uint32_t cf_free = 0xFFFFFFFFu;
constexpr std::uint32_t cf_no_entry = 0xFFFFFFFFu;

constexpr std::uint8_t cf_type_free = 0;
constexpr std::uint8_t cf_type_storage = 1;
constexpr std::uint8_t cf_type_stream = 2;
constexpr std::uint8_t cf_type_root = 5;

// The longest element name, in UTF-16 units without the terminating zero.
constexpr std::size_t cf_max_name = 31;

struct cf_entry {
  std::u16string name;
  std::uint8_t type = cf_type_free;
  std::uint8_t color = 1;  // 0 red, 1 black
  std::uint32_t left = cf_no_entry;
  std::uint32_t right = cf_no_entry;
  std::uint32_t child = cf_no_entry;
  std::uint32_t start = cf_end_of_chain;
  std::uint64_t size = 0;
  // The entry's bytes as read: class id, state bits and times travel as they are.
  std::uint8_t raw[128] = {};

  // Kept beside the entry, not stored in it.
  std::uint32_t parent = cf_no_entry;
  std::vector<std::uint32_t> children;  // of a storage
  std::vector<std::uint32_t> chain;     // of a stream: its sectors, or mini sectors below the cutoff
  bool reached = false;                 // by the directory tree
  bool open = false;                    // a stream object stands for it
};

// Element names compare as the format orders them: shorter first, then by
// the upper-case forms of their units.
int cf_compare_names(const std::u16string& a, const std::u16string& b);
// The STG_E_* result of a file-system error (an errno value).
HRESULT cf_result_of_errno(int error, bool writing);

class compound_file {
 public:
  static HRESULT open(std::unique_ptr<storage_file> file, bool writable, std::shared_ptr<compound_file>& out);
  // A new version 3 file holding only the root, written at once.
  static HRESULT create(std::unique_ptr<storage_file> file, std::shared_ptr<compound_file>& out);

  bool writable() const { return writable_; }
  bool closed() const { return !file_; }
  const cf_entry& entry(std::uint32_t id) const { return entries_[id]; }
  void set_open(std::uint32_t id, bool open) { entries_[id].open = open; }
  void set_class(std::uint32_t id, const GUID& clsid);

  // The element `name` directly inside storage `storage`; cf_no_entry if none.
  std::uint32_t find(std::uint32_t storage, const std::u16string& name) const;
  HRESULT add_stream(std::uint32_t storage, const std::u16string& name, std::uint32_t& id);
  // Removes an element; a storage goes with everything in it. Fails with
  // STG_E_ACCESSDENIED while one of its streams is open.
  HRESULT remove(std::uint32_t id);

  HRESULT read(std::uint32_t id, std::uint64_t position, void* data, std::size_t size, std::size_t& got);
  HRESULT write(std::uint32_t id, std::uint64_t position, const void* data, std::size_t size);
  HRESULT set_size(std::uint32_t id, std::uint64_t size);

  // Writes the tables that changed and flushes the file.
  HRESULT commit();
  // Commits when writable, then lets the file go.
  HRESULT close();

 private:
  compound_file() = default;

  // Byte runs of the file behind a part of a stream.
  struct run {
    std::uint64_t offset;
    std::size_t size;
  };

  std::uint32_t sector_size() const { return 1u << shift_; }
  std::uint32_t per_sector() const { return sector_size() / 4; }
  std::uint64_t sector_offset(std::uint32_t sector) const { return (std::uint64_t{sector} + 1) << shift_; }
  bool is_mini(std::uint64_t size) const { return size < cutoff_; }

  HRESULT flush_pending();
  HRESULT io_read(std::uint64_t offset, void* data, std::size_t size);
  HRESULT io_write(std::uint64_t offset, const void* data, std::size_t size);
  HRESULT load();
  HRESULT walk(std::uint32_t start, bool mini, std::vector<std::uint32_t>& chain);
  HRESULT load_tree();
  HRESULT load_stream_chains();
  void runs_of(const cf_entry& e, std::uint64_t position, std::size_t size, std::vector<run>& out) const;

  HRESULT allocate_sector(std::uint32_t& sector);
  void free_sector(std::uint32_t sector);
  HRESULT allocate_mini(std::uint32_t& mini);
  HRESULT grow_table(std::vector<std::uint32_t>& table_chain);
  HRESULT resize_chain(cf_entry& e, std::uint64_t size);
  void free_chain(cf_entry& e);
  HRESULT resize(std::uint32_t id, std::uint64_t size, std::uint64_t fill_end);
  HRESULT zero(std::uint32_t id, std::uint64_t from, std::uint64_t to);
  HRESULT add_entry(std::uint32_t& id);
  void rebuild_tree(std::uint32_t storage);
  void encode(std::uint32_t id, bool with_name);
  void build_header(std::uint8_t* header) const;
  HRESULT write_table(const std::vector<std::uint32_t>& table, const std::vector<std::uint32_t>& sectors);

  static constexpr std::size_t pending_capacity = 65536;
  std::unique_ptr<storage_file> file_;
  std::vector<std::uint8_t> pending_;  // bytes for the file at pending_at_, not yet written
  std::uint64_t pending_at_ = 0;
  bool writable_ = false;
  std::uint8_t header_[512] = {};
  std::uint32_t shift_ = 9;
  std::uint32_t cutoff_ = 4096;
  std::uint64_t file_size_ = 0;  // as found, then as written
  std::uint32_t sectors_ = 0;    // sectors the file holds (or will, once committed)

  std::vector<std::uint32_t> fat_;
  std::vector<std::uint32_t> fat_sectors_;
  std::vector<std::uint32_t> difat_sectors_;
  std::vector<std::uint32_t> mini_fat_;
  std::vector<std::uint32_t> mini_fat_chain_;
  std::vector<std::uint32_t> dir_chain_;
  std::vector<cf_entry> entries_;
  std::vector<std::uint32_t> mini_stream_;  // the root's sectors
  std::uint32_t free_hint_ = 0;
  std::uint32_t mini_free_hint_ = 0;

  // Kept only while the file is being opened: sectors and mini sectors that
  // something already owns.
  std::vector<bool> used_, mini_used_;

  bool header_dirty_ = false;
  bool difat_dirty_ = false;
  bool fat_dirty_ = false;
  bool mini_fat_dirty_ = false;
  bool dir_dirty_ = false;
  bool data_written_ = false;
};

}  // namespace qm_platform
