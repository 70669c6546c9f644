#include "ocilite/ol_decimal.h"
#include "ocilite/ol_error.h"
#include "ocilite/ol_interval.h"
#include "value_cases.h"

#include <gtest/gtest.h>

#include <functional>

using namespace ocilite;

namespace {

using f = interval_field;

interval_ds ds(const char* text, f lead = f::day, f trail = f::second, int precision = 2) {
  return parse_interval_ds(text, {lead, trail, precision, 6});
}

TEST(interval, literals_and_their_text) {
  struct row {
    const char* text;
    interval_qualifier q;
    const char* shown;  // or the error
    int error;
  } rows[] = {
      {"1-2", {f::year, f::month, 2, 6}, "+01-02", 0},
      {"-1-2", {f::year, f::month, 2, 6}, "-01-02", 0},
      {" +3-0 ", {f::year, f::month, 2, 6}, "+03-00", 0},
      {"14", {f::month, f::month, 2, 6}, "+01-02", 0},
      {"5", {f::year, f::year, 2, 6}, "+05-00", 0},
      {"123-2", {f::year, f::month, 3, 6}, "+123-02", 0},
      {"123-2", {f::year, f::month, 2, 6}, "", 1873},
      {"1-12", {f::year, f::month, 2, 6}, "", 1843},
      {"1-", {f::year, f::month, 2, 6}, "", 1867},
      {"1 2:3:4", {f::day, f::second, 2, 6}, "+01 02:03:04.000000", 0},
      {"-1 2:3:4.5", {f::day, f::second, 2, 6}, "-01 02:03:04.500000", 0},
      {"3", {f::day, f::day, 2, 6}, "+03 00:00:00.000000", 0},
      {"1 5", {f::day, f::hour, 2, 6}, "+01 05:00:00.000000", 0},
      {"25", {f::hour, f::hour, 2, 6}, "+01 01:00:00.000000", 0},
      {"1:30", {f::hour, f::minute, 2, 6}, "+00 01:30:00.000000", 0},
      {"90", {f::minute, f::minute, 2, 6}, "+00 01:30:00.000000", 0},
      {"2:3.25", {f::minute, f::second, 2, 6}, "+00 00:02:03.250000", 0},
      {"1.9999999", {f::second, f::second, 2, 6}, "+00 00:00:02.000000", 0},
      {"59.126", {f::second, f::second, 2, 2}, "+00 00:00:59.130000", 0},
      {"100", {f::day, f::day, 3, 6}, "+100 00:00:00.000000", 0},
      {"100", {f::day, f::day, 2, 6}, "", 1873},
      {"1 24:00:00", {f::day, f::second, 2, 6}, "", 1850},
      {"1 2:60", {f::day, f::minute, 2, 6}, "", 1851},
      {"1 2:3:60", {f::day, f::second, 2, 6}, "", 1852},
      {"1 2", {f::day, f::second, 2, 6}, "", 1867},
      {"abc", {f::day, f::day, 2, 6}, "", 1867},
      {"1-2", {f::day, f::second, 2, 6}, "", 1867},
      {"1", {f::month, f::year, 2, 6}, "", 30089},
      {"1", {f::day, f::day, 10, 6}, "", 30088},
  };
  for (const row& r : rows) {
    std::string got;
    int error = error_of([&] {
      got = is_year_to_month(r.q) ? interval_text(parse_interval_ym(r.text, r.q), r.q.leading_precision)
                                  : interval_text(parse_interval_ds(r.text, r.q), r.q.leading_precision);
    });
    EXPECT_EQ(r.error, error) << r.text;
    if (!r.error) {
      EXPECT_EQ(r.shown, got) << r.text;
    }
  }
  // A TIMESTAMP difference shows nine digits of days.
  EXPECT_EQ("+000000001 02:03:04.000000", interval_text(ds("1 2:3:4"), 9, 6));
  EXPECT_EQ("+01 02:03:04", interval_text(ds("1 2:3:4.4"), 2, 0));
  EXPECT_EQ(1873, error_of([] { check_leading_precision(ds("100", f::day, f::day, 3), 2); }));
}

TEST(interval, datetime_arithmetic) {
  interval_ym month{1}, year{12};
  EXPECT_EQ("2001-02-15 10:00:00", datetime_text(add_interval(at("2001-01-15 10:00:00"), month), false, false));
  EXPECT_EQ(1839, error_of([&] { add_interval(at("2001-01-31 00:00:00"), month); }));
  EXPECT_EQ(1839, error_of([&] { add_interval(at("2000-02-29 00:00:00"), year); }));
  EXPECT_EQ("1999-12-15 00:00:00",
            datetime_text(add_interval(at("2000-01-15 00:00:00"), interval_negate(month)), false, false));
  EXPECT_EQ(1841, error_of([&] { add_interval(at("9999-12-15 00:00:00"), month); }));
  EXPECT_EQ("2001-03-13 12:03:04.500000000",
            datetime_text(add_interval(at("2001-03-12 10:00:00"), ds("1 2:3:4.5")), true, false));
  EXPECT_EQ("2001-03-11 23:59:59.750000000",
            datetime_text(add_interval(at("2001-03-12 00:00:00.25"), ds("-0 0:0:0.5")), true, false));
  EXPECT_EQ("+01 01:59:59.750000",
            interval_text(datetime_difference(at("2001-03-12 10:00:00.25"), at("2001-03-11 08:00:00.5"))));
  EXPECT_EQ("-01 01:59:59.750000",
            interval_text(datetime_difference(at("2001-03-11 08:00:00.5"), at("2001-03-12 10:00:00.25"))));
  EXPECT_EQ("+00 00:00:00.000000",
            interval_text(datetime_difference(at("2001-01-01 10:00:00 +05:00"), at("2001-01-01 05:00:00 +00:00"))));
  EXPECT_EQ("+54987 00:00:00.000000",
            interval_text(datetime_difference(at("2001-01-01 00:00:00"), at("1850-06-15 00:00:00"))));
}

TEST(interval, interval_arithmetic_and_fields) {
  EXPECT_EQ("+01 12:00:00.000000", interval_text(interval_multiply(ds("1", f::day, f::day), number("1.5"))));
  EXPECT_EQ("+00 08:00:00.000000", interval_text(interval_divide(ds("1", f::day, f::day), number("3"))));
  EXPECT_EQ("+00 00:00:00.333333", interval_text(interval_divide(ds("1", f::second, f::second), number("3"))));
  EXPECT_EQ("+00-02", interval_text(interval_divide(interval_ym{12}, number("5"))));
  EXPECT_EQ("-01-06", interval_text(interval_multiply(interval_ym{-12}, number("1.5"))));
  EXPECT_EQ(1476, error_of([] { interval_divide(ds("1", f::day, f::day), number("0")); }));
  EXPECT_EQ(1873, error_of([] { interval_multiply(ds("99", f::day, f::day), number("1E+10")); }));
  EXPECT_EQ("+00 23:59:59.500000", interval_text(interval_subtract(ds("1", f::day, f::day), ds("0.5", f::second, f::second))));
  EXPECT_EQ("+01-02", interval_text(interval_add(interval_ym{13}, interval_ym{1})));
  EXPECT_EQ(-1, interval_compare(ds("-0 0:0:0.1"), ds("0 0:0:0")));
  EXPECT_EQ(1, interval_compare(ds("1", f::day, f::day), ds("23", f::hour, f::hour)));
  EXPECT_EQ(0, interval_compare(interval_ym{14}, parse_interval_ym("1-2", {f::year, f::month, 2, 6})));

  interval_ds v = ds("-1 2:3:4.5");
  EXPECT_EQ("-1", number_text(extract_field(v, datetime_field::day)));
  EXPECT_EQ("-2", number_text(extract_field(v, datetime_field::hour)));
  EXPECT_EQ("-3", number_text(extract_field(v, datetime_field::minute)));
  EXPECT_EQ("-4.5", number_text(extract_field(v, datetime_field::second)));
  EXPECT_EQ("-1", number_text(extract_field(interval_ym{-14}, datetime_field::year)));
  EXPECT_EQ("-2", number_text(extract_field(interval_ym{-14}, datetime_field::month)));
  EXPECT_EQ(30076, error_of([&] { extract_field(v, datetime_field::year); }));
  EXPECT_EQ(30076, error_of([] { extract_field(interval_ym{1}, datetime_field::day); }));
}

}  // namespace
