// The shared-string table of a BIFF8 workbook: SST with its CONTINUE
// records, and EXTSST, which points at every bucket's first string.
#include "jet/biff_writer.h"

#include <algorithm>

biff_string_table biff_collect_strings(const biff_book& book) {
  biff_string_table table;
  table.sst_of_book.assign(book.string_count(), ~0u);
  for (const biff_sheet& sheet : book.sheets)
    for (const biff_row& row : sheet.rows)
      for (const biff_cell& cell : row) {
        if (cell.kind != biff_kind::text) continue;
        ++table.references;
        std::uint32_t& sst = table.sst_of_book.at(cell.text);
        if (sst != ~0u) continue;
        sst = static_cast<std::uint32_t>(table.book_of_sst.size());
        table.book_of_sst.push_back(cell.text);
      }
  return table;
}

namespace {

bool is_high_surrogate(char16_t u) { return u >= 0xD800 && u < 0xDC00; }

struct bucket_start {
  std::size_t record;
  std::size_t offset;  // within the body
};

}  // namespace

void biff_write_sst(biff_sink& sink, const biff_book& book, const biff_string_table& table) {
  const std::size_t max = biff_max_body(biff_version::biff8);
  const auto unique = static_cast<std::uint32_t>(table.book_of_sst.size());
  const unsigned per_bucket = std::max(8u, unique / 128 + 1);
  std::vector<biff_body> bodies(1);
  bodies[0].u32(table.references).u32(unique);
  std::vector<bucket_start> buckets;
  for (std::uint32_t k = 0; k < unique; ++k) {
    std::u16string units = biff_utf16(book.text(table.book_of_sst[k]));
    bool compressed = std::all_of(units.begin(), units.end(), [](char16_t u) { return u <= 0xFF; });
    const std::size_t unit = compressed ? 1 : 2;
    // The string's count and flags, and its first character (both halves of
    // a surrogate pair), start in one record.
    const std::size_t first = units.empty() ? 0 : is_high_surrogate(units[0]) && units.size() > 1 ? 2 : 1;
    if (bodies.back().size() + 3 + first * unit > max) bodies.emplace_back();
    if (k % per_bucket == 0) buckets.push_back({bodies.size() - 1, bodies.back().size()});
    bodies.back().u16(static_cast<unsigned>(units.size())).u8(compressed ? 0 : 1);
    std::size_t done = 0;
    while (done < units.size()) {
      std::size_t room = (max - bodies.back().size()) / unit;
      if (room == 0) {
        // The characters go on in a CONTINUE that repeats the flags.
        bodies.emplace_back();
        bodies.back().u8(compressed ? 0 : 1);
        continue;
      }
      std::size_t n = std::min(room, units.size() - done);
      // Readers decode each record's part of a string alone: a pair split
      // between two records is refused or lost.
      if (done + n < units.size() && is_high_surrogate(units[done + n - 1])) --n;
      if (n == 0) {
        bodies.emplace_back();
        bodies.back().u8(compressed ? 0 : 1);
        continue;
      }
      for (std::size_t i = 0; i < n; ++i) {
        if (compressed)
          bodies.back().u8(units[done + i]);
        else
          bodies.back().u16(units[done + i]);
      }
      done += n;
    }
  }
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < bodies.size(); ++i)
    starts.push_back(sink.record(i == 0 ? biff_id::sst : biff_id::continue_, bodies[i]));
  biff_body ext;
  ext.u16(per_bucket);
  for (const bucket_start& b : buckets)
    ext.u32(static_cast<std::uint32_t>(starts[b.record] + 4 + b.offset)).u16(static_cast<unsigned>(4 + b.offset)).u16(0);
  sink.record(biff_id::extsst, ext);
}
