#include "TK/tk_error_converter.h"
#include "TK/tk_exception.h"

#include <gtest/gtest.h>

namespace {

TEST(ErrorConverter, FirstTableWinsAndMissingIsEmpty) {
  const tk_error_entry dao[] = {{0x10000 + 3022, "Duplicate value."}, {0x10D15, "Date out of range."}};
  const tk_error_entry ora[] = {{0x10D15, "later text"}, {0x1003F9, "Invalid user name or password."}};
  tk_error_converter converter(2, dao);
  converter.load_map(2, ora);
  EXPECT_EQ(converter.convert(0x10D15), "Date out of range.");
  EXPECT_EQ(converter.convert(0x1003F9), "Invalid user name or password.");
  EXPECT_EQ(converter.convert(42), "");
}

TEST(ErrorConverter, NullTableIsAnInternalErrorEvenWhenEmpty) {
  const tk_error_entry one[] = {{1, "one"}};
  tk_error_converter converter(0, one);
  EXPECT_EQ(converter.convert(1), "");
  EXPECT_THROW(converter.load_map(0, nullptr), tk_mail_assertion);
}

}  // namespace
