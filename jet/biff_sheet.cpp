// One worksheet substream: BOF, INDEX, the rows in blocks of 32 (their ROW
// records, their cells, and a DBCELL that leads back to them), WINDOW2, EOF.
#include "jet/biff_writer.h"

#include <algorithm>

namespace {

constexpr std::size_t rows_per_block = 32;

void write_cell(biff_sink& sink, biff_version v, unsigned codepage, const biff_book& book,
                const biff_string_table* strings, std::size_t row, std::size_t column, const biff_cell& cell) {
  biff_body b;
  b.u16(static_cast<unsigned>(row)).u16(static_cast<unsigned>(column));
  switch (cell.kind) {
    case biff_kind::text:
      b.u16(biff_xf::general);
      if (v == biff_version::biff8) {
        b.u32(strings->sst_of_book.at(cell.text));
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

}  // namespace

void biff_write_sheet(biff_sink& sink, biff_version v, unsigned codepage, const biff_book& book,
                      const biff_sheet& sheet, const biff_string_table* strings, bool active) {
  const bool b8 = v == biff_version::biff8;
  if (sheet.rows.size() > biff_max_rows(v)) throw std::logic_error("sheet longer than its version allows");
  biff_write_bof(sink, v, true);
  const std::size_t rows = sheet.rows.size();
  const std::size_t blocks = (rows + rows_per_block - 1) / rows_per_block;
  biff_body index;
  if (b8)
    index.u32(0).u32(0).u32(static_cast<std::uint32_t>(rows)).u32(0);
  else
    index.u32(0).u16(0).u16(static_cast<unsigned>(rows)).u32(0);
  index.zeros(4 * blocks);
  const std::size_t index_body = sink.record(biff_id::index, index) + 4;
  const std::size_t dbcells = index_body + (b8 ? 16 : 12);

  std::size_t defcolwidth = sink.record(biff_id::defcolwidth, biff_body().u16(8));
  if (b8) sink.patch_u32(index_body + 12, static_cast<std::uint32_t>(defcolwidth));
  std::size_t columns = 0;
  for (const biff_row& r : sheet.rows) columns = std::max<std::size_t>(columns, extent(r).second);
  biff_body dimensions;
  if (b8)
    dimensions.u32(0).u32(static_cast<std::uint32_t>(rows));
  else
    dimensions.u16(0).u16(static_cast<unsigned>(rows));
  dimensions.u16(0).u16(static_cast<unsigned>(columns)).u16(0);
  sink.record(biff_id::dimensions, dimensions);

  for (std::size_t block = 0; block < blocks; ++block) {
    const std::size_t first = block * rows_per_block;
    const std::size_t end = std::min(rows, first + rows_per_block);
    const std::size_t first_row = sink.position();
    for (std::size_t r = first; r < end; ++r) {
      auto [from, to] = extent(sheet.rows[r]);
      biff_body row;
      // Default height; the reserved flag bit set; the default cell format.
      row.u16(static_cast<unsigned>(r)).u16(from).u16(to).u16(0x00FF).u16(0).u16(0).u16(0x0100).u16(biff_xf::general);
      sink.record(biff_id::row, row);
    }
    // Where each row's cells start: the first from the end of the first ROW
    // record, each later one from the start of the row before.
    const std::size_t after_first_row = first_row + 4 + 16;
    biff_body dbcell;
    std::size_t previous = after_first_row;
    std::vector<std::uint16_t> offsets;
    for (std::size_t r = first; r < end; ++r) {
      std::size_t start = sink.position();
      // A row of BIFF5 texts may be longer than the field counts: only the
      // first offset of a block is read by anyone who needs it exact.
      offsets.push_back(static_cast<std::uint16_t>(start - previous));
      previous = start;
      const biff_row& cells = sheet.rows[r];
      for (std::size_t c = 0; c < cells.size(); ++c) write_cell(sink, v, codepage, book, strings, r, c, cells[c]);
    }
    const std::size_t here = sink.position();
    dbcell.u32(static_cast<std::uint32_t>(here - first_row));
    for (std::uint16_t o : offsets) dbcell.u16(o);
    sink.record(biff_id::dbcell, dbcell);
    sink.patch_u32(dbcells + 4 * block, static_cast<std::uint32_t>(here));
  }

  biff_body window;
  // Gridlines, headings, zeros and outline symbols shown; the automatic
  // gridline colour; the active sheet alone is selected.
  const unsigned options = active ? 0x06B6 : 0x00B6;
  if (b8)
    window.u16(options).u16(0).u16(0).u16(64).u16(0).u16(0).u16(0).u32(0);
  else
    window.u16(options).u16(0).u16(0).u32(0);
  sink.record(biff_id::window2, window);
  sink.record(biff_id::eof, biff_body());
}
