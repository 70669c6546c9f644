#include "platform/win32.h"

#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST(Paths, FullPathFoldsDotsWithoutTouchingTheDisk) {
  struct { const char* in; const char* out; } cases[] = {
      {"/a/./b/../c.txt", "/a/c.txt"},
      {"/../x", "/x"},
      {"/a/b/", "/a/b/"},
      {"/", "/"},
  };
  char buf[MAX_PATH];
  for (const auto& c : cases) {
    ASSERT_NE(_fullpath(buf, c.in, sizeof buf), nullptr) << c.in;
    EXPECT_STREQ(buf, c.out);
  }
  char cwd[MAX_PATH];
  ASSERT_NE(_getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_NE(_fullpath(buf, "data.txt", sizeof buf), nullptr);
  EXPECT_EQ(std::string(buf), std::string(cwd) + "/data.txt");
  EXPECT_EQ(_fullpath(buf, "/a/long/name", 5), nullptr);
}

TEST(Paths, SplitAndMake) {
  wchar_t drive[8], dir[64], name[64], ext[16];
  ASSERT_EQ(_wsplitpath_s(L"/work/data.tar.gz", drive, 8, dir, 64, name, 64, ext, 16), 0);
  EXPECT_STREQ(drive, L"");
  EXPECT_STREQ(dir, L"/work/");
  EXPECT_STREQ(name, L"data.tar");
  EXPECT_STREQ(ext, L".gz");
  ASSERT_EQ(_wsplitpath_s(L"/work/README", drive, 8, dir, 64, name, 64, ext, 16), 0);
  EXPECT_STREQ(name, L"README");
  EXPECT_STREQ(ext, L"");
  wchar_t path[64];
  ASSERT_EQ(_wmakepath_s(path, 64, L"", L"/work", L"data", L"xls"), 0);
  EXPECT_STREQ(path, L"/work/data.xls");
  EXPECT_NE(_wmakepath_s(path, 4, L"", L"/work/", L"data", L".xls"), 0);
}

TEST(Files, ReadOnlyFileRefusesWritingEvenToTheSuperUser) {
  char name[] = "/tmp/qm_platform_XXXXXX";
  int fd = mkstemp(name);
  ASSERT_GE(fd, 0);
  close(fd);
  chmod(name, 0444);
  HANDLE h = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(CreateFileA("/tmp", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  unlink(name);
}

TEST(Module, NamesTheRunningProgram) {
  char path[MAX_PATH];
  ASSERT_GT(GetModuleFileNameA(nullptr, path, sizeof path), 0u);
  EXPECT_NE(std::string(path).find("test_platform"), std::string::npos);
}

}  // namespace
