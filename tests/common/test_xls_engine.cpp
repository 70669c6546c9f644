#include "TK/tk_exception.h"
#include "common/biff_records.h"
#include "common/xls_engine.h"
#include "platform/com_runtime.h"
#include "tests/platform/storage_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>

namespace {

TEST(XlsEngine, TheThreeFormats) {
  xls_engine_50 e50;
  xls_engine_80 e80;
  xls_engine_2010 e2010;
  struct { xls_engine& e; const wchar_t* name; const wchar_t* connect; unsigned rows; } rows[] = {
      {e50, L"Excel 5.0", L"Excel 5.0;", 16383},
      {e80, L"Excel 2000", L"Excel 8.0;", 65535},
      {e2010, L"Excel 2010", L"Excel 12.0;", 65535},
  };
  for (auto& r : rows) {
    EXPECT_EQ(r.e.name, r.name);
    EXPECT_EQ(r.e.connect, r.connect);
    EXPECT_EQ(r.e.max_rows, r.rows);
    EXPECT_FALSE(r.e.wrap);
  }
  EXPECT_EQ(e50.get_notice_w(),
            L"Destination spreadsheet will be saved in MS Excel 5.0 format.\nAll strings will be cut to 255 symbols.");
}

// What a reader made elsewhere says of a workbook; empty when none is here.
std::string reader_says(const std::string& path, const char* command) {
  std::string out;
  if (FILE* p = popen((std::string(command) + " '" + path + "' 2>&1").c_str(), "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, p)) out += buffer;
    pclose(p);
  }
  return out;
}

bool contains(const storage_test::bytes& data, const std::string& text) {
  return std::search(data.begin(), data.end(), text.begin(), text.end()) != data.end();
}

TEST(XlsEngine, EmptyWorkbooksAreCompoundFilesWithTheirSummaries) {
  storage_test::scratch dir;
  xls_engine_50 e50;
  xls_engine_80 e80;
  struct {
    xls_engine& engine;
    const wchar_t* stream;
    unsigned version;
    const char* xlrd;
  } rows[] = {{e50, L"Book", 0x0500, "50 1 Sheet1:0:0\n"}, {e80, L"Workbook", 0x0600, "80 1 Sheet1:0:0\n"}};
  for (auto& r : rows) {
    std::string path = dir.path("empty.xls");
    std::wstring wpath = dir.wpath("empty.xls");
    r.engine.write_empty_xls(wpath);
    storage_test::bytes image = storage_test::file_bytes(path);
    ASSERT_EQ(image.size(), 0x3600u);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), r.engine.get_template().begin()));

    IStorage* storage = nullptr;
    ASSERT_EQ(StgOpenStorage(wpath.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, &storage), S_OK);
    IEnumSTATSTG* items = nullptr;
    ASSERT_EQ(storage->EnumElements(0, nullptr, 0, &items), S_OK);
    std::set<std::wstring> names;
    STATSTG s;
    while (items->Next(1, &s, nullptr) == S_OK) {
      names.insert(s.pwcsName);
      CoTaskMemFree(s.pwcsName);
    }
    items->Release();
    storage->Release();
    EXPECT_EQ(names, (std::set<std::wstring>{r.stream, L"\x05SummaryInformation", L"\x05" L"DocumentSummaryInformation"}));
    HRESULT hr;
    EXPECT_TRUE(contains(storage_test::read_stream(wpath, L"\x05SummaryInformation", hr), "Qorvath"));
    EXPECT_TRUE(contains(storage_test::read_stream(wpath, L"\x05" L"DocumentSummaryInformation", hr), "PLAIN DESK"));
    auto records = biff::parse(storage_test::read_stream(wpath, r.stream, hr));
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records[0].id, biff::id_bof);
    EXPECT_EQ(records[0].body[0] | (records[0].body[1] << 8), static_cast<int>(r.version));

    if (std::system("/usr/bin/python3 -c 'import xlrd' 2>/dev/null") == 0) {
      EXPECT_EQ(reader_says(path, "/usr/bin/python3 '" QM_SOURCE_DIR "/tests/common/read_xls.py'"), r.xlrd);
    }
    if (std::system("command -v file >/dev/null 2>&1") == 0) {
      EXPECT_NE(reader_says(path, "file").find("Author: Qorvath"), std::string::npos);
    }
    // Restyled in place, it is the same size and still opens elsewhere.
    r.engine.patch(wpath);
    EXPECT_EQ(storage_test::file_bytes(path).size(), 0x3600u);
    auto patched = biff::parse(storage_test::read_stream(wpath, r.stream, hr));
    ASSERT_EQ(patched.size(), records.size());
    int fonts = 0;
    for (const auto& rec : patched)
      if (rec.id == biff::id_font && ++fonts == 4) {
        EXPECT_EQ(rec.body[6] | (rec.body[7] << 8), 700);
      }
    if (std::system("/usr/bin/python3 -c 'import xlrd' 2>/dev/null") == 0) {
      EXPECT_EQ(reader_says(path, "/usr/bin/python3 '" QM_SOURCE_DIR "/tests/common/read_xls.py'"), r.xlrd);
    }
  }
}

TEST(XlsEngine, WritingAnEmptyWorkbookReportsItsFailures) {
  storage_test::scratch dir;
  xls_engine_80 engine;
  struct {
    std::wstring path;
    const char* message;
  } cases[] = {
      {dir.wpath("no/such/folder.xls"), "Cannot open destination file for writing."},
      {L"/dev/full", "Failed to write into the destination file."},
  };
  for (const auto& c : cases) {
    try {
      engine.write_empty_xls(c.path);
      ADD_FAILURE() << c.message;
    } catch (const tk_mail_assertion&) {
      ADD_FAILURE() << c.message;
    } catch (const tk_exception& e) {
      EXPECT_STREQ(e.what(), c.message);
      EXPECT_EQ(e.level, 1);
    }
  }
  EXPECT_THROW(xls_engine_2010().write_empty_xls(dir.wpath("x.xlsx")), tk_mail_assertion);
}

}  // namespace
