#include "TK/tk_exception.h"
#include "TK/tk_reg_key.h"
#include "tests/support/scoped_env.h"
#include "tk_test_support.h"

#include <gtest/gtest.h>

namespace {

class RegKey : public ::testing::Test {
 protected:
  temp_folder folder;
  scoped_env config{"XDG_CONFIG_HOME", folder.path};
};

bool open(tk_reg_key& key) {
  return key.open(HKEY_CURRENT_USER, key.get_subkey().c_str(), nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                  nullptr, nullptr) == ERROR_SUCCESS;
}

TEST_F(RegKey, RoundTripsNumbersFlagsAndTexts) {
  {
    tk_reg_key key("Software\\Test\\Settings");
    ASSERT_TRUE(open(key));
    DWORD engine = 2;
    bool wrap = true, split = false;
    std::wstring dest = L"/out/\u0416.xlsx", empty;
    EXPECT_TRUE(key.serialize_value("engine", engine, true));
    EXPECT_TRUE(key.serialize_value("wrap text", wrap, true));
    EXPECT_TRUE(key.serialize_value("split", split, true));
    EXPECT_TRUE(key.serialize_value("dest", dest, true));
    EXPECT_TRUE(key.serialize_value("oraclep", empty, true));
    EXPECT_EQ(key.set_value("five", DWORD{5}), ERROR_SUCCESS);
  }
  tk_reg_key key("Software\\Test\\Settings");
  ASSERT_TRUE(open(key));
  DWORD engine = 1;
  bool wrap = false, split = true, five = false;
  std::wstring dest, empty = L"default", missing = L"keep";
  EXPECT_TRUE(key.serialize_value("engine", engine, false));
  EXPECT_TRUE(key.serialize_value("wrap text", wrap, false));
  EXPECT_TRUE(key.serialize_value("split", split, false));
  EXPECT_TRUE(key.serialize_value("dest", dest, false));
  EXPECT_TRUE(key.serialize_value("oraclep", empty, false));
  EXPECT_TRUE(key.serialize_value("five", five, false));
  EXPECT_EQ(engine, 2u);
  EXPECT_TRUE(wrap);
  EXPECT_FALSE(split);
  EXPECT_TRUE(five);  // any non-zero number is true
  EXPECT_EQ(dest, L"/out/\u0416.xlsx");
  EXPECT_EQ(empty, L"");
  EXPECT_FALSE(key.serialize_value("port", missing, false));
  EXPECT_EQ(missing, L"keep");
  DWORD number = 9;
  EXPECT_FALSE(key.serialize_value("nothing", number, false));
  EXPECT_EQ(number, 9u);
}

TEST_F(RegKey, ClosedKeyRefusesEverything) {
  tk_reg_key key("Software\\Test\\Never");
  DWORD n = 3;
  bool b = true;
  std::wstring s = L"x";
  EXPECT_FALSE(key.serialize_value("n", n, true));
  EXPECT_FALSE(key.serialize_value("b", b, false));
  EXPECT_FALSE(key.serialize_value("s", s, true));
  EXPECT_EQ(n, 3u);
  EXPECT_THROW(key.set_value("n", DWORD{1}), tk_mail_assertion);
  EXPECT_EQ(key.close(), ERROR_SUCCESS);
  EXPECT_THROW(key.open(nullptr, "x", nullptr, 0, KEY_ALL_ACCESS, nullptr, nullptr), tk_mail_assertion);
}

}  // namespace
