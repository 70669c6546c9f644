// Workbook streams of known records for the patcher tests: FONT and XF
// records whose bodies tell them apart, worksheets with their INDEX, ROW,
// cell and DBCELL records laid out as a spreadsheet writer lays them.
#pragma once

#include "common/biff_records.h"

#include <algorithm>
#include <set>
#include <vector>

namespace biff_test {

struct cell {
  std::uint16_t row, column;
};

struct sheet_spec {
  std::vector<cell> cells;  // row by row, columns ascending
};

struct workbook_spec {
  bool biff8 = true;
  int fonts = 5;
  int xfs = 26;
  std::vector<sheet_spec> sheets;
};

constexpr std::uint16_t plain_xf_index = 15;

// The XF body of number `n` (from 1): every byte tells the number.
inline biff::bytes xf_body(bool biff8, int n) { return biff::bytes(biff8 ? 20 : 16, static_cast<std::uint8_t>(0x40 + n)); }
inline biff::bytes font_body(bool biff8, int n) {
  biff::bytes b(biff8 ? 22 : 21, static_cast<std::uint8_t>(0x10 + n));
  return b;
}

inline biff::bytes build(const workbook_spec& spec) {
  biff::stream s;
  auto bof = [&](unsigned kind) {
    biff::body b;
    b.u16(spec.biff8 ? 0x0600 : 0x0500).u16(kind).u16(0).u16(0);
    if (spec.biff8) b.u32(0).u32(0);
    return s.add(biff::id_bof, b);
  };
  bof(0x0005);
  for (int i = 1; i <= spec.fonts; ++i) s.add(biff::id_font, font_body(spec.biff8, i));
  for (int i = 1; i <= spec.xfs; ++i) s.add(biff::id_xf, xf_body(spec.biff8, i));
  std::vector<std::size_t> entries;
  for (std::size_t i = 0; i < spec.sheets.size(); ++i)
    entries.push_back(s.add(biff::id_boundsheet, biff::body().u32(0).u8(0).u8(0).u8(1).text("S")));
  s.add(biff::id_eof, biff::body());

  for (std::size_t i = 0; i < spec.sheets.size(); ++i) {
    const auto& cells = spec.sheets[i].cells;
    s.set32(entries[i], 0, static_cast<std::uint32_t>(bof(0x0010)));
    std::set<std::uint16_t> rows;
    for (const cell& c : cells) rows.insert(c.row);
    std::uint32_t first = rows.empty() ? 0 : *rows.begin(), last = rows.empty() ? 0 : *rows.rbegin() + 1u;
    std::size_t index;
    if (spec.biff8)
      // Without rows the INDEX ends before its DBCELL list.
      index = s.add(biff::id_index, rows.empty() ? biff::body().u32(0).u32(0).u32(0).u32(0).data()
                                                 : biff::body().u32(0).u32(first).u32(last).u32(0).u32(0).data());
    else
      index = s.add(biff::id_index, biff::body().u32(0).u16(first).u16(last).u32(0).u32(0));
    s.add(biff::id_dimensions, biff::bytes(spec.biff8 ? 14 : 10, 0));
    if (rows.empty()) {
      s.add(biff::id_eof, biff::body());
      continue;
    }
    std::size_t first_row = 0;
    for (std::uint16_t r : rows) {
      std::size_t at = s.add(biff::id_row, biff::body().u16(r).u16(0).u16(10).u16(255).zeros(8));
      if (r == *rows.begin()) first_row = at;
    }
    std::vector<std::size_t> first_cells;
    std::uint16_t current = 0xFFFF;
    for (const cell& c : cells) {
      std::size_t at = s.add(biff::id_label, biff::body().u16(c.row).u16(c.column).u16(plain_xf_index).u16(1).text("h"));
      if (c.row != current) first_cells.push_back(at);
      current = c.row;
    }
    std::size_t dbcell_at = s.data.size();
    biff::body dbcell;
    dbcell.u32(static_cast<std::uint32_t>(dbcell_at - first_row));
    // The first offset counts from the record after the first ROW, the
    // others from the previous row's first cell.
    std::size_t from = first_row + 4 + 16;
    for (std::size_t at : first_cells) {
      dbcell.u16(static_cast<unsigned>(at - from));
      from = at;
    }
    s.add(biff::id_dbcell, dbcell);
    s.set32(index, spec.biff8 ? 16 : 12, static_cast<std::uint32_t>(dbcell_at));
    s.add(biff::id_eof, biff::body());
  }
  return s.data;
}

}  // namespace biff_test
