// BIFF records as bytes: a record is a 16-bit id, a 16-bit body length
// (both little-endian) and the body. Used to build the template workbooks
// and, in the tests, workbooks of known records.
#pragma once

#include "jet/biff_id.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace biff {

using bytes = std::vector<std::uint8_t>;

struct record {
  std::uint16_t id;
  bytes body;
  bool operator==(const record&) const = default;
};

// A record body, little-endian field by field.
class body {
 public:
  body& u8(unsigned v) {
    b_.push_back(static_cast<std::uint8_t>(v));
    return *this;
  }
  body& u16(unsigned v) { return u8(v & 0xFF).u8((v >> 8) & 0xFF); }
  body& u32(std::uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
  body& zeros(std::size_t n) {
    b_.insert(b_.end(), n, 0);
    return *this;
  }
  body& text(const std::string& s) {
    b_.insert(b_.end(), s.begin(), s.end());
    return *this;
  }
  operator const bytes&() const { return b_; }
  const bytes& data() const { return b_; }

 private:
  bytes b_;
};

// A stream of records, with the offsets that later records point back to.
class stream {
 public:
  // Returns the record's offset in the stream.
  std::size_t add(std::uint16_t id, const bytes& body) {
    std::size_t at = data.size();
    data.push_back(static_cast<std::uint8_t>(id));
    data.push_back(static_cast<std::uint8_t>(id >> 8));
    data.push_back(static_cast<std::uint8_t>(body.size()));
    data.push_back(static_cast<std::uint8_t>(body.size() >> 8));
    data.insert(data.end(), body.begin(), body.end());
    return at;
  }
  // Overwrites a 32-bit field `within` bytes into the body of the record at `at`.
  void set32(std::size_t at, std::size_t within, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) data[at + 4 + within + i] = static_cast<std::uint8_t>(v >> (8 * i));
  }
  bytes data;
};

// The records of a stream up to its end or the first that does not fit.
inline std::vector<record> parse(const bytes& data) {
  std::vector<record> out;
  std::size_t at = 0;
  while (at + 4 <= data.size()) {
    std::uint16_t id = static_cast<std::uint16_t>(data[at] | (data[at + 1] << 8));
    std::size_t length = data[at + 2] | (data[at + 3] << 8);
    if (at + 4 + length > data.size()) break;
    out.push_back({id, bytes(data.begin() + static_cast<long>(at + 4), data.begin() + static_cast<long>(at + 4 + length))});
    at += 4 + length;
  }
  return out;
}

// Record ids, by the names the templates and the tests use.
constexpr std::uint16_t id_dimensions = biff_id::dimensions;
constexpr std::uint16_t id_blank = biff_id::blank;
constexpr std::uint16_t id_label = biff_id::label;
constexpr std::uint16_t id_row = biff_id::row;
constexpr std::uint16_t id_index = biff_id::index;
constexpr std::uint16_t id_window2 = biff_id::window2;
constexpr std::uint16_t id_style = biff_id::style;
constexpr std::uint16_t id_bof = biff_id::bof;
constexpr std::uint16_t id_eof = biff_id::eof;
constexpr std::uint16_t id_datemode = biff_id::date_mode;
constexpr std::uint16_t id_font = biff_id::font;
constexpr std::uint16_t id_window1 = biff_id::window1;
constexpr std::uint16_t id_codepage = biff_id::codepage;
constexpr std::uint16_t id_boundsheet = biff_id::bound_sheet;
constexpr std::uint16_t id_dbcell = biff_id::dbcell;
constexpr std::uint16_t id_xf = biff_id::xf;

}  // namespace biff
