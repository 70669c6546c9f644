// The records of the workbook globals that describe no sheet: BOF, fonts,
// number formats, cell formats, styles and the sheet list.
#include "jet/biff_writer.h"

#include "TK/tk_utils.h"
#include "platform/case_fold.h"

#include <cwchar>
#include <unordered_map>

const wchar_t biff_date_format_text[] = L"yyyy-mm-dd hh:mm:ss";

void biff_write_bof(biff_sink& sink, biff_version v, bool worksheet) {
  biff_body b;
  b.u16(v == biff_version::biff5 ? 0x0500 : 0x0600).u16(worksheet ? 0x0010 : 0x0005).u16(0x0DBB).u16(0x07CC);
  if (v == biff_version::biff8) b.u32(0x00000041).u32(0x00000006);
  sink.record(biff_id::bof, b);
}

void biff_write_fonts(biff_sink& sink, biff_version v, unsigned codepage) {
  for (unsigned i = 0; i < biff_font_count; ++i) {
    biff_body b;
    // 10 points, no options, the window text colour, normal weight; BIFF8
    // text is UTF-16, whatever the character set.
    std::uint8_t charset = v == biff_version::biff8 ? 0 : biff_font_charset(codepage);
    b.u16(200).u16(0).u16(0x7FFF).u16(400).u16(0).u8(0).u8(0).u8(charset).u8(0);
    if (v == biff_version::biff8)
      biff_put_unicode(b, L"Arial", false);
    else
      biff_put_narrow(b, L"Arial", false, codepage);
    sink.record(biff_id::font, b);
  }
}

void biff_write_formats(biff_sink& sink, biff_version v, unsigned codepage) {
  biff_body b;
  b.u16(biff_date_format);
  if (v == biff_version::biff8)
    biff_put_unicode(b, biff_date_format_text, true);
  else
    biff_put_narrow(b, biff_date_format_text, false, codepage);
  sink.record(biff_id::format, b);
}

namespace {

void write_xf(biff_sink& sink, biff_version v, bool style, unsigned format) {
  biff_body b;
  // Font 0; style formats have no parent, cell formats are locked and
  // inherit the Normal style; aligned to the bottom.
  b.u16(0).u16(format).u16(style ? 0xFFF5 : 0x0001).u8(0x20);
  if (v == biff_version::biff8)
    b.u8(0).u8(0).u8(0).u32(0).u32(0).u16(0x20C0);
  else
    b.u8(0).u16(0x20C0).u16(0).u32(0);
  sink.record(biff_id::xf, b);
}

}  // namespace

void biff_write_xfs(biff_sink& sink, biff_version v) {
  for (unsigned i = 0; i < biff_xf::count; ++i) {
    bool style = i < biff_xf::general;
    write_xf(sink, v, style, i == biff_xf::date ? biff_date_format : 0);
  }
}

void biff_write_styles(biff_sink& sink) {
  biff_body b;
  // The built-in Normal style on format 0.
  b.u16(0x8000).u8(0).u8(0xFF);
  sink.record(biff_id::style, b);
}

namespace {
constexpr std::size_t longest_title = 31;

}  // namespace

std::vector<std::wstring> biff_sheet_names(const std::vector<std::wstring>& sheets, unsigned codepage) {
  std::vector<std::wstring> names;
  // Titles compare ignoring case as readers compare them: one character at
  // a time, and fully folded ("Straße" and "STRASSE" are one title).
  qm_platform::folded_names taken;
  // The next counter of each base: many sheets of one name cost no more
  // than as many lookups.
  std::unordered_map<std::wstring, unsigned long> next;
  for (const std::wstring& sheet : sheets) {
    std::wstring name = biff_fit_codepage(sheet, codepage, L'_');
    tk_utf16_cut(name, longest_title);
    if (taken.has(name, true)) {
      std::wstring base = name;
      tk_utf16_cut(base, longest_title - 5);
      unsigned long& counter = next[qm_platform::fold_simple(base)];
      do {
        wchar_t digits[24];
        std::swprintf(digits, 24, L"%05lu", counter++);
        name = base + digits;
      } while (taken.has(name, true));
    }
    taken.add(name);
    names.push_back(std::move(name));
  }
  return names;
}

std::size_t biff_write_bound_sheet(biff_sink& sink, biff_version v, unsigned codepage, const std::wstring& name) {
  biff_body b;
  b.u32(0).u8(0).u8(0);
  if (v == biff_version::biff8)
    biff_put_unicode(b, name, false);
  else
    biff_put_narrow(b, name, false, codepage);
  return sink.record(biff_id::bound_sheet, b) + 4;
}
