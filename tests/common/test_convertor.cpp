#include "common/error_handler.h"
#include "common/quillet_convertor.h"
#include "common_test_support.h"
#include "tests/support/files.h"
#include "tests/support/other_account.h"
#include "tests/support/scoped_env.h"

#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "tests/support/wide_text.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

class Convertor : public ::testing::Test {
 protected:
  void SetUp() override { handled.clear(); }
  temp_folder folder;
  scoped_env config{"XDG_CONFIG_HOME", folder.path};
  recording_front_end front;
  error_handler errors{oracle_error_count, oracle_error_table};
};

TEST_F(Convertor, WizardStartsWithTheDefaultsAndKeepsItsSettings) {
  front.registry = true;
  {
    quillet_convertor first(front);
    EXPECT_EQ(first.format_version, 1);
    EXPECT_TRUE(first.open_on_exit);
    EXPECT_TRUE(first.wrap_text);
    EXPECT_EQ(first.port, L"1521");
    EXPECT_FALSE(first.dates_to_strings);
    EXPECT_FALSE(first.split_data);
    EXPECT_TRUE(first.destination.empty());
    first.format_version = 2;
    // A folder name that is not UTF-8 keeps its byte (0xE9) in the store.
    first.destination = L"/out/\u0416\xDCE9.xlsx";
    first.password = L"secret";
    first.dates_to_strings = true;
    first.wrap_text = false;
  }  // stored when the convertor goes
  quillet_convertor second(front);
  EXPECT_EQ(second.format_version, 2);
  EXPECT_EQ(second.destination, L"/out/\u0416\xDCE9.xlsx");
  EXPECT_EQ(second.password, L"secret");
  EXPECT_TRUE(second.dates_to_strings);
  EXPECT_FALSE(second.wrap_text);
  struct stat st{};
  std::string store = folder.path + "/quillmark-registry/HKEY_CURRENT_USER/Software/Brightfold/Quillmark.reg";
  ASSERT_EQ(stat(store.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(Convertor, ConsoleStartsWithNoFormat) {
  quillet_convertor console(front);
  EXPECT_EQ(console.format_version, -1);
  EXPECT_FALSE(console.wrap_text);
  EXPECT_FALSE(console.open_on_exit);
  EXPECT_EQ(console.get_title(), L"Quillmark 4.1");
  EXPECT_THROW(console.get_all_tables(), tk_mail_assertion);
}

TEST_F(Convertor, SettingsFileRoundTripsEverySetting) {
  std::wstring file = qm_test::wide(folder.path + "/all.qlt");
  {
    quillet_convertor stored(front);
    stored.source_name = L"ORCL";
    stored.destination = L"/out/emp.xlsx";
    stored.format_version = 2;
    stored.split_data = true;
    stored.wrap_text = true;
    stored.dates_to_strings = true;
    stored.mode = 7;
    stored.skip_indexes = true;
    stored.only_definitions = true;
    stored.selected = {{L"DEPT", L""}, {L"Q1", L"SELECT *\r\nFROM EMP"}};
    stored.available_queries = {{L"Q1", L"SELECT *\r\nFROM EMP"}, {L"Q2", L"SELECT 1 FROM DUAL"}};
    stored.store_oracle_settings(L"db.example", L"SCOTT", L"tiger", L"1522");
    ASSERT_TRUE(stored.store_profile(file));
  }
  quillet_convertor loaded(front);
  ASSERT_TRUE(loaded.load_profile(file));
  EXPECT_EQ(loaded.source_name, L"ORCL");
  EXPECT_EQ(loaded.destination, L"/out/emp.xlsx");
  EXPECT_EQ(loaded.format_version, 2);
  EXPECT_TRUE(loaded.split_data);
  EXPECT_TRUE(loaded.wrap_text);
  EXPECT_TRUE(loaded.dates_to_strings);
  EXPECT_EQ(loaded.mode, 7u);
  EXPECT_TRUE(loaded.skip_indexes);
  EXPECT_TRUE(loaded.only_definitions);
  std::map<std::wstring, std::wstring> selected = {{L"DEPT", L""}, {L"Q1", L"SELECT *\r\nFROM EMP"}};
  EXPECT_EQ(loaded.selected, selected);
  EXPECT_EQ(loaded.selected_tables, std::vector<std::wstring>{L"DEPT"});
  EXPECT_EQ(loaded.available_queries.at(L"Q2"), L"SELECT 1 FROM DUAL");
  EXPECT_EQ(loaded.host, L"db.example");
  EXPECT_EQ(loaded.user, L"SCOTT");
  EXPECT_EQ(loaded.password, L"tiger");
  EXPECT_EQ(loaded.port, L"1522");
  struct stat st{};
  ASSERT_EQ(stat((folder.path + "/all.qlt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(Convertor, SettingsFileChangesOnlyWhatItHolds) {
  std::string path = folder.path + "/part.qlt";
  std::ofstream(path) << "[Generic settings]\nsrc=DEMO\n\n[MS Excel settings]\nformat version=7\nwrap text=\n";
  quillet_convertor c(front);
  c.store_oracle_settings(L"h", L"u", L"p", L"1521");
  c.destination = L"/keep.xls";
  c.wrap_text = true;
  ASSERT_TRUE(c.load_profile(qm_test::wide(path)));
  EXPECT_EQ(c.format_version, 0);
  EXPECT_TRUE(c.wrap_text);
  EXPECT_EQ(c.user, L"u");
  EXPECT_EQ(c.source_name, L"DEMO");
  // "dest" is missing: the destination given before stays.
  EXPECT_EQ(c.destination, L"/keep.xls");
}

TEST_F(Convertor, TestQueryRefusesWhatIsNoSelectAndRunsNothing) {
  setenv("QUILLMARK_OCI_LIBRARY", QM_BINARY_DIR "/lib/libocilite.so", 1);
  std::string source = folder.path + "/demo.db";
  {
    std::ifstream demo(QM_BINARY_DIR "/share/ocilite/demo.db", std::ios::binary);
    std::ofstream(source, std::ios::binary) << demo.rdbuf();
  }
  quillet_convertor c(front);
  auto test = [&](const wchar_t* text) {
    return c.oracle_converter_impl::test_query(qm_test::wide(source), L"scott", L"", text);
  };
  EXPECT_TRUE(test(L"SELECT * FROM RAW_DATA"));
  EXPECT_FALSE(test(L"DROP TABLE RAW_DATA"));
  EXPECT_FALSE(test(L"CREATE TABLE PWNED (A NUMBER)"));
  EXPECT_FALSE(test(L"DELETE FROM DEPT"));
  EXPECT_TRUE(test(L"SELECT * FROM RAW_DATA"));
  EXPECT_FALSE(test(L"SELECT * FROM PWNED"));
  auto dept = c.source_db->get_query(L"Q", L"SELECT * FROM DEPT", 1);
  EXPECT_EQ(dept->record_count, 4);
}

TEST_F(Convertor, DestinationChecks) {
  quillet_convertor c(front);
  std::string ro = folder.path + "/ro.xlsx";
  std::ofstream(ro) << "x";
  chmod(ro.c_str(), 0444);
  std::string old = folder.path + "/old.xlsx";
  std::ofstream(old) << "x";
  struct {
    std::string path;
    const char* message;
  } cases[] = {
      {folder.path, "Destination name should specify a file, not folder."},
      {ro, "Destination name specifies an existing read-only file."},
      {folder.path + "/missing/out.xlsx", "Destination path does not exist.\nPlease verify the correct path was given."},
      {old, nullptr},
      {"", "You should enter MS Excel spredsheet name"},
      // A folder, whether it exists or not, is no file.
      {folder.path + "/missing/", "Destination name should specify a file, not folder."},
  };
  for (const auto& k : cases) {
    c.destination = qm_test::wide(k.path);
    if (!k.message) {
      c.check_dest();
      struct stat st{};
      EXPECT_EQ(stat(k.path.c_str(), &st), 0) << "the run replaces an existing destination, not the check";
      continue;
    }
    try {
      c.check_dest();
      ADD_FAILURE() << k.path;
    } catch (const tk_exception& e) {
      EXPECT_EQ(e.message, k.message);
      EXPECT_EQ(e.level, 1);
    }
  }
}

// The source the connection would open, a settings file, the table list
// and the log are refused as the destination by whatever name leads to
// them, before anything is connected, and stay as they were.
TEST_F(Convertor, ADestinationThatIsAFileTheRunReadsIsRefusedByAnyName) {
  const std::string source = folder.path + "/db.xls", settings = folder.path + "/p.xls",
                    tables = folder.path + "/t.xls", log = folder.path + "/run.xls";
  for (const std::string& file : {source, settings, tables, log}) std::ofstream(file) << "the user's " + file;
  const struct {
    std::string file;
    std::string message;
  } kinds[] = {
      {source, "Destination name specifies the source database: "},
      {settings, "Destination name specifies a settings file the run reads: "},
      {tables, "Destination name specifies the table list: "},
      {log, ""},
  };
  const std::string before = qm_test::file_tree(folder.path);
  for (const auto& kind : kinds) {
    const std::string name = kind.file.substr(folder.path.size() + 1);
    const std::string hard = folder.path + "/hard-" + name, soft = folder.path + "/soft-" + name;
    ASSERT_EQ(link(kind.file.c_str(), hard.c_str()), 0);
    ASSERT_EQ(symlink(name.c_str(), soft.c_str()), 0);
    for (const std::string& by : {kind.file, folder.path + "/./" + name, name, hard, soft}) {
      SCOPED_TRACE(by);
      // Held, as the programs hold it until the source is open.
      tk_log trace;
      trace.hold();
      quillet_convertor c(front);
      // A TNS alias that names a file: ocilite opens that file.
      c.source_name = qm_test::wide(source);
      c.format_version = 1;
      c.reads_file(settings);
      c.reads_file(tables, tk_converter::read_kind::table_list);
      c.set_logfile(log);
      c.destination = qm_test::wide(by);
      char previous[4096];
      ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
      ASSERT_EQ(chdir(folder.path.c_str()), 0);
      try {
        c.check_dest();
        ADD_FAILURE() << "not refused";
      } catch (const tk_exception& e) {
        EXPECT_EQ(e.level, 1);
        EXPECT_EQ(e.message, kind.message.empty() ? "Logfile name specifies the destination file."
                                                  : kind.message + "\"" + by + "\".");
      }
      ASSERT_EQ(chdir(previous), 0);
    }
    std::remove(hard.c_str());
    std::remove(soft.c_str());
  }
  EXPECT_EQ(qm_test::file_tree(folder.path), before);
}

// What would otherwise show only when the finished workbook is put in
// place is refused by the check, before anything is connected.
TEST_F(Convertor, WhatOnlyTheEndOfTheRunWouldMeetIsRefusedBeforeIt) {
  qm_test::shared_folder shared;
  const std::string report = shared.file("report.xls");
  std::ofstream(report) << "the shared report";
  ASSERT_EQ(symlink("gone.xls", shared.file("dangling.xls").c_str()), 0);
  auto refusal = [this](const std::string& destination) {
    quillet_convertor c(front);
    c.format_version = 1;
    c.destination = qm_test::wide(destination);
    try {
      c.check_dest();
      return std::string("(accepted)");
    } catch (const tk_exception& e) {
      return e.message;
    }
  };
  auto cannot = [](const std::string& destination, const std::string& why) {
    return "Cannot write the destination file \"" + destination + "\": " + why + ".";
  };
  EXPECT_EQ(refusal(shared.file("dangling.xls")),
            cannot(shared.file("dangling.xls"), "it is a symbolic link to a file that does not exist"));
  EXPECT_EQ(refusal(report), "(accepted)");
  if (geteuid() != 0) {
    const std::string closed = folder.path + "/closed";
    ASSERT_EQ(mkdir(closed.c_str(), 0500), 0);
    EXPECT_EQ(refusal(closed + "/out.xls"),
              cannot(closed + "/out.xls", "cannot create a folder beside it: Permission denied"));
    chmod(closed.c_str(), 0700);
    GTEST_SKIP() << "the cases of another account's files need root";
  }
  const qm_test::account other = qm_test::other_account();
  // Another account's link in root's folder; root's file in a sticky folder
  // and a folder that account cannot write, for that account.
  ASSERT_EQ(symlink("report.xls", shared.file("planted.xls").c_str()), 0);
  ASSERT_EQ(lchown(shared.file("planted.xls").c_str(), other.user, other.group), 0);
  EXPECT_EQ(refusal(shared.file("planted.xls")),
            cannot(shared.file("planted.xls"), "it is a symbolic link that belongs to another user"));
  const std::string sticky = shared.file("sticky");
  ASSERT_EQ(mkdir(sticky.c_str(), 0777), 0);
  ASSERT_EQ(chmod(sticky.c_str(), 01777), 0);
  std::ofstream(sticky + "/roots.xls") << "root's";
  chmod((sticky + "/roots.xls").c_str(), 0666);
  EXPECT_EQ(qm_test::as_account(other, [&] { return refusal(sticky + "/roots.xls"); }),
            cannot(sticky + "/roots.xls",
                   "it belongs to another user in a folder where only the owner of a file may replace it"));
  EXPECT_EQ(qm_test::as_account(other, [&] { return refusal(shared.file("out.xls")); }),
            cannot(shared.file("out.xls"), "cannot create a folder beside it: Permission denied"));
  EXPECT_EQ(qm_test::file_bytes(sticky + "/roots.xls"), "root's");
  // A file mounted over another, where this machine lets root mount.
  const std::string mounted = shared.file("mounted.xls");
  std::ofstream(mounted) << "under";
  std::ofstream(shared.file("over")) << "over";
  if (std::system(("mount --bind '" + shared.file("over") + "' '" + mounted + "' 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "no bind mount here";
  EXPECT_EQ(refusal(mounted), cannot(mounted, "it is a mount point"));
  EXPECT_EQ(std::system(("umount '" + mounted + "'").c_str()), 0);
}

TEST(FormatExtension, FollowsTheFormatWhateverTheNameHeld) {
  struct {
    std::wstring path;
    int format;
    std::wstring result;
  } cases[] = {
      {L"/out/book.xls", 2, L"/out/book.xlsx"},
      {L"/out/book.xlsx", 1, L"/out/book.xls"},
      {L"/out/book.xlsx", 0, L"/out/book.xls"},
      {L"/out/book", 2, L"/out/book.xlsx"},
      {L"/out/book.txt", 1, L"/out/book.xls"},
      {L"book.2024.xls", 2, L"book.2024.xlsx"},
      {L"/out.d/book", 0, L"/out.d/book.xls"},
      {L"/out/book.xlsx", 2, L"/out/book.xlsx"},
      // No file is named, or no format is chosen yet: left for the checks.
      {L"", 2, L""},
      {L"/out/", 2, L"/out/"},
      {L"/out/.", 2, L"/out/."},
      {L"..", 1, L".."},
      {L"/out/book.xls", -1, L"/out/book.xls"},
  };
  for (const auto& k : cases) EXPECT_EQ(with_format_extension(k.path, k.format), k.result) << k.path;
}

}  // namespace
