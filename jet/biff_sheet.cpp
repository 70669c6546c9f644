// One worksheet substream: BOF, INDEX, the rows in blocks of 32 (their ROW
// records, their cells, and a DBCELL that leads back to them), WINDOW2, EOF.
// The blocks are encoded once and kept; the records around them, which
// name positions in the stream, are written with the workbook.
#include "jet/biff_writer.h"

#include <algorithm>

namespace {

constexpr std::size_t rows_per_block = 32;

void write_cell(biff_sink& sink, biff_body& b, biff_version v, unsigned codepage, const biff_book& book,
                const std::function<std::uint32_t(std::uint32_t)>& shared, std::uint32_t& shared_cells,
                std::size_t row, std::size_t column, const biff_cell& cell) {
  b.data.clear();
  b.u16(static_cast<unsigned>(row)).u16(static_cast<unsigned>(column));
  switch (cell.kind) {
    case biff_kind::text:
      b.u16(biff_xf::general);
      if (v == biff_version::biff8) {
        b.u32(shared(cell.text));
        ++shared_cells;
        sink.record(biff_id::label_sst, b);
      } else {
        biff_put_narrow(b, book.text(cell.text), true, codepage);
        sink.record(biff_id::label, b);
      }
      return;
    case biff_kind::number:
    case biff_kind::date: {
      double value = cell.number;
      if (cell.kind == biff_kind::date && !biff_serial_from_date(cell.number, value))
        throw std::logic_error("date outside the worksheet range");
      b.u16(cell.kind == biff_kind::date ? biff_xf::date : biff_xf::number).f64(value);
      sink.record(biff_id::number, b);
      return;
    }
    case biff_kind::boolean:
      b.u16(biff_xf::boolean).u8(cell.number != 0 ? 1 : 0).u8(0);
      sink.record(biff_id::boolerr, b);
      return;
    case biff_kind::empty:
      return;
  }
}

// The columns of the row's first and past its last cell; 0 and 0 when it has none.
std::pair<unsigned, unsigned> extent(const biff_row& row) {
  std::size_t first = 0;
  while (first < row.size() && row[first].kind == biff_kind::empty) ++first;
  if (first == row.size()) return {0, 0};
  std::size_t last = row.size();
  while (row[last - 1].kind == biff_kind::empty) --last;
  return {static_cast<unsigned>(first), static_cast<unsigned>(last)};
}

std::size_t index_size(biff_version v, const biff_sheet_rows& rows) {
  return 4 + (v == biff_version::biff8 ? 16 : 12) + 4 * rows.dbcells.size();
}

}  // namespace

void biff_encode_rows(biff_sheet_rows& out, biff_version v, unsigned codepage, const biff_book& book,
                      const biff_sheet& sheet, const std::function<std::uint32_t(std::uint32_t)>& shared) {
  if (sheet.rows.size() > biff_max_rows(v)) throw std::logic_error("sheet longer than its version allows");
  biff_sink sink;
  sink.bytes.swap(out.blocks);
  sink.bytes.clear();
  out.dbcells.clear();
  out.rows = sheet.rows.size();
  out.columns = 0;
  out.shared_cells = 0;
  for (const biff_row& r : sheet.rows) out.columns = std::max(out.columns, extent(r).second);
  const std::size_t rows = sheet.rows.size();
  const std::size_t blocks = (rows + rows_per_block - 1) / rows_per_block;
  biff_body b;
  std::vector<std::uint16_t> offsets;
  for (std::size_t block = 0; block < blocks; ++block) {
    const std::size_t first = block * rows_per_block;
    const std::size_t end = std::min(rows, first + rows_per_block);
    const std::size_t first_row = sink.position();
    for (std::size_t r = first; r < end; ++r) {
      auto [from, to] = extent(sheet.rows[r]);
      b.data.clear();
      // Default height; the reserved flag bit set; the default cell format.
      b.u16(static_cast<unsigned>(r)).u16(from).u16(to).u16(0x00FF).u16(0).u16(0).u16(0x0100).u16(biff_xf::general);
      sink.record(biff_id::row, b);
    }
    // Where each row's cells start: the first from the end of the first ROW
    // record, each later one from the start of the row before.
    std::size_t previous = first_row + 4 + 16;
    offsets.clear();
    for (std::size_t r = first; r < end; ++r) {
      std::size_t start = sink.position();
      // A row of BIFF5 texts may be longer than the field counts: only the
      // first offset of a block is read by anyone who needs it exact.
      offsets.push_back(static_cast<std::uint16_t>(start - previous));
      previous = start;
      const biff_row& cells = sheet.rows[r];
      for (std::size_t c = 0; c < cells.size(); ++c)
        write_cell(sink, b, v, codepage, book, shared, out.shared_cells, r, c, cells[c]);
    }
    const std::size_t here = sink.position();
    b.data.clear();
    b.u32(static_cast<std::uint32_t>(here - first_row));
    for (std::uint16_t o : offsets) b.u16(o);
    sink.record(biff_id::dbcell, b);
    out.dbcells.push_back(static_cast<std::uint32_t>(here));
  }
  sink.bytes.shrink_to_fit();
  out.blocks.swap(sink.bytes);
}

std::size_t biff_sheet_head_size(biff_version v, const biff_sheet_rows& rows) {
  const std::size_t bof = 4 + (v == biff_version::biff8 ? 16 : 8);
  const std::size_t defcolwidth = 4 + 2;
  const std::size_t dimensions = 4 + (v == biff_version::biff8 ? 14 : 10);
  return bof + index_size(v, rows) + defcolwidth + dimensions;
}

void biff_write_sheet_head(biff_sink& sink, biff_version v, const biff_sheet_rows& rows, std::size_t position) {
  const bool b8 = v == biff_version::biff8;
  const std::size_t start = sink.position();
  biff_write_bof(sink, v, true);
  // The rows begin behind these records, which the sheet's position and
  // their own sizes place.
  const std::size_t first_row = position + biff_sheet_head_size(v, rows);
  const std::size_t defcolwidth = position + (sink.position() - start) + index_size(v, rows);
  biff_body index;
  if (b8)
    index.u32(0).u32(0).u32(static_cast<std::uint32_t>(rows.rows)).u32(static_cast<std::uint32_t>(defcolwidth));
  else
    index.u32(0).u16(0).u16(static_cast<unsigned>(rows.rows)).u32(0);
  for (std::uint32_t at : rows.dbcells) index.u32(static_cast<std::uint32_t>(first_row + at));
  sink.record(biff_id::index, index);
  sink.record(biff_id::defcolwidth, biff_body().u16(8));
  biff_body dimensions;
  if (b8)
    dimensions.u32(0).u32(static_cast<std::uint32_t>(rows.rows));
  else
    dimensions.u16(0).u16(static_cast<unsigned>(rows.rows));
  dimensions.u16(0).u16(rows.columns).u16(0);
  sink.record(biff_id::dimensions, dimensions);
  if (sink.position() - start != biff_sheet_head_size(v, rows)) throw std::logic_error("sheet head of another size");
}

std::size_t biff_sheet_tail_size(biff_version v) { return 4 + (v == biff_version::biff8 ? 18 : 10) + 4; }

void biff_write_sheet_tail(biff_sink& sink, biff_version v, bool active) {
  biff_body window;
  // Gridlines, headings, zeros and outline symbols shown; the automatic
  // gridline colour; the active sheet alone is selected.
  const unsigned options = active ? 0x06B6 : 0x00B6;
  if (v == biff_version::biff8)
    window.u16(options).u16(0).u16(0).u16(64).u16(0).u16(0).u16(0).u32(0);
  else
    window.u16(options).u16(0).u16(0).u32(0);
  sink.record(biff_id::window2, window);
  sink.record(biff_id::eof, biff_body());
}
