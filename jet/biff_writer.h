// The BIFF5 and BIFF8 workbook streams of the spreadsheet driver, shaped
// as the BIFF patcher expects them: four fonts, the cell formats numbered
// as the patcher restyles them, BOUNDSHEET records with each sheet's BOF
// position, and per sheet an INDEX whose DBCELL positions lead to the
// header row, which holds the field names from column 0 on.
#pragma once

#include "jet/biff_book.h"
#include "jet/biff_record.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Cell formats (XF indexes). 15 is the default cell format and 16 the
// header format the patcher makes bold; the patcher gives 15 and 21 to 23
// (BIFF5: 21 on) its plain style, so the date format, which must keep its
// number format, is 24.
namespace biff_xf {
constexpr unsigned general = 15, header = 16, number = 21, boolean = 22, date = 24, count = 25;
}
constexpr unsigned biff_font_count = 4;
// The number format of dates, a format of the workbook's own.
constexpr unsigned biff_date_format = 164;
extern const wchar_t biff_date_format_text[];

// Workbook globals, in stream order. `codepage` is read for BIFF5 only:
// BIFF8 text is always UTF-16.
void biff_write_bof(biff_sink& sink, biff_version v, bool worksheet);
void biff_write_fonts(biff_sink& sink, biff_version v, unsigned codepage);
void biff_write_formats(biff_sink& sink, biff_version v, unsigned codepage);
void biff_write_xfs(biff_sink& sink, biff_version v);
void biff_write_styles(biff_sink& sink);
// The sheet names as the stream holds them, legal and unique as written: a
// character the code page lacks becomes '_' (a '?' is no title character),
// a name keeps 31 UTF-16 units, and a name equal to an earlier one, ignoring
// case, ends in a five-digit counter instead.
std::vector<std::wstring> biff_sheet_names(const std::vector<std::wstring>& names, unsigned codepage);
// One BOUNDSHEET; the position of its BOF field, filled once the sheet is written.
std::size_t biff_write_bound_sheet(biff_sink& sink, biff_version v, unsigned codepage, const std::wstring& name);

// The shared strings of a BIFF8 workbook (SST and its CONTINUE records,
// then EXTSST) that start at stream position `position`: `units_of` gives
// the UTF-16 units of string k, and each record goes to `put` once done.
void biff_write_sst(std::size_t position, std::uint32_t references, std::uint32_t unique,
                    const std::function<void(std::uint32_t, std::u16string&)>& units_of,
                    const std::function<void(std::uint16_t, const biff_body&)>& put);

// The rows of a worksheet as the records they are written with, in blocks
// of 32: each block's ROW records, its cells and its DBCELL. `shared` gives
// the shared-string number of a book text (BIFF8); BIFF5 texts are written
// in `codepage`. Everything in the records counts from the start of the
// first ROW record, so they stand as they are wherever the sheet goes.
struct biff_sheet_rows {
  std::vector<std::uint8_t> blocks;
  std::vector<std::uint32_t> dbcells;  // where each block's DBCELL starts in `blocks`
  std::size_t rows = 0;
  unsigned columns = 0;  // past the last column that holds a cell
  std::uint32_t shared_cells = 0;
};
void biff_encode_rows(biff_sheet_rows& out, biff_version v, unsigned codepage, const biff_book& book,
                      const biff_sheet& sheet, const std::function<std::uint32_t(std::uint32_t)>& shared);
// The records of a worksheet before its rows (BOF, INDEX, DEFCOLWIDTH,
// DIMENSIONS) for a sheet whose BOF is at `position`, and after them
// (WINDOW2, EOF); the active sheet is the one shown when the workbook opens.
std::size_t biff_sheet_head_size(biff_version v, const biff_sheet_rows& rows);
void biff_write_sheet_head(biff_sink& sink, biff_version v, const biff_sheet_rows& rows, std::size_t position);
std::size_t biff_sheet_tail_size(biff_version v);
void biff_write_sheet_tail(biff_sink& sink, biff_version v, bool active);

// The whole workbook stream.
std::vector<std::uint8_t> biff_write_workbook(const biff_book& book, biff_version v);
