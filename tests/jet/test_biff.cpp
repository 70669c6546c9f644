#include "jet/biff_reader.h"
#include "jet/biff_record.h"
#include "jet/biff_writer.h"

#include "platform/utf8.h"
#include "tests/support/temp_folder.h"

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace {

const biff_version versions[] = {biff_version::biff5, biff_version::biff8};

std::string name_of(biff_version v) { return v == biff_version::biff5 ? "BIFF5" : "BIFF8"; }

// A sheet of each kind of cell, a row without cells, and more rows than one
// block holds. BIFF5 text is in one code page: Cyrillic here, so that it
// still reads back exactly.
const wchar_t* unicode_text(biff_version v) { return v == biff_version::biff5 ? L"Привет, мир" : L"Ünïcödé 😀 Ж"; }

void fill(biff_book& book, biff_version v) {
  biff_sheet data;
  data.name = L"Data";
  const wchar_t* header[] = {L"ID", L"NAME", L"WHEN", L"OK"};
  for (int c = 0; c < 4; ++c) biff_book::put(data, 0, c, book.text_cell(header[c]));
  biff_book::put(data, 1, 0, biff_book::number_cell(1));
  biff_book::put(data, 1, 1, book.text_cell(unicode_text(v)));
  biff_book::put(data, 1, 2, biff_book::date_cell(40543.43090277778));  // 2010-12-31 10:20:30
  biff_book::put(data, 1, 3, biff_book::boolean_cell(true));
  biff_book::put(data, 2, 0, biff_book::number_cell(-2.5e100));
  biff_book::put(data, 2, 1, book.text_cell(L""));
  biff_book::put(data, 2, 3, biff_book::boolean_cell(false));
  data.rows.resize(4);  // row 3 has no cells
  for (int r = 4; r < 70; ++r) biff_book::put(data, r, 1, book.text_cell(L"row " + std::to_wstring(r % 7)));
  book.sheets.push_back(std::move(data));
  biff_sheet other;
  other.name = L"Лист 2";
  biff_book::put(other, 0, 0, book.text_cell(L"ONLY"));
  book.sheets.push_back(std::move(other));
}

void expect_same(const biff_book& a, const biff_book& b, const std::string& what) {
  ASSERT_EQ(a.sheets.size(), b.sheets.size()) << what;
  auto ya = b.sheets.begin();
  std::size_t s = 0;
  for (auto xa = a.sheets.begin(); xa != a.sheets.end(); ++xa, ++ya, ++s) {
    const biff_sheet& x = *xa;
    const biff_sheet& y = *ya;
    EXPECT_EQ(x.name, y.name) << what;
    // Rows without cells at the end carry nothing a reader can see.
    std::size_t rows = std::max(x.rows.size(), y.rows.size());
    for (std::size_t r = 0; r < rows; ++r) {
      const biff_row empty;
      const biff_row& rx = r < x.rows.size() ? x.rows[r] : empty;
      const biff_row& ry = r < y.rows.size() ? y.rows[r] : empty;
      for (std::size_t c = 0; c < std::max(rx.size(), ry.size()); ++c) {
        biff_cell cx = c < rx.size() ? rx[c] : biff_cell{};
        biff_cell cy = c < ry.size() ? ry[c] : biff_cell{};
        std::string at = what + " sheet " + std::to_string(s) + " row " + std::to_string(r) + " col " +
                         std::to_string(c);
        ASSERT_EQ(cx.kind, cy.kind) << at;
        if (cx.kind == biff_kind::text)
          EXPECT_EQ(a.text(cx.text), b.text(cy.text)) << at;
        else
          EXPECT_EQ(cx.number, cy.number) << at;
      }
    }
  }
}

TEST(Biff, WorkbooksReadBackAsWritten) {
  for (biff_version v : versions) {
    biff_book book;
    fill(book, v);
    std::vector<std::uint8_t> stream = biff_write_workbook(book, v);
    biff_book back;
    EXPECT_EQ(biff_read_workbook(stream.data(), stream.size(), back), v);
    expect_same(book, back, name_of(v));
  }
}

std::string utf8(const std::wstring& wide) {
  std::string out;
  qm_platform::wide_to_utf8(wide.data(), wide.size(), out);
  return out;
}

std::string read_all(FILE* pipe) {
  std::string out;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  return out;
}

// xlrd reads a workbook stream without its compound file too.
std::string xlrd_dump(const std::vector<std::uint8_t>& stream) {
  qm_test::temp_folder folder("qm_biff_");
  std::string path = folder.file("stream.bin");
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(stream.data()), static_cast<std::streamsize>(stream.size()));
  std::string command = std::string("/usr/bin/python3 ") + QM_SOURCE_DIR + "/tests/jet/xlrd_dump.py '" + path + "'";
  FILE* pipe = popen(command.c_str(), "r");
  std::string out = read_all(pipe);
  EXPECT_EQ(pclose(pipe), 0) << out;
  return out;
}

TEST(Biff, AnIndependentReaderSeesExactlyTheCells) {
  for (biff_version v : versions) {
    biff_book book;
    fill(book, v);
    std::string dump = xlrd_dump(biff_write_workbook(book, v));
    // Text 1, number 2, date 3, boolean 4, empty 0.
    std::string expected =
        "[[\"Data\", [[[1, \"ID\"], [1, \"NAME\"], [1, \"WHEN\"], [1, \"OK\"]], "
        "[[2, 1.0], [1, \"" + utf8(unicode_text(v)) + "\"], [3, 40543.43090277778], [4, 1]], "
        "[[2, -2.5e+100], [1, \"\"], [0, \"\"], [4, 0]], "
        "[[0, \"\"], [0, \"\"], [0, \"\"], [0, \"\"]]";
    EXPECT_EQ(dump.substr(0, expected.size()), expected) << name_of(v);
    EXPECT_NE(dump.find("[[0, \"\"], [1, \"row 6\"], [0, \"\"], [0, \"\"]]]], [\"Лист 2\", [[[1, \"ONLY\"]]]]]"),
              std::string::npos)
        << dump;
  }
}

unsigned declared_codepage(const std::vector<std::uint8_t>& s);

TEST(Biff, Biff5TextIsInTheFirstCodePageThatHoldsIt) {
  struct {
    const wchar_t* text;
    unsigned codepage;
    const wchar_t* read;  // as xlrd reads it back
  } cases[] = {
      {L"ÇELIK ß é € „x“", 1252, L"ÇELIK ß é € „x“"},
      {L"Zażółć gęślą", 1250, L"Zażółć gęślą"},
      {L"Привет, мир", 1251, L"Привет, мир"},
      {L"Καλημέρα", 1253, L"Καλημέρα"},
      {L"Ж ß", 1252, L"? ß"},          // no one code page holds both
      {L"日本語 😀", 1252, L"??? ?"},
      // What no code page holds leaves the choice to the rest of the text.
      {L"שלום 😀 עולם", 1255, L"שלום ? עולם"},
      {L"Привет 日本", 1251, L"Привет ??"},
      {L"a\u0081b", 1252, L"a?b"},     // a byte no code page assigns
  };
  for (const auto& c : cases) {
    biff_book book;
    biff_sheet sheet;
    sheet.name = L"S";
    biff_book::put(sheet, 0, 0, book.text_cell(c.text));
    book.sheets.push_back(std::move(sheet));
    std::vector<std::uint8_t> s = biff_write_workbook(book, biff_version::biff5);
    EXPECT_EQ(declared_codepage(s), c.codepage) << c.codepage;
    std::wstring wide(c.read);
    EXPECT_EQ(xlrd_dump(s), "[[\"S\", [[[1, \"" + utf8(wide) + "\"]]]]]\n");
    biff_book back;
    ASSERT_EQ(biff_read_workbook(s.data(), s.size(), back), biff_version::biff5);
    EXPECT_EQ(back.text(back.sheets.front().rows.at(0).at(0).text), wide);
  }
}

// Each sheet is encoded in the code page that holds the text so far; a
// later sheet may ask for another, and the earlier ones are then written in it.
TEST(Biff, Biff5SheetsEncodedOneByOneEndInOneCodePage) {
  struct {
    const wchar_t* first;
    const wchar_t* second;
    unsigned codepage;
    const wchar_t* first_read;
  } cases[] = {
      {L"€", L"Ж", 1251, L"€"},                 // the euro sign moves from byte 0x80 to 0x88
      {L"Zażółć", L"Привет", 1252, L"Za?ó??"},  // no one code page holds both
  };
  for (const auto& c : cases) {
    biff_book book;
    for (const wchar_t* text : {c.first, c.second}) {
      biff_sheet sheet;
      sheet.name = text == c.first ? L"A" : L"B";
      biff_book::put(sheet, 0, 0, book.text_cell(text));
      book.sheets.push_back(std::move(sheet));
    }
    std::vector<std::uint8_t> s = biff_write_workbook(book, biff_version::biff5);
    EXPECT_EQ(declared_codepage(s), c.codepage) << utf8(c.first);
    std::string dump = xlrd_dump(s);
    EXPECT_EQ(dump.substr(0, dump.find("], [\"B\"")), "[[\"A\", [[[1, \"" + utf8(c.first_read) + "\"]]]")
        << dump;
  }
}

TEST(Biff, SheetNamesAreLegalAndUniqueAsWritten) {
  std::wstring emoji;
  for (int i = 0; i < 20; ++i) emoji += L"😀";
  struct {
    biff_version v;
    std::vector<std::wstring> names;
    const wchar_t* text;  // of a cell, which chooses the BIFF5 code page
    std::string read;     // the names as xlrd reads them
  } cases[] = {
      // Windows-1252 holds neither script: '_' for each character, and the
      // two names that became one get a counter.
      {biff_version::biff5, {L"Лист", L"Ящик", L"Яя"}, L"Καλημέρα", "____ ____00000 __"},
      {biff_version::biff5, {L"Лист", L"Ящик"}, L"да", "Лист Ящик"},
      {biff_version::biff8, {L"abc", L"ABC", L"Abc00000"}, L"x", "abc ABC00000 Abc0000000000"},
      // One name once fully case-folded.
      {biff_version::biff8, {L"Stra\u00dfe", L"STRASSE"}, L"x", "Stra\xc3\x9f" "e STRASSE00000"},
      {biff_version::biff8, {emoji}, L"x", utf8(emoji.substr(0, 15))},
  };
  for (const auto& c : cases) {
    biff_book book;
    for (const std::wstring& name : c.names) {
      biff_sheet sheet;
      sheet.name = name;
      biff_book::put(sheet, 0, 0, book.text_cell(c.text));
      book.sheets.push_back(std::move(sheet));
    }
    std::vector<std::uint8_t> s = biff_write_workbook(book, c.v);
    std::string dump = xlrd_dump(s);
    std::string names;
    for (std::size_t at = 0; (at = dump.find("[\"", at)) != std::string::npos;) {
      std::size_t end = dump.find('"', at + 2);
      names += (names.empty() ? "" : " ") + dump.substr(at + 2, end - at - 2);
      at = dump.find("]]]]", end);
    }
    EXPECT_EQ(names, c.read) << dump;
  }
}

std::uint32_t u32_at(const std::vector<std::uint8_t>& s, std::size_t at) {
  return s.at(at) | s.at(at + 1) << 8 | s.at(at + 2) << 16 | static_cast<std::uint32_t>(s.at(at + 3)) << 24;
}
unsigned u16_at(const std::vector<std::uint8_t>& s, std::size_t at) { return s.at(at) | s.at(at + 1) << 8; }

// Walks a stream as the BIFF patcher does and returns, per sheet, the
// columns of the unbroken run of header cells it would restyle.
std::vector<unsigned> patched_header_runs(const std::vector<std::uint8_t>& s, biff_version v, int& fonts,
                                          int& xfs) {
  std::vector<std::uint32_t> sheets;
  fonts = xfs = 0;
  for (std::size_t at = 0; at + 4 <= s.size();) {
    unsigned id = u16_at(s, at), length = u16_at(s, at + 2);
    if (id == biff_id::font) ++fonts;
    if (id == biff_id::xf) ++xfs;
    if (id == biff_id::bound_sheet) sheets.push_back(u32_at(s, at + 4));
    if (id == biff_id::eof) break;
    at += 4 + length;
  }
  std::vector<unsigned> runs;
  for (std::uint32_t bof : sheets) {
    EXPECT_EQ(u16_at(s, bof), biff_id::bof);
    std::size_t index = bof + 4 + u16_at(s, bof + 2);
    EXPECT_EQ(u16_at(s, index), biff_id::index);
    std::size_t skip = v == biff_version::biff5 ? 12 : 16;
    if (u16_at(s, index + 2) < skip + 4) {
      runs.push_back(0);
      continue;
    }
    std::uint32_t dbcell = u32_at(s, index + 4 + skip);
    EXPECT_EQ(u16_at(s, dbcell), biff_id::dbcell);
    std::uint32_t back = u32_at(s, dbcell + 4);
    EXPECT_LT(back, dbcell);
    std::size_t row = dbcell - back;
    EXPECT_EQ(u16_at(s, row), biff_id::row);
    std::size_t cell = row + 4 + u16_at(s, row + 2) + u16_at(s, dbcell + 8);
    unsigned column = 0;
    while (u16_at(s, cell + 2) >= 6 && u16_at(s, cell + 4) == 0 && u16_at(s, cell + 6) == column) {
      ++column;
      cell += 4 + u16_at(s, cell + 2);
    }
    runs.push_back(column);
  }
  return runs;
}

unsigned declared_codepage(const std::vector<std::uint8_t>& s) {
  biff_source source(s.data(), s.size());
  biff_record rec;
  while (source.next(rec))
    if (rec.id == biff_id::codepage) return u16_at(s, rec.position + 4);
  return 0;
}

TEST(Biff, TheStreamIsShapedForThePatcher) {
  for (biff_version v : versions) {
    biff_book book;
    fill(book, v);
    biff_sheet empty;
    empty.name = L"Empty";
    book.sheets.push_back(std::move(empty));
    std::vector<std::uint8_t> stream = biff_write_workbook(book, v);
    int fonts, xfs;
    EXPECT_EQ(patched_header_runs(stream, v, fonts, xfs), (std::vector<unsigned>{4, 1, 0})) << name_of(v);
    EXPECT_GE(fonts, 4);
    EXPECT_GE(xfs, 25);
  }
}

TEST(Biff, EveryBlockOfRowsHasItsDbcell) {
  biff_book book;
  fill(book, biff_version::biff8);
  std::vector<std::uint8_t> s = biff_write_workbook(book, biff_version::biff8);
  biff_source source(s.data(), s.size());
  biff_record rec;
  std::vector<std::uint32_t> listed, found;
  while (source.next(rec)) {
    if (rec.id == biff_id::index && listed.empty())
      for (std::size_t at = 16; at + 4 <= rec.length; at += 4) listed.push_back(u32_at(s, rec.position + 4 + at));
    if (rec.id == biff_id::dbcell && found.size() < 3) found.push_back(static_cast<std::uint32_t>(rec.position));
  }
  ASSERT_EQ(listed.size(), 3u);  // 70 rows
  EXPECT_EQ(listed, found);
}

TEST(Biff, LongAndManyStringsCrossContinueRecords) {
  biff_book book;
  biff_sheet sheet;
  sheet.name = L"S";
  biff_book::put(sheet, 0, 0, book.text_cell(L"T"));
  biff_book::put(sheet, 1, 0, book.text_cell(std::wstring(32767, L'x')));
  biff_book::put(sheet, 2, 0, book.text_cell(std::wstring(20000, L'Ж')));
  for (int r = 3; r < 3003; ++r) biff_book::put(sheet, r, 0, book.text_cell(L"text number " + std::to_wstring(r)));
  book.sheets.push_back(std::move(sheet));
  std::vector<std::uint8_t> s = biff_write_workbook(book, biff_version::biff8);
  biff_book back;
  biff_read_workbook(s.data(), s.size(), back);
  expect_same(book, back, "strings");

  // Each EXTSST bucket points at the count of its first string, and at the
  // string's place in its own record.
  biff_source source(s.data(), s.size());
  biff_record rec;
  std::vector<std::size_t> records;
  int continues = 0;
  while (source.next(rec)) {
    if (rec.id == biff_id::sst || rec.id == biff_id::continue_) records.push_back(rec.position);
    if (rec.id == biff_id::continue_) ++continues;
    if (rec.id != biff_id::extsst) continue;
    unsigned per_bucket = u16_at(s, rec.position + 4);
    std::size_t buckets = (rec.length - 2) / 8;
    EXPECT_EQ(buckets, (3003 + per_bucket - 1) / per_bucket);
    for (std::size_t b = 0; b < buckets; ++b) {
      std::size_t at = rec.position + 6 + 8 * b;
      std::uint32_t string = u32_at(s, at);
      unsigned offset = u16_at(s, at + 4);
      const std::wstring& expected = book.text(static_cast<std::uint32_t>(b * per_bucket));
      EXPECT_EQ(u16_at(s, string), biff_utf16(expected).size()) << b;
      std::size_t owner = 0;
      for (std::size_t r : records)
        if (r < string) owner = r;
      EXPECT_EQ(string - owner, offset) << b;
    }
    break;
  }
  EXPECT_GE(continues, 8);
}

// The characters of each shared string, with the places where a CONTINUE
// record broke them: the unit read last before each break.
struct string_breaks {
  std::vector<std::u16string> strings;
  std::vector<char16_t> before_break;
};

string_breaks walk_sst(const std::vector<std::uint8_t>& s) {
  biff_source source(s.data(), s.size());
  biff_record rec;
  std::vector<biff_record> parts;
  while (source.next(rec)) {
    if (rec.id == biff_id::sst || (rec.id == biff_id::continue_ && !parts.empty())) parts.push_back(rec);
    if (rec.id == biff_id::extsst) break;
  }
  string_breaks out;
  std::size_t part = 0, at = 8;
  auto byte = [&] {
    while (at == parts.at(part).length) {
      ++part;
      at = 0;
    }
    return parts[part].body[at++];
  };
  std::uint32_t unique = u32_at(s, parts.at(0).position + 8);
  for (std::uint32_t k = 0; k < unique; ++k) {
    std::size_t count = byte();
    count |= byte() << 8;
    bool wide = byte() & 1;
    std::u16string units;
    while (units.size() < count) {
      if (at == parts[part].length) {
        out.before_break.push_back(units.back());
        ++part;
        at = 0;
        wide = parts.at(part).body[at++] & 1;
      }
      char16_t u = parts[part].body[at++];
      if (wide) u |= parts[part].body[at++] << 8;
      units.push_back(u);
    }
    out.strings.push_back(units);
  }
  return out;
}

TEST(Biff, NoContinueRecordStartsInsideASurrogatePair) {
  // Rows of a short text ending in an emoji put the record ends at every
  // offset; one long text of emoji crosses several records by itself.
  biff_book book;
  biff_sheet sheet;
  sheet.name = L"S";
  for (int r = 0; r < 3000; ++r) biff_book::put(sheet, r, 0, book.text_cell(L"Ж user " + std::to_wstring(r) + L" 😀"));
  std::wstring emoji;
  for (int i = 0; i < 16383; ++i) emoji += L"😀";
  biff_book::put(sheet, 3000, 0, book.text_cell(L"x" + emoji));
  book.sheets.push_back(std::move(sheet));
  std::vector<std::uint8_t> s = biff_write_workbook(book, biff_version::biff8);

  string_breaks walked = walk_sst(s);
  ASSERT_EQ(walked.strings.size(), 3001u);
  EXPECT_EQ(walked.strings.back(), biff_utf16(L"x" + emoji));
  EXPECT_GE(walked.before_break.size(), 10u);
  for (char16_t u : walked.before_break) EXPECT_FALSE(u >= 0xD800 && u < 0xDC00) << "a pair is split";

  biff_book back;
  biff_read_workbook(s.data(), s.size(), back);
  expect_same(book, back, "pairs");
  std::string dump = xlrd_dump(s);
  EXPECT_NE(dump.find(utf8(L"[1, \"Ж user 2999 😀\"]")), std::string::npos) << dump.substr(0, 300);
}

// A workbook as other programs write it: a code page of their own, the 1904
// date system, compact numbers, formulas, a chart sheet.
std::vector<std::uint8_t> foreign_stream() {
  biff_sink sink;
  biff_write_bof(sink, biff_version::biff5, false);
  sink.record(biff_id::codepage, biff_body().u16(1252));
  sink.record(biff_id::date_mode, biff_body().u16(1));
  biff_body format;
  format.u16(165);
  biff_put_narrow(format, L"d/m/yy", false, biff_cp1252);
  sink.record(biff_id::format, format);
  for (unsigned f : {0u, 165u}) sink.record(biff_id::xf, biff_body().u16(0).u16(f).zeros(12));
  std::size_t chart = biff_write_bound_sheet(sink, biff_version::biff5, biff_cp1252, L"Chart");
  sink.bytes[chart + 5] = 2;
  std::size_t work = biff_write_bound_sheet(sink, biff_version::biff5, biff_cp1252, L"Work");
  sink.record(biff_id::eof, biff_body());

  sink.patch_u32(chart, static_cast<std::uint32_t>(sink.position()));
  sink.record(biff_id::bof, biff_body().u16(0x0500).u16(0x0020).u32(0));
  sink.record(biff_id::eof, biff_body());

  sink.patch_u32(work, static_cast<std::uint32_t>(sink.position()));
  biff_write_bof(sink, biff_version::biff5, true);
  biff_body label;
  label.u16(0).u16(0).u16(0).u16(3).bytes("\x80\xe9z");
  sink.record(biff_id::label, label);
  sink.record(biff_id::rk, biff_body().u16(1).u16(0).u16(0).u32((12345u << 2) | 0x3));  // 123.45
  sink.record(biff_id::mulrk, biff_body().u16(1).u16(1).u16(0).u32(7u << 2 | 2).u16(1).u32(0x3FF00000).u16(2));
  biff_body formula;
  formula.u16(2).u16(0).u16(0).u8(0).zeros(5).u16(0xFFFF).zeros(6);
  sink.record(biff_id::formula, formula);
  biff_body text;
  text.u16(2);
  text.bytes("ab");
  sink.record(biff_id::string, text);
  sink.record(biff_id::formula, biff_body().u16(2).u16(1).u16(0).f64(2.5).zeros(6));
  sink.record(biff_id::boolerr, biff_body().u16(2).u16(2).u16(0).u8(7).u8(1));  // #DIV/0!
  sink.record(biff_id::eof, biff_body());
  return std::move(sink.bytes);
}

TEST(Biff, ForeignRecordsAreRead) {
  std::vector<std::uint8_t> s = foreign_stream();
  biff_book book;
  EXPECT_EQ(biff_read_workbook(s.data(), s.size(), book), biff_version::biff5);
  ASSERT_EQ(book.sheets.size(), 1u);
  const biff_sheet& sheet = book.sheets.front();
  EXPECT_EQ(sheet.name, L"Work");
  ASSERT_EQ(sheet.rows.size(), 3u);
  EXPECT_EQ(book.text(sheet.rows[0][0].text), L"€éz");
  EXPECT_EQ(sheet.rows[1][0].number, 123.45);
  EXPECT_EQ(sheet.rows[1][1].number, 7);
  EXPECT_EQ(sheet.rows[1][2].kind, biff_kind::date);
  EXPECT_EQ(sheet.rows[1][2].number, 1463);  // serial 1 of 1904: 1904-01-02
  EXPECT_EQ(book.text(sheet.rows[2][0].text), L"ab");
  EXPECT_EQ(sheet.rows[2][1].number, 2.5);
  EXPECT_EQ(sheet.rows[2].size(), 2u) << "an error value is no value";
}

TEST(Biff, BrokenStreamsAreRefused) {
  std::vector<std::uint8_t> good = foreign_stream();
  std::vector<std::vector<std::uint8_t>> bad = {
      {},
      {0x09, 0x00, 0x04, 0x00, 0x02, 0x00, 0x10, 0x00},                    // BIFF2
      {0x09, 0x08, 0x08, 0x00, 0x00, 0x05, 0x10, 0x00, 0, 0, 0, 0},        // a sheet first
      std::vector<std::uint8_t>(good.begin(), good.begin() + 30),           // cut short
  };
  biff_sink locked;
  biff_write_bof(locked, biff_version::biff8, false);
  locked.record(0x002F, biff_body().u16(1).zeros(52));
  bad.push_back(locked.bytes);
  // Two sheets over one substream: each would be read once per sheet.
  biff_sink twice;
  biff_write_bof(twice, biff_version::biff8, false);
  std::size_t first = biff_write_bound_sheet(twice, biff_version::biff8, 1200, L"A");
  std::size_t second = biff_write_bound_sheet(twice, biff_version::biff8, 1200, L"B");
  twice.record(biff_id::eof, biff_body());
  twice.patch_u32(first, static_cast<std::uint32_t>(twice.position()));
  twice.patch_u32(second, static_cast<std::uint32_t>(twice.position()));
  biff_write_bof(twice, biff_version::biff8, true);
  twice.record(biff_id::eof, biff_body());
  bad.push_back(twice.bytes);
  for (std::size_t i = 0; i < bad.size(); ++i) {
    biff_book book;
    EXPECT_THROW(biff_read_workbook(bad[i].data(), bad[i].size(), book), biff_format_error) << i;
  }
}

TEST(Biff, DateNumbersAndSerials) {
  struct {
    double date;
    bool valid;
    double serial;
  } cases[] = {
      {0.5, false, 0},         // 1899-12-30 12:00, or a time alone: serial 0.5 reads 1900-01-00
      {0, false, 0},
      {1.5, false, 0},         // 1899-12-31
      {1.99, false, 0},
      {2, true, 1},            // 1900-01-01
      {60, true, 59},          // 1900-02-28
      {61, true, 61},          // 1900-03-01
      {2958465.9, true, 2958465.9},  // 9999-12-31
      {2958466, false, 0},
      {-1, false, 0},
  };
  for (const auto& c : cases) {
    double serial = 0;
    EXPECT_EQ(biff_serial_from_date(c.date, serial), c.valid) << c.date;
    if (!c.valid) continue;
    EXPECT_EQ(serial, c.serial) << c.date;
    EXPECT_EQ(biff_date_from_serial(serial, false), c.date) << c.date;
  }
}

TEST(Biff, DateFormats) {
  struct {
    unsigned id;
    const wchar_t* text;
    bool date;
  } cases[] = {
      {14, L"", true},          {0, L"General", false},       {2, L"", false},
      {164, L"yyyy-mm-dd", true}, {165, L"\"day\" 0.00", false}, {166, L"[Red]h:mm", true},
      {167, L"#,##0;[Red]-#,##0", false}, {168, L"\\d0", false}, {169, L"@", false},
  };
  for (const auto& c : cases) EXPECT_EQ(biff_is_date_format(c.id, c.text), c.date) << c.id;
}

}  // namespace
