#include "platform/private_file.h"
#include "tests/support/files.h"
#include "tests/support/temp_folder.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>

namespace {

// Any name the file system takes is written, over an old file too, owner
// only, and nothing is left beside it.
TEST(PrivateFile, ANameAsLongAsTheFileSystemTakesIsWrittenWhole) {
  qm_test::temp_folder folder("qm_private_");
  for (std::size_t length : {8u, 249u, 255u}) {
    SCOPED_TRACE(length);
    const std::string name(length, 'n');
    const std::string path = folder.file(name);
    std::ofstream(path) << "old";
    ASSERT_FALSE(qm_platform::replace_private_file(path, "new text").failed());
    EXPECT_EQ(qm_test::file_bytes(path), "new text");
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(qm_test::listing(folder.path), name + "\n");
    std::remove(path.c_str());
  }
}

// The one way every file is replaced: a link of the user's is followed and
// stays, a link to nothing is refused with its reason and nothing is made.
TEST(PrivateFile, ALinkIsFollowedAsEveryReplacementFollowsIt) {
  qm_test::temp_folder folder("qm_private_");
  const std::string settings = folder.file("settings.qlt"), link = folder.file("link.qlt");
  std::ofstream(settings) << "old";
  ASSERT_EQ(symlink("settings.qlt", link.c_str()), 0);
  ASSERT_FALSE(qm_platform::replace_private_file(link, "through the link").failed());
  EXPECT_EQ(qm_test::file_bytes(settings), "through the link");
  struct stat st {};
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));

  const std::string dangling = folder.file("dangling.qlt");
  ASSERT_EQ(symlink("gone.qlt", dangling.c_str()), 0);
  qm_platform::replace_failure failure = qm_platform::replace_private_file(dangling, "lost");
  EXPECT_TRUE(failure.failed());
  EXPECT_EQ(failure.text(), L"it is a symbolic link to a file that does not exist");
  EXPECT_EQ(qm_test::listing(folder.path), "dangling.qlt\nlink.qlt\nsettings.qlt\n");
}

}  // namespace
