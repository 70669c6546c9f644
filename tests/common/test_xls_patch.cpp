#include "TK/tk_exception.h"
#include "common/xls_engine.h"
#include "jet/jet_file.h"
#include "tests/common/biff_workbook.h"
#include "tests/platform/storage_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

using biff::record;
using biff_test::cell;
using biff_test::sheet_spec;
using biff_test::workbook_spec;
using storage_test::bytes;

namespace {

const bytes bold_font = {0xC8, 0x00, 0x01, 0x00, 0xFF, 0x7F, 0xBC, 0x02, 0x00, 0x00, 0x00, 0x02};
const bytes header_xf5 = {0x03, 0x00, 0x00, 0x00, 0x09, 0x00, 0x12, 0x70, 0x16, 0x20, 0x41, 0x80, 0x49, 0x80, 0x40, 0x20};
const bytes header_xf8 = {0x03, 0x00, 0x00, 0x00, 0x01, 0x00, 0x12, 0x00, 0x00, 0x78,
                          0x11, 0x11, 0x40, 0x20, 0x40, 0x20, 0x00, 0x04, 0x16, 0x20};
const bytes plain_xf5 = {0x00, 0x00, 0x00, 0x00, 0x09, 0x00, 0x10, 0x10, 0xC0, 0x20};
const bytes plain_xf8 = {0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x10, 0x00, 0x00, 0x10};

std::unique_ptr<xls_engine> engine_for(bool biff8, bool wrap) {
  std::unique_ptr<xls_engine> e;
  if (biff8)
    e = std::make_unique<xls_engine_80>();
  else
    e = std::make_unique<xls_engine_50>();
  e->wrap = wrap;
  return e;
}

const wchar_t* stream_name(bool biff8) { return biff8 ? L"Workbook" : L"Book"; }

class XlsPatch : public ::testing::Test {
 protected:
  storage_test::scratch dir;
  std::wstring path = dir.wpath("book.xls");

  void save(const workbook_spec& spec) {
    ASSERT_EQ(storage_test::write_compound(path, {{stream_name(spec.biff8), biff_test::build(spec)},
                                                  {L"\x05SummaryInformation", storage_test::pattern(200, 1)}}),
              S_OK);
  }
  std::vector<record> records(bool biff8) {
    HRESULT hr;
    bytes data = storage_test::read_stream(path, stream_name(biff8), hr);
    EXPECT_EQ(hr, S_OK);
    return biff::parse(data);
  }
  // The bodies of the records with `id`, in order, as pointers into `list`.
  static std::vector<record*> of(std::vector<record>& list, std::uint16_t id) {
    std::vector<record*> out;
    for (record& r : list)
      if (r.id == id) out.push_back(&r);
    return out;
  }
  static void overlay(record* r, const bytes& start) { std::copy(start.begin(), start.end(), r->body.begin()); }
};

// The restyled header cells of every sheet, as (row, column) in order.
std::vector<std::pair<int, int>> header_cells(const std::vector<record>& list) {
  std::vector<std::pair<int, int>> out;
  for (const record& r : list)
    if (r.id == biff::id_label && r.body[4] == 0x10) out.push_back({r.body[0] | (r.body[1] << 8), r.body[2] | (r.body[3] << 8)});
  return out;
}

TEST_F(XlsPatch, RestylesTheFourthFontTheFormatsAndTheHeaderRow) {
  for (bool biff8 : {false, true})
    for (bool wrap : {false, true}) {
      SCOPED_TRACE(std::string(biff8 ? "BIFF8" : "BIFF5") + (wrap ? " wrap" : ""));
      workbook_spec spec;
      spec.biff8 = biff8;
      spec.sheets = {{{{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}}}};
      save(spec);
      std::vector<record> expected = biff::parse(biff_test::build(spec));
      engine_for(biff8, wrap)->patch(path);

      overlay(of(expected, biff::id_font)[3], bold_font);
      auto xfs = of(expected, biff::id_xf);
      bytes header = biff8 ? header_xf8 : header_xf5, plain = biff8 ? plain_xf8 : plain_xf5;
      header[6] = wrap ? 0x1A : 0x12;
      plain[6] = wrap ? 0x18 : 0x10;
      overlay(xfs[16], header);
      std::vector<int> plain_numbers = biff8 ? std::vector<int>{16, 22, 23, 24} : std::vector<int>{16, 22, 23, 24, 25, 26};
      for (int n : plain_numbers) overlay(xfs[n - 1], plain);
      auto cells = of(expected, biff::id_label);
      for (int i = 0; i < 3; ++i) cells[i]->body[4] = 0x10;
      EXPECT_EQ(records(biff8), expected);
    }
}

TEST_F(XlsPatch, OnlyTheUnbrokenRunOfRowZeroFromColumnZeroIsRestyled) {
  using cells = std::vector<std::pair<int, int>>;
  struct {
    const char* what;
    sheet_spec sheet;
    cells restyled;
  } cases[] = {
      {"a header row alone", {{{0, 0}, {0, 1}, {0, 2}}}, {{0, 0}, {0, 1}, {0, 2}}},
      {"column 1 empty", {{{0, 0}, {0, 2}, {1, 0}, {1, 1}}}, {{0, 0}}},
      {"column 0 empty", {{{0, 1}, {0, 2}, {1, 0}}}, {}},
      {"no row 0", {{{1, 0}, {1, 1}, {2, 0}}}, {}},
  };
  for (bool biff8 : {false, true})
    for (const auto& c : cases) {
      workbook_spec spec;
      spec.biff8 = biff8;
      spec.sheets = {c.sheet};
      save(spec);
      engine_for(biff8, false)->patch(path);
      EXPECT_EQ(header_cells(records(biff8)), c.restyled) << c.what << (biff8 ? " BIFF8" : " BIFF5");
    }
}

TEST_F(XlsPatch, SheetsWithoutRowsAreSkippedAndTheNextOnesPatched) {
  for (bool biff8 : {false, true}) {
    workbook_spec spec;
    spec.biff8 = biff8;
    spec.sheets = {{}, {{{0, 0}, {0, 1}}}, {}};
    save(spec);
    std::vector<record> before = biff::parse(biff_test::build(spec));
    engine_for(biff8, false)->patch(path);
    std::vector<record> after = records(biff8);
    EXPECT_EQ(header_cells(after), (std::vector<std::pair<int, int>>{{0, 0}, {0, 1}}));
    ASSERT_EQ(after.size(), before.size());
    // Past the globals only the two header cells differ.
    std::size_t differ = 0, eof = 0;
    for (std::size_t i = 0; i < after.size(); ++i) {
      if (eof) differ += !(after[i] == before[i]);
      if (after[i].id == biff::id_eof && !eof) eof = i;
    }
    EXPECT_EQ(differ, 2u);
  }
}

TEST_F(XlsPatch, FewerFontsAndFormatsArePatchedAsFarAsTheyGo) {
  for (bool biff8 : {false, true}) {
    workbook_spec spec;
    spec.biff8 = biff8;
    spec.fonts = 3;
    spec.xfs = 16;
    spec.sheets = {{{{0, 0}}}};
    save(spec);
    std::vector<record> expected = biff::parse(biff_test::build(spec));
    engine_for(biff8, true)->patch(path);
    bytes plain = biff8 ? plain_xf8 : plain_xf5;
    plain[6] = 0x18;
    overlay(of(expected, biff::id_xf)[15], plain);
    of(expected, biff::id_label)[0]->body[4] = 0x10;
    EXPECT_EQ(records(biff8), expected) << (biff8 ? "BIFF8" : "BIFF5");
  }
}

TEST_F(XlsPatch, FilesThatAreNotWorkbooksAreLeftAsTheyAre) {
  std::string p = dir.path("book.xls");
  storage_test::put_file(p, bytes{'n', 'o', 't', ' ', 'a', 'n', ' ', 'x', 'l', 's'});
  bytes text = storage_test::file_bytes(p);
  xls_engine_80 engine;
  engine.patch(path);
  EXPECT_EQ(storage_test::file_bytes(p), text);

  ASSERT_EQ(storage_test::write_compound(path, {{L"Other", biff_test::build(workbook_spec())}}), S_OK);
  bytes other = storage_test::file_bytes(p);
  engine.patch(path);
  EXPECT_EQ(storage_test::file_bytes(p), other);

  engine.patch(dir.wpath("missing.xls"));
  EXPECT_FALSE(std::ifstream(dir.path("missing.xls")).good());

  // The Excel 2010 engine has no workbook stream to patch.
  workbook_spec spec;
  spec.sheets = {{{{0, 0}}}};
  save(spec);
  bytes book = storage_test::file_bytes(p);
  xls_engine_2010().patch(path);
  EXPECT_EQ(storage_test::file_bytes(p), book);
}

// The text that an assertion of this source carries, up to its line.
std::string assertion_prefix() {
  std::string hex = "Internal error: \ncode=";
  for (char c : std::string("xls_engi\\")) {
    char two[3];
    std::snprintf(two, sizeof two, "%02x", static_cast<unsigned char>(c));
    hex += two;
  }
  return hex;
}

TEST_F(XlsPatch, BrokenRecordsRaiseTheInternalError) {
  struct damage {
    const char* what;
    std::function<void(bytes&)> change;
  };
  // Offsets into a BIFF8 workbook of one sheet with a header row.
  workbook_spec spec;
  spec.sheets = {{{{0, 0}, {0, 1}, {1, 0}}}};
  bytes good = biff_test::build(spec);
  std::vector<std::size_t> at;  // record offsets
  for (std::size_t p = 0; p + 4 <= good.size(); p += 4 + (good[p + 2] | (good[p + 3] << 8))) at.push_back(p);
  auto find = [&](std::uint16_t id, int nth) {
    for (std::size_t p : at)
      if ((good[p] | (good[p + 1] << 8)) == id && nth-- == 0) return p;
    return std::size_t{0};
  };
  std::size_t sheet = storage_test::get32(good, find(biff::id_boundsheet, 0) + 4);
  std::size_t index = find(biff::id_index, 0), dbcell = find(biff::id_dbcell, 0);
  damage cases[] = {
      {"sheet offset not at a BOF", [&](bytes& b) { storage_test::put32(b, find(biff::id_boundsheet, 0) + 4, static_cast<std::uint32_t>(index)); }},
      {"sheet offset past the end", [&](bytes& b) { storage_test::put32(b, find(biff::id_boundsheet, 0) + 4, 1000000); }},
      {"no INDEX after the BOF", [&](bytes& b) { b[index] = 0x0C; }},
      {"DBCELL position not at a DBCELL", [&](bytes& b) { storage_test::put32(b, index + 4 + 16, static_cast<std::uint32_t>(sheet)); }},
      {"DBCELL distance past the start", [&](bytes& b) { storage_test::put32(b, dbcell + 4, static_cast<std::uint32_t>(dbcell)); }},
      {"fourth FONT too short for the new font",
       [&](bytes& b) {
         // The body shrinks to 8 bytes; the rest of the old body becomes
         // an unknown record, so that every offset stays.
         std::size_t f = find(biff::id_font, 3);
         std::size_t length = b[f + 2] | (b[f + 3] << 8);
         b[f + 2] = 8;
         b[f + 3] = 0;
         b[f + 4 + 8] = 0xFF;
         b[f + 4 + 9] = 0x00;
         b[f + 4 + 10] = static_cast<std::uint8_t>(length - 8 - 4);
         b[f + 4 + 11] = 0;
       }},
      {"stream ends inside the fourth FONT",
       [&](bytes& b) { b.resize(find(biff::id_font, 3) + 4 + 6); }},
  };
  for (const auto& c : cases) {
    bytes broken = good;
    c.change(broken);
    ASSERT_EQ(storage_test::write_compound(path, {{L"Workbook", broken}}), S_OK);
    xls_engine_80 engine;
    try {
      engine.patch(path);
      ADD_FAILURE() << c.what << ": no assertion";
    } catch (const tk_mail_assertion& e) {
      EXPECT_EQ(e.level, 2) << c.what;
      EXPECT_EQ(std::string(e.what()).rfind(assertion_prefix(), 0), 0u) << c.what << ": " << e.what();
    }
    HRESULT hr;
    bytes after = storage_test::read_stream(path, L"Workbook", hr);
    ASSERT_EQ(after.size(), broken.size()) << c.what;
    // What was written before the failure stays; a short FONT is not written past.
    std::size_t font = find(biff::id_font, 3);
    bool bold = after.size() >= font + 16 &&
                std::equal(bold_font.begin(), bold_font.end(), after.begin() + static_cast<long>(font + 4));
    EXPECT_EQ(bold, std::string(c.what).find("FONT") == std::string::npos) << c.what;
    if (!bold) {
      EXPECT_TRUE(after == broken) << c.what;
    }
  }
}

// A file that fails under the patch is an I/O error, told with the name
// the file's messages show (the destination, for a run's own file) and why;
// a write refused keeps the file's bytes.
TEST_F(XlsPatch, AFailingWriteSaysWhatFailedOnWhichFile) {
  workbook_spec spec;
  spec.sheets = {{{{0, 0}}}};
  save(spec);
  bytes before = storage_test::file_bytes(dir.path("book.xls"));
  jet_show_file_as(path, L"/home/ann/report.xls");
  const struct {
    const char* what;
    long long budget;
    bool flush_fails;
    std::string reason;
  } cases[] = {{"a full disk", 0, false, "the disk is full"},
               {"a failing flush", -1, true, "the file could not be written"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    storage_test::failing_files files;
    files.write_budget = c.budget;
    files.fail_flush = c.flush_fails;
    xls_engine_80 engine;
    try {
      engine.patch(path);
      ADD_FAILURE() << "no error";
    } catch (const tk_exception& e) {
      EXPECT_EQ(e.level, 1);
      EXPECT_EQ(e.message, "Cannot write the header formatting of the file '/home/ann/report.xls': " + c.reason + ".");
    }
    if (c.budget == 0) EXPECT_EQ(storage_test::file_bytes(dir.path("book.xls")), before);
  }
  jet_show_file_as(path, L"");
}

}  // namespace
