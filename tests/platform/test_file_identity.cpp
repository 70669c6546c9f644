#include "platform/file_identity.h"
#include "tests/support/temp_folder.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class FileIdentity : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directory(top + "/real");
    std::ofstream(top + "/real/book.xlsx") << "a workbook";
    fs::create_directory_symlink("real", top + "/linked");
    fs::create_hard_link(top + "/real/book.xlsx", top + "/hard.xlsx");
    fs::create_symlink("real/book.xlsx", top + "/to_book");
    fs::create_symlink("real/new.log", top + "/to_new");
  }

  bool same(const std::string& a, const std::string& b) {
    return qm_platform::file_identity(top + "/" + a).same_file(qm_platform::file_identity(top + "/" + b));
  }

  qm_test::temp_folder folder{"qm_identity_"};
  std::string top = folder.path;
};

TEST_F(FileIdentity, NamesOfOneFileAreOneFileWhetherItExistsOrNot) {
  struct { const char* a; const char* b; bool same; } cases[] = {
      {"real/book.xlsx", "linked/book.xlsx", true},   // a folder reached through a link
      {"real/book.xlsx", "real/../real/book.xlsx", true},
      {"real/book.xlsx", "hard.xlsx", true},          // a hard link
      {"to_book", "real/book.xlsx", true},             // a link to it
      {"real/new.log", "linked/new.log", true},        // not made yet
      {"to_new", "real/new.log", true},                // a link to a file not made yet
      {"real/book.xlsx", "real/new.log", false},
      {"real/new.log", "real/other.log", false},
      {"missing/new.log", "real/new.log", false},
  };
  for (const auto& c : cases) EXPECT_EQ(same(c.a, c.b), c.same) << c.a << " / " << c.b;
}

TEST_F(FileIdentity, TheFilesTheProcessHoldsOpenAreFound) {
  auto held = [&] {
    qm_platform::file_identity book(top + "/linked/book.xlsx");
    for (const auto& file : qm_platform::open_files())
      if (file.same_file(book)) return true;
    return false;
  };
  EXPECT_FALSE(held());
  int fd = ::open((top + "/real/book.xlsx").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  EXPECT_TRUE(held());
  ::close(fd);
  EXPECT_FALSE(held());
  // Only written to, as a log line or a workbook: not a file the process reads.
  fd = ::open((top + "/real/book.xlsx").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  EXPECT_FALSE(held());
  ::close(fd);
}

TEST_F(FileIdentity, OnlyTheNameItselfCountsAsALink) {
  EXPECT_TRUE(qm_platform::is_symbolic_link(top + "/to_book"));
  EXPECT_TRUE(qm_platform::is_symbolic_link(top + "/to_new"));
  EXPECT_FALSE(qm_platform::is_symbolic_link(top + "/linked/book.xlsx"));
  EXPECT_FALSE(qm_platform::is_symbolic_link(top + "/real/new.log"));
}

}  // namespace
