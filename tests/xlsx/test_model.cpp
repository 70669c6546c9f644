#include "memory_files.h"
#include "xlsx/package_parts.h"
#include "xlsx/xlsx_model.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>
#include <gtest/gtest.h>
#include <malloc.h>

using namespace XlsxModel;

namespace {

const std::string decl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>\n";
// The head of a sheet part whose cells span A1 to `last`.
std::string sheet_head(const std::string& last = "A1") {
  std::string extent = " ref=\"" + std::string(last == "A1" ? "A1" : "A1:" + last) + "\"/>";
  extent.resize(22, ' ');
  return decl +
    "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
    "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" "
    "xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\" mc:Ignorable=\"x14ac\" "
    "xmlns:x14ac=\"http://schemas.microsoft.com/office/spreadsheetml/2009/9/ac\"><dimension" + extent +
    "<sheetViews><sheetView tabSelected=\"0\" workbookViewId=\"0\"/></sheetViews>"
    "<sheetFormatPr defaultRowHeight=\"15\" x14ac:dyDescent=\"0.25\"/>";
}
const std::string sheet_tail =
    "<pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" footer=\"0.3\"/>"
    "<pageSetup paperSize=\"9\" orientation=\"portrait\"/></worksheet>";

void add_row(CWorksheet& sheet, std::initializer_list<const wchar_t*> texts) {
  sheet.begin_row();
  for (const wchar_t* t : texts) sheet.AddCell(CellDataStr{t, 0});
  sheet.end_row();
}

TEST(Worksheet, StreamsRowsOfSharedStringCells) {
  memory_files files;
  CWorkbook book(files);
  CWorksheet* sheet = book.AddSheet2(L"Data", {});
  add_row(*sheet, {L"ID", L"NAME", L"NOTE"});
  add_row(*sheet, {L"1", L"", L"x"});
  add_row(*sheet, {L"x", L"=1+1", L"3.14"});
  ASSERT_TRUE(sheet->Save());
  EXPECT_EQ(files.part(L"xl/worksheets/sheet1.xml"),
            sheet_head("C3") +
                "<sheetData>"
                "<row r=\"1\" x14ac:dyDescent=\"0.25\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c>"
                "<c r=\"C1\" t=\"s\"><v>2</v></c></row>"
                "<row r=\"2\" x14ac:dyDescent=\"0.25\"><c r=\"A2\" t=\"s\"><v>3</v></c><c r=\"C2\" t=\"s\"><v>4</v></c></row>"
                "<row r=\"3\" x14ac:dyDescent=\"0.25\"><c r=\"A3\" t=\"s\"><v>4</v></c><c r=\"B3\" t=\"s\"><v>5</v></c>"
                "<c r=\"C3\" t=\"s\"><v>6</v></c></row>"
                "</sheetData>" +
                sheet_tail);
  ASSERT_EQ(book.shared_strings.size(), 7u);
  EXPECT_EQ(book.shared_strings.at(5), "&#61;1&#43;1") << "data is never a formula";
  EXPECT_EQ(book.shared_strings.at(6), "3.14");
  EXPECT_FALSE(sheet->has_formula);
  EXPECT_TRUE(sheet->Save()) << "a second save writes nothing and succeeds again";
}

TEST(Worksheet, ExtentOfAnEmptySheetAndOfALongOne) {
  memory_files files;
  CWorkbook book(files);
  CWorksheet* empty = book.AddSheet2(L"E", {});
  add_row(*empty, {L"", L""});
  ASSERT_TRUE(empty->Save());
  EXPECT_EQ(files.part(L"xl/worksheets/sheet1.xml"),
            sheet_head() + "<sheetData><row r=\"1\" x14ac:dyDescent=\"0.25\"/></sheetData>" + sheet_tail);
  // The extent lands in a part that reached the sink long before.
  CWorksheet* tall = book.AddSheet2(L"T", {});
  for (int i = 0; i < 20000; ++i) add_row(*tall, {L"", L"b"});
  ASSERT_TRUE(tall->Save());
  EXPECT_EQ(files.part(L"xl/worksheets/sheet2.xml").substr(0, sheet_head("B20000").size()), sheet_head("B20000"));
}

TEST(Worksheet, ReferencesPastZAndRepeatedTexts) {
  memory_files files;
  CWorkbook book(files);
  CWorksheet* sheet = book.AddSheet2(L"S", {});
  sheet->begin_row();
  for (int i = 0; i < 27; ++i) sheet->AddCell(CellDataStr{L"same", 0});
  sheet->end_row();
  sheet->begin_row(20.5f);
  sheet->AddCell(CellDataStr{L"same", 3});
  sheet->end_row();
  ASSERT_TRUE(sheet->Save());
  std::string xml = files.part(L"xl/worksheets/sheet1.xml");
  EXPECT_NE(xml.find("<c r=\"Z1\" t=\"s\"><v>0</v></c><c r=\"AA1\" t=\"s\"><v>0</v></c></row>"), std::string::npos);
  EXPECT_NE(xml.find("<row r=\"2\" x14ac:dyDescent=\"0.25\" ht=\"20.5\" customHeight=\"1\">"
                     "<c r=\"A2\" s=\"3\" t=\"s\"><v>0</v></c>"),
            std::string::npos);
  EXPECT_EQ(book.shared_strings.size(), 1u);
}

TEST(Worksheet, FormulaCellsOnlyWhenAskedFor) {
  memory_files files;
  CWorkbook book(files);
  CWorksheet* sheet = book.AddSheet2(L"F", {});
  sheet->begin_row();
  sheet->AddCell(CellDataStr{L"1", 0});
  sheet->AddCell(CellDataStr{L"2", 0});
  sheet->AddCell(CellDataFormula{L"SUM(A1:B1)", 0});
  sheet->end_row();
  ASSERT_TRUE(sheet->Save());
  EXPECT_NE(files.part(L"xl/worksheets/sheet1.xml").find("<c r=\"C1\"><f>SUM(A1&#58;B1)</f></c></row>"),
            std::string::npos);
  EXPECT_TRUE(sheet->has_formula);
  EXPECT_EQ(sheet->formula_cells, std::vector<std::wstring>{L"C1"});
  EXPECT_EQ(book.shared_strings.size(), 2u) << "a formula adds no shared string";
}

TEST(Worksheet, TitleIsCutTo31Characters) {
  memory_files files;
  CWorkbook book(files);
  std::wstring forty(40, L'x'), thirty_one(31, L'y');
  EXPECT_EQ(book.AddSheet2(forty, {})->title, std::wstring(31, L'x'));
  EXPECT_EQ(book.AddSheet2(thirty_one, {})->title, thirty_one);
  EXPECT_EQ(book.sheets[1]->index, 2);
  // Characters count in UTF-16 units, and none is split in two.
  std::wstring emoji;
  for (int i = 0; i < 20; ++i) emoji += L"😀";
  EXPECT_EQ(book.AddSheet2(emoji, {})->title, emoji.substr(0, 15));
  EXPECT_TRUE(files.has_part(L"xl/worksheets/sheet2.xml"));
}

TEST(Worksheet, ColumnWidthsAndFrozenPanes) {
  memory_files files;
  CWorksheet widths(1, {{0, 0, 8.43f}, {2, 4, 20}}, L"/t", files);
  widths.Save();
  EXPECT_NE(files.part(L"xl/worksheets/sheet1.xml")
                .find("<cols><col min=\"1\" max=\"1\" width=\"8.43\"/><col min=\"3\" max=\"5\" width=\"20\"/></cols>"
                      "<sheetData/>"),
            std::string::npos);

  struct {
    int x, y;
    const char* view;
  } panes[] = {
      {0, 1,
       "<sheetView tabSelected=\"0\" workbookViewId=\"0\"><pane ySplit=\"1\" topLeftCell=\"A2\" "
       "activePane=\"bottomLeft\" state=\"frozen\"/><selection pane=\"bottomLeft\" activeCell=\"A2\" sqref=\"A2\"/>"
       "</sheetView>"},
      {2, 0,
       "<sheetView tabSelected=\"0\" workbookViewId=\"0\"><pane xSplit=\"2\" topLeftCell=\"C1\" "
       "activePane=\"topRight\" state=\"frozen\"/><selection pane=\"topRight\" activeCell=\"C1\" sqref=\"C1\"/>"
       "</sheetView>"},
      {1, 2,
       "<sheetView tabSelected=\"0\" workbookViewId=\"0\"><pane xSplit=\"1\" ySplit=\"2\" topLeftCell=\"B3\" "
       "activePane=\"bottomRight\" state=\"frozen\"/><selection pane=\"topRight\" activeCell=\"B2\" sqref=\"B2\"/>"
       "<selection pane=\"bottomLeft\" activeCell=\"A3\" sqref=\"A3\"/>"
       "<selection pane=\"bottomRight\" activeCell=\"B3\" sqref=\"B3\"/></sheetView>"},
  };
  int n = 1;
  for (const auto& p : panes) {
    ++n;
    CWorksheet sheet(n, {}, L"/t", files, p.x, p.y);
    sheet.Save();
    EXPECT_NE(files.part(L"xl/worksheets/sheet" + std::to_wstring(n) + L".xml").find(p.view), std::string::npos)
        << p.x << "," << p.y;
  }
}

TEST(Worksheet, PartThatCannotBeOpenedIgnoresCellsAndFailsTheSave) {
  memory_files files;
  files.fail_open = L"xl/worksheets/sheet2.xml";
  CWorkbook book(files);
  CWorksheet* good = book.AddSheet2(L"good", {});
  CWorksheet* bad = book.AddSheet2(L"bad", {});
  add_row(*good, {L"a"});
  add_row(*bad, {L"b", L"c"});
  EXPECT_EQ(book.shared_strings.size(), 1u) << "the cells of a sheet without part are ignored";
  EXPECT_FALSE(bad->Save());
  EXPECT_NE(bad->GetLastError().find(L"sheet2.xml"), std::wstring::npos);

  EXPECT_FALSE(book.Save(L"/nowhere/out.xlsx"));
  EXPECT_NE(book.GetLastError().find(L"Permission denied"), std::wstring::npos) << book.GetLastError();
  EXPECT_TRUE(files.files.empty()) << "the temporary tree is removed";
  EXPECT_EQ(files.removed_trees, std::vector<std::wstring>{book.temp_folder});
}

TEST(Worksheet, WriteErrorOfAPartFailsTheSave) {
  for (const wchar_t* part : {L"xl/worksheets/sheet1.xml", L"xl/sharedStrings.xml", L"xl/styles.xml",
                              L"docProps/app.xml", L"xl/theme/theme1.xml"}) {
    memory_files files;
    files.fail_write = part;
    CWorkbook book(files);
    CWorksheet* sheet = book.AddSheet2(L"S", {});
    for (int i = 0; i < 100; ++i) add_row(*sheet, {L"some text", L"more"});
    EXPECT_FALSE(book.Save(L"/nowhere/out.xlsx")) << part;
    EXPECT_NE(book.GetLastError().find(L"No space left on device"), std::wstring::npos) << book.GetLastError();
    EXPECT_NE(book.GetLastError().find(part), std::wstring::npos) << book.GetLastError();
    EXPECT_TRUE(files.files.empty()) << part;
  }
}

// A file system whose parts go nowhere: only the model's own memory counts.
class discard_files : public part_file_system {
 public:
  std::size_t bytes = 0;
  std::unique_ptr<part_output> open(const std::wstring&, std::wstring&) override {
    return std::make_unique<counting_output>(bytes);
  }
  int create_folder(const std::wstring&) override { return 0; }
  void remove_tree(const std::wstring&) override {}

 private:
  class counting_output : public part_output {
   public:
    explicit counting_output(std::size_t& bytes) : bytes(bytes) {}
    ~counting_output() override { close(); }

   protected:
    bool sink(const char*, std::size_t n) override {
      bytes += n;
      return true;
    }
    bool finish() override { return true; }

   private:
    std::size_t& bytes;
  };
};

TEST(Worksheet, MemoryDoesNotGrowWithTheRows) {
  discard_files files;
  CWorkbook book(files);
  CWorksheet* sheet = book.AddSheet2(L"S", {});
  const wchar_t* texts[] = {L"alpha", L"beta", L"3.14", L"2010-12-31 10:20:30.005", L"a<b & \"c\""};
  auto write_rows = [&](int count) {
    for (int r = 0; r < count; ++r) {
      sheet->begin_row();
      for (int c = 0; c < 10; ++c) sheet->AddCell(CellDataStr{texts[(r + c) % 5], 0});
      sheet->end_row();
    }
  };
  write_rows(1000);
  std::size_t before = mallinfo2().uordblks;
  write_rows(200000);
  std::size_t after = mallinfo2().uordblks;
  EXPECT_LT(after > before ? after - before : 0, 64u * 1024) << "2,000,000 cells";
  EXPECT_GT(files.bytes, 2000000u * 20);
  EXPECT_TRUE(sheet->Save());
}

// The time itself is the figure of `bench/run.sh 100000 distinct`. What is
// checked here is the growth: the last of ten blocks of 100,000 distinct
// texts costs about what the first did, not many times it, as it would if a
// new text were sought among a share of all the others. The processor time
// of this thread, so that a loaded machine does not count; the cheaper of
// two blocks at each end, so that the one rehash of the table does not
// either.
TEST(Worksheet, AMillionDistinctCellsCostNoMoreEachAtTheEndThanAtTheStart) {
  auto thread_seconds = [] {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
  };
  discard_files files;
  CWorkbook book(files);
  CWorksheet* sheet = book.AddSheet2(L"S", {});
  std::wstring value = L"row 0000000 column 0";
  std::vector<double> blocks;
  for (int block = 0; block < 10; ++block) {
    double start = thread_seconds();
    for (int r = block * 10000; r < (block + 1) * 10000; ++r) {
      sheet->begin_row();
      for (int c = 0; c < 10; ++c) {
        std::swprintf(value.data(), value.size() + 1, L"row %07d column %d", r, c);
        sheet->AddCell(CellDataStr{value, 0});
      }
      sheet->end_row();
    }
    blocks.push_back(thread_seconds() - start);
  }
  ASSERT_TRUE(sheet->Save());
  ASSERT_TRUE(write_shared_strings(book));
  EXPECT_EQ(book.shared_strings.size(), 1000000u);
  double first = std::min(blocks[0], blocks[1]), last = std::min(blocks[8], blocks[9]);
  EXPECT_LT(last, 4 * first) << "first " << first << " s, last " << last << " s per 100,000 cells";
}

}  // namespace
