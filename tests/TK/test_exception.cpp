#include "TK/tk_exception.h"
#include "TK/tk_singleton.h"
#include "platform/win32.h"

#include <cerrno>
#include <gtest/gtest.h>

namespace {

const std::string prefix = "Internal error: \ncode=";

TEST(Exception, MessagesAndDefaults) {
  EXPECT_STREQ(tk_exception(1).what(), "Unknown exception");
  EXPECT_STREQ(tk_exception(std::string(), 0).what(), "Unknown exception");
  EXPECT_STREQ(tk_exception(std::wstring(), 0).what(), "");
  tk_exception wide(std::wstring(L"Stra\u00dfe"), 1);
  EXPECT_EQ(wide.message, "Stra\xc3\x9f" "e");
  tk_exception lone(std::wstring(1, static_cast<wchar_t>(0xDC00)), 1);
  EXPECT_EQ(lone.message, "");
}

TEST(Exception, CopyKeepsMessageCodeAndLevel) {
  tk_exception e("boom", 1);
  e.code = 0x1003F9;
  tk_exception copy = e;
  EXPECT_EQ(copy.message, "boom");
  EXPECT_EQ(copy.code, 0x1003F9);
  EXPECT_EQ(copy.level, 1);
}

TEST(Exception, LastErrorCarriesCodeAndSystemText) {
  SetLastError(2);
  tk_exception_ex e("Cannot open: ", 0);
  EXPECT_EQ(e.code, 2);
  EXPECT_EQ(e.level, 0);
  EXPECT_EQ(e.message, "Cannot open: No such file or directory\n");
  SetLastError(0);
  tk_exception_ex none("dropped prefix", 1);
  EXPECT_EQ(none.message, "Unknown exception");
  SetLastError(13);
  EXPECT_EQ(tk_exception_ex().level, 1);
}

TEST(Assertion, EncodesSourceAndLine) {
  tk_mail_assertion small("ab", 7);
  EXPECT_EQ(small.level, 2);
  EXPECT_EQ(small.code, 0);
  EXPECT_EQ(small.message, prefix + "61625c37");

  tk_mail_assertion singleton("..\\TK/tk_singl", 59);
  std::string digits = singleton.message.substr(prefix.size());
  EXPECT_EQ(digits.size(), 34u);
  EXPECT_EQ(digits, "2e2e5c544b2f746b5f73696e676c5c3539");
}

TEST(Assertion, FinalExceptionPassesFamilyHandlers) {
  bool family = false, outside = false;
  try {
    try {
      throw tk_final_exception();
    } catch (const tk_exception&) {
      family = true;
    }
  } catch (const tk_final_exception&) {
    outside = true;
  }
  EXPECT_FALSE(family);
  EXPECT_TRUE(outside);
}

struct lonely : tk_singleton<lonely> {};

std::string assertion_of(void (*f)()) {
  try {
    f();
  } catch (const tk_mail_assertion& e) {
    return e.message;
  }
  return "no assertion";
}

TEST(Singleton, ChecksConstructionAndEveryAccess) {
  EXPECT_FALSE(lonely::exists());
  EXPECT_EQ(assertion_of([] { lonely::instance(); }), tk_mail_assertion("..\\TK/tk_singl", 59).message);
  EXPECT_EQ(assertion_of([] { lonely::get(); }), tk_mail_assertion("..\\TK/tk_singl", 66).message);
  {
    lonely one;
    EXPECT_EQ(&lonely::instance(), &one);
    EXPECT_EQ(lonely::get(), &one);
    EXPECT_EQ(assertion_of([] { lonely second; }), tk_mail_assertion("..\\TK/tk_singl", 35).message);
    EXPECT_EQ(&lonely::instance(), &one);  // the failed second leaves the first registered
  }
  EXPECT_FALSE(lonely::exists());
}

}  // namespace
