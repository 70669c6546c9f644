// The shared-string table of a BIFF8 workbook: SST with its CONTINUE
// records, and EXTSST, which points at every bucket's first string.
#include "jet/biff_writer.h"

#include <algorithm>

namespace {

bool is_high_surrogate(char16_t u) { return u >= 0xD800 && u < 0xDC00; }

struct bucket_start {
  std::size_t record;
  std::size_t offset;  // within the body
};

}  // namespace

void biff_write_sst(std::size_t position, std::uint32_t references, std::uint32_t unique,
                    const std::function<void(std::uint32_t, std::u16string&)>& units_of,
                    const std::function<void(std::uint16_t, const biff_body&)>& put) {
  const std::size_t max = biff_max_body(biff_version::biff8);
  const unsigned per_bucket = std::max(8u, unique / 128 + 1);
  // One record at a time goes out, so the table is never held whole.
  biff_body body;
  std::size_t record = 0;
  std::vector<std::size_t> starts;
  auto next_record = [&] {
    starts.push_back(position);
    put(record++ == 0 ? biff_id::sst : biff_id::continue_, body);
    position += 4 + body.size();
    body.data.clear();
  };
  body.u32(references).u32(unique);
  std::vector<bucket_start> buckets;
  std::u16string units;
  for (std::uint32_t k = 0; k < unique; ++k) {
    units_of(k, units);
    bool compressed = std::all_of(units.begin(), units.end(), [](char16_t u) { return u <= 0xFF; });
    const std::size_t unit = compressed ? 1 : 2;
    // The string's count and flags, and its first character (both halves of
    // a surrogate pair), start in one record.
    const std::size_t first = units.empty() ? 0 : is_high_surrogate(units[0]) && units.size() > 1 ? 2 : 1;
    if (body.size() + 3 + first * unit > max) next_record();
    if (k % per_bucket == 0) buckets.push_back({record, body.size()});
    body.u16(static_cast<unsigned>(units.size())).u8(compressed ? 0 : 1);
    std::size_t done = 0;
    while (done < units.size()) {
      std::size_t n = std::min((max - body.size()) / unit, units.size() - done);
      // Readers decode each record's part of a string alone: a pair split
      // between two records is refused or lost.
      if (n > 0 && done + n < units.size() && is_high_surrogate(units[done + n - 1])) --n;
      if (n == 0) {
        // The characters go on in a CONTINUE that repeats the flags.
        next_record();
        body.u8(compressed ? 0 : 1);
        continue;
      }
      for (std::size_t i = 0; i < n; ++i) {
        if (compressed)
          body.u8(units[done + i]);
        else
          body.u16(units[done + i]);
      }
      done += n;
    }
  }
  next_record();
  biff_body ext;
  ext.u16(per_bucket);
  for (const bucket_start& b : buckets)
    ext.u32(static_cast<std::uint32_t>(starts[b.record] + 4 + b.offset)).u16(static_cast<unsigned>(4 + b.offset)).u16(0);
  put(biff_id::extsst, ext);
}
