// The in-place restyling of a BIFF5 or BIFF8 workbook stream: bytes inside
// existing records are overwritten, nothing else changes.
#include "OLE/ole_misc.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "common/xls_engine.h"
#include "jet/biff_id.h"
#include "platform/storage.h"

#include <cstring>
#include <vector>

namespace {

// Height 200 (10 points), options 1, colour 0x7FFF, weight 700 (bold),
// no escapement or underline, family 2.
constexpr std::uint8_t bold_font[12] = {0xC8, 0x00, 0x01, 0x00, 0xFF, 0x7F, 0xBC, 0x02, 0x00, 0x00, 0x00, 0x02};

// What differs between the two record versions.
struct flavour {
  bool biff8;
  // The header row's format (16 bytes in BIFF5); its font is the fourth
  // FONT record, made bold above: index 3, as no font has index 4.
  std::uint8_t header_xf[20];
  std::size_t header_size;
  std::uint8_t plain_xf[10];   // the plain cell format
  std::size_t index_min;       // an INDEX body shorter than this has no rows
  std::size_t index_skip;      // INDEX bytes before the first DBCELL position

  bool is_plain(unsigned xf) const { return xf == 16 || (biff8 ? (xf >= 22 && xf <= 24) : xf >= 22); }
};

constexpr flavour biff5 = {
    false,
    {0x03, 0x00, 0x00, 0x00, 0x09, 0x00, 0x12, 0x70, 0x16, 0x20, 0x41, 0x80, 0x49, 0x80, 0x40, 0x20},
    16,
    {0x00, 0x00, 0x00, 0x00, 0x09, 0x00, 0x10, 0x10, 0xC0, 0x20},
    16,
    12,
};

constexpr flavour biff8 = {
    true,
    {0x03, 0x00, 0x00, 0x00, 0x01, 0x00, 0x12, 0x00, 0x00, 0x78, 0x11, 0x11, 0x40, 0x20, 0x40, 0x20, 0x00, 0x04,
     0x16, 0x20},
    20,
    {0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x10, 0x00, 0x00, 0x10},
    20,
    16,
};

// Byte 6 of a format: alignment, with the wrap bit.
constexpr std::size_t alignment = 6;
constexpr std::uint8_t wrap_bit = 0x08;

struct header {
  std::uint16_t id;
  std::uint16_t length;
};

// Stream access where any failure is a broken internal condition.
class biff_io {
 public:
  explicit biff_io(IStream* s) : stream(s) {
    STATSTG stat;
    io(stream->Stat(&stat, STATFLAG_NONAME));
    size = stat.cbSize.QuadPart;
  }

  void check(bool ok, int line) const {
    if (!ok) throw tk_mail_assertion("xls_engi", line);
  }
  // The storage's own failure: the file, not the workbook, is at fault.
  static void io(HRESULT hr) {
    if (FAILED(hr)) throw xls_patch_io_error{hr};
  }
  void seek(std::uint64_t position) {
    check(position <= 0xFFFFFFFFu, __LINE__);
    LARGE_INTEGER at = ole_make_large_integer(static_cast<DWORD>(position));
    io(stream->Seek(at, STREAM_SEEK_SET, nullptr));
    at_ = position;
  }
  ULONG read_some(void* data, ULONG n) {
    ULONG got = 0;
    io(stream->Read(data, n, &got));
    at_ += got;
    return got;
  }
  void read(void* data, ULONG n) { check(read_some(data, n) == n, __LINE__); }
  // Only over bytes the stream has: a record cut off by the stream's end is
  // broken, and writing it out would grow the stream.
  void write(const void* data, ULONG n) {
    check(at_ + n <= size, __LINE__);
    ULONG written = 0;
    io(stream->Write(data, n, &written));
    check(written == n, __LINE__);
    at_ += n;
  }
  header read_header() {
    std::uint8_t h[4];
    read(h, 4);
    return {static_cast<std::uint16_t>(h[0] | (h[1] << 8)), static_cast<std::uint16_t>(h[2] | (h[3] << 8))};
  }
  std::uint16_t read16() {
    std::uint8_t b[2];
    read(b, 2);
    return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
  }
  std::uint32_t read32() {
    std::uint8_t b[4];
    read(b, 4);
    return std::uint32_t{b[0]} | (std::uint32_t{b[1]} << 8) | (std::uint32_t{b[2]} << 16) | (std::uint32_t{b[3]} << 24);
  }

 private:
  IStream* stream;
  std::uint64_t size = 0;
  std::uint64_t at_ = 0;
};

// Writes `bytes` at the start of a body of `length` bytes; a body too short
// for them is a broken record, not one to write past.
void overwrite_body(biff_io& io, std::uint16_t length, const std::uint8_t* bytes, std::size_t size, int line) {
  io.check(length >= size, line);
  io.write(bytes, static_cast<ULONG>(size));
}

std::vector<std::uint32_t> patch_globals(IStream* stream, const flavour& f, bool wrap) {
  biff_io io(stream);
  std::uint64_t position = 0;
  unsigned fonts = 0, xfs = 0;
  std::vector<std::uint32_t> sheets;
  for (;;) {
    io.seek(position);
    std::uint8_t h[4];
    if (io.read_some(h, 4) < 4) {
      tk_log::write(1, "The end of Stream was reached");
      break;
    }
    auto id = static_cast<std::uint16_t>(h[0] | (h[1] << 8));
    auto length = static_cast<std::uint16_t>(h[2] | (h[3] << 8));
    if (id == biff_id::eof) break;
    if (id == biff_id::font) {
      if (++fonts == 4) overwrite_body(io, length, bold_font, sizeof bold_font, __LINE__);
    } else if (id == biff_id::xf) {
      ++xfs;
      if (xfs == 17) {
        std::uint8_t xf[20];
        std::memcpy(xf, f.header_xf, f.header_size);
        if (wrap) xf[alignment] |= wrap_bit;
        overwrite_body(io, length, xf, f.header_size, __LINE__);
      } else if (f.is_plain(xfs)) {
        std::uint8_t xf[10];
        std::memcpy(xf, f.plain_xf, sizeof xf);
        if (wrap) xf[alignment] |= wrap_bit;
        overwrite_body(io, length, xf, sizeof xf, __LINE__);
      }
    } else if (id == biff_id::bound_sheet) {
      io.check(length >= 4, __LINE__);
      sheets.push_back(io.read32());
    }
    position += 4 + std::uint64_t{length};
  }
  return sheets;
}

void patch_header_row(IStream* stream, std::uint32_t offset, const flavour& f) {
  biff_io io(stream);
  io.seek(offset);
  header bof = io.read_header();
  io.check(bof.id == biff_id::bof, __LINE__);
  std::uint64_t index_at = std::uint64_t{offset} + 4 + bof.length;
  io.seek(index_at);
  header index = io.read_header();
  io.check(index.id == biff_id::index, __LINE__);
  if (index.length < f.index_min) {
    tk_log::write(1, "Empty sheet");
    return;
  }
  io.seek(index_at + 4 + f.index_skip);
  std::uint32_t dbcell = io.read32();
  if (dbcell == 0) return;

  io.seek(dbcell);
  header cell_block = io.read_header();
  io.check(cell_block.id == biff_id::dbcell, __LINE__);
  io.check(cell_block.length >= 6, __LINE__);
  std::uint32_t distance = io.read32();
  std::uint16_t first_cell = io.read16();
  io.check(distance < dbcell, __LINE__);

  std::uint32_t row_at = dbcell - distance;
  io.seek(row_at);
  header row = io.read_header();
  std::uint64_t cell_at = std::uint64_t{row_at} + 4 + row.length + first_cell;
  // The cells of row 0 that stand in an unbroken run from column 0 take
  // format 17 (index 16), the bold header format.
  const std::uint8_t header_format = 0x10;
  for (std::uint32_t column = 0;; ++column) {
    io.seek(cell_at);
    header cell = io.read_header();
    if (cell.length < 6) break;
    std::uint16_t cell_row = io.read16();
    std::uint16_t cell_column = io.read16();
    if (cell_row != 0 || cell_column != column) break;
    io.write(&header_format, 1);
    cell_at += 4 + std::uint64_t{cell.length};
  }
}

}  // namespace

void xls_engine_50::do_patch(IStream* stream) {
  tk_log::write(1, "xls_engine_50::do_patch");
  for (std::uint32_t offset : patch_globals(stream, biff5, wrap)) patch_sheet(stream, offset);
}

void xls_engine_50::patch_sheet(IStream* stream, std::uint32_t offset) {
  tk_log::write(1, "xls_engine_50::patch_sheet(%u)", offset);
  patch_header_row(stream, offset, biff5);
}

void xls_engine_80::do_patch(IStream* stream) {
  tk_log::write(1, "xls_engine_80::do_patch");
  for (std::uint32_t offset : patch_globals(stream, biff8, wrap)) patch_sheet(stream, offset);
}

void xls_engine_80::patch_sheet(IStream* stream, std::uint32_t offset) {
  tk_log::write(1, "xls_engine_80::patch_sheet(%u)", offset);
  patch_header_row(stream, offset, biff8);
}
