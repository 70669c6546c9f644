// The folders the tests live in.
#include "tests/support/child_run.h"
#include "tests/support/files.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_sandbox.h"
#include "tests/support/wide_text.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool exists(const std::string& path) {
  struct stat st{};
  return lstat(path.c_str(), &st) == 0;
}

std::string env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "<unset>";
}

TEST(TestSandbox, HomeXdgFoldersAndTmpdirAreTheProgramsOwn) {
  const qm_test::sandbox_folders& box = qm_test::sandbox();
  EXPECT_EQ(env("HOME"), box.home);
  EXPECT_EQ(env("XDG_CONFIG_HOME"), box.home + "/.config");
  EXPECT_EQ(env("XDG_RUNTIME_DIR"), box.runtime);
  EXPECT_EQ(env("TMPDIR"), box.temp);
  EXPECT_EQ(env("TEMP"), "<unset>");
  for (const std::string& folder : {box.home, box.runtime, box.temp}) {
    EXPECT_EQ(folder.rfind(box.top + "/", 0), 0u) << folder;
    struct stat st{};
    ASSERT_EQ(stat(folder.c_str(), &st), 0) << folder;
    EXPECT_EQ(st.st_mode & 0777, 0700u) << folder;
  }
  EXPECT_EQ(box.top.rfind(box.outer_temp + "/qm_test_", 0), 0u) << box.top;
  // A temporary folder of a test goes into the sandbox.
  qm_test::temp_folder folder;
  EXPECT_EQ(folder.path.rfind(box.temp + "/qm_", 0), 0u) << folder.path;
}

TEST(TestSandbox, ARunOfTheProgramInAChildSharesIt) {
  const std::string home = qm_test::sandbox().home;
  qm_test::child_run end = qm_test::run_in_child([&] {
    std::fprintf(stderr, "child home %s\n", qm_test::sandbox().home == home ? "shared" : "new");
    std::_Exit(3);
  });
  EXPECT_TRUE(end.exited_with(3)) << end.describe();
  EXPECT_EQ(end.error_output, "child home shared\n");
  EXPECT_TRUE(exists(home)) << "the child removed the sandbox";
}

TEST(TestSandbox, AProgramEndedOnTheSpotRemovesTheSandboxItMadeAndNoOther) {
  // A run of the program in a child shares the sandbox: it stays.
  qm_test::child_run shared = qm_test::run_in_child([] { qm_test::end_now(3); });
  EXPECT_TRUE(shared.exited_with(3)) << shared.describe();
  EXPECT_TRUE(exists(qm_test::sandbox().home)) << "the child removed the sandbox";
  // A program started afresh makes its own in its TMPDIR.
  qm_test::temp_folder outer;
  {
    scoped_env temp("TMPDIR", outer.path);
    scoped_env afresh("QM_TEST_SANDBOX", nullptr);
    qm_test::child_run own = qm_test::run_in_child([] { qm_test::end_now(3); });
    EXPECT_TRUE(own.exited_with(3)) << own.describe();
  }
  EXPECT_EQ(qm_test::listing(outer.path), "");
}

TEST(ChildRun, AStatementThatReturnsOrHangsFailsAndSaysSo) {
  qm_test::child_run returned = qm_test::run_in_child([] {});
  EXPECT_TRUE(returned.exited_with(1)) << returned.describe();
  EXPECT_EQ(returned.error_output, "run_in_child: the statement returned\n");
  qm_test::child_run hung = qm_test::run_in_child([] { pause(); }, std::chrono::seconds(1));
  EXPECT_FALSE(hung.exited_with(0));
  EXPECT_EQ(hung.problem, "the child did not end within 1 s and was killed");
}

TEST(TempFolder, AFolderThatCannotBeMadeNamesItsPathAndErrno) {
  qm_test::temp_folder top;
  const std::string missing = top.file("missing");
  try {
    qm_test::temp_folder folder("qm_x_", missing);
    ADD_FAILURE() << "made " << folder.path;
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "cannot make the folder \"" + missing + "/qm_x_XXXXXX\": No such file or directory (errno 2)");
  }
}

TEST(TempFolder, GoesWithReadOnlyFoldersAndFilesButNotWhereALinkPoints) {
  qm_test::temp_folder outside;
  const std::string kept = outside.file("kept.txt");
  std::ofstream(kept) << "kept";
  std::string path;
  {
    qm_test::temp_folder folder;
    path = folder.path;
    ASSERT_EQ(mkdir(folder.file("locked").c_str(), 0700), 0);
    std::ofstream(folder.file("locked/file.txt")) << "x";
    ASSERT_EQ(chmod(folder.file("locked/file.txt").c_str(), 0400), 0);
    ASSERT_EQ(chmod(folder.file("locked").c_str(), 0500), 0);
    ASSERT_EQ(symlink(outside.path.c_str(), folder.file("link").c_str()), 0);
  }
  EXPECT_FALSE(exists(path));
  EXPECT_TRUE(exists(kept));
}

// Paths under a TMPDIR of any letters: decoded, not widened byte by byte;
// bytes that are no UTF-8 keep their own code points.
TEST(WideText, DecodesUtf8AndKeepsOtherBytes) {
  const struct {
    std::string narrow;
    std::wstring wide;
  } cases[] = {
      {"/tmp/\xc3\xa9t\xc3\xa9", L"/tmp/\u00e9t\u00e9"},
      {"\xd0\x96\xe2\x82\xac\xf0\x9f\x98\x80", L"\u0416\u20ac\U0001F600"},
      {"caf\xe9", L"caf\xdce9"},
      {"\xe2\x82", L"\xdce2\xdc82"},          // cut short
      {"\xc0\xaf", L"\xdcc0\xdcaf"},          // overlong
      {"\xed\xa0\x80", L"\xdced\xdca0\xdc80"},  // a surrogate
      {"\xf4\x90\x80\x80", L"\xdcf4\xdc90\xdc80\xdc80"},  // beyond U+10FFFF
  };
  for (const auto& c : cases) EXPECT_EQ(qm_test::wide(c.narrow), c.wide) << c.narrow;
}

}  // namespace
