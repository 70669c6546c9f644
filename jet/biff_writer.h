// The BIFF5 and BIFF8 workbook streams of the spreadsheet driver, shaped
// as the BIFF patcher expects them: four fonts, the cell formats numbered
// as the patcher restyles them, BOUNDSHEET records with each sheet's BOF
// position, and per sheet an INDEX whose DBCELL positions lead to the
// header row, which holds the field names from column 0 on.
#pragma once

#include "jet/biff_book.h"
#include "jet/biff_record.h"

#include <cstdint>
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

// The code page of a BIFF5 workbook's text (see biff_codepage_for);
// BIFF8 text is always UTF-16. `codepage` below is read for BIFF5 only.
unsigned biff5_codepage_of(const biff_book& book);

// Workbook globals, in stream order.
void biff_write_bof(biff_sink& sink, biff_version v, bool worksheet);
void biff_write_fonts(biff_sink& sink, biff_version v, unsigned codepage);
void biff_write_formats(biff_sink& sink, biff_version v, unsigned codepage);
void biff_write_xfs(biff_sink& sink, biff_version v);
void biff_write_styles(biff_sink& sink);
// The sheet names as the stream holds them, legal and unique as written: a
// character the code page lacks becomes '_' (a '?' is no title character),
// a name keeps 31 UTF-16 units, and a name equal to an earlier one, ignoring
// case, ends in a five-digit counter instead.
std::vector<std::wstring> biff_sheet_names(const biff_book& book, unsigned codepage);
// One BOUNDSHEET; the position of its BOF field, filled once the sheet is written.
std::size_t biff_write_bound_sheet(biff_sink& sink, biff_version v, unsigned codepage, const std::wstring& name);

// The shared strings of a BIFF8 workbook: each book string that a cell
// holds, numbered in the order the cells first use them.
struct biff_string_table {
  std::vector<std::uint32_t> sst_of_book;  // book string index to SST index (or ~0u: unused)
  std::vector<std::uint32_t> book_of_sst;
  std::uint32_t references = 0;
};
biff_string_table biff_collect_strings(const biff_book& book);
// SST and its CONTINUE records, then EXTSST.
void biff_write_sst(biff_sink& sink, const biff_book& book, const biff_string_table& table);

// One worksheet substream from its BOF to its EOF; `strings` is null for
// BIFF5; the active sheet is the one shown when the workbook opens.
void biff_write_sheet(biff_sink& sink, biff_version v, unsigned codepage, const biff_book& book,
                      const biff_sheet& sheet, const biff_string_table* strings, bool active);

// The whole workbook stream.
std::vector<std::uint8_t> biff_write_workbook(const biff_book& book, biff_version v);
