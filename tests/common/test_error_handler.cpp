#include "common/error_handler.h"

#include "common_test_support.h"

#include <gtest/gtest.h>

std::vector<std::string> handled;
std::function<void(const tk_exception&)> on_error;

// Each program supplies its own display; the tests record what it is given.
void error_handler::handle(const tk_exception& e, bool) {
  handled.push_back(compose(e));
  if (on_error) on_error(e);
}

namespace {

tk_exception with_code(const char* text, int code, int level = 0) {
  tk_exception e(std::string(text), level);
  e.code = code;
  return e;
}

TEST(ErrorHandler, MapsCodesAndPutsThePrefixInFront) {
  error_handler handler(oracle_error_count, oracle_error_table);
  handler.load_err_map(dao_error_count, dao_error_table);
  handler.load_err_map(date_range_error_count, date_range_error_table);

  EXPECT_EQ(handler.compose(with_code("ORA-01017: invalid username/password; logon denied", 0x1003F9)),
            "Invalid user name or password.");
  EXPECT_EQ(handler.compose(with_code("Some DAO text", 0x10000 + 9999)), "Some DAO text");
  EXPECT_EQ(handler.compose(with_code("x", 0x100001)), handler.compose(with_code("y", 0x10BCE)));
  EXPECT_NE(handler.compose(with_code("x", 0x10D5D)).find(QM_SUPPORT_EMAIL), std::string::npos);

  handler.set_prefix(L"EMP", 4);
  EXPECT_EQ(handler.compose(with_code("date", 0x10D15)),
            "EMP, record #4: Date fields of the source database do not fall in the\nrange accepted by MS Excel. "
            "Restart the program with\n\"Convert dates into strings\" checkbox selected.\n");
  handler.set_prefix(L"\u0416T");
  EXPECT_EQ(handler.compose(tk_exception(std::string("boom"), 0)), "\xd0\x96T: boom");
}

TEST(ErrorHandler, TablesHoldTheirRows) {
  EXPECT_EQ(dao_error_count, 9);
  EXPECT_EQ(oracle_error_count, 12);
  EXPECT_EQ(std::string(dao_error_table[6].message), dao_error_table[5].message);
  EXPECT_EQ(std::string(dao_error_table[8].message), dao_error_table[0].message);
  EXPECT_EQ(oracle_error_table[5].code, 0x102F7A);
}

TEST(ErrorHandler, IsASingleInstance) {
  error_handler first(0, dao_error_table);
  EXPECT_THROW(error_handler(0, dao_error_table), tk_mail_assertion);
}

}  // namespace
