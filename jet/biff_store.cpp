#include "jet/biff_store.h"

#include <algorithm>
#include <cstring>

namespace {

std::size_t fnv(const std::uint8_t* p, std::size_t n) {
  std::uint64_t h = 14695981039346656037ull;
  for (std::size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
  return static_cast<std::size_t>(h ^ (h >> 32));
}

}  // namespace

std::size_t biff_shared_strings::hash_of(std::size_t start, std::size_t end) const {
  return fnv(data.data() + start, end - start);
}

void biff_shared_strings::rehash(std::size_t slot_count) {
  std::vector<std::uint32_t> fresh(slot_count, 0);
  const std::size_t mask = slot_count - 1;
  for (std::uint32_t k = 0; k < size(); ++k) {
    std::size_t at = hash_of(starts[k], end_of(k)) & mask;
    while (fresh[at]) at = (at + 1) & mask;
    fresh[at] = k + 1;
  }
  slots.swap(fresh);
}

std::uint32_t biff_shared_strings::intern(const std::wstring& text) {
  std::u16string units = biff_utf16(text);
  const bool compressed = std::all_of(units.begin(), units.end(), [](char16_t u) { return u <= 0xFF; });
  // The new string goes where it would stay; it is taken back when it is there already.
  const std::size_t start = data.size();
  data.push_back(compressed ? 0 : 1);
  for (char16_t u : units) {
    data.push_back(static_cast<std::uint8_t>(u));
    if (!compressed) data.push_back(static_cast<std::uint8_t>(u >> 8));
  }
  const std::size_t length = data.size() - start;
  if (slots.empty()) rehash(1024);
  const std::size_t mask = slots.size() - 1;
  std::size_t at = hash_of(start, data.size()) & mask;
  for (; slots[at]; at = (at + 1) & mask) {
    std::uint32_t k = slots[at] - 1;
    if (end_of(k) - starts[k] == length && std::memcmp(data.data() + starts[k], data.data() + start, length) == 0) {
      data.resize(start);
      return k;
    }
  }
  if (size() == 0xFFFFFFFEu) throw std::length_error("too many shared strings");
  const std::uint32_t k = size();
  starts.push_back(start);
  slots[at] = k + 1;
  if (static_cast<std::size_t>(size()) * 10 > slots.size() * 7) rehash(slots.size() * 2);
  return k;
}

void biff_shared_strings::units(std::uint32_t k, std::u16string& out) const {
  out.clear();
  const std::uint8_t* p = data.data() + starts.at(k);
  const std::uint8_t* end = data.data() + end_of(k);
  const bool wide = *p++ != 0;
  out.reserve(static_cast<std::size_t>(end - p) / (wide ? 2 : 1));
  for (; p < end; p += wide ? 2 : 1) out.push_back(static_cast<char16_t>(wide ? p[0] | p[1] << 8 : p[0]));
}

std::wstring biff_shared_strings::text(std::uint32_t k) const {
  std::u16string out;
  units(k, out);
  return biff_from_utf16(out);
}

std::unique_ptr<biff_stored_sheet> biff_store::encode(const biff_book& book, const biff_sheet& sheet) {
  auto stored = std::make_unique<biff_stored_sheet>();
  if (version == biff_version::biff8) {
    biff_encode_rows(*stored, version, biff_cp_utf16, book, sheet,
                     [&](std::uint32_t text) { return strings.intern(book.text(text)); });
    stored->codepage = biff_cp_utf16;
    return stored;
  }
  auto note = [&](const std::wstring& text) {
    for (wchar_t c : text)
      if (c >= 0x80) wide.insert(c);
  };
  note(sheet.name);
  std::vector<bool> seen(book.string_count());
  for (const biff_row& row : sheet.rows)
    for (const biff_cell& cell : row) {
      if (cell.kind != biff_kind::text || seen[cell.text]) continue;
      note(book.text(cell.text));
      seen[cell.text] = true;
    }
  stored->codepage = biff_codepage_for(wide);
  biff_encode_rows(*stored, version, stored->codepage, book, sheet, nullptr);
  return stored;
}

void biff_store::decode(const biff_stored_sheet& stored, biff_book& book, biff_sheet& sheet) const {
  sheet.rows.assign(stored.rows, biff_row());
  biff_source source(stored.blocks.data(), stored.blocks.size());
  biff_record rec;
  while (source.next(rec)) {
    if (rec.id == biff_id::row || rec.id == biff_id::dbcell) continue;
    biff_reader r(rec);
    unsigned row = r.u16(), column = r.u16(), xf = r.u16();
    biff_cell cell;
    switch (rec.id) {
      case biff_id::number: {
        double value = r.f64();
        cell = xf == biff_xf::date ? biff_book::date_cell(biff_date_from_serial(value, false))
                                   : biff_book::number_cell(value);
        break;
      }
      case biff_id::label_sst:
        cell = book.text_cell(strings.text(r.u32()));
        break;
      case biff_id::label:
        cell = book.text_cell(biff_get_narrow(r, true, stored.codepage));
        break;
      case biff_id::boolerr:
        cell = biff_book::boolean_cell(r.u8() != 0);
        break;
      default:
        throw biff_format_error("a stored sheet holds a record it never writes");
    }
    biff_book::put(sheet, row, column, cell);
  }
}

void biff_store::recode(biff_stored_sheet& sheet, unsigned codepage) const {
  biff_source source(sheet.blocks.data(), sheet.blocks.size());
  biff_record rec;
  while (source.next(rec)) {
    if (rec.id != biff_id::label) continue;
    biff_reader r(rec);
    r.take(6);
    std::size_t count = r.u16();
    const std::uint8_t* bytes = r.take(count);
    // Every code page here has one byte a character, so the text keeps its
    // length and the records around it their places.
    std::string again = biff_narrow(biff_from_narrow(bytes, count, sheet.codepage), codepage);
    if (again.size() != count) throw std::logic_error("a text changed its length in another code page");
    std::memcpy(sheet.blocks.data() + (bytes - sheet.blocks.data()), again.data(), count);
  }
  sheet.codepage = codepage;
}

bool biff_store::write(const std::vector<entry>& sheets, const output& out) {
  const biff_version v = version;
  const bool b8 = v == biff_version::biff8;
  const unsigned codepage = b8 ? biff_cp_utf16 : biff_codepage_for(wide);
  if (!b8)
    for (const entry& e : sheets)
      if (e.rows->codepage != codepage) recode(*e.rows, codepage);
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
  std::vector<std::wstring> names;
  for (const entry& e : sheets) names.push_back(*e.name);
  std::vector<std::size_t> positions;
  for (const std::wstring& name : biff_sheet_names(names, codepage))
    positions.push_back(biff_write_bound_sheet(sink, v, codepage, name));
  // The shared strings are laid out twice, once to learn their size, which
  // places the sheets, and once into the stream: they are never held whole.
  std::uint32_t references = 0;
  for (const entry& e : sheets) references += e.rows->shared_cells;
  auto units_of = [&](std::uint32_t k, std::u16string& units) { strings.units(k, units); };
  std::size_t sst_size = 0;
  if (b8)
    biff_write_sst(sink.position(), references, strings.size(), units_of,
                   [&](std::uint16_t, const biff_body& body) { sst_size += 4 + body.size(); });
  const std::size_t first_sheet = sink.position() + sst_size + 4;
  std::size_t at = first_sheet;
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    sink.patch_u32(positions[i], static_cast<std::uint32_t>(at));
    at += biff_sheet_head_size(v, *sheets[i].rows) + sheets[i].rows->blocks.size() + biff_sheet_tail_size(v);
  }
  if (at > 0x7FFFFFFFu) throw std::length_error("workbook stream too long");
  at = sink.position();
  if (!out(sink.bytes.data(), sink.bytes.size())) return false;
  bool going = true;
  if (b8)
    biff_write_sst(at, references, strings.size(), units_of, [&](std::uint16_t id, const biff_body& body) {
      sink.bytes.clear();
      sink.record(id, body);
      going = going && out(sink.bytes.data(), sink.bytes.size());
      at += sink.bytes.size();
    });
  sink.bytes.clear();
  sink.record(biff_id::eof, biff_body());
  if (!going || !out(sink.bytes.data(), sink.bytes.size())) return false;
  at += sink.bytes.size();
  if (at != first_sheet) throw std::logic_error("shared strings of another size than laid out");
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    const biff_stored_sheet& rows = *sheets[i].rows;
    biff_sink head;
    biff_write_sheet_head(head, v, rows, at);
    biff_sink tail;
    biff_write_sheet_tail(tail, v, i == 0);
    if (!out(head.bytes.data(), head.bytes.size()) || !out(rows.blocks.data(), rows.blocks.size()) ||
        !out(tail.bytes.data(), tail.bytes.size()))
      return false;
    at += head.bytes.size() + rows.blocks.size() + tail.bytes.size();
  }
  return true;
}
