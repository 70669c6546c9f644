#include "platform/utf8.h"
#include "platform/win32.h"
#include "tests/support/temp_folder.h"

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <future>
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

TEST(Paths, AFolderNameThatIsNoTextNamesThatFolderOnly) {
  qm_test::temp_folder top("qm_platform_");
  const std::string latin1 = top.file("caf\xe9"), utf8 = top.file("caf\xc3\xa9");
  ASSERT_EQ(mkdir(latin1.c_str(), 0700), 0);
  ASSERT_EQ(mkdir(utf8.c_str(), 0700), 0);
  char previous[MAX_PATH];
  ASSERT_NE(_getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(_chdir(latin1.c_str()), 0);

  wchar_t cwd[MAX_PATH], full[MAX_PATH];
  ASSERT_NE(_wgetcwd(cwd, MAX_PATH), nullptr);
  ASSERT_NE(_wfullpath(full, L"out.xlsx", MAX_PATH), nullptr);
  EXPECT_EQ(qm_platform::path_to_utf8(cwd), latin1);
  EXPECT_EQ(qm_platform::path_to_utf8(full), latin1 + "/out.xlsx");
  HANDLE h = CreateFileW(full, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_NE(GetFileAttributesW(full), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(_chdir(previous), 0);

  struct stat st {};
  EXPECT_EQ(stat((latin1 + "/out.xlsx").c_str(), &st), 0);
  EXPECT_NE(stat((utf8 + "/out.xlsx").c_str(), &st), 0) << "written into another folder";
  EXPECT_TRUE(DeleteFileW(full));
  // Back from the wide form of its name, the folder itself is found.
  EXPECT_TRUE(RemoveDirectoryW(qm_platform::path_from_utf8(latin1.c_str()).c_str()));
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
  qm_test::temp_folder folder("qm_platform_");
  std::string file = folder.file("read_only");
  int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0444);
  ASSERT_GE(fd, 0) << file;
  close(fd);
  const char* name = file.c_str();
  HANDLE h = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(CreateFileA(folder.path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
}

TEST(Files, OnlyRegularFilesOpenAndNoneMakesTheCallerWait) {
  qm_test::temp_folder folder("qm_platform_");
  std::string pipe = folder.file("pipe");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  for (const std::string& name : {pipe, std::string("/dev/null")}) {
    for (DWORD access : {DWORD(GENERIC_READ), DWORD(GENERIC_READ | GENERIC_WRITE)}) {
      auto opened = std::async(std::launch::async, [&] {
        return CreateFileA(name.c_str(), access, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
      });
      if (opened.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        // Let the waiting open through, so that the test can end.
        int writer = open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
        ADD_FAILURE() << name << " made the caller wait";
        opened.wait();
        close(writer);
      }
      HANDLE h = opened.get();
      EXPECT_EQ(h, INVALID_HANDLE_VALUE) << name << " access " << access;
      if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
  }
}

TEST(Module, NamesTheRunningProgram) {
  char path[MAX_PATH];
  ASSERT_GT(GetModuleFileNameA(nullptr, path, sizeof path), 0u);
  EXPECT_NE(std::string(path).find("test_platform"), std::string::npos);
}

}  // namespace
