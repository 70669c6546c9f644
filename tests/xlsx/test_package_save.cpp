// Whole packages, packed by the system's zip and read back by independent
// readers (unzip, xmllint, openpyxl).
#include "memory_files.h"
#include "platform/utf8.h"
#include "support.h"
#include "tests/support/wide_text.h"
#include "xlsx/xlsx_model.h"

#include <chrono>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>
#include <vector>

using namespace XlsxModel;

namespace {

using qm_test::wide;

bool file_exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

std::string hex(const std::wstring& text) {
  std::string utf8;
  qm_platform::wide_to_utf8(text.data(), text.size(), utf8);
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : utf8) {
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 15]);
  }
  return out;
}

// Reads every sheet with openpyxl and compares it with the expected rows,
// given as hex-encoded UTF-8 ("-" for an empty cell).
const char* reader_script = R"(
import sys, openpyxl
book = openpyxl.load_workbook(sys.argv[1])
expected = open(sys.argv[2], encoding="utf-8").read().split("\n")
names = bytes.fromhex(expected[0]).decode("utf-8").split("\t")
if book.sheetnames != names:
    print("sheets", book.sheetnames, names); sys.exit(1)
bad = 0
sheet = None
for line in expected[1:]:
    if not line: continue
    if line.startswith("#"):
        sheet = book[bytes.fromhex(line[1:]).decode("utf-8")]; r = 0; continue
    r += 1
    cells = line.split(" ")
    for c, text in enumerate(cells):
        want = None if text == "-" else bytes.fromhex(text).decode("utf-8")
        got = sheet.cell(row=r, column=c + 1).value
        if got != want:
            print("cell", r, c + 1, repr(got), repr(want)); bad += 1
    if sheet.max_column > len(cells) and any(sheet.cell(row=r, column=k).value is not None
                                             for k in range(len(cells) + 1, sheet.max_column + 1)):
        print("extra cells in row", r); bad += 1
print("rows checked")
sys.exit(1 if bad else 0)
)";

struct sheet_data {
  std::wstring name;
  std::vector<std::vector<std::wstring>> rows;
};

void fill(CWorkbook& book, const std::vector<sheet_data>& sheets) {
  for (const sheet_data& d : sheets) {
    CWorksheet* sheet = book.AddSheet2(d.name, {});
    for (const auto& row : d.rows) {
      sheet->begin_row();
      for (const std::wstring& text : row) sheet->AddCell(CellDataStr{text, 0});
      sheet->end_row();
    }
  }
}

class PackageSave : public ::testing::Test {
 protected:
  scratch_folder scratch;
  std::string temp = scratch.path + "/temp";
  std::string out = scratch.path + "/out dir";
  scoped_env temp_env{"TEMP", nullptr};

  void SetUp() override {
    ASSERT_EQ(::mkdir(temp.c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(out.c_str(), 0700), 0);
    setenv("TEMP", temp.c_str(), 1);
  }

  std::string entries(const std::string& package) {
    return scratch_folder::run("unzip -Z1 " + scratch_folder::quote(package) + " | sort");
  }

  // Every sheet of the package, read by openpyxl, holds exactly `data`.
  void expect_readers_see(const std::string& package, const std::vector<sheet_data>& data) {
    std::string script = scratch.path + "/read.py", expected = scratch.path + "/expected.txt";
    std::ofstream(script) << reader_script;
    std::ofstream e(expected);
    std::wstring names;
    for (const sheet_data& d : data) names += (names.empty() ? L"" : L"\t") + d.name;
    e << hex(names) << "\n";
    for (const sheet_data& d : data) {
      e << "#" << hex(d.name) << "\n";
      for (const auto& row : d.rows) {
        for (std::size_t i = 0; i < row.size(); ++i) e << (i ? " " : "") << (row[i].empty() ? "-" : hex(row[i]));
        e << "\n";
      }
  }
  e.close();
  int status = -1;
  std::string report = scratch_folder::run("/usr/bin/python3 " + scratch_folder::quote(script) + " " +
                                               scratch_folder::quote(package) + " " + scratch_folder::quote(expected) +
                                               " 2>&1",
                                           &status);
  EXPECT_EQ(status, 0) << report;
  EXPECT_NE(report.find("rows checked"), std::string::npos) << report;
  }
};

TEST_F(PackageSave, ReadersSeeExactlyTheTextWritten) {
  std::vector<sheet_data> data = {
      {L"Values & more",
       {{L"ID", L"TEXT", L"NOTE"},
        {L"1", L"3.14", L"2010-12-31 10:20:30.005"},
        {L"2", L"", L"a<b & \"c\""},
        {L"3", L"\u0416 \u00df \u00e9", L"tab\there"},
        {L"4", L"line\nfeed", L"=HYPERLINK(\"http://x\")"},
        {L"5", L"==== total", L" padded "},
        {L"", L"", L"-1,5e3 ; 'q' ? * + ! : / \\ [x]"}}},
      {L"Second",
       {{L"A"}, {L"3.14"}}},
  };
  std::wstring destination = wide(out + "/result file.xlsx");
  {
    CWorkbook book;
    fill(book, data);
    ASSERT_TRUE(book.Save(destination)) << std::string(book.GetLastError().begin(), book.GetLastError().end());
    EXPECT_EQ(scratch_folder::listing(temp), "") << "the temporary folder is gone";
  }
  std::string package = out + "/result file.xlsx";
  ASSERT_TRUE(file_exists(package));
  EXPECT_EQ(entries(package),
            "[Content_Types].xml\n_rels/\n_rels/.rels\ndocProps/\ndocProps/app.xml\ndocProps/core.xml\nxl/\n"
            "xl/_rels/\nxl/_rels/workbook.xml.rels\nxl/sharedStrings.xml\nxl/styles.xml\nxl/theme/\n"
            "xl/theme/theme1.xml\nxl/workbook.xml\nxl/worksheets/\nxl/worksheets/sheet1.xml\n"
            "xl/worksheets/sheet2.xml\n");

  // Every part is well-formed XML.
  for (const char* part : {"[[]Content_Types].xml", "_rels/.rels", "docProps/app.xml", "docProps/core.xml",
                           "xl/_rels/workbook.xml.rels", "xl/sharedStrings.xml", "xl/styles.xml",
                           "xl/theme/theme1.xml", "xl/workbook.xml", "xl/worksheets/sheet1.xml",
                           "xl/worksheets/sheet2.xml"}) {
    int status = -1;
    std::string errors = scratch_folder::run("unzip -p " + scratch_folder::quote(package) + " '" + part +
                                                 "' | xmllint --noout - 2>&1",
                                             &status);
    EXPECT_EQ(status, 0) << part << ": " << errors;
  }

  if (!file_exists("/usr/bin/python3")) GTEST_SKIP() << "no /usr/bin/python3";
  expect_readers_see(package, data);
}

TEST_F(PackageSave, TextsThatLeftMemoryReadBackExactly) {
  // A budget of a few bytes: nearly every text waits in the scratch file.
  std::vector<sheet_data> data = {{L"Many", {}}, {L"Again", {}}};
  for (int r = 0; r < 2000; ++r)
    data[0].rows.push_back({L"row " + std::to_wstring(r), L"\u0416 & " + std::to_wstring(r % 7), L" same "});
  for (int r = 1999; r >= 0; r -= 3) data[1].rows.push_back({L"row " + std::to_wstring(r)});
  std::string package = out + "/spilled.xlsx";
  {
    CWorkbook book(part_file_system::real(), 64);
    fill(book, data);
    ASSERT_TRUE(book.Save(wide(package))) << std::string(book.GetLastError().begin(), book.GetLastError().end());
    EXPECT_GT(book.shared_strings.spilled_bytes(), 10000u);
  }
  EXPECT_EQ(scratch_folder::listing(temp), "");
  EXPECT_EQ(entries(package).find("scratch"), std::string::npos);
  if (!file_exists("/usr/bin/python3")) GTEST_SKIP() << "no /usr/bin/python3";
  expect_readers_see(package, data);
}

TEST_F(PackageSave, CallersNumberFormatCodeReadsBackAsGiven) {
  const std::wstring code = L"\"EUR\" #,##0.00;[Red]\"<neg>\" #,##0.00 & 'x'";
  std::string package = out + "/formats.xlsx";
  {
    CWorkbook book;
    Style style;
    style.number_format.code = code;
    int format = book.styles.Add(style);
    CWorksheet* sheet = book.AddSheet2(L"S", {});
    sheet->begin_row();
    sheet->AddCell(CellDataStr{L"a", format});
    sheet->end_row();
    ASSERT_TRUE(book.Save(wide(package)));
  }
  int status = -1;
  std::string errors = scratch_folder::run(
      "unzip -p " + scratch_folder::quote(package) + " xl/styles.xml | xmllint --noout - 2>&1", &status);
  EXPECT_EQ(status, 0) << errors;
  if (!file_exists("/usr/bin/python3")) GTEST_SKIP() << "no /usr/bin/python3";
  std::string report = scratch_folder::run(
      "/usr/bin/python3 -c 'import sys, openpyxl; print(openpyxl.load_workbook(sys.argv[1])[\"S\"][\"A1\"]"
      ".number_format.encode().hex())' " +
          scratch_folder::quote(package) + " 2>&1",
      &status);
  EXPECT_EQ(status, 0) << report;
  EXPECT_EQ(report, hex(code) + "\n");
}

TEST_F(PackageSave, ReaderDecodingOfEscapePatternIsPrevented) {
  std::wstring destination = wide(out + "/x.xlsx");
  CWorkbook book;
  fill(book, {{L"S", {{L"_x0041_"}}}});
  ASSERT_TRUE(book.Save(destination));
  std::string strings =
      scratch_folder::run("unzip -p " + scratch_folder::quote(out + "/x.xlsx") + " xl/sharedStrings.xml");
  EXPECT_NE(strings.find("<t>_x005F_x0041_</t>"), std::string::npos) << strings;
}

TEST_F(PackageSave, SecondSaveFails) {
  CWorkbook book;
  fill(book, {{L"S", {{L"a"}}}});
  ASSERT_TRUE(book.Save(wide(out + "/x.xlsx")));
  EXPECT_FALSE(book.Save(wide(out + "/y.xlsx")));
  EXPECT_EQ(book.GetLastError(), L"the workbook was saved already");
  EXPECT_EQ(scratch_folder::listing(out), "x.xlsx\n");
}

TEST_F(PackageSave, ExistingDestinationIsReplacedNotMerged) {
  std::string package = out + "/old.xlsx";
  scratch_folder::run("cd " + scratch_folder::quote(scratch.path) + " && echo x > stale.xml && zip -q " +
                      scratch_folder::quote(package) + " stale.xml");
  ASSERT_NE(entries(package).find("stale.xml"), std::string::npos);
  CWorkbook book;
  fill(book, {{L"S", {{L"a"}}}});
  ASSERT_TRUE(book.Save(wide(package)));
  EXPECT_EQ(entries(package).find("stale.xml"), std::string::npos);
}

TEST_F(PackageSave, WithoutPackerTheSaveFailsAndLeavesNothing) {
  scratch_folder empty_path;
  scoped_env path("PATH", empty_path.path.c_str());
  CWorkbook book;
  fill(book, {{L"S", {{L"a", L"b"}}}});
  EXPECT_FALSE(book.Save(wide(out + "/x.xlsx")));
  EXPECT_NE(book.GetLastError().find(L"cannot start the zip program \"zip\": No such file or directory"),
            std::wstring::npos)
      << std::string(book.GetLastError().begin(), book.GetLastError().end());
  EXPECT_EQ(scratch_folder::listing(temp), "");
  EXPECT_EQ(scratch_folder::listing(out), "");
}

// The caller names the file: in a run it is one of the run's own, gone when
// the run ends.
TEST_F(PackageSave, MissingDestinationFolderIsReported) {
  CWorkbook book;
  fill(book, {{L"S", {{L"a"}}}});
  EXPECT_FALSE(book.Save(wide(out + "/missing folder/x.xlsx")));
  EXPECT_EQ(book.GetLastError(), L"cannot create a folder beside it: No such file or directory");
  EXPECT_EQ(scratch_folder::listing(temp), "");
}

TEST_F(PackageSave, DestinationIsExactlyThePathGiven) {
  for (const char* name : {"book", "book.zip", "book.tar.gz"}) {
    scratch_folder folder;
    CWorkbook book;
    fill(book, {{L"S", {{L"a"}}}});
    ASSERT_TRUE(book.Save(wide(folder.path + "/" + name)))
        << std::string(book.GetLastError().begin(), book.GetLastError().end());
    EXPECT_EQ(scratch_folder::listing(folder.path), std::string(name) + "\n");
    // Readable as any new file of the user's is.
    mode_t mask = ::umask(0);
    ::umask(mask);
    struct stat st {};
    ASSERT_EQ(::stat((folder.path + "/" + name).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
    if (!file_exists("/usr/bin/python3")) continue;
    // Opened as a stream: openpyxl judges a path by its extension.
    EXPECT_EQ(scratch_folder::run("/usr/bin/python3 -c 'import openpyxl, sys; "
                                  "print(openpyxl.load_workbook(open(sys.argv[1], \"rb\")).sheetnames)' " +
                                  scratch_folder::quote(folder.path + "/" + name) + " 2>&1"),
              "['S']\n");
  }
}

// A zip program first on the PATH that leaves its temporary file where real
// zip puts it (the -b folder, else the archive's) and then fails as given.
class fake_zip {
 public:
  explicit fake_zip(const std::string& ending) {
    std::string script = bin.path + "/zip";
    std::ofstream(script) << "#!/bin/sh\n"
                             "while [ $# -gt 0 ]; do\n"
                             "  case \"$1\" in -b) temp=\"$2\"; shift 2;; -*) shift;; *) archive=\"$1\"; break;; esac\n"
                             "done\n"
                             "[ -n \"$temp\" ] || temp=$(dirname \"$archive\")\n"
                             "echo PK > \"$temp/ziAbC123\"\n"
                          << ending << "\n";
    ::chmod(script.c_str(), 0755);
    setenv("PATH", (bin.path + ":" + old_path).c_str(), 1);
  }
  ~fake_zip() { setenv("PATH", old_path.c_str(), 1); }

 private:
  scratch_folder bin;
  std::string old_path = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
};

TEST_F(PackageSave, FailedOrKilledZipLeavesNothingBesideTheDestination) {
  const struct {
    const char* what;
    const char* ending;
    const wchar_t* error;
  } cases[] = {
      {"killed", "kill -9 $$", L"ended with exit code 137"},
      {"disk full", "echo 'zip I/O error: No space left on device' >&2; exit 14",
       L"ended with exit code 14 (the archive cannot be written)"},
      {"no archive", "exit 0", L"left no file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fake_zip zip(c.ending);
    std::ofstream(out + "/x.xlsx") << "the earlier workbook";
    CWorkbook book;
    fill(book, {{L"S", {{L"a"}}}});
    EXPECT_FALSE(book.Save(wide(out + "/x.xlsx")));
    EXPECT_NE(book.GetLastError().find(c.error), std::wstring::npos)
        << std::string(book.GetLastError().begin(), book.GetLastError().end());
    EXPECT_EQ(scratch_folder::listing(out), "x.xlsx\n");
    std::ifstream earlier(out + "/x.xlsx");
    std::string kept;
    std::getline(earlier, kept);
    EXPECT_EQ(kept, "the earlier workbook");
    EXPECT_EQ(scratch_folder::listing(temp), "");
  }
}

TEST_F(PackageSave, StopEndsTheRunningZipAndLeavesNothing) {
  std::string pid_file = scratch.path + "/zip.pid";
  auto zip_pid = [&] {
    pid_t pid = 0;
    std::ifstream(pid_file) >> pid;
    return pid;
  };
  fake_zip zip("echo $$ > '" + pid_file + "'; exec sleep 60");
  CWorkbook book;
  fill(book, {{L"S", {{L"a"}}}});
  auto started = std::chrono::steady_clock::now();
  // Stops once the zip program runs, as Cancel or an interrupt would.
  book.stop_requested = [&] { return zip_pid() > 0; };
  EXPECT_FALSE(book.Save(wide(out + "/x.xlsx")));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  EXPECT_EQ(book.GetLastError(), L"the packing was stopped");
  pid_t pid = zip_pid();
  ASSERT_GT(pid, 0);
  EXPECT_NE(::kill(pid, 0), 0) << "the zip program still runs";
  EXPECT_EQ(scratch_folder::listing(out), "");
  EXPECT_EQ(scratch_folder::listing(temp), "");
}

TEST_F(PackageSave, UnsavedWorkbookLeavesNoTemporaryFolder) {
  {
    CWorkbook book;
    fill(book, {{L"S", {{L"a"}}}});
    EXPECT_NE(scratch_folder::listing(temp), "");
  }
  EXPECT_EQ(scratch_folder::listing(temp), "");
}

TEST(TemporaryFolder, ExistingNameIsNeverReused) {
  memory_files files;
  files.busy = 3;
  scoped_env temp("TEMP", "/some/where/");
  CWorkbook book(files);
  EXPECT_EQ(book.temp_folder.rfind(L"/some/where/xlsx_", 0), 0u);
  ASSERT_EQ(files.busy_names.size(), 3u);
  std::set<std::wstring> tried(files.busy_names.begin(), files.busy_names.end());
  EXPECT_EQ(tried.size(), 3u);
  EXPECT_EQ(tried.count(book.temp_folder), 0u);
  EXPECT_EQ(files.folders, std::set<std::wstring>{book.temp_folder});
}

}  // namespace
