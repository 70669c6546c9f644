// A workbook kept as the records it is written with: each worksheet's rows
// encoded once (see biff_sheet_rows), and for BIFF8 the shared strings in
// their own compact table. Writing it puts the workbook globals and each
// sheet's first and last records around the kept rows, piece by piece, so
// the stream is never held whole.
#pragma once

#include "jet/biff_book.h"
#include "jet/biff_writer.h"

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

// The distinct texts of a BIFF8 shared-string table, numbered in the order
// they came, each held once as the table holds it: a flags byte, then one
// byte a UTF-16 unit when every unit fits in one, else two.
class biff_shared_strings {
 public:
  std::uint32_t intern(const std::wstring& text);
  std::uint32_t size() const { return static_cast<std::uint32_t>(starts.size()); }
  void units(std::uint32_t k, std::u16string& out) const;
  std::wstring text(std::uint32_t k) const;

 private:
  std::size_t hash_of(std::size_t start, std::size_t end) const;
  std::size_t end_of(std::uint32_t k) const { return k + 1 < starts.size() ? starts[k + 1] : data.size(); }
  void rehash(std::size_t slot_count);
  std::vector<std::uint8_t> data;
  std::vector<std::size_t> starts;
  // Open addressing: string number + 1, 0 for a free slot.
  std::vector<std::uint32_t> slots;
};

struct biff_stored_sheet : biff_sheet_rows {
  unsigned codepage = 0;  // BIFF5: of its texts
};

class biff_store {
 public:
  explicit biff_store(biff_version v) : version(v) {}
  biff_store(const biff_store&) = delete;
  biff_store& operator=(const biff_store&) = delete;
  biff_store(biff_store&&) = default;

  // The sheet's rows as records; their texts become shared strings (BIFF8)
  // or are written in the code page that holds the workbook's text so far
  // (BIFF5). Throws std::logic_error for a sheet no worksheet can hold.
  std::unique_ptr<biff_stored_sheet> encode(const biff_book& book, const biff_sheet& sheet);
  // The rows of a stored sheet, its texts kept in the book.
  void decode(const biff_stored_sheet& stored, biff_book& book, biff_sheet& sheet) const;

  // A sheet of the workbook, in stream order.
  struct entry {
    const std::wstring* name;
    biff_stored_sheet* rows;
  };
  // Takes each piece of the stream in order; false stops the writing.
  using output = std::function<bool(const std::uint8_t*, std::size_t)>;
  // False when `out` stopped it. BIFF5 sheets whose texts are in another
  // code page than the workbook's now are rewritten in it first.
  bool write(const std::vector<entry>& sheets, const output& out);

  const biff_version version;

 private:
  void recode(biff_stored_sheet& sheet, unsigned codepage) const;
  // BIFF5: every character above ASCII of the texts and sheet names.
  std::set<wchar_t> wide;
  biff_shared_strings strings;
};
