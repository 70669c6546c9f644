#include "platform/private_file.h"
#include "tests/support/temp_folder.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/stat.h>

namespace {

std::string names_in(const std::string& folder) {
  std::string names;
  DIR* d = opendir(folder.c_str());
  if (!d) return "?";
  while (dirent* e = readdir(d))
    if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names += std::string(e->d_name) + " ";
  closedir(d);
  return names;
}

// Any name the file system takes is written, over an old file too, owner
// only, and nothing is left beside it.
TEST(PrivateFile, ANameAsLongAsTheFileSystemTakesIsWrittenWhole) {
  qm_test::temp_folder folder("qm_private_");
  for (std::size_t length : {8u, 249u, 255u}) {
    SCOPED_TRACE(length);
    const std::string name(length, 'n');
    const std::string path = folder.file(name);
    std::ofstream(path) << "old";
    ASSERT_TRUE(qm_platform::replace_private_file(path, "new text")) << strerror(errno);
    std::stringstream read;
    read << std::ifstream(path).rdbuf();
    EXPECT_EQ(read.str(), "new text");
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(names_in(folder.path), name + " ");
    std::remove(path.c_str());
  }
}

}  // namespace
