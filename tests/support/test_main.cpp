// The main of every test program: the sandbox is made by then, and what
// the support classes find wrong in their destructors fails the test that
// is running.
#include "tests/support/temp_folder.h"
#include "tests/support/test_sandbox.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  qm_test::sandbox();
  ::testing::InitGoogleTest(&argc, argv);
  qm_test::set_failure_reporter([](const std::string& message) { ADD_FAILURE() << message; });
  int result = RUN_ALL_TESTS();
  qm_test::set_failure_reporter(nullptr);
  return result;
}
