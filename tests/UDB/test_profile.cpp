#include "TK/tk_exception.h"
#include "TK/tk_utils.h"
#include "UDB/udb_converter.h"
#include "UDB/udb_profile.h"
#include "platform/utf8.h"
#include "udb_test_support.h"
#include "tests/support/wide_text.h"

#include <csignal>
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

namespace keys = udb_profile_keys;


class ProfileFile : public ::testing::Test {
 protected:
  std::wstring path(const char* name) { return qm_test::wide(folder.path + "/" + name); }
  std::string narrow(const char* name) { return folder.path + "/" + name; }
  temp_folder folder;
};

TEST_F(ProfileFile, StoredSettingsAreTheDocumentedTextReadableByTheOwnerOnly) {
  udb_converter conv;
  conv.src = L"ORCL";
  conv.dest = L"C:\\out\\emp.xlsx";
  conv.available_queries[L"Q1"] = L"SELECT * FROM EMP";
  conv.selected[L"EMP"] = L"";
  conv.selected[L"DEPT"] = L"";
  conv.selected[L"Q1"] = L"SELECT * FROM EMP";
  udb_profile profile;
  ASSERT_TRUE(conv.store_profile(profile));
  ASSERT_TRUE(profile.store(path("emp.qlt")));
  EXPECT_EQ(qm_test::file_bytes(narrow("emp.qlt")),
            "[Available Queries]\nQ1=SELECT * FROM EMP\n\n"
            "[Generic settings]\ndest=C:\\out\\emp.xlsx\nlogfile=\nmode=0\nonly definitions=0\n"
            "skip indexes=0\nsrc=ORCL\n\n"
            "[Selected Tables]\nDEPT\nEMP\nQ1=SELECT * FROM EMP\n\n");
  struct stat st {};
  ASSERT_EQ(stat(narrow("emp.qlt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  // An older file that others could read is tightened when rewritten.
  write_file(narrow("old.qlt"), "x");
  chmod(narrow("old.qlt").c_str(), 0644);
  ASSERT_TRUE(udb_profile().store(path("old.qlt")));
  ASSERT_EQ(stat(narrow("old.qlt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(ProfileFile, EmptyProfileHoldsTheThreeSections) {
  ASSERT_TRUE(udb_profile().store(path("empty.qlt")));
  EXPECT_EQ(qm_test::file_bytes(narrow("empty.qlt")), "[Available Queries]\n\n[Generic settings]\n\n[Selected Tables]\n\n");
  EXPECT_FALSE(udb_profile().store(path("missing-folder/x.qlt")));
}

TEST_F(ProfileFile, LoadRules) {
  struct {
    const char* name;
    std::string text;
    bool result;
    std::wstring section, key, value;
  } cases[] = {
      {"first value wins", "[Oracle settings]\nk=one\nk=two\n", true, L"Oracle settings", L"k", L"one"},
      {"split at the first =", "[Oracle settings]\na=b=c\n", true, L"Oracle settings", L"a", L"b=c"},
      {"line trimmed, key trimmed", "[Oracle settings]\n  key  =  v  \n", true, L"Oracle settings", L"key", L"  v"},
      {"CR LF line ends", "[Oracle settings]\r\npassword=tiger\r\n", true, L"Oracle settings", L"password", L"tiger"},
      {"only one CR is a line end", "[Oracle settings]\nv=x\r\r\n", true, L"Oracle settings", L"v", L"x\r"},
      {"no line end at the end", "[Oracle settings]\nv=last", true, L"Oracle settings", L"v", L"last"},
      {"bare line is a key", "[Selected Tables]\nEMP\n", true, L"Selected Tables", L"EMP", L""},
      {"value before any section", "k=v\n[Oracle settings]\nk=w\n", false, L"Oracle settings", L"k", L""},
      {"bare line before any section", "EMP\n", false, L"Selected Tables", L"EMP", L""},
      {"blank lines before the first section", "\n  \n[Oracle settings]\nk=v\n", true, L"Oracle settings", L"k", L"v"},
      // As editors save UTF-8 text.
      {"byte-order mark", "\xEF\xBB\xBF[Oracle settings]\r\nk=v\r\n", true, L"Oracle settings", L"k", L"v"},
      {"byte-order mark, then a value", "\xEF\xBB\xBFk=v\n[Oracle settings]\nk=w\n", false, L"Oracle settings", L"k", L""},
      {"long line", "[Oracle settings]\nq=" + std::string(100000, 'x') + "\n", true, L"Oracle settings", L"q", std::wstring(100000, L'x')},
      // A file without the escape key holds no escapes: backslashes stand as they are.
      {"backslashes as they stand", "[Oracle settings]\nd=C:\\new\\r\\\\x.xls\n", true, L"Oracle settings", L"d", L"C:\\new\\r\\\\x.xls"},
      {"escaped", "[Oracle settings]\nq=a\\nb\\r\\\\n\\x\\\n[Generic settings]\nescaped text=1\n", true, L"Oracle settings", L"q",
       L"a\nb\r\\n\\x\\"},
      {"escaped list line", "[Generic settings]\nescaped text=1\n[Selected Tables]\nA\\\\B\n", true,
       L"Selected Tables", L"A\\B", L""},
      {"escape key other than 1", "[Generic settings]\nescaped text=0\n[Oracle settings]\nq=a\\nb\n", true, L"Oracle settings", L"q",
       L"a\\nb"},
      // A section's name holds no "=": the line is an entry, and the
      // section goes on.
      {"header-like entry", "[Selected Tables]\n[q=SELECT ']' ]\nDEPT\n", true, L"Selected Tables", L"[q",
       L"SELECT ']' ]"},
      {"after a header-like entry", "[Selected Tables]\n[q=x]\nDEPT\n", true, L"Selected Tables", L"DEPT", L""},
      {"escapes of every text", "[Generic settings]\nescaped text=2\n[Selected Tables]\n\\s sp\\s\\=\\s=v\\s\n", true,
       L"Selected Tables", L"  sp = ", L"v "},
      {"escaped = in a bare key", "[Generic settings]\nescaped text=2\n[Selected Tables]\na\\=b\n", true,
       L"Selected Tables", L"a=b", L""},
      {"the first = that is no escape", "[Generic settings]\nescaped text=2\n[Oracle settings]\na\\\\=b\\=c\n", true,
       L"Oracle settings", L"a\\", L"b=c"},
      {"blank escapes need the marker 2", "[Generic settings]\nescaped text=1\n[Oracle settings]\nq=a\\s\\=\n", true,
       L"Oracle settings", L"q", L"a\\s\\="},
  };
  for (const auto& c : cases) {
    write_file(narrow("in.qlt"), c.text);
    udb_profile profile;
    EXPECT_EQ(profile.load(path("in.qlt")), c.result) << c.name;
    EXPECT_EQ(profile.get_value(c.section, c.key), c.value) << c.name;
  }

  // A table whose name looks like a header, as the writer saves it.
  write_file(narrow("in.qlt"), "[Selected Tables]\n[DEPT]=\nEMP\n");
  udb_profile bracketed;
  ASSERT_TRUE(bracketed.load(path("in.qlt")));
  EXPECT_EQ(bracketed.get_selected_tables(), (udb_profile::t_section{{L"EMP", L""}, {L"[DEPT]", L""}}));

  write_file(narrow("lists.qlt"), "[Selected Tables]\nEMP\nDEPT\nQ=SELECT 1\n");
  udb_profile profile;
  ASSERT_TRUE(profile.load(path("lists.qlt")));
  EXPECT_EQ(profile.lists[keys::selected_tables], (std::vector<std::wstring>{L"EMP", L"DEPT"}));
  EXPECT_EQ(profile.get_selected_tables().size(), 3u);
}

TEST_F(ProfileFile, AFileNameThatIsNoTextNamesThatFileOnly) {
  const std::string latin1 = folder.path + "/caf\xe9.qlt", utf8 = folder.path + "/caf\xc3\xa9.qlt";
  const std::wstring name = qm_test::wide(latin1);
  write_file(utf8, "[Generic settings]\nsrc=OTHER\n");
  udb_profile stored;
  stored.set_value(keys::generic_settings, keys::src, L"MINE");
  ASSERT_TRUE(stored.store(name));
  EXPECT_EQ(qm_test::file_bytes(utf8), "[Generic settings]\nsrc=OTHER\n");
  udb_profile loaded;
  ASSERT_TRUE(loaded.load(name));
  EXPECT_EQ(loaded.get_value(keys::generic_settings, keys::src), L"MINE");
}

TEST_F(ProfileFile, PathsThatAreNoTextAreSavedWithTheirBytes) {
  // A workbook written in a folder whose name is not UTF-8, and its log:
  // the saved settings name those files and no others.
  const std::string dest = folder.path + "/caf\xe9/book.xlsx", log = folder.path + "/l\xe9.log";
  write_file(narrow("s.qlt"), "[Generic settings]\nsrc=OLD\n\n");
  udb_converter out;
  out.src = L"ORCL";
  out.dest = qm_test::wide(dest);
  out.log_file = log;
  out.available_queries[L"Q"] = L"SELECT 1\nFROM DUAL";  // escapes on as well
  udb_profile stored;
  ASSERT_TRUE(out.store_profile(stored));
  ASSERT_TRUE(stored.store(path("s.qlt")));
  std::string text = qm_test::file_bytes(narrow("s.qlt"));
  EXPECT_NE(text.find("\ndest=" + dest + "\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nlogfile=" + log + "\n"), std::string::npos) << text;

  log_capture capture;
  udb_converter in;
  udb_profile loaded;
  ASSERT_TRUE(loaded.load(path("s.qlt")));
  ASSERT_TRUE(in.load_profile(loaded));
  EXPECT_EQ(in.dest, out.dest);
  EXPECT_EQ(in.log_file, log);
  EXPECT_EQ(capture.log.file_name, log);
  EXPECT_EQ(in.src, L"ORCL");
  EXPECT_EQ(in.available_queries, out.available_queries);
}

TEST_F(ProfileFile, TextThatIsNoUtf8IsRefusedAndTheOldFileStays) {
  const std::string old_text = "[Generic settings]\nsrc=KEPT\n\n";
  write_file(narrow("old.qlt"), old_text);
  udb_profile profile;
  profile.set_value(keys::generic_settings, keys::src, qm_test::wide("caf\xe9"));
  EXPECT_THROW(profile.store(path("old.qlt")), tk_exception);
  EXPECT_EQ(qm_test::file_bytes(narrow("old.qlt")), old_text);
  // Only a path may hold such bytes in a file.
  for (const char* line : {"src=caf\xe9", "user=caf\xe9", "caf\xe9", "Q=SELECT '\xe9' FROM DUAL"}) {
    write_file(narrow("in.qlt"), std::string("[Generic settings]\n") + line + "\n");
    EXPECT_THROW(udb_profile().load(path("in.qlt")), tk_exception) << line;
  }
  write_file(narrow("in.qlt"), "[Oracle settings]\ndest=caf\xe9\n");
  EXPECT_THROW(udb_profile().load(path("in.qlt")), tk_exception);
}

TEST_F(ProfileFile, MissingOrUnreadableFileRaises) {
  // Opened, then no byte can be read from it.
  const std::wstring read_fails = L"/proc/self/mem";
  for (const std::wstring& file : {path("nothing.qlt"), read_fails}) {
    udb_profile profile;
    try {
      profile.load(file);
      ADD_FAILURE() << "no exception";
    } catch (const tk_exception& e) {
      EXPECT_STREQ(e.what(), "Profile does not exist. Please verify the correct path/name was given.");
      EXPECT_EQ(e.level, 1);
    }
  }
}

// A file that is there but cannot be a settings file says why.
TEST_F(ProfileFile, AFileThatIsNoSettingsFileSaysWhatIsWrongWithIt) {
  const struct {
    std::string text;
    std::string why;
  } cases[] = {
      {std::string("[Selected Tables]\nDEPT\0EMP\n", 26), "its line 2 holds a zero byte"},
      {"[Selected Tables]\nDEPT\n[Notes]\nEMP\n", "its line 3 \"[Notes]\" names no section of a settings file"},
      {"[selected tables]\nDEPT\n", "its line 1 \"[selected tables]\" names no section of a settings file"},
      {"[Generic settings]\n\n  [ Selected Tables ]  \n",
       "its line 3 \"[ Selected Tables ]\" names no section of a settings file"},
  };
  for (const auto& c : cases) {
    write_file(narrow("bad.qlt"), c.text);
    try {
      udb_profile().load(path("bad.qlt"));
      ADD_FAILURE() << "no exception: " << c.why;
    } catch (const tk_exception& e) {
      EXPECT_EQ(e.message, "Cannot load the settings file \"" + narrow("bad.qlt") + "\": " + c.why + ".");
      EXPECT_EQ(e.level, 1);
    }
  }
}

TEST_F(ProfileFile, AFailedSaveLeavesTheOldFileWhole) {
  const std::string old_text = "[Generic settings]\nsrc=KEPT\n\n";
  write_file(narrow("old.qlt"), old_text);
  udb_profile profile;
  profile.set_value(keys::generic_settings, keys::src, std::wstring(4096, L'x'));
  // The disk is full after 64 bytes: a write fails part way, also for root.
  struct rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto old_handler = signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  bool stored = profile.store(path("old.qlt"));
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, old_handler);
  EXPECT_FALSE(stored);
  EXPECT_EQ(qm_test::file_bytes(narrow("old.qlt")), old_text);
  // Nothing is left beside it.
  DIR* dir = opendir(folder.path.c_str());
  ASSERT_NE(dir, nullptr);
  std::vector<std::string> names;
  while (dirent* entry = readdir(dir))
    if (entry->d_name[0] != '.') names.push_back(entry->d_name);
  closedir(dir);
  EXPECT_EQ(names, std::vector<std::string>{"old.qlt"});
}

TEST_F(ProfileFile, StoredFileLoadsBackToTheSameSettings) {
  udb_profile out;
  out.set_value(keys::selected_tables, L"\u00c4rger \u0416\U0001F600", L"");
  // Typed over several lines, with a line comment: the line breaks are kept,
  // and so is text that looks like an escape.
  const std::wstring query = L"SELECT * -- all\r\nFROM EMP\nWHERE A LIKE '\\n\\\\r%' ESCAPE '\\'\r";
  out.set_value(keys::available_queries, L"Q", query);
  out.set_value(keys::oracle_settings, keys::password, L"p=w rd");
  out.set_value(keys::generic_settings, keys::dest, L"C:\\new\\x.xls");
  ASSERT_TRUE(out.store(path("rt.qlt")));
  std::string text = qm_test::file_bytes(narrow("rt.qlt"));
  EXPECT_NE(text.find("[Selected Tables]\n\xc3\x84rger \xd0\x96\xf0\x9f\x98\x80\n"), std::string::npos);
  EXPECT_NE(text.find("Q=SELECT * -- all\\r\\nFROM EMP\\nWHERE A LIKE '\\\\n\\\\\\\\r%' ESCAPE '\\\\'\\r\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("dest=C:\\\\new\\\\x.xls\nescaped text=1\n"), std::string::npos) << text;

  udb_profile in;
  ASSERT_TRUE(in.load(path("rt.qlt")));
  EXPECT_EQ(in.get_value(keys::available_queries, L"Q"), query);
  EXPECT_EQ(in.get_value(keys::generic_settings, keys::dest), L"C:\\new\\x.xls");
  // The escape's key is the file's business, not a setting.
  EXPECT_EQ(in.get_selected_tables().count(keys::escaped_text), 0u);
  EXPECT_EQ(in.sections[keys::generic_settings].count(keys::escaped_text), 0u);
  EXPECT_EQ(in.get_selected_tables().count(L"\u00c4rger \u0416\U0001F600"), 1u);
  EXPECT_EQ(in.get_value(keys::oracle_settings, keys::password), L"p=w rd");
  EXPECT_TRUE(in.lists.count(keys::available_queries) == 0);

  // Loaded and stored again, the file is the same.
  ASSERT_TRUE(in.store(path("rt2.qlt")));
  udb_profile again;
  ASSERT_TRUE(again.load(path("rt2.qlt")));
  EXPECT_EQ(again.sections, in.sections);
}

// Keys and values that cannot stand on their lines as they are: escaped
// under the marker 2; plain ones stay as they were written before.
TEST_F(ProfileFile, TextsThatCannotStandAsTheyAreAreEscapedAndLoadBack) {
  udb_profile out;
  out.set_value(keys::selected_tables, L" sp ", L"");
  out.set_value(keys::selected_tables, L"sp", L"");
  out.set_value(keys::selected_tables, L"a=b", L"SELECT 1 FROM DUAL");
  out.set_value(keys::selected_tables, L"[q", L"SELECT ']' FROM DUAL ]");
  out.set_value(keys::selected_tables, L"[Generic settings]", L"");
  out.set_value(keys::available_queries, std::wstring(L"n\0ul", 4), L"SELECT 1 FROM DUAL");
  out.set_value(keys::oracle_settings, keys::password, L" tiger ");
  out.set_value(keys::generic_settings, keys::dest, L"C:\\new\\book.xls ");
  ASSERT_TRUE(out.store(path("e.qlt")));
  const std::string text = qm_test::file_bytes(narrow("e.qlt"));
  for (const char* line : {"\n\\ssp\\s\n", "\nsp\n", "\na\\=b=SELECT 1 FROM DUAL\n", "\n[q=SELECT ']' FROM DUAL ]\n",
                           "\n[Generic settings]=\n", "\npassword=\\stiger\\s\n", "\ndest=C:\\\\new\\\\book.xls\\s\n",
                           "\nescaped text=2\n", "\nn\\0ul=SELECT"})
    EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
  udb_profile in;
  ASSERT_TRUE(in.load(path("e.qlt")));
  EXPECT_EQ(in.sections, out.sections);
}

TEST_F(ProfileFile, ConverterSettingsRoundTrip) {
  udb_converter out;
  out.src = L"ORCL";
  out.dest = L"/out/emp.xlsx";
  out.mode = 7;
  out.only_definitions = true;
  out.skip_indexes = true;
  out.selected = {{L"EMP", L""}, {L"DEPT", L""}, {L"Q1", L"SELECT 1 FROM DUAL"}};
  out.available_queries = {{L"Q1", L"SELECT 1 FROM DUAL"}, {L"Q2", L"SELECT 2 FROM DUAL"}};
  udb_profile stored;
  ASSERT_TRUE(out.store_profile(stored));
  EXPECT_EQ(stored.get_value(keys::generic_settings, keys::mode), L"7");
  ASSERT_TRUE(stored.store(path("conv.qlt")));

  udb_converter in;
  udb_profile loaded;
  ASSERT_TRUE(loaded.load(path("conv.qlt")));
  ASSERT_TRUE(in.load_profile(loaded));
  EXPECT_EQ(in.src, out.src);
  EXPECT_EQ(in.dest, out.dest);
  EXPECT_EQ(in.mode, 7u);
  EXPECT_TRUE(in.only_definitions);
  EXPECT_TRUE(in.skip_indexes);
  EXPECT_EQ(in.selected, out.selected);
  EXPECT_EQ(in.available_queries, out.available_queries);
  // The plain tables come back in name order.
  EXPECT_EQ(in.selected_tables, (std::vector<std::wstring>{L"DEPT", L"EMP"}));
  EXPECT_EQ(in.log_file, "");
}

TEST(ConverterProfile, EmptyValuesKeepTheSettings) {
  struct {
    std::wstring only_definitions, skip_indexes, mode;
    bool start;
    bool only, skip;
    std::uint32_t mode_after;
  } cases[] = {
      {L"", L"", L"", true, true, true, 3},
      {L"", L"", L"", false, false, false, 3},
      {L"0", L"0", L"5", true, false, false, 5},
      {L"yes", L"2", L"9", false, true, true, 9},
  };
  for (const auto& c : cases) {
    udb_converter conv;
    conv.only_definitions = conv.skip_indexes = c.start;
    conv.mode = 3;
    conv.src = L"kept";
    conv.dest = L"/kept.xls";
    udb_profile profile;
    profile.set_value(keys::generic_settings, keys::only_definitions, c.only_definitions);
    profile.set_value(keys::generic_settings, keys::skip_indexes, c.skip_indexes);
    profile.set_value(keys::generic_settings, keys::mode, c.mode);
    profile.set_value(keys::generic_settings, keys::src, L"");
    ASSERT_TRUE(conv.load_profile(profile));
    EXPECT_EQ(conv.only_definitions, c.only);
    EXPECT_EQ(conv.skip_indexes, c.skip);
    EXPECT_EQ(conv.mode, c.mode_after);
    // An empty source and a missing destination keep the ones given before.
    EXPECT_EQ(conv.src, L"kept");
    EXPECT_EQ(conv.dest, L"/kept.xls");
  }
}

// A query keeps its text against a table of its name, whichever was
// selected first; of two queries the first keeps its text.
TEST(ConverterProfile, SelectedQueryKeepsItsTextAgainstATableOfItsName) {
  udb_converter conv;
  conv.selected[L"EMP"] = L"SELECT * FROM EMP";
  conv.selected[L"DEPT"] = L"";
  conv.selected[L"Q"] = L"SELECT 1 FROM DUAL";
  udb_profile profile;
  profile.set_value(keys::selected_tables, L"EMP", L"");
  profile.set_value(keys::selected_tables, L"DEPT", L"SELECT DNAME FROM DEPT");
  profile.set_value(keys::selected_tables, L"Q", L"SELECT 2 FROM DUAL");
  ASSERT_TRUE(conv.load_profile(profile));
  EXPECT_EQ(conv.selected, (std::map<std::wstring, std::wstring>{{L"DEPT", L"SELECT DNAME FROM DEPT"},
                                                                  {L"EMP", L"SELECT * FROM EMP"},
                                                                  {L"Q", L"SELECT 1 FROM DUAL"}}));
}

TEST(ConverterProfile, LogFileIsHandedToTheLog) {
  log_capture capture;
  udb_converter conv;
  udb_profile profile;
  std::string name = capture.folder.path + "/run.log";
  profile.set_value(keys::generic_settings, keys::logfile, qm_test::wide(name));
  ASSERT_TRUE(conv.load_profile(profile));
  EXPECT_EQ(conv.log_file, name);
  EXPECT_EQ(capture.log.file_name, name);

  profile.set_value(keys::generic_settings, keys::logfile, qm_test::wide(capture.folder.path));
  EXPECT_THROW(conv.load_profile(profile), tk_exception);
}

}  // namespace
