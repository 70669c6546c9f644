#include "TK/tk_converter.h"
#include "TK/tk_log.h"
#include "tests/support/files.h"
#include "tk_test_support.h"
#include "tests/support/wide_text.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

TEST(Log, WithoutAnInstanceNothingIsWritten) {
  ASSERT_FALSE(tk_log::exists());
  tk_log::write(3, "nothing %d", 1);
  tk_log::write(3, L"nothing %ls", L"x");
}

class LogFile : public ::testing::Test {
 protected:
  void SetUp() override {
    file = folder.path + "/trace.log";
    log.set_file_name(file.c_str());
    log.time_stamp = false;
  }
  temp_folder folder;
  std::string file;
  tk_log log;
};

TEST_F(LogFile, DisabledUntilEnabledThenThresholdDecides) {
  tk_log::write(3, "before");
  EXPECT_EQ(qm_test::file_bytes(file), "");
  log.enabled = true;
  log.threshold = 2;
  tk_log::write(1, "trace");
  tk_log::write(2, "detail %d", 2);
  tk_log::write(3, L"event %ls", L"\u0416");
  EXPECT_EQ(qm_test::file_bytes(file), "detail 2\nevent \xd0\x96\n");
}

TEST_F(LogFile, FirstWriteEmptiesAnOldFileLaterWritesAppend) {
  std::ofstream(file) << "left by an earlier run\n";
  log.enabled = true;
  tk_log::write(1, "one");
  tk_log::write(1, "two");
  EXPECT_EQ(qm_test::file_bytes(file), "one\ntwo\n");
}

TEST_F(LogFile, HeldLinesWaitThenAreWrittenOrDropped) {
  const std::string old = "the user's old workbook";
  for (bool refused : {false, true}) {
    std::ofstream(file) << old;
    log.enabled = true;
    log.truncated = false;
    log.hold();
    tk_log::write(1, "parameter #%d: %s", 1, "--profile=p.qlt");
    tk_log::write(1, L"wide %ls", L"\u0416");
    EXPECT_EQ(qm_test::file_bytes(file), old);
    if (refused) {
      log.discard();
      tk_log::write(1, "after");
      EXPECT_EQ(qm_test::file_bytes(file), old);
    } else {
      log.release();
      tk_log::write(1, "after");
      EXPECT_EQ(qm_test::file_bytes(file), "parameter #1: --profile=p.qlt\nwide \xd0\x96\nafter\n");
    }
  }
}

TEST_F(LogFile, TimeStampIsTwoDigitsEachAndOneBlank) {
  log.enabled = true;
  log.time_stamp = true;
  tk_log::write(1, "stamped");
  std::string line = qm_test::file_bytes(file);
  ASSERT_EQ(line.size(), 17u) << line;
  for (int i : {0, 1, 3, 4, 6, 7}) EXPECT_TRUE(isdigit(static_cast<unsigned char>(line[i]))) << line;
  EXPECT_EQ(line.substr(2, 1) + line.substr(5, 1), "::");
  EXPECT_EQ(line.substr(8), " stamped\n");
}

TEST_F(LogFile, LongWideLineIsCutNeverOverrun) {
  log.enabled = true;
  std::wstring huge(30000, L'x');
  tk_log::write(1, L"%ls", huge.c_str());
  std::string text = qm_test::file_bytes(file);
  EXPECT_EQ(text, std::string(tk_log::wide_buffer_size - 1, 'x') + "\n");
  // Past the UTF-8 buffer the text is left out, the line end stays.
  std::wstring wide(6000, L'\u0416');
  log.truncated = false;
  tk_log::write(1, L"%ls", wide.c_str());
  EXPECT_EQ(qm_test::file_bytes(file), "\n");
}

TEST_F(LogFile, SetLogfileChecksTheNameThenEnables) {
  tk_converter converter;
  converter.set_logfile("");
  EXPECT_FALSE(log.enabled);

  struct { std::string name; std::string message; } refused[] = {
      {folder.path, "Logfile name specifies an existing path."},
      {folder.path + "/missing/x.log", "Logfile path does not exist.\nPlease verify the correct path was given."},
  };
  std::string read_only = folder.path + "/ro.log";
  std::ofstream(read_only) << "x";
  chmod(read_only.c_str(), 0444);
  for (const auto& r : refused) {
    try {
      converter.set_logfile(r.name);
      ADD_FAILURE() << r.name;
    } catch (const tk_exception& e) {
      EXPECT_EQ(e.message, r.message);
      EXPECT_EQ(e.level, 1);
      EXPECT_EQ(converter.log_file, r.name);  // the rejected name is kept
    }
  }
  EXPECT_THROW(converter.set_logfile(read_only), tk_exception);
  // Nothing but a regular file: opening a named pipe would wait for a
  // reader, a device never ends.
  std::string pipe = folder.path + "/pipe";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  for (const std::string& name : {pipe, std::string("/dev/null")}) {
    try {
      converter.set_logfile(name);
      ADD_FAILURE() << name;
    } catch (const tk_exception& e) {
      EXPECT_EQ(e.message, "Logfile name specifies an existing path.") << name;
    }
  }
  EXPECT_FALSE(log.enabled);

  std::string good = folder.path + "/run.log";
  converter.set_logfile(good);
  EXPECT_TRUE(log.enabled);
  EXPECT_EQ(log.file_name, good);
}

mode_t mode_of(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST_F(LogFile, OnlyItsOwnerReadsItWhetherNewOrLeftByAnEarlierRun) {
  log.enabled = true;
  tk_log::write(1, "new");
  EXPECT_EQ(mode_of(file), 0600u);
  tk_log::write(1, "appended");
  EXPECT_EQ(mode_of(file), 0600u);

  std::string old = folder.path + "/old.log";
  std::ofstream(old) << "an earlier run's values\n";
  chmod(old.c_str(), 0644);
  log.set_file_name(old.c_str());
  log.truncated = false;
  tk_log::write(1, "fresh");
  EXPECT_EQ(qm_test::file_bytes(old), "fresh\n");
  EXPECT_EQ(mode_of(old), 0600u);
}

std::vector<std::string> reported;
void keep_report(const std::string& message) { reported.push_back(message); }

// A run that ended before its source was open may have a log named like
// that source: the held lines go only where they take nothing's place.
TEST_F(LogFile, HeldLinesOfARunWithoutItsSourceGoOnlyIntoANewOrEmptyFile) {
  log.report_failure = keep_report;
  const std::string left = "The log file " + file + " was left as it was: the run ended before its source was open.";
  struct {
    const char* what;
    bool exists;
    std::string before;
    bool emptied_before;  // by this log, earlier in the process
    std::string after;
    std::vector<std::string> said;
  } cases[] = {
      {"new", false, "", false, "held\nafter\n", {}},
      {"empty", true, "", false, "held\nafter\n", {}},
      {"a file of the user's", true, std::string("SQLite format 3\0the user's data", 31), false,
       std::string("SQLite format 3\0the user's data", 31), {left}},
      {"the log's own", true, "earlier\n", true, "earlier\nheld\nafter\n", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    unlink(file.c_str());
    if (c.exists) std::ofstream(file, std::ios::binary) << c.before;
    reported.clear();
    log.enabled = true;
    log.truncated = c.emptied_before;
    log.hold();
    tk_log::write(1, "held");
    log.release_without_source();
    tk_log::write(1, "after");
    EXPECT_EQ(qm_test::file_bytes(file), c.after);
    EXPECT_EQ(reported, c.said);
    if (c.said.empty() && !c.emptied_before) {
      EXPECT_EQ(mode_of(file), 0600u);
    }
  }
}

TEST_F(LogFile, APipePutInItsPlaceIsNeverWaitedOn) {
  // Would wait for ever for a reader: ends the test instead.
  alarm(20);
  ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
  log.enabled = true;
  tk_log::write(3, "lost");
  tk_log::write(3, L"lost %ls", L"too");
  alarm(0);
  struct stat st {};
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(LogFile, TheDestinationIsRefusedWhenItIsTheLogFile) {
  tk_converter converter;
  std::string good = folder.path + "/run.log";
  converter.set_logfile(good);
  tk_log::write(1, "the log exists once written");
  std::string link = folder.path + "/link.xls";
  ASSERT_EQ(symlink("run.log", link.c_str()), 0);
  std::string here = folder.path + "/sub";
  mkdir(here.c_str(), 0700);
  struct { std::string destination; bool refused; } cases[] = {
      {good, true},
      {folder.path + "/sub/../run.log", true},
      {link, true},
      {folder.path + "/run.xls", false},
      {folder.path + "/sub/run.log", false},
  };
  for (const auto& c : cases) {
    std::wstring destination = qm_test::wide(c.destination);
    try {
      converter.check_logfile_apart(destination);
      EXPECT_FALSE(c.refused) << c.destination;
    } catch (const tk_exception& e) {
      EXPECT_TRUE(c.refused) << c.destination;
      EXPECT_EQ(e.message, "Logfile name specifies the destination file.");
      EXPECT_EQ(e.level, 1);
    }
  }
  // A log given relative to the current folder, not written yet.
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(here.c_str()), 0);
  tk_converter relative;
  relative.set_logfile("new.log");
  std::string named = here + "/new.log";
  EXPECT_THROW(relative.check_logfile_apart(qm_test::wide(named)), tk_exception);
  // A later settings file without a log name clears the member, not the
  // name the log goes on writing to.
  relative.set_logfile("");
  EXPECT_TRUE(relative.log_file.empty());
  EXPECT_THROW(relative.check_logfile_apart(qm_test::wide(named)), tk_exception);
  ASSERT_EQ(chdir(previous), 0);
}

TEST_F(LogFile, ALogNamingTheKnownDestinationIsRefusedBeforeItTouchesTheFile) {
  const std::string workbook = folder.path + "/e.xls", old = "the user's old workbook";
  std::ofstream(workbook) << old;
  std::string link = folder.path + "/link.log";
  ASSERT_EQ(symlink("e.xls", link.c_str()), 0);
  tk_converter converter;
  converter.dest = qm_test::wide(workbook);
  for (const std::string& name : {workbook, folder.path + "/./e.xls", link}) {
    try {
      converter.set_logfile(name);
      ADD_FAILURE() << name;
    } catch (const tk_exception& e) {
      EXPECT_EQ(e.message, "Logfile name specifies the destination file.") << name;
    }
    EXPECT_FALSE(log.enabled) << name;
  }
  tk_log::write(3, "nowhere");
  EXPECT_EQ(qm_test::file_bytes(workbook), old);
}

}  // namespace
