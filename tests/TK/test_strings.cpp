#include "TK/tk_exception.h"
#include "TK/tk_file_name.h"
#include "TK/tk_utils.h"
#include "tk_test_support.h"
#include "tests/support/wide_text.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <limits>
#include <sys/stat.h>

namespace {

TEST(FileName, SplitsAFullPath) {
  temp_folder folder;
  tk_temp_chdir_w here(qm_test::wide(folder.path));
  ASSERT_TRUE(here.succeeded());
  tk_file_wname f(L"data.txt");
  EXPECT_EQ(f.drive, L"");
  EXPECT_EQ(f.dir, qm_test::wide(folder.path) + L"/");
  EXPECT_EQ(f.name, L"data");
  EXPECT_EQ(f.ext, L".txt");
  EXPECT_EQ(f.get_path(), qm_test::wide(folder.path) + L"/data.txt");

  tk_file_name dots("/a/b/../c/./report.final.xls");
  EXPECT_EQ(dots.dir, "/a/c/");
  EXPECT_EQ(dots.name, "report.final");
  EXPECT_EQ(dots.ext, ".xls");
}

TEST(FileName, EmptyPathIsTheProgramFolder) {
  tk_file_name own("");
  EXPECT_EQ(own.name, "");
  EXPECT_EQ(own.drive + own.dir, tk_get_module_dir());
  EXPECT_EQ(tk_get_module_name().rfind(tk_get_module_dir(), 0), 0u);
  EXPECT_THROW(tk_file_name(static_cast<const char*>(nullptr)), tk_mail_assertion);
}

TEST(FileName, SetExtension) {
  tk_file_name f("/out/emp.xlsx");
  for (auto [given, stored] : {std::pair{"xls", ".xls"}, {".xls", ".xls"}, {"", ""}}) {
    f.set_ext(given);
    EXPECT_EQ(f.ext, stored);
  }
  f.set_ext("xls");
  EXPECT_EQ(f.get_path(), "/out/emp.xls");
}

TEST(Strings, TrimOnlyBlanks) {
  EXPECT_EQ(tk_trim(std::wstring(L"   ")), L"");
  EXPECT_EQ(tk_trim(std::wstring(L"\t ")), L"\t");
  EXPECT_EQ(tk_trim(std::string("  a b  ")), "a b");
  EXPECT_EQ(tk_ltrim(std::wstring(L"  a ")), L"a ");
  EXPECT_EQ(tk_rtrim(std::wstring(L"  a ")), L"  a");
  EXPECT_EQ(tk_trim(std::string("x\r")), "x\r");
}

TEST(Strings, SplitJoinReplaceUpper) {
  EXPECT_EQ(tk_split(L"a,,b", L','), (std::vector<std::wstring>{L"a", L"", L"b"}));
  EXPECT_TRUE(tk_split(L"", L',').empty());
  EXPECT_EQ(tk_split(L"a,", L','), (std::vector<std::wstring>{L"a", L""}));
  EXPECT_EQ(tk_join({L"a", L"", L"b"}, L','), L"a,,b");
  EXPECT_EQ(tk_wstring::replace_all(L"aaa", L"a", L"aa"), L"aaaaaa");
  EXPECT_EQ(tk_wstring::replace_all(L"x", L"", L"y"), L"x");
  EXPECT_EQ(tk_wstring::to_upper(L"stra\u00dfe \u0436"), L"STRA\u00dfE \u0416");
  EXPECT_EQ(tk_compare_no_case(std::wstring(L"emp"), std::wstring(L"EMP")), 0);
  EXPECT_EQ(tk_compare_no_case(std::wstring(L"a"), std::wstring(L"B")), -1);
  EXPECT_EQ(tk_compare_no_case(std::string("b"), std::string("A")), 1);
}

TEST(Strings, CodePages) {
  std::string narrow;
  std::wstring text(2000, L'\U0001F600');  // four bytes each: more than twice the count
  ASSERT_TRUE(tk_w2a(text.c_str(), narrow));
  EXPECT_EQ(narrow.size(), 8000u);
  std::wstring back;
  ASSERT_TRUE(tk_a2w(narrow.c_str(), back));
  EXPECT_EQ(back, text);
  EXPECT_FALSE(tk_w2a(nullptr, narrow));
  EXPECT_FALSE(tk_a2w("\xff", back));
  EXPECT_EQ(tk_from_utf8(tk_to_utf8(L"\u0416 \u00e9")), L"\u0416 \u00e9");
  try {
    tk_from_utf8("\xc3");
    ADD_FAILURE();
  } catch (const tk_exception& e) {
    EXPECT_EQ(e.message.rfind("Cannot convert to UNICODE string: ", 0), 0u);
  }
  EXPECT_THROW(tk_to_utf8(std::wstring(1, static_cast<wchar_t>(0xD800))), tk_exception_ex);
}

TEST(Strings, BytesToHex) {
  const unsigned char bytes[] = {0x00, 0xAB, 0x7f};
  EXPECT_EQ(tk_bytes_to_hex(3, bytes), "00AB7F");
  EXPECT_EQ(tk_bytes_to_hex(0, bytes), "");
  EXPECT_THROW(tk_bytes_to_hex(1, bytes, nullptr), tk_mail_assertion);
}

TEST(Strings, NumberTextsAreTheShortestThatReadBack) {
  struct {
    double value;
    const char* text;
  } doubles[] = {
      {1, "1"},           {0.1, "0.1"},           {1.5, "1.5"},
      {-0.5, "-0.5"},     {0, "0"},               {123456789.125, "123456789.125"},
      {1e100, "1E+100"},  {-1e-7, "-1E-7"},       {5e-324, "5E-324"},
      {1e21, "1E+21"},    {0.30000000000000004, "0.30000000000000004"},
      {std::numeric_limits<double>::infinity(), "Inf"},
      {-std::numeric_limits<double>::infinity(), "-Inf"},
      {std::nan(""), "Nan"},
  };
  for (const auto& c : doubles) {
    EXPECT_EQ(tk_number_text(c.value), c.text) << c.text;
    if (std::isfinite(c.value)) {
      EXPECT_EQ(std::strtod(c.text, nullptr), c.value) << c.text;
    }
  }
  struct {
    float value;
    const char* text;
  } floats[] = {
      {0.1f, "0.1"}, {3.f, "3"}, {16777216.f, "16777216"}, {3.4028235e38f, "3.4028235E+38"},
      {-std::numeric_limits<float>::infinity(), "-Inf"},
  };
  for (const auto& c : floats) EXPECT_EQ(tk_number_text(c.value), c.text) << c.text;
}

TEST(Strings, Utf16LengthAndCuts) {
  struct {
    std::wstring text;
    std::size_t units;      // its UTF-16 length
    std::size_t limit;
    std::wstring cut;
  } cases[] = {
      {L"abc", 3, 3, L"abc"},
      {L"abcd", 4, 3, L"abc"},
      {L"a😀b", 4, 3, L"a😀"},
      {L"a😀b", 4, 2, L"a"},            // no half of the pair
      {L"😀😀", 4, 1, L""},
      {L"Ж\U0010FFFF", 3, 2, L"Ж"},
      {L"", 0, 0, L""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(tk_utf16_length(c.text), c.units) << c.units;
    std::wstring text = c.text;
    EXPECT_EQ(tk_utf16_cut(text, c.limit), c.cut != c.text);
    EXPECT_EQ(text, c.cut) << c.limit;
    EXPECT_LE(tk_utf16_length(text), c.limit);
  }
}

TEST(Files, ReadOnlyAndFolders) {
  temp_folder folder;
  std::string file = folder.path + "/ro.txt";
  std::ofstream(file) << "x";
  EXPECT_TRUE(tk_is_file_exist(file, 1));
  chmod(file.c_str(), 0444);
  EXPECT_TRUE(tk_is_file_exist(file, 0));
  EXPECT_TRUE(tk_is_file_exist(qm_test::wide(file), 16384));
  EXPECT_FALSE(tk_is_file_exist(file, 1));
  EXPECT_FALSE(tk_is_file_exist(folder.path + "/missing", 0));
  EXPECT_FALSE(tk_is_file_exist(folder.path, 0));
  EXPECT_TRUE(tk_is_path_exist(folder.path));
  EXPECT_FALSE(tk_is_path_exist(file));
  EXPECT_FALSE(tk_is_path_exist(qm_test::wide(folder.path + "/missing")));
}

TEST(Files, ReadLines) {
  temp_folder folder;
  std::string file = folder.path + "/lines.txt";
  const std::string long_line(100000, 'x');
  using lines = std::vector<std::string>;
  const struct {
    std::string content;
    bool read;
    lines expected;
  } cases[] = {
      {"a\nb", true, {"a", "b"}},
      {"a\r\n\r\nb\r\n", true, {"a", "", "b"}},
      {"a\rb\n", true, {"a\rb"}},
      {"", true, {}},
      {long_line + "\n", true, {long_line}},
      {std::string("a\nb\0c\n", 7), false, {}},
  };
  for (const auto& c : cases) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << c.content;
    lines got{"earlier"};
    EXPECT_EQ(tk_read_lines(file, got), c.read) << c.content.size();
    if (c.read) {
      EXPECT_EQ(got, c.expected);
    }
  }
  lines got;
  EXPECT_FALSE(tk_read_lines(folder.path + "/missing", got));
  // Opened, then no byte can be read from it.
  EXPECT_FALSE(tk_read_lines("/proc/self/mem", got));
}

TEST(Files, TempChdirIntoMissingFolderChangesNothing) {
  std::wstring before = tk_get_current_dir_w();
  {
    tk_temp_chdir_w change(L"/no/such/folder");
    EXPECT_FALSE(change.succeeded());
    EXPECT_EQ(tk_get_current_dir_w(), before);
  }
  EXPECT_EQ(tk_get_current_dir_w(), before);
  {
    tk_temp_chdir change("/tmp");
    EXPECT_TRUE(change.succeeded());
    EXPECT_EQ(tk_get_current_dir_w(), L"/tmp");
  }
  EXPECT_EQ(tk_get_current_dir_w(), before);
}

}  // namespace
