#include "platform/registry.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_folder.h"

#include <cstdlib>
#include <dirent.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class Registry : public ::testing::Test {
 protected:
  qm_test::temp_folder made{"qm_registry_"};
  std::string folder = made.path;
  scoped_env config{"XDG_CONFIG_HOME", folder};
};

TEST_F(Registry, CreatesOnDemandAndKeepsValuesAcrossOpens) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Test\\App", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  DWORD five = 5;
  ASSERT_EQ(RegSetValueExA(key, "count", 0, REG_DWORD, reinterpret_cast<BYTE*>(&five), 4), ERROR_SUCCESS);
  std::wstring text = L"a \"quoted\"\nline \u0416";
  ASSERT_EQ(RegSetValueExW(key, L"text", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))), ERROR_SUCCESS);
  RegCloseKey(key);

  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Test\\App", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  DWORD value = 0, type = 0, size = 4;
  ASSERT_EQ(RegQueryValueExA(key, "count", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(value, 5u);
  size = 0;
  ASSERT_EQ(RegQueryValueExW(key, L"text", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, (text.size() + 1) * sizeof(wchar_t));
  std::wstring back(size / sizeof(wchar_t), L'\0');
  DWORD small = 4;
  EXPECT_EQ(RegQueryValueExW(key, L"text", nullptr, &type, reinterpret_cast<BYTE*>(back.data()), &small),
            ERROR_MORE_DATA);
  ASSERT_EQ(RegQueryValueExW(key, L"text", nullptr, &type, reinterpret_cast<BYTE*>(back.data()), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::wstring(back.c_str()), text);
  EXPECT_EQ(RegQueryValueExA(key, "missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);

  struct stat st{};
  ASSERT_EQ(stat((folder + "/quillmark-registry/HKEY_CURRENT_USER/Software/Test/App.reg").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(Registry, KeyNamesThatWouldLeaveTheStoreAreRefused) {
  // The store lives one level below the test's folder, so an escape lands
  // beside it.
  std::string home = folder + "/home";
  ASSERT_EQ(mkdir(home.c_str(), 0700), 0);
  setenv("XDG_CONFIG_HOME", home.c_str(), 1);
  const char* names[] = {"..\\..\\..\\escaped",
                         "Software\\..\\..\\..\\..\\escaped",
                         "Software\\.\\App",
                         "Software\\\\App",
                         "\\Software\\App",
                         "Software/../../../../escaped",
                         "/tmp/escaped",
                         "..",
                         "Software\\App/.."};
  for (const char* name : names) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_INVALID_PARAMETER)
        << name;
    EXPECT_EQ(key, nullptr) << name;
  }
  struct stat st{};
  EXPECT_NE(stat("/tmp/escaped.reg", &st), 0);
  // Nothing beside the store's home.
  DIR* dir = opendir(folder.c_str());
  ASSERT_NE(dir, nullptr);
  std::string entries;
  while (dirent* e = readdir(dir)) {
    std::string n = e->d_name;
    if (n != "." && n != ".." && n != "home") entries += n + " ";
  }
  closedir(dir);
  EXPECT_EQ(entries, "");
  // Names with dots inside a component, and a trailing separator, are keys.
  for (const char* name : {"Software\\Test.App\\v1..2", "Software\\Test\\"}) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS)
        << name;
    if (key) RegCloseKey(key);
  }
}

}  // namespace
