#include "OLE/ole_date.h"
#include "TK/tk_exception.h"

#include <gtest/gtest.h>
#include <string>

namespace {

SYSTEMTIME time_of(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(y), t.wMonth = static_cast<WORD>(mo), t.wDay = static_cast<WORD>(d);
  t.wHour = static_cast<WORD>(h), t.wMinute = static_cast<WORD>(mi), t.wSecond = static_cast<WORD>(s);
  t.wMilliseconds = static_cast<WORD>(ms);
  return t;
}

struct read_case {
  const char* text;
  int type;
  const char* narrow;
  const wchar_t* wide;
};

// Cases print as their text: the struct has padding gtest would dump.
void PrintTo(const read_case& c, std::ostream* out) { *out << '"' << c.text << '"'; }

class Reading : public ::testing::TestWithParam<read_case> {};

TEST_P(Reading, TextGivesKindAndCanonicalForm) {
  const read_case& c = GetParam();
  ole_date d{std::string(c.text)};
  EXPECT_EQ(d.type, c.type);
  EXPECT_EQ(d.is_valid(), c.type != ole_date::invalid);
  EXPECT_EQ(d.to_string(true), c.narrow);
  EXPECT_EQ(d.to_wstring(true), c.wide);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, Reading,
    ::testing::Values(
        // Digits written together.
        read_case{"20101231235959", 1, "2010-12-31 23:59:59", L"2010-12-31 23:59:59"},
        read_case{"20101231", 2, "2010-12-31", L"2010-12-31"},
        read_case{"20101331", 0, "", L""},
        read_case{"20101231000000", 1, "2010-12-31", L"2010-12-31"},
        // Times.
        read_case{"10:20", 3, "0000-00-00 10:20:00", L"10:20:00"},
        read_case{"10:20:30.250", 3, "0000-00-00 10:20:30.250", L"10:20:30.250"},
        read_case{"10:20:30.005", 3, "0000-00-00 10:20:30.005", L"10:20:30.005"},
        read_case{"60:60:60", 3, "0000-00-00 60:60:60", L"60:60:60"},
        read_case{"61:00", 0, "", L""},
        read_case{"10:20:75", 0, "", L""},
        // The three separators, year first.
        read_case{"2010-12-31", 2, "2010-12-31", L"2010-12-31"},
        read_case{"2010/12/31 10:20:30", 1, "2010-12-31 10:20:30", L"2010-12-31 10:20:30"},
        read_case{"2010.12.31 10:20:30", 1, "2010-12-31 10:20:30", L"2010-12-31 10:20:30"},
        read_case{"2010-12-31 23:59:59.999999999", 1, "2010-12-31 23:59:59.999", L"2010-12-31 23:59:59.999"},
        read_case{"  2010-12-31 10:20:30.120  ", 1, "2010-12-31 10:20:30.120", L"2010-12-31 10:20:30.120"},
        read_case{"2010-12-31 00:00:00", 2, "2010-12-31", L"2010-12-31"},
        read_case{"2010-13-31", 0, "", L""},
        // Written day first.
        read_case{"31.12.2010", 2, "2010-12-31", L"2010-12-31"},
        read_case{"31-12-2010 08:00:00", 1, "2010-12-31 08:00:00", L"2010-12-31 08:00:00"},
        // Morning and afternoon.
        read_case{"1:05 PM", 3, "0000-00-00 13:05:00", L"13:05:00"},
        read_case{"12:30 PM", 3, "0000-00-00 12:30:00", L"12:30:00"},
        read_case{"12:30 AM", 3, "0000-00-00 12:30:00", L"12:30:00"},
        read_case{"2010-12-31 01:05:00pm", 1, "2010-12-31 13:05:00", L"2010-12-31 13:05:00"},
        read_case{"1 PM", 0, "", L""},
        read_case{"abc", 0, "", L""},
        // Two-digit years are widened as they are read.
        read_case{"99-01-02", 2, "1999-01-02", L"1999-01-02"},
        read_case{"49-01-02", 2, "2049-01-02", L"2049-01-02"},
        read_case{"50-01-02 10:00:00", 1, "1950-01-02 10:00:00", L"1950-01-02 10:00:00"},
        // A year written with more digits is the year written.
        read_case{"0001-01-01", 2, "0001-01-01", L"0001-01-01"},
        read_case{"0050-06-01 10:00:00", 1, "0050-06-01 10:00:00", L"0050-06-01 10:00:00"},
        read_case{"099/12/31", 2, "0099-12-31", L"0099-12-31"},
        read_case{"31.12.0050", 2, "0050-12-31", L"0050-12-31"},
        read_case{"00010101", 2, "0001-01-01", L"0001-01-01"},
        read_case{"00991231235959", 1, "0099-12-31 23:59:59", L"0099-12-31 23:59:59"},
        // The platform's parser reads the rest.
        read_case{"Dec 31 2010 10:20", 1, "2010-12-31 10:20:00", L"2010-12-31 10:20:00"},
        read_case{"31 December 2010", 2, "2010-12-31", L"2010-12-31"},
        read_case{"31-DEC-10", 2, "2010-12-31", L"2010-12-31"},
        read_case{"Dec 31 2010 10:20 PM", 1, "2010-12-31 22:20:00", L"2010-12-31 22:20:00"},
        read_case{"2010-12-31 10:20", 1, "2010-12-31 10:20:00", L"2010-12-31 10:20:00"},
        read_case{"Dec 32 2010", 0, "", L""}));

TEST(Date, WideTextReadsAsNarrow) {
  ole_date d(std::wstring(L"2010/12/31 10:20:30"));
  EXPECT_EQ(d.type, ole_date::date_time);
  EXPECT_EQ(d.to_string(false), "2010-12-31 10:20:30");
  ole_date bad(std::wstring(1, static_cast<wchar_t>(0xD800)));
  EXPECT_FALSE(bad.is_valid());
}

TEST(Date, CalendarFieldsPrintAsTheyAre) {
  struct {
    SYSTEMTIME t;
    int type;
    const char* with_ms;
    const char* without_ms;
    const wchar_t* wide;
  } cases[] = {
      {time_of(2010, 12, 31, 10, 20, 30, 5), 1, "2010-12-31 10:20:30.005", "2010-12-31 10:20:30",
       L"2010-12-31 10:20:30.005"},
      {time_of(2010, 12, 31, 10, 20, 30, 120), 1, "2010-12-31 10:20:30.120", "2010-12-31 10:20:30",
       L"2010-12-31 10:20:30.120"},
      {time_of(2010, 12, 31, 0, 0, 0, 5), 1, "2010-12-31 00:00:00.005", "2010-12-31", L"2010-12-31 00:00:00.005"},
      {time_of(2010, 12, 31), 2, "2010-12-31", "2010-12-31", L"2010-12-31"},
      {time_of(0, 0, 0, 10, 20, 30, 250), 3, "0000-00-00 10:20:30.250", "0000-00-00 10:20:30.250", L"10:20:30.250"},
      {time_of(0, 0, 0), 3, "0000-00-00 00:00:00", "0000-00-00 00:00:00", L"00:00:00"},
      {time_of(50, 6, 1), 2, "0050-06-01", "0050-06-01", L"0050-06-01"},
      // A year BC, as the Oracle client gives it: a negative year.
      {time_of(65536 - 44, 3, 15), 2, "-0044-03-15", "-0044-03-15", L"-0044-03-15"},
      {time_of(1, 0, 0, 10), 1, "0001-00-00 10:00:00", "0001-00-00 10:00:00", L"0001-00-00 10:00:00"},
  };
  for (const auto& c : cases) {
    ole_date d(c.t);
    EXPECT_EQ(d.type, c.type) << c.with_ms;
    EXPECT_EQ(d.to_string(true), c.with_ms);
    EXPECT_EQ(d.to_string(false), c.without_ms);
    EXPECT_EQ(d.to_wstring(true), c.wide);
  }
  EXPECT_FALSE(ole_date(time_of(1, 0, 0, 10)).is_valid());  // month 0

  ole_date midnight(time_of(2010, 12, 31));
  midnight.type = ole_date::date_time;
  midnight.midnight_as_date = false;
  EXPECT_EQ(midnight.to_string(true), "2010-12-31 00:00:00");
  midnight.midnight_as_date = true;
  EXPECT_EQ(midnight.to_string(true), "2010-12-31");
  midnight.st.wMilliseconds = 250;
  EXPECT_EQ(midnight.to_string(true), "2010-12-31 00:00:00.250");
  EXPECT_EQ(midnight.to_string(false), "2010-12-31");
  // Milliseconds past midnight keep a value read from calendar fields a time.
  EXPECT_EQ(ole_date(midnight.st).to_string(true), "2010-12-31 00:00:00.250");
  midnight.midnight_as_date = false;
  midnight.st.wMilliseconds = 0;
  midnight.type = ole_date::invalid;
  EXPECT_EQ(midnight.to_string(true), "");
  EXPECT_EQ(midnight.to_wstring(true), L"");
}

TEST(Date, VariantKeepsTheMilliseconds) {
  ole_date d(std::string("2010-12-31 10:20:30.250"));
  ole_variant v = d.to_variant();
  EXPECT_EQ(v.var.vt, VT_DATE);
  EXPECT_EQ(v.st.wMilliseconds, 250);
  EXPECT_EQ(v.to_string(), "2010-12-31 10:20:30.250");
}

struct date_probe : ole_date {
  date_probe() : ole_date(SYSTEMTIME{}) {}
  using ole_date::process_milliseconds;
};

TEST(Date, MillisecondsWithoutTextIsAnInternalError) {
  date_probe d;
  try {
    d.process_milliseconds(nullptr);
    ADD_FAILURE();
  } catch (const tk_mail_assertion& e) {
    EXPECT_EQ(e.message, tk_mail_assertion("ole_date", 422).message);
  }
  d.process_milliseconds("59.999");
  EXPECT_EQ(d.st.wSecond, 59);
  EXPECT_EQ(d.st.wMilliseconds, 999);
  // Milliseconds are cut, never rounded up to a thousand.
  for (const char* text : {"59.999999999", "59.9999999", "59.9995", "59.99999999999999999"}) {
    d.process_milliseconds(text);
    EXPECT_EQ(d.st.wSecond, 59) << text;
    EXPECT_EQ(d.st.wMilliseconds, 999) << text;
  }
  d.process_milliseconds("30.0049999999");
  EXPECT_EQ(d.st.wMilliseconds, 4);
  d.process_milliseconds("30.005");
  EXPECT_EQ(d.st.wMilliseconds, 5);
  d.process_milliseconds("30.1");
  EXPECT_EQ(d.st.wMilliseconds, 100);
  d.process_milliseconds("x");
  EXPECT_EQ(d.st.wSecond, 0);
  EXPECT_EQ(d.st.wMilliseconds, 0);
}

}  // namespace
