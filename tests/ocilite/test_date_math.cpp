#include "ocilite/ol_date_math.h"
#include "ocilite/ol_decimal.h"
#include "ocilite/ol_error.h"
#include "tests/support/scoped_env.h"
#include "value_cases.h"

#include <gtest/gtest.h>

#include <ctime>
#include <functional>

using namespace ocilite;

namespace {

std::string shown(const datetime& t) {
  if (t.year < 1) return std::to_string(t.year) + "-" + std::to_string(t.month) + "-" + std::to_string(t.day);
  return datetime_text(t, t.nanos != 0, t.has_zone);
}

TEST(date_math, julian_days_span_both_calendars) {
  struct row {
    int y, m, d;
    std::int64_t julian;
  } rows[] = {{1, 1, 1, 1721424},      {1582, 10, 4, 2299160}, {1582, 10, 15, 2299161},
              {1850, 6, 15, 2396924},  {2000, 1, 1, 2451545},  {9999, 12, 31, 5373484},
              {-1, 12, 31, 1721423},   {1500, 3, 1, 2268993}};
  for (const row& r : rows) {
    EXPECT_EQ(r.julian, julian_day(r.y, r.m, r.d)) << r.y << "-" << r.m << "-" << r.d;
    datetime back;
    set_julian_day(back, r.julian);
    EXPECT_EQ(r.y * 10000 + r.m * 100 + r.d, back.year * 10000 + back.month * 100 + back.day);
  }
  // The month ends of every seventh year of 1..9999 go there and back, in order.
  datetime t;
  std::int64_t previous = julian_day(1, 1, 1) - 1;
  for (int y = 1; y <= 9999; y += 7)
    for (int m = 1; m <= 12; ++m) {
      std::int64_t j = julian_day(y, m, days_in_month(y, m));
      set_julian_day(t, j);
      ASSERT_EQ(y * 10000 + m * 100 + days_in_month(y, m), t.year * 10000 + t.month * 100 + t.day);
      ASSERT_GT(j, previous);
      previous = j;
    }
}

TEST(date_math, leap_years_and_valid_days) {
  EXPECT_TRUE(is_leap_year(1500));  // Julian
  EXPECT_TRUE(is_leap_year(1600));
  EXPECT_FALSE(is_leap_year(1700));
  EXPECT_FALSE(is_leap_year(1900));
  EXPECT_TRUE(is_leap_year(2000));
  EXPECT_TRUE(is_leap_year(-1));  // 1 BC
  EXPECT_FALSE(is_leap_year(-2));
  EXPECT_TRUE(is_valid_date(1500, 2, 29));
  EXPECT_FALSE(is_valid_date(1900, 2, 29));
  EXPECT_FALSE(is_valid_date(1582, 10, 10));
  EXPECT_TRUE(is_valid_date(1582, 10, 4));
  EXPECT_FALSE(is_valid_date(0, 1, 1));
  EXPECT_FALSE(is_valid_date(10000, 1, 1));
  EXPECT_TRUE(is_valid_date(-4713, 1, 1));
}

TEST(date_math, weekdays_days_of_year_and_iso_weeks) {
  EXPECT_EQ(7, day_of_week(at("2000-01-01")));  // Saturday
  EXPECT_EQ(2, day_of_week(at("2001-03-12")));  // Monday
  EXPECT_EQ(5, day_of_week(ymd(1582, 10, 4)));  // Thursday, then
  EXPECT_EQ(6, day_of_week(ymd(1582, 10, 15)));  // Friday
  EXPECT_EQ(366, day_of_year(at("2000-12-31")));
  EXPECT_EQ(355, day_of_year(ymd(1582, 12, 31)));
  struct row {
    const char* day;
    int week, year;
  } rows[] = {{"2021-01-03", 53, 2020}, {"2021-01-04", 1, 2021}, {"2008-12-29", 1, 2009},
              {"2004-12-31", 53, 2004}, {"2001-08-17", 33, 2001}};
  for (const row& r : rows) {
    EXPECT_EQ(r.week, iso_week(at(r.day))) << r.day;
    EXPECT_EQ(r.year, iso_year(at(r.day))) << r.day;
  }
}

TEST(date_math, days_added_round_to_the_second) {
  decimal second = decimal_divide(number("1"), number("86400"));
  struct row {
    const char* from;
    decimal days;
    const char* expected;
  } rows[] = {
      {"2001-03-12 00:00:00", second, "2001-03-12 00:00:01"},
      {"2001-03-12 00:00:00", decimal_multiply(second, number("1.5")), "2001-03-12 00:00:02"},
      {"2001-03-12 00:00:00", decimal_divide(number("1"), number("24")), "2001-03-12 01:00:00"},
      {"2001-03-12 00:00:00", number("-.5"), "2001-03-11 12:00:00"},
      {"2000-02-28 00:00:00", number("1"), "2000-02-29 00:00:00"},
      {"1900-02-28 00:00:00", number("1"), "1900-03-01 00:00:00"},
      {"1582-10-04 10:00:00", number("1"), "1582-10-15 10:00:00"},
      {"2001-03-12 10:00:00", number("-730"), "1999-03-13 10:00:00"},
  };
  for (const row& r : rows) EXPECT_EQ(r.expected, shown(add_days(at(r.from), r.days))) << r.from;
  datetime stamp = at("2001-03-12 10:00:00.75");
  EXPECT_EQ("2001-03-13 10:00:01", shown(add_days(stamp, number("1"))));
  EXPECT_EQ(1841, error_of([] { add_days(at("9999-12-31 00:00:00"), number("1")); }));
  EXPECT_EQ(1841, error_of([] { add_days(at("2001-01-01 00:00:00"), number("1E+30")); }));
  datetime bc = add_days(ymd(1, 1, 1), number("-1"));
  EXPECT_EQ("-1-12-31", shown(bc));
}

TEST(date_math, date_differences_are_exact_day_fractions) {
  struct row {
    const char* later;
    const char* earlier;
    const char* days;
  } rows[] = {
      {"2001-03-12 12:00:00", "2001-03-12 00:00:00", ".5"},
      {"2001-03-12 00:00:01", "2001-03-12 00:00:00", ".00001157407407407407407407407407407407407407"},
      {"2001-03-12 00:00:00", "2001-03-12 00:00:01", "-.00001157407407407407407407407407407407407407"},
      {"2000-03-01 00:00:00", "1900-03-01 00:00:00", "36525"},
      {"2001-01-01 00:00:00", "1850-06-15 00:00:00", "54987"},
      {"1582-10-15 00:00:00", "1582-10-04 00:00:00", "1"},
      {"0099-03-01 06:00:00", "0099-02-28 00:00:00", "1.25"},
  };
  for (const row& r : rows) EXPECT_EQ(r.days, number_text(days_between(at(r.later), at(r.earlier)))) << r.later;
}

TEST(date_math, months_added_keep_the_last_day) {
  struct row {
    const char* from;
    const char* months;
    const char* expected;
  } rows[] = {
      {"2001-01-31 08:00:00", "1", "2001-02-28 08:00:00"},
      {"2000-01-31 00:00:00", "1", "2000-02-29 00:00:00"},
      {"2001-02-28 00:00:00", "1", "2001-03-31 00:00:00"},
      {"2001-03-31 00:00:00", "-1", "2001-02-28 00:00:00"},
      {"2001-03-15 10:30:00", "1.9", "2001-04-15 10:30:00"},
      {"2001-03-15 10:30:00", "-1.9", "2001-02-15 10:30:00"},
      {"1999-12-31 00:00:00", "2", "2000-02-29 00:00:00"},
      {"1500-01-29 00:00:00", "1", "1500-02-29 00:00:00"},
      {"2001-03-15 00:00:00", "-24012", "-1-3-15"},
  };
  for (const row& r : rows)
    EXPECT_EQ(r.expected, shown(add_months(at(r.from), number(r.months)))) << r.from << " " << r.months;
  EXPECT_EQ(1841, error_of([] { add_months(at("9999-12-01 00:00:00"), number("1")); }));
  EXPECT_EQ("2000-02-29 00:00:00", shown(last_day(at("2000-02-10 00:00:00"))));
  EXPECT_EQ("1900-02-28 10:00:00", shown(last_day(at("1900-02-10 10:00:00"))));
  EXPECT_EQ(29, last_day(ymd(1500, 2, 1)).day);
}

TEST(date_math, months_between_counts_a_month_as_31_days) {
  struct row {
    const char* a;
    const char* b;
    const char* months;
  } rows[] = {
      {"1995-02-02 00:00:00", "1995-01-01 00:00:00", "1.032258064516129032258064516129032258065"},
      {"2001-03-31 00:00:00", "2001-02-28 10:00:00", "1"},
      {"2001-02-28 00:00:00", "2001-03-31 00:00:00", "-1"},
      {"2001-03-15 23:00:00", "2001-01-15 01:00:00", "2"},
      {"2001-01-02 00:00:00", "2001-01-01 12:00:00", ".01612903225806451612903225806451612903226"},
      {"2001-01-01 12:00:00", "2001-01-01 00:00:00", "0"},
      {"2001-01-01 00:00:00", "1850-01-01 00:00:00", "1812"},
  };
  for (const row& r : rows) EXPECT_EQ(r.months, number_text(months_between(at(r.a), at(r.b)))) << r.a;
}

TEST(date_math, next_day_reads_the_abbreviation) {
  datetime monday = at("2001-03-12 10:00:00");
  EXPECT_EQ("2001-03-19 10:00:00", shown(next_day(monday, "MONDAY")));
  EXPECT_EQ("2001-03-13 10:00:00", shown(next_day(monday, "tue")));
  EXPECT_EQ("2001-03-16 10:00:00", shown(next_day(monday, "Fridayxyz")));
  EXPECT_EQ(1846, error_of([&] { next_day(monday, "FR"); }));
  EXPECT_EQ(1846, error_of([&] { next_day(monday, "XYZ"); }));
}

TEST(date_math, trunc_and_round_by_format) {
  struct row {
    const char* from;
    const char* format;
    const char* trunc;
    const char* round;
  } rows[] = {
      {"2001-08-17 15:45:30", "DD", "2001-08-17 00:00:00", "2001-08-18 00:00:00"},
      {"2001-08-17 11:59:59", "dd", "2001-08-17 00:00:00", "2001-08-17 00:00:00"},
      {"2001-08-17 15:45:30", "YYYY", "2001-01-01 00:00:00", "2002-01-01 00:00:00"},
      {"2001-06-30 23:59:59", "YEAR", "2001-01-01 00:00:00", "2001-01-01 00:00:00"},
      {"2001-08-17 15:45:30", "Q", "2001-07-01 00:00:00", "2001-10-01 00:00:00"},
      {"2001-08-15 15:45:30", "Q", "2001-07-01 00:00:00", "2001-07-01 00:00:00"},
      {"2001-08-16 00:00:00", "MM", "2001-08-01 00:00:00", "2001-09-01 00:00:00"},
      {"2001-08-15 23:59:59", "MONTH", "2001-08-01 00:00:00", "2001-08-01 00:00:00"},
      {"2001-12-20 00:00:00", "MON", "2001-12-01 00:00:00", "2002-01-01 00:00:00"},
      {"2001-08-17 15:45:30", "WW", "2001-08-13 00:00:00", "2001-08-20 00:00:00"},
      {"2001-08-17 15:45:30", "IW", "2001-08-13 00:00:00", "2001-08-20 00:00:00"},
      {"2001-08-17 15:45:30", "W", "2001-08-15 00:00:00", "2001-08-15 00:00:00"},
      {"2001-08-15 12:00:00", "DAY", "2001-08-12 00:00:00", "2001-08-19 00:00:00"},
      {"2001-08-15 11:59:59", "D", "2001-08-12 00:00:00", "2001-08-12 00:00:00"},
      {"2001-08-17 15:45:30", "HH24", "2001-08-17 15:00:00", "2001-08-17 16:00:00"},
      {"2001-08-17 15:45:30", "MI", "2001-08-17 15:45:00", "2001-08-17 15:46:00"},
      {"2000-05-05 00:00:00", "CC", "1901-01-01 00:00:00", "2001-01-01 00:00:00"},
      {"2050-12-31 00:00:00", "SCC", "2001-01-01 00:00:00", "2001-01-01 00:00:00"},
      {"2051-01-01 00:00:00", "CC", "2001-01-01 00:00:00", "2101-01-01 00:00:00"},
      {"2021-01-03 00:00:00", "IYYY", "2019-12-30 00:00:00", "2021-01-04 00:00:00"},
      {"1850-02-28 13:00:00", "J", "1850-02-28 00:00:00", "1850-03-01 00:00:00"},
  };
  for (const row& r : rows) {
    EXPECT_EQ(r.trunc, shown(trunc_date(at(r.from), r.format))) << r.from << " " << r.format;
    EXPECT_EQ(r.round, shown(round_date(at(r.from), r.format))) << r.from << " " << r.format;
  }
  EXPECT_EQ("2001-08-17 00:00:00", shown(trunc_date(at("2001-08-17 15:45:30.9"))));
  EXPECT_EQ(1899, error_of([] { trunc_date(at("2001-08-17 00:00:00"), "SS"); }));
  EXPECT_EQ(1821, error_of([] { round_date(at("2001-08-17 00:00:00"), "XYZ"); }));
}

TEST(date_math, extract_fields_as_the_kind_allows) {
  datetime stamp = at("2001-03-12 10:20:04.5");
  auto field = [](const datetime& t, datetime_kind kind, const char* name) {
    datetime_field f{};
    EXPECT_TRUE(datetime_field_of(name, f)) << name;
    return number_text(extract_field(t, kind, f));
  };
  EXPECT_EQ("2001", field(stamp, datetime_kind::date, "year"));
  EXPECT_EQ("3", field(stamp, datetime_kind::date, "MONTH"));
  EXPECT_EQ("12", field(stamp, datetime_kind::date, "Day"));
  EXPECT_EQ("4.5", field(stamp, datetime_kind::timestamp, "SECOND"));
  EXPECT_EQ("20", field(stamp, datetime_kind::timestamp, "MINUTE"));
  EXPECT_EQ(30076, error_of([&] { field(stamp, datetime_kind::date, "HOUR"); }));
  EXPECT_EQ(30076, error_of([&] { field(stamp, datetime_kind::timestamp, "TIMEZONE_HOUR"); }));
  datetime_field f{};
  EXPECT_FALSE(datetime_field_of("WEEK", f));
  // A time with a zone gives its fields in UTC.
  datetime zoned = at("2001-01-01 02:00:00 +05:30");
  EXPECT_EQ("20", field(zoned, datetime_kind::timestamp_tz, "HOUR"));
  EXPECT_EQ("30", field(zoned, datetime_kind::timestamp_tz, "MINUTE"));
  EXPECT_EQ("31", field(zoned, datetime_kind::timestamp_tz, "DAY"));
  EXPECT_EQ("2000", field(zoned, datetime_kind::timestamp_tz, "YEAR"));
  EXPECT_EQ("5", field(zoned, datetime_kind::timestamp_tz, "TIMEZONE_HOUR"));
  EXPECT_EQ("30", field(zoned, datetime_kind::timestamp_tz, "TIMEZONE_MINUTE"));
  EXPECT_EQ("-44", field(ymd(-44, 3, 15), datetime_kind::date, "YEAR"));
}

TEST(date_math, current_values_and_zones) {
  scoped_env zone("TZ", "EST5");
  tzset();
  auto when = std::chrono::system_clock::from_time_t(86400 * 365) + std::chrono::microseconds(1500001);
  datetime stamp = local_timestamp_at(when);
  EXPECT_EQ("1970-12-31 19:00:01.500001000 -05:00", shown(stamp));
  EXPECT_EQ("1970-12-31 19:00:01", shown(local_date_at(when)));
  EXPECT_EQ("1971-01-01 00:00:01.500001000 +00:00", shown(to_utc(stamp)));
  // A time without a zone is local time against one with.
  EXPECT_EQ(0, compare_datetimes(at("1970-12-31 19:00:01.500001"), stamp));
  EXPECT_EQ(-1, compare_datetimes(at("2001-01-01 10:00:00 +05:00"), at("2001-01-01 06:00:00 +00:00")));
  EXPECT_EQ(1, compare_datetimes(at("2001-01-01 10:00:00.1"), at("2001-01-01 10:00:00")));
  datetime now = current_date();
  EXPECT_EQ(0u, now.nanos);
  EXPECT_FALSE(now.has_zone);
  EXPECT_TRUE(current_timestamp().has_zone);
  EXPECT_EQ(0u, current_timestamp().nanos % 1000);
}

}  // namespace

namespace {

TEST(date_math, stored_texts_hold_every_day_of_the_calendar) {
  for (const char* text : {"1500-02-29 00:00:00", "-0044-03-15 12:00:00", "0001-01-01 00:00:00",
                           "-4713-01-02 00:00:00", "9999-12-31 23:59:59"}) {
    auto t = parse_datetime(text);
    ASSERT_TRUE(t) << text;
    EXPECT_EQ(text, datetime_text(*t, false, false));
  }
  EXPECT_EQ(-44, parse_datetime("-0044-03-15")->year);
  for (const char* text : {"1582-10-10", "1900-02-29", "0000-01-01", "-0000-01-01"})
    EXPECT_FALSE(parse_datetime(text)) << text;
}

}  // namespace
