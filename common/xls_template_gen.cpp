// Builds the two empty-workbook images that the .xls engines carry (an
// Excel 5.0 workbook, stream "Book", and an Excel 2000 one, stream
// "Workbook"), each with the summary property sets, through our own
// compound-file writer, and writes them as C++ arrays.
//
// Usage: xls_template_gen OUTPUT.cpp WORK_FOLDER
#include "common/biff_records.h"
#include "platform/storage.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

constexpr std::size_t image_size = 0x3600;
constexpr std::size_t sector = 512;

using biff::body;
using biff::bytes;

// ------------------------------------------------------------ workbook stream

bytes workbook(bool biff8) {
  biff::stream s;
  auto bof = [&](unsigned kind) {
    body b;
    b.u16(biff8 ? 0x0600 : 0x0500).u16(kind).u16(0).u16(biff8 ? 0x07CC : 0x07C9);
    if (biff8) b.u32(0).u32(0x00000006);
    return s.add(biff::id_bof, b);
  };
  auto short_text = [&](body& b, const std::string& text) {
    b.u8(static_cast<unsigned>(text.size()));
    if (biff8) b.u8(0);  // 8-bit characters
    b.text(text);
  };

  bof(0x0005);
  s.add(biff::id_codepage, body().u16(biff8 ? 1200 : 1252));
  s.add(biff::id_window1, body().u16(0).u16(0).u16(0x3A5C).u16(0x2328).u16(0x0038).u16(0).u16(0).u16(1).u16(0x0258));
  s.add(biff::id_datemode, body().u16(0));
  // Fonts 0 to 3: 10-point Arial (a workbook has at least four).
  for (int i = 0; i < 4; ++i) {
    body b;
    b.u16(200).u16(0).u16(0x7FFF).u16(400).u16(0).u8(0).u8(2).u8(0).u8(0);
    short_text(b, "Arial");
    s.add(biff::id_font, b);
  }
  // Cell formats: 15 style formats, the default cell format, and the five
  // number styles (comma, comma 0, currency, currency 0, percent).
  // Pattern colours 64 and 65 (the system's window colours).
  auto xf = [&](unsigned font, unsigned format, bool style, unsigned used) {
    body b;
    b.u16(font).u16(format).u16(style ? 0xFFF5 : 0x0001);
    if (biff8)
      b.u8(0x20).u8(0).u8(0).u8(used).u32(0).u32(0).u16(0x20C0);
    else
      b.u8(0x20).u8(used).u32(0x000020C0).u32(0);
    s.add(biff::id_xf, b);
  };
  xf(0, 0, true, 0);
  for (int i = 1; i < 15; ++i) xf(i < 3 ? 1 : i < 5 ? 2 : 0, 0, true, 0xF4);
  xf(0, 0, false, 0);
  for (unsigned format : {0x2Bu, 0x29u, 0x2Cu, 0x2Au, 0x09u}) xf(1, format, true, 0xF8);
  struct {
    unsigned xf, id;
  } styles[] = {{0, 0}, {16, 3}, {17, 6}, {18, 4}, {19, 7}, {20, 5}};
  for (auto st : styles) s.add(biff::id_style, body().u16(0x8000 | st.xf).u8(st.id).u8(0xFF));
  body sheet_entry;
  sheet_entry.u32(0).u8(0).u8(0);
  short_text(sheet_entry, "Sheet1");
  std::size_t boundsheet = s.add(biff::id_boundsheet, sheet_entry);
  s.add(biff::id_eof, body());

  // One worksheet without cells.
  std::size_t sheet = bof(0x0010);
  s.set32(boundsheet, 0, static_cast<std::uint32_t>(sheet));
  if (biff8)
    s.add(biff::id_index, body().u32(0).u32(0).u32(0).u32(0));
  else
    s.add(biff::id_index, body().u32(0).u16(0).u16(0).u32(0));
  if (biff8)
    s.add(biff::id_dimensions, body().u32(0).u32(0).u16(0).u16(0).u16(0));
  else
    s.add(biff::id_dimensions, body().u16(0).u16(0).u16(0).u16(0).u16(0));
  if (biff8)
    s.add(biff::id_window2, body().u16(0x06B6).u16(0).u16(0).u16(0x40).u16(0).u16(0).u16(0).u32(0));
  else
    s.add(biff::id_window2, body().u16(0x06B6).u16(0).u16(0).u32(0x40));
  s.add(biff::id_eof, body());
  return s.data;
}

// ------------------------------------------------------------ property sets

// One property set of string and code-page properties.
bytes property_set(const std::uint8_t (&fmtid)[16], const std::vector<std::pair<std::uint32_t, std::string>>& strings) {
  body values;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> offsets;
  std::size_t count = strings.size() + 1;
  std::size_t base = 8 + 8 * count;
  offsets.push_back({1, static_cast<std::uint32_t>(base)});
  values.u16(2).u16(0).u16(1252).u16(0);  // code page, VT_I2
  for (const auto& [id, text] : strings) {
    offsets.push_back({id, static_cast<std::uint32_t>(base + values.data().size())});
    values.u16(30).u16(0).u32(static_cast<std::uint32_t>(text.size() + 1)).text(text).u8(0);  // VT_LPSTR
    while (values.data().size() % 4) values.u8(0);
  }
  body set;
  set.u32(static_cast<std::uint32_t>(base + values.data().size())).u32(static_cast<std::uint32_t>(count));
  for (auto [id, at] : offsets) set.u32(id).u32(at);
  bytes out = body().u16(0xFFFE).u16(0).u32(0x00020006).zeros(16).u32(1).data();
  out.insert(out.end(), fmtid, fmtid + 16);
  body offset;
  offset.u32(48);
  out.insert(out.end(), offset.data().begin(), offset.data().end());
  out.insert(out.end(), set.data().begin(), set.data().end());
  out.insert(out.end(), values.data().begin(), values.data().end());
  return out;
}

// {F29F85E0-4FF9-1068-AB91-08002B27B3D9} and {D5CDD502-2E9C-101B-9397-08002B2CF9AE}.
constexpr std::uint8_t summary_id[16] = {0xE0, 0x85, 0x9F, 0xF2, 0xF9, 0x4F, 0x68, 0x10,
                                         0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9};
constexpr std::uint8_t document_summary_id[16] = {0x02, 0xD5, 0xCD, 0xD5, 0x9C, 0x2E, 0x1B, 0x10,
                                                  0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE};

// ------------------------------------------------------------ the image

bool put(IStorage* storage, const std::wstring& name, const bytes& data) {
  IStream* stream = nullptr;
  if (FAILED(storage->CreateStream(name.c_str(), STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &stream))) return false;
  ULONG written = 0;
  HRESULT hr = stream->Write(data.data(), static_cast<ULONG>(data.size()), &written);
  stream->Release();
  return SUCCEEDED(hr) && written == data.size();
}

bool image(const std::string& path, bool biff8, bytes& out) {
  // The workbook stream fills what the file's other sectors leave: the
  // directory, the allocation table, the mini table and one sector of mini
  // stream for the two property sets.
  bytes book = workbook(biff8);
  const std::size_t room = image_size - sector * 5;
  if (book.size() > room) return false;
  book.resize(room, 0);

  std::wstring wpath(path.begin(), path.end());
  IStorage* storage = nullptr;
  if (FAILED(StgCreateDocfile(wpath.c_str(), STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_CREATE, 0, &storage)))
    return false;
  bool ok = put(storage, biff8 ? L"Workbook" : L"Book", book) &&
            put(storage, L"\x05SummaryInformation", property_set(summary_id, {{4, "Qorvath"}})) &&
            put(storage, L"\x05" L"DocumentSummaryInformation", property_set(document_summary_id, {{15, "PLAIN DESK"}})) &&
            SUCCEEDED(storage->Commit(STGC_DEFAULT));
  storage->Release();
  std::ifstream in(path, std::ios::binary);
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return ok && out.size() == image_size;
}

void emit(std::FILE* f, const char* name, const bytes& data) {
  std::fprintf(f, "extern const std::uint8_t %s[%zu] = {", name, data.size());
  for (std::size_t i = 0; i < data.size(); ++i) std::fprintf(f, "%s0x%02X,", i % 16 ? "" : "\n", data[i]);
  std::fprintf(f, "\n};\n\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s OUTPUT.cpp WORK_FOLDER\n", argv[0]);
    return 2;
  }
  std::string folder = argv[2];
  bytes biff5, biff8;
  if (!image(folder + "/empty_biff5.xls", false, biff5) || !image(folder + "/empty_biff8.xls", true, biff8)) {
    std::fprintf(stderr, "%s: the template images do not come out at %zu bytes\n", argv[0], image_size);
    return 1;
  }
  std::FILE* f = std::fopen(argv[1], "w");
  if (!f) {
    std::perror(argv[1]);
    return 1;
  }
  std::fprintf(f, "// Generated by common/xls_template_gen.cpp; do not edit.\n#include \"common/xls_templates.h\"\n\n");
  emit(f, "xls_template_biff5", biff5);
  emit(f, "xls_template_biff8", biff8);
  return std::fclose(f) == 0 ? 0 : 1;
}
