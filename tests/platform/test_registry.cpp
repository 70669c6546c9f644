#include "platform/file_replacement.h"
#include "platform/registry.h"
#include "tests/support/files.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_folder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// The account database as the tests want it: when fake_account_home is
// set, this user's entry names it as home ("" for no entry at all).
namespace {
const char* fake_account_home = nullptr;
}

extern "C" int getpwuid_r(uid_t uid, passwd* entry, char* buffer, size_t size, passwd** result) {
  using real_t = int (*)(uid_t, passwd*, char*, size_t, passwd**);
  static real_t real = reinterpret_cast<real_t>(dlsym(RTLD_NEXT, "getpwuid_r"));
  if (!fake_account_home || uid != getuid()) return real(uid, entry, buffer, size, result);
  *result = nullptr;
  if (!*fake_account_home) return 0;
  if (std::strlen(fake_account_home) + 1 > size) return ERANGE;
  std::strcpy(buffer, fake_account_home);
  std::memset(entry, 0, sizeof *entry);
  entry->pw_uid = uid;
  entry->pw_dir = buffer;
  entry->pw_name = buffer + std::strlen(buffer);
  entry->pw_shell = entry->pw_name;
  entry->pw_passwd = entry->pw_name;
  entry->pw_gecos = entry->pw_name;
  *result = entry;
  return 0;
}
extern "C" passwd* getpwuid(uid_t uid) {
  static passwd entry;
  static char buffer[4096];
  passwd* result = nullptr;
  getpwuid_r(uid, &entry, buffer, sizeof buffer, &result);
  return result;
}

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
  scoped_env store_home("XDG_CONFIG_HOME", home);
  // An absolute name, of a file beside the store's home.
  const std::string absolute = folder + "/escaped";
  const char* names[] = {"..\\..\\..\\escaped",
                         "Software\\..\\..\\..\\..\\escaped",
                         "Software\\.\\App",
                         "Software\\\\App",
                         "\\Software\\App",
                         "Software/../../../../escaped",
                         absolute.c_str(),
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
  EXPECT_NE(stat((absolute + ".reg").c_str(), &st), 0);
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

LONG open_key(const char* subkey, HKEY& key) {
  key = nullptr;
  return RegCreateKeyExA(HKEY_CURRENT_USER, subkey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
}

LONG set_text(HKEY key, const std::wstring& name, const std::wstring& text) {
  return RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

std::wstring get_text(HKEY key, const std::wstring& name) {
  wchar_t buffer[256] = {};
  DWORD type = 0, size = sizeof buffer - sizeof(wchar_t);
  if (RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
    return L"(none)";
  return buffer;
}

TEST_F(Registry, WithoutHomeTheStoreIsInTheHomeFolderOfTheAccount) {
  scoped_env no_config("XDG_CONFIG_HOME", nullptr);
  scoped_env no_home("HOME", nullptr);
  std::string account = folder + "/account";
  ASSERT_EQ(mkdir(account.c_str(), 0700), 0);
  fake_account_home = account.c_str();
  // A key of this run alone, so that a store anywhere else shows.
  std::string name = "QmAccount" + std::to_string(getpid());
  std::string subkey = "Software\\" + name;
  std::string elsewhere = "/tmp/.config/quillmark-registry/HKEY_CURRENT_USER/Software/" + name + ".reg";
  HKEY key = nullptr;
  EXPECT_EQ(open_key(subkey.c_str(), key), ERROR_SUCCESS);
  if (key) {
    EXPECT_EQ(set_text(key, L"oraclep", L"secret"), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  }
  std::string store = account + "/.config/quillmark-registry";
  EXPECT_NE(qm_test::file_bytes(store + "/HKEY_CURRENT_USER/Software/" + name + ".reg").find("secret"), std::string::npos);
  for (const std::string& made : {account + "/.config", store}) {
    struct stat st{};
    EXPECT_EQ(stat(made.c_str(), &st), 0) << made;
    EXPECT_EQ(st.st_mode & 0777, 0700u) << made;
  }
  struct stat st{};
  EXPECT_NE(stat(elsewhere.c_str(), &st), 0) << "a store in a folder that anyone can make";
  unlink(elsewhere.c_str());
  // An account without an entry has no home: no store at all.
  fake_account_home = "";
  EXPECT_NE(open_key(subkey.c_str(), key), ERROR_SUCCESS);
  EXPECT_EQ(key, nullptr);
  if (key) RegCloseKey(key);
  EXPECT_NE(stat(elsewhere.c_str(), &st), 0);
  unlink(elsewhere.c_str());
  fake_account_home = nullptr;
}

// Eight processes write their settings, each a whole session of values, at
// the same moment; the store holds the values of one of them, and what
// each alone wrote.
TEST_F(Registry, SessionsEndingAtOnceLeaveTheValuesOfOneOfThem) {
  const std::wstring names[] = {L"dates to strings", L"dest", L"engine", L"open on exit", L"oracleh", L"oraclep",
                                L"port", L"src", L"oracleu", L"split", L"wrap text"};
  for (int round = 0; round < 10; ++round) {
    int start[2];
    ASSERT_EQ(pipe(start), 0);
    std::vector<pid_t> children;
    for (int session = 0; session < 8; ++session) {
      pid_t pid = fork();
      ASSERT_GE(pid, 0);
      if (pid == 0) {
        close(start[1]);
        char c;
        while (read(start[0], &c, 1) > 0) {
        }
        HKEY key = nullptr;
        bool ok = open_key("Software\\Test\\Session", key) == ERROR_SUCCESS;
        std::wstring value = L"session " + std::to_wstring(session) + L" of round " + std::to_wstring(round);
        for (const std::wstring& n : names) ok = ok && set_text(key, n, value) == ERROR_SUCCESS;
        // A value of its own, which no other session changes, is kept whoever writes last.
        ok = ok && set_text(key, L"seen " + std::to_wstring(session), value) == ERROR_SUCCESS;
        ok = key && RegCloseKey(key) == ERROR_SUCCESS && ok;
        _exit(ok ? 0 : 1);
      }
      children.push_back(pid);
    }
    close(start[0]);
    close(start[1]);
    for (pid_t pid : children) {
      int status = 0;
      ASSERT_EQ(waitpid(pid, &status, 0), pid);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    HKEY key = nullptr;
    ASSERT_EQ(open_key("Software\\Test\\Session", key), ERROR_SUCCESS);
    std::wstring first = get_text(key, names[0]);
    std::wstring all;
    for (const std::wstring& n : names) all += n + L"=" + get_text(key, n) + L"; ";
    RegCloseKey(key);
    for (const std::wstring& n : names) {
      HKEY again = nullptr;
      ASSERT_EQ(open_key("Software\\Test\\Session", again), ERROR_SUCCESS);
      ASSERT_EQ(get_text(again, n), first) << "round " << round << ": " << std::string(all.begin(), all.end());
      RegCloseKey(again);
    }
    EXPECT_NE(first.find(L"of round " + std::to_wstring(round)), std::wstring::npos);
    ASSERT_EQ(open_key("Software\\Test\\Session", key), ERROR_SUCCESS);
    for (int session = 0; session < 8; ++session)
      EXPECT_EQ(get_text(key, L"seen " + std::to_wstring(session)),
                L"session " + std::to_wstring(session) + L" of round " + std::to_wstring(round));
    RegCloseKey(key);
  }
}

// A key written and closed, as a session leaves it.
void store_secret(const char* subkey) {
  HKEY key = nullptr;
  ASSERT_EQ(open_key(subkey, key), ERROR_SUCCESS);
  EXPECT_EQ(set_text(key, L"oraclep", L"secret"), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(Registry, AStoreThatIsNotTheUsersOwnOrCannotBeMadeIsNeitherReadNorWritten) {
  const std::string store = folder + "/quillmark-registry";
  const std::string root = store + "/HKEY_CURRENT_USER";
  const struct {
    const char* what;
    std::function<void()> make;
    std::string path;
    std::string reason;
  } cases[] = {
      {"others can write the store", [&] { chmod(store.c_str(), 0757); }, store,
       "the folder can be written by other users"},
      {"anyone can write the store", [&] { chmod(store.c_str(), 0777); }, store,
       "the folder can be written by other users"},
      {"its group can write the store", [&] { chmod(store.c_str(), 0770); }, store,
       "the folder can be written by other users"},
      {"others can write a folder inside", [&] { chmod(root.c_str(), 0777); }, root,
       "the folder can be written by other users"},
      {"another user's store",
       [&] {
         // Root makes one; anyone else finds one: "/" stands for it.
         if (geteuid() == 0) {
           EXPECT_EQ(chown(store.c_str(), 65534, 65534), 0);
           return;
         }
         std::filesystem::rename(store, folder + "/kept");
         std::filesystem::create_directory_symlink("/", store);
       },
       store, "the folder belongs to another user"},
      {"a file where the store should be",
       [&] {
         std::filesystem::rename(store, folder + "/kept");
         std::ofstream(store) << "not a folder";
       },
       store, "Not a directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    store_secret("Software\\Test\\App");
    c.make();
    const std::string before = qm_test::file_tree(folder);
    HKEY key = nullptr;
    EXPECT_EQ(open_key("Software\\Test\\App", key), c.reason == "Not a directory" ? ENOTDIR : ERROR_ACCESS_DENIED);
    EXPECT_EQ(key, nullptr);
    if (key) RegCloseKey(key);
    EXPECT_EQ(qm_platform::registry_last_problem().path, c.path);
    EXPECT_EQ(qm_platform::registry_last_problem().reason, c.reason);
    EXPECT_EQ(qm_test::file_tree(folder), before);
    // The next case starts from an empty folder.
    std::vector<std::string> made;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) made.push_back(entry.path().string());
    for (const std::string& path : made) ASSERT_TRUE(qm_test::remove_tree(path)) << path;
  }
}

TEST_F(Registry, AKeyWritesItsOwnChangesAsOneWholeOverWhatOthersWrote) {
  const char* subkey = "Software\\Test\\App";
  const std::string file = folder + "/quillmark-registry/HKEY_CURRENT_USER/Software/Test/App.reg";
  HKEY mine = nullptr, theirs = nullptr;
  ASSERT_EQ(open_key(subkey, mine), ERROR_SUCCESS);
  ASSERT_EQ(set_text(mine, L"kept", L"old"), ERROR_SUCCESS);
  ASSERT_EQ(set_text(mine, L"dropped", L"old"), ERROR_SUCCESS);
  ASSERT_EQ(RegFlushKey(mine), ERROR_SUCCESS);
  ASSERT_EQ(open_key(subkey, theirs), ERROR_SUCCESS);
  // Changes stay in the key until it is flushed; the key sees its own.
  ASSERT_EQ(set_text(mine, L"oracleu", L"mine"), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteValueA(mine, "dropped"), ERROR_SUCCESS);
  EXPECT_EQ(get_text(mine, L"oracleu"), L"mine");
  EXPECT_EQ(get_text(mine, L"dropped"), L"(none)");
  EXPECT_EQ(qm_test::file_bytes(file).find("mine"), std::string::npos);
  ASSERT_EQ(set_text(theirs, L"oraclep", L"theirs"), ERROR_SUCCESS);
  ASSERT_EQ(RegCloseKey(theirs), ERROR_SUCCESS);
  ASSERT_EQ(RegCloseKey(mine), ERROR_SUCCESS);
  ASSERT_EQ(open_key(subkey, mine), ERROR_SUCCESS);
  EXPECT_EQ(get_text(mine, L"kept"), L"old");
  EXPECT_EQ(get_text(mine, L"dropped"), L"(none)");
  EXPECT_EQ(get_text(mine, L"oracleu"), L"mine");
  EXPECT_EQ(get_text(mine, L"oraclep"), L"theirs");
  // A key that changed nothing writes nothing.
  struct stat was{}, is{};
  ASSERT_EQ(stat(file.c_str(), &was), 0);
  EXPECT_EQ(RegCloseKey(mine), ERROR_SUCCESS);
  ASSERT_EQ(stat(file.c_str(), &is), 0);
  EXPECT_EQ(is.st_ino, was.st_ino);

  // The store became a file meanwhile: the close says so, and the old store stays whole.
  ASSERT_EQ(open_key(subkey, mine), ERROR_SUCCESS);
  ASSERT_EQ(set_text(mine, L"oracleu", L"lost"), ERROR_SUCCESS);
  std::string store = folder + "/quillmark-registry";
  std::filesystem::rename(store, folder + "/kept");
  std::ofstream(store) << "not a folder";
  const std::string before = qm_test::file_tree(folder);
  EXPECT_EQ(RegCloseKey(mine), ENOTDIR);
  EXPECT_EQ(qm_platform::registry_last_problem().path, store);
  EXPECT_EQ(qm_platform::registry_last_problem().reason, "Not a directory");
  EXPECT_EQ(qm_test::file_tree(folder), before);
}

// A program killed while it saves leaves the password in a folder of its
// own beside the key's file, until the next save removes that folder.
TEST_F(Registry, ASaveKilledHalfWayLeavesNothingPastTheNextSave) {
  const char* subkey = "Software\\Test\\App";
  const std::string keys = folder + "/quillmark-registry/HKEY_CURRENT_USER/Software/Test";
  HKEY key = nullptr;
  ASSERT_EQ(open_key(subkey, key), ERROR_SUCCESS);
  ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  pid_t child = fork();
  if (child == 0) {
    // Killed once the new file is written, before it takes the old one's place.
    struct killed_at_sync : qm_platform::replace_steps {
      int sync(int) override {
        kill(getpid(), SIGKILL);
        return 0;
      }
    } steps;
    qm_platform::set_replace_steps(&steps);
    HKEY mine = nullptr;
    if (open_key(subkey, mine) == ERROR_SUCCESS) set_text(mine, L"oraclep", L"tiger");
    RegCloseKey(mine);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  std::string left = qm_test::listing(keys);
  ASSERT_EQ(left.substr(0, 11), ".quillmark-") << left;
  EXPECT_NE(qm_test::file_tree(keys).find("tiger"), std::string::npos);
  ASSERT_EQ(open_key(subkey, key), ERROR_SUCCESS);
  ASSERT_EQ(set_text(key, L"oracleu", L"scott"), ERROR_SUCCESS);
  ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(qm_test::listing(keys), "App.reg\n");
  EXPECT_EQ(qm_test::file_tree(keys).find("tiger"), std::string::npos);
}

}  // namespace
