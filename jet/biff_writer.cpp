#include "jet/biff_writer.h"

std::vector<std::uint8_t> biff_write_workbook(const biff_book& book, biff_version v) {
  const bool b8 = v == biff_version::biff8;
  const unsigned codepage = b8 ? biff_cp_utf16 : biff5_codepage_of(book);
  biff_sink sink;
  biff_write_bof(sink, v, false);
  sink.record(biff_id::codepage, biff_body().u16(codepage));
  // The window of the first sheet, with the sheet tabs shown.
  sink.record(biff_id::window1,
              biff_body().u16(0).u16(0).u16(0x3A5C).u16(0x2310).u16(0x0038).u16(0).u16(0).u16(1).u16(0x0258));
  sink.record(biff_id::date_mode, biff_body().u16(0));
  sink.record(biff_id::precision, biff_body().u16(1));
  biff_write_fonts(sink, v, codepage);
  biff_write_formats(sink, v, codepage);
  biff_write_xfs(sink, v);
  biff_write_styles(sink);
  std::vector<std::size_t> positions;
  for (const std::wstring& name : biff_sheet_names(book, codepage))
    positions.push_back(biff_write_bound_sheet(sink, v, codepage, name));
  biff_string_table strings;
  if (b8) {
    strings = biff_collect_strings(book);
    biff_write_sst(sink, book, strings);
  }
  sink.record(biff_id::eof, biff_body());
  std::size_t i = 0;
  for (const biff_sheet& sheet : book.sheets) {
    sink.patch_u32(positions[i], static_cast<std::uint32_t>(sink.position()));
    biff_write_sheet(sink, v, codepage, book, sheet, b8 ? &strings : nullptr, i == 0);
    ++i;
  }
  return std::move(sink.bytes);
}
