// BIFF records as bytes: a record is a 16-bit id, a 16-bit body length
// (both little-endian) and the body. Used to build the template workbooks
// and, in the tests, workbooks of known records.
#pragma once

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

// Record ids.
constexpr std::uint16_t id_dimensions = 0x0200;
constexpr std::uint16_t id_blank = 0x0201;
constexpr std::uint16_t id_label = 0x0204;
constexpr std::uint16_t id_row = 0x0208;
constexpr std::uint16_t id_index = 0x020B;
constexpr std::uint16_t id_window2 = 0x023E;
constexpr std::uint16_t id_style = 0x0293;
constexpr std::uint16_t id_bof = 0x0809;
constexpr std::uint16_t id_eof = 0x000A;
constexpr std::uint16_t id_datemode = 0x0022;
constexpr std::uint16_t id_font = 0x0031;
constexpr std::uint16_t id_window1 = 0x003D;
constexpr std::uint16_t id_codepage = 0x0042;
constexpr std::uint16_t id_boundsheet = 0x0085;
constexpr std::uint16_t id_dbcell = 0x00D7;
constexpr std::uint16_t id_xf = 0x00E0;

}  // namespace biff
