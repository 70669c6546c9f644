// The workbook database adapter, end to end: packages written through the
// database interfaces and read back by openpyxl.
#include "TK/tk_exception.h"
#include "platform/utf8.h"
#include "support.h"
#include "tests/support/wide_text.h"
#include "xlsx/xlsx_db.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using qm_test::wide;

bool file_exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

udb_schema schema_of(std::initializer_list<const wchar_t*> names) {
  udb_schema schema;
  for (const wchar_t* n : names)
    schema.push_back(std::make_unique<t_ftd>(40, n, VT_BSTR, false, 0, ole_variant(), 0, L""));
  return schema;
}

void append(udb_recordset& table, std::initializer_list<ole_variant> values) {
  udb_record record;
  int i = 0;
  for (const ole_variant& v : values)
    record.push_back(std::make_unique<udb_field>(L"F" + std::to_wstring(i++), 40, v, false, 0));
  table.append_record(record);
}

// The cells of every sheet as openpyxl's streaming reader sees them (it
// trusts each sheet's extent): one line per row, cells as Python literals
// separated by " | ", a sheet's name on a line "# name".
std::string read_back(const std::string& package) {
  static const char* script = R"(
import sys, openpyxl
book = openpyxl.load_workbook(sys.argv[1], read_only=True)
for sheet in book.worksheets:
    print("#", ascii(sheet.title))
    for row in sheet.iter_rows(values_only=True):
        print(" | ".join(ascii(v) for v in row))
)";
  std::string path = package + ".py";
  std::ofstream(path) << script;
  int status = -1;
  std::string out = scratch_folder::run(
      "/usr/bin/python3 " + scratch_folder::quote(path) + " " + scratch_folder::quote(package) + " 2>&1", &status);
  return status == 0 ? out : "reader failed: " + out;
}

class XlsxDatabase : public ::testing::Test {
 protected:
  scratch_folder scratch;
  std::string temp = scratch.path + "/temp";
  scoped_env temp_env{"TEMP", nullptr};

  void SetUp() override {
    ASSERT_EQ(::mkdir(temp.c_str(), 0700), 0);
    setenv("TEMP", temp.c_str(), 1);
  }
  bool have_reader() const { return file_exists("/usr/bin/python3"); }
};

TEST_F(XlsxDatabase, HeaderAndRecordsReadBackExactly) {
  std::string destination = scratch.path + "/out.xlsx";
  {
    xlsx_database db(wide(destination), false);
    std::unique_ptr<udb_recordset> t = db.create_table(L"EMP", schema_of({L"ID", L"TEXT", L"NOTE"}), {});
    append(*t, {ole_variant(1), ole_variant(std::wstring(L"3.14")), ole_variant(std::wstring(L"2010-12-31 10:20:30.005"))});
    append(*t, {ole_variant(2), ole_variant(), ole_variant(std::wstring(L"a<b & \"c\""))});
    append(*t, {ole_variant(3), ole_variant(std::wstring(L"\u0416 \u00df \u00e9")), ole_variant(std::wstring(L"tab\there"))});
    append(*t, {ole_variant(4), ole_variant(std::wstring(L"line\nfeed")), ole_variant(std::wstring(L"=HYPERLINK(\"x\")"))});
    append(*t, {ole_variant(3.25), ole_variant(std::wstring(L"")), ole_variant(true)});
    db.save_table(*t);
    std::unique_ptr<udb_recordset> empty = db.create_table(L"NO ROWS", schema_of({L"A", L"B"}), {});
    db.save_table(*empty);
    db.save();
    EXPECT_EQ(db.workbook, nullptr);
  }
  EXPECT_EQ(scratch_folder::listing(temp), "");
  ASSERT_TRUE(file_exists(destination));
  if (!have_reader()) GTEST_SKIP() << "no /usr/bin/python3";
  std::string expected = "# 'EMP'\n"
                         "'ID' | 'TEXT' | 'NOTE'\n"
                         "'1' | '3.14' | '2010-12-31 10:20:30.005'\n"
                         "'2' | None | 'a<b & \"c\"'\n"
                         "'3' | '\\u0416 \\xdf \\xe9' | 'tab\\there'\n"
                         "'4' | 'line\\nfeed' | '=HYPERLINK(\"x\")'\n";
  std::string got = read_back(destination);
  EXPECT_EQ(got.substr(0, expected.size()), expected) << got;
  // The double's text, then an empty cell, then the boolean in column C.
  EXPECT_NE(got.find("| None | '1'\n# 'NO ROWS'\n'A' | 'B'\n"), std::string::npos) << got;
}

TEST_F(XlsxDatabase, OneWorkbookPerTable) {
  std::string folder = scratch.path + "/per table";
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  {
    xlsx_database db(wide(folder + "/x.xlsx"), true);
    for (const wchar_t* name : {L"A", L"B"}) {
      std::unique_ptr<udb_recordset> t = db.create_table(name, schema_of({L"N"}), {});
      append(*t, {ole_variant(std::wstring(name))});
      db.save_table(*t);
      EXPECT_EQ(db.workbook, nullptr);
    }
    db.save();
  }
  EXPECT_EQ(scratch_folder::listing(folder), "A.xlsx\nB.xlsx\n");
  if (!have_reader()) GTEST_SKIP() << "no /usr/bin/python3";
  EXPECT_EQ(read_back(folder + "/B.xlsx"), "# 'B'\n'N'\n'B'\n");
}

TEST_F(XlsxDatabase, QueriesAndTablesOfTheDestination) {
  xlsx_database db(wide(scratch.path + "/q.xlsx"), false);
  EXPECT_TRUE(db.test_query(L"any text at all"));
  EXPECT_EQ(db.get_query(L"Q", L"SELECT 1 FROM DUAL", 0), nullptr);
  try {
    db.get_table(L"EMP");
    FAIL() << "get_table is not supported";
  } catch (const tk_mail_assertion& e) {
    EXPECT_EQ(e.level, 2);
  }
  EXPECT_EQ(db.name, wide(scratch.path + "/q.xlsx"));
  EXPECT_EQ(db.mode, 1);
}

TEST_F(XlsxDatabase, FailedPackageRaisesAndCleansUp) {
  scratch_folder empty_path;
  std::string destination = scratch.path + "/out.xlsx";
  xlsx_database db(wide(destination), false);
  std::unique_ptr<udb_recordset> t = db.create_table(L"T", schema_of({L"A"}), {});
  append(*t, {ole_variant(1)});
  db.save_table(*t);
  scoped_env path("PATH", empty_path.path.c_str());
  try {
    db.save();
    FAIL() << "the save must fail without a packer";
  } catch (const tk_exception& e) {
    EXPECT_EQ(e.level, 1);
    EXPECT_EQ(e.message, "Cannot write the destination file \"" + destination +
                             "\": cannot start the zip program \"zip\": No such file or directory");
  }
  EXPECT_EQ(db.workbook, nullptr);
  EXPECT_EQ(scratch_folder::listing(temp), "");
  EXPECT_FALSE(file_exists(destination));
}

// Told when the table is made, before its records are read, with the
// system's reason for the folder (not that of a part inside it).
TEST_F(XlsxDatabase, ATemporaryFolderThatCannotBeMadeFailsTheTableAtOnce) {
  // A file where the temporary folder's parent should be.
  std::string blocker = scratch.path + "/not a folder";
  std::ofstream(blocker) << "x";
  setenv("TEMP", blocker.c_str(), 1);
  xlsx_database db(wide(scratch.path + "/out.xlsx"), false);
  try {
    db.create_table(L"T", schema_of({L"A"}), {});
    FAIL() << "the sheet part cannot exist";
  } catch (const tk_exception& e) {
    EXPECT_EQ(e.level, 1);
    EXPECT_EQ(e.message.rfind("Cannot write the destination file \"" + scratch.path + "/out.xlsx\": cannot create the "
                              "folder \"" + blocker + "/xlsx_", 0), 0u) << e.message;
    EXPECT_EQ(e.message.substr(e.message.size() - 18), "\": Not a directory") << e.message;
  }
  EXPECT_THROW(db.save(), tk_exception);
  EXPECT_FALSE(file_exists(scratch.path + "/out.xlsx"));
}

}  // namespace
