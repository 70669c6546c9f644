#include "oci/oci_library.h"
#include "tests/support/child_run.h"

#include "TK/tk_exception.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <thread>
#include <unistd.h>

namespace {

using list = std::vector<std::string>;

const list client_names = {"libclntsh.so",      "libclntsh.so.23.1", "libclntsh.so.21.1",
                           "libclntsh.so.19.1", "libclntsh.so.18.1", "libclntsh.so.12.1",
                           "libclntsh.so.11.1"};

TEST(oci_library, candidates_in_their_order) {
  EXPECT_EQ((list{"/opt/my/libclntsh.so"}),
            oci_library_candidates("/opt/my/libclntsh.so", "/u01/oracle", "/usr/bin"));

  list expected = client_names;
  for (const std::string& n : client_names) expected.push_back("/u01/oracle/lib/" + n);
  expected.push_back("/usr/bin/libocilite.so");
  expected.push_back("/usr/bin/../lib/libocilite.so");
  EXPECT_EQ(expected, oci_library_candidates(nullptr, "/u01/oracle", "/usr/bin"));

  // An empty setting counts as none.
  expected = client_names;
  expected.push_back("/usr/bin/libocilite.so");
  expected.push_back("/usr/bin/../lib/libocilite.so");
  EXPECT_EQ(expected, oci_library_candidates("", "", "/usr/bin"));
}

TEST(oci_library, a_missing_file_keeps_the_loader_text) {
  oci_library lib({"/nonexistent/libclient.so"});
  EXPECT_FALSE(lib.load());
  EXPECT_FALSE(lib.load());
  EXPECT_FALSE(lib.loaded());
  EXPECT_NE(std::string::npos, lib.failure().find("/nonexistent/libclient.so"));
  EXPECT_EQ(nullptr, lib.functions().OCIStmtExecute);
}

TEST(oci_library, a_library_without_every_function_is_refused_and_ends_the_search) {
  oci_library lib({QM_STUB_CLIENT, QM_BINARY_DIR "/lib/libocilite.so"});
  EXPECT_FALSE(lib.load());
  EXPECT_NE(std::string::npos, lib.failure().find("the function OCIHandleAlloc is missing"))
      << lib.failure();
  EXPECT_TRUE(lib.path().empty());
}

TEST(oci_library, the_bundled_library_beside_the_program_is_the_last_resort) {
  if (void* h = dlopen("libclntsh.so", RTLD_NOW)) {
    dlclose(h);
    GTEST_SKIP() << "a vendor client is installed";
  }
  oci_library lib(oci_library_candidates(nullptr, nullptr, QM_BINARY_DIR "/bin"));
  ASSERT_TRUE(lib.load()) << lib.failure();
  EXPECT_EQ(QM_BINARY_DIR "/bin/../lib/libocilite.so", lib.path());
  EXPECT_NE(nullptr, lib.functions().OCIDateTimeGetTime);
}

// In a fresh process: the message comes from the first use of the table,
// before any client function could be called.
TEST(oci_library, a_missing_client_gives_the_message_before_any_call) {
  qm_test::child_run end = qm_test::run_in_child([] {
        setenv("QUILLMARK_OCI_LIBRARY", "/nonexistent/libclntsh.so", 1);
        int code = 3;
        if (!oci_available()) {
          try {
            oci();
            code = 4;
          } catch (const tk_exception& e) {
            code = e.message == oci_missing_client_message && e.level == 1 ? 0 : 5;
          }
        }
        std::_Exit(code);
  });
  EXPECT_TRUE(end.exited_with(0)) << end.describe();
}

}  // namespace

namespace {

TEST(oci_library, threads_share_one_load) {
  oci_library lib({QM_BINARY_DIR "/lib/libocilite.so"});
  std::vector<std::thread> threads;
  std::atomic<int> loaded{0};
  for (int k = 0; k < 8; ++k)
    threads.emplace_back([&] { loaded += lib.load() ? 1 : 0; });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(8, loaded.load());
  EXPECT_NE(nullptr, lib.functions().OCIEnvNlsCreate);
}

}  // namespace
