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
    ASSERT_TRUE(qm_platform::replace_private_file(path, "new text")) << qm_test::errno_text("replace_private_file");
    EXPECT_EQ(qm_test::file_bytes(path), "new text");
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(qm_test::listing(folder.path), name + "\n");
    std::remove(path.c_str());
  }
}

}  // namespace
