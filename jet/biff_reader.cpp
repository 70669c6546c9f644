#include "jet/biff_reader.h"

#include "jet/biff_record.h"

#include <cmath>
#include <cstring>
#include <map>
#include <vector>

namespace {

// The text of an SST split over its CONTINUE records, where a string's
// characters go on with a fresh flags byte.
class segmented_reader {
 public:
  explicit segmented_reader(std::vector<biff_record> parts) : parts(std::move(parts)) {}

  bool at_end() {
    skip_empty();
    return part >= parts.size();
  }
  unsigned u8() {
    skip_empty();
    if (part >= parts.size()) throw biff_format_error("shared strings cut short");
    return parts[part].body[at++];
  }
  unsigned u16() {
    unsigned lo = u8();
    return lo | u8() << 8;
  }
  std::uint32_t u32() {
    std::uint32_t lo = u16();
    return lo | static_cast<std::uint32_t>(u16()) << 16;
  }
  void skip(std::size_t n) {
    while (n) {
      skip_empty();
      if (part >= parts.size()) throw biff_format_error("shared strings cut short");
      std::size_t step = std::min(n, parts[part].length - at);
      at += step;
      n -= step;
    }
  }
  std::wstring string() {
    std::size_t count = u16();
    unsigned flags = u8();
    std::size_t runs = flags & 0x08 ? u16() : 0;
    std::size_t extra = flags & 0x04 ? u32() : 0;
    bool wide = flags & 0x01;
    std::u16string units;
    units.reserve(count);
    while (units.size() < count) {
      if (at == parts[part].length) {
        // The characters go on in the next record, behind their flags.
        if (++part >= parts.size()) throw biff_format_error("shared string cut short");
        at = 0;
        if (parts[part].length == 0) continue;
        wide = parts[part].body[at++] & 0x01;
        continue;
      }
      if (wide) {
        if (parts[part].length - at < 2) throw biff_format_error("character split between records");
        units.push_back(static_cast<char16_t>(parts[part].body[at] | parts[part].body[at + 1] << 8));
        at += 2;
      } else {
        units.push_back(parts[part].body[at++]);
      }
    }
    skip(runs * 4 + extra);
    return biff_from_utf16(units);
  }

 private:
  void skip_empty() {
    while (part < parts.size() && at == parts[part].length) {
      ++part;
      at = 0;
    }
  }
  std::vector<biff_record> parts;
  std::size_t part = 0;
  std::size_t at = 0;
};

struct globals {
  biff_version version = biff_version::biff8;
  unsigned codepage = 1252;
  bool date1904 = false;
  std::map<unsigned, std::wstring> formats;
  std::vector<unsigned> xf_formats;
  std::vector<std::uint32_t> sst;  // book string indexes
  struct sheet {
    std::wstring name;
    std::uint32_t position;
  };
  std::vector<sheet> sheets;

  bool is_date_xf(unsigned xf) const {
    if (xf >= xf_formats.size()) return false;
    unsigned id = xf_formats[xf];
    auto found = formats.find(id);
    return biff_is_date_format(id, found == formats.end() ? std::wstring() : found->second);
  }
};

double decode_rk(std::uint32_t rk) {
  double value;
  if (rk & 0x02) {
    value = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
  } else {
    std::uint64_t bits = static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32;
    std::memcpy(&value, &bits, 8);
  }
  return rk & 0x01 ? value / 100 : value;
}

class sheet_reader {
 public:
  sheet_reader(const globals& g, biff_book& book, biff_sheet& sheet) : g(g), book(book), sheet(sheet) {}

  void number(unsigned row, unsigned column, unsigned xf, double value) {
    if (!std::isfinite(value)) return;
    double date = biff_date_from_serial(value, g.date1904), serial;
    // A serial that no worksheet shows as a date (a negative one, say) is
    // kept as the number it is.
    if (g.is_date_xf(xf) && biff_serial_from_date(date, serial))
      put(row, column, biff_book::date_cell(date));
    else
      put(row, column, biff_book::number_cell(value));
  }
  void text(unsigned row, unsigned column, const std::wstring& value) { put(row, column, book.text_cell(value)); }
  void put(unsigned row, unsigned column, const biff_cell& cell) {
    if (column >= biff_max_columns || row >= biff_max_rows(g.version)) return;
    biff_book::put(sheet, row, column, cell);
  }

  const globals& g;
  biff_book& book;
  biff_sheet& sheet;
};

std::wstring read_string(biff_reader& r, const globals& g, bool wide_count) {
  return g.version == biff_version::biff8 ? biff_get_unicode(r, wide_count) : biff_get_narrow(r, wide_count, g.codepage);
}

// Takes a record's bytes from what is left to the sheets: a workbook's
// sheets lie apart behind its globals, so together they are no longer than
// the rest of the stream. Sheets that share their records would be read
// again and again.
void spend(std::size_t& budget, const biff_record& rec) {
  if (budget < 4 + rec.length) throw biff_format_error("sheets that overlap");
  budget -= 4 + rec.length;
}

// False for a sheet that is not a worksheet.
bool read_sheet(biff_source& source, const globals& g, biff_book& book, biff_sheet& sheet, std::size_t& budget) {
  biff_record rec;
  if (!source.next(rec) || rec.id != biff_id::bof) throw biff_format_error("sheet without its BOF");
  spend(budget, rec);
  {
    biff_reader r(rec);
    r.u16();
    if (r.u16() != 0x0010) return false;  // a chart or macro sheet
  }
  sheet_reader out(g, book, sheet);
  int depth = 1;
  // A formula with a text result: the text comes in the next STRING record.
  bool pending_string = false;
  unsigned pending_row = 0, pending_column = 0;
  while (depth > 0 && source.next(rec)) {
    spend(budget, rec);
    biff_reader r(rec);
    if (rec.id == biff_id::bof) {
      ++depth;
      continue;
    }
    if (rec.id == biff_id::eof) {
      --depth;
      continue;
    }
    if (depth > 1) continue;
    switch (rec.id) {
      case biff_id::number: {
        unsigned row = r.u16(), column = r.u16(), xf = r.u16();
        out.number(row, column, xf, r.f64());
        break;
      }
      case biff_id::rk: {
        unsigned row = r.u16(), column = r.u16(), xf = r.u16();
        out.number(row, column, xf, decode_rk(r.u32()));
        break;
      }
      case biff_id::mulrk: {
        unsigned row = r.u16(), column = r.u16();
        while (r.left() >= 8) {
          unsigned xf = r.u16();
          out.number(row, column++, xf, decode_rk(r.u32()));
        }
        break;
      }
      case biff_id::label:
      case biff_id::rstring: {
        unsigned row = r.u16(), column = r.u16();
        r.u16();
        out.text(row, column, read_string(r, g, true));
        break;
      }
      case biff_id::label_sst: {
        unsigned row = r.u16(), column = r.u16();
        r.u16();
        std::uint32_t k = r.u32();
        if (k >= g.sst.size()) throw biff_format_error("shared string index out of range");
        out.put(row, column, biff_cell{0, g.sst[k], biff_kind::text});
        break;
      }
      case biff_id::boolerr: {
        unsigned row = r.u16(), column = r.u16();
        r.u16();
        unsigned value = r.u8();
        if (r.u8() == 0) out.put(row, column, biff_book::boolean_cell(value != 0));
        break;
      }
      case biff_id::formula: {
        unsigned row = r.u16(), column = r.u16(), xf = r.u16();
        const std::uint8_t* result = r.take(8);
        if (result[6] != 0xFF || result[7] != 0xFF) {
          biff_reader value(result, 8);
          out.number(row, column, xf, value.f64());
        } else if (result[0] == 0) {
          pending_string = true;
          pending_row = row;
          pending_column = column;
          continue;
        } else if (result[0] == 1) {
          out.put(row, column, biff_book::boolean_cell(result[2] != 0));
        } else if (result[0] == 3) {
          out.text(row, column, std::wstring());
        }
        break;
      }
      case biff_id::string:
        if (pending_string) out.text(pending_row, pending_column, read_string(r, g, true));
        break;
      default:
        break;
    }
    pending_string = false;
  }
  return true;
}

}  // namespace

bool biff_is_date_format(unsigned id, const std::wstring& text) {
  if ((id >= 14 && id <= 22) || (id >= 45 && id <= 47)) return true;
  if (id < 164 && text.empty()) return false;
  bool date = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    wchar_t c = text[i];
    if (c == L'"') {
      while (++i < text.size() && text[i] != L'"') {
      }
    } else if (c == L'\\' || c == L'_' || c == L'*') {
      ++i;
    } else if (c == L'[') {
      while (++i < text.size() && text[i] != L']') {
      }
    } else if (c == L';') {
      break;  // the first section decides
    } else if (c == L'0' || c == L'#' || c == L'?') {
      return false;
    } else {
      wchar_t lower = c | 0x20;
      if (lower == L'y' || lower == L'm' || lower == L'd' || lower == L'h' || lower == L's') date = true;
    }
  }
  return date;
}

biff_version biff_read_workbook(const std::uint8_t* data, std::size_t size, biff_book& book) {
  biff_source source(data, size);
  biff_record rec;
  if (!source.next(rec) || rec.id != biff_id::bof) throw biff_format_error("the stream does not start with a BOF");
  globals g;
  {
    biff_reader r(rec);
    unsigned version = r.u16();
    if (version == 0x0600)
      g.version = biff_version::biff8;
    else if (version == 0x0500)
      g.version = biff_version::biff5;
    else
      throw biff_format_error("a workbook of neither BIFF5 nor BIFF8");
    if (r.u16() != 0x0005) throw biff_format_error("the stream does not start with the workbook globals");
  }
  if (g.version == biff_version::biff8) g.codepage = 1200;
  bool ended = false;
  while (!ended && source.next(rec)) {
    biff_reader r(rec);
    switch (rec.id) {
      case 0x002F:
        throw biff_format_error("the workbook is protected by a password");
      case biff_id::codepage:
        g.codepage = r.u16();
        break;
      case biff_id::date_mode:
        g.date1904 = r.u16() != 0;
        break;
      case biff_id::format: {
        unsigned id = r.u16();
        g.formats[id] = read_string(r, g, g.version == biff_version::biff8);
        break;
      }
      case biff_id::xf:
        r.u16();
        g.xf_formats.push_back(r.u16());
        break;
      case biff_id::bound_sheet: {
        std::uint32_t position = r.u32();
        r.u8();
        unsigned type = r.u8();
        std::wstring name = read_string(r, g, false);
        if (type == 0) g.sheets.push_back({name, position});
        break;
      }
      case biff_id::sst: {
        std::vector<biff_record> parts{rec};
        biff_record more;
        while (source.next_continue(more)) parts.push_back(more);
        segmented_reader strings(std::move(parts));
        strings.u32();
        std::uint32_t unique = strings.u32();
        for (std::uint32_t k = 0; k < unique && !strings.at_end(); ++k) g.sst.push_back(book.intern(strings.string()));
        break;
      }
      case biff_id::eof:
        ended = true;
        break;
      default:
        break;
    }
  }
  if (!ended) throw biff_format_error("workbook globals without their EOF");
  std::size_t budget = size - source.position();
  for (const auto& s : g.sheets) {
    biff_sheet sheet;
    sheet.name = s.name;
    source.seek(s.position);
    if (read_sheet(source, g, book, sheet, budget)) book.sheets.push_back(std::move(sheet));
  }
  return g.version;
}
