#include "ocilite/ol_date_format.h"
#include "ocilite/ol_error.h"
#include "tests/support/scoped_env.h"
#include "value_cases.h"

#include <gtest/gtest.h>

#include <ctime>
#include <functional>

using namespace ocilite;

namespace {

using kind = datetime_kind;

TEST(date_format, to_char_writes_every_element) {
  datetime t = at("2001-03-12 14:05:09.123456789");  // a Monday
  struct row {
    const char* mask;
    const char* expected;
  } rows[] = {
      {"YYYY-MM-DD HH24:MI:SS", "2001-03-12 14:05:09"},
      {"DD-MON-RR", "12-MAR-01"},
      {"Month DD, YYYY", "March     12, 2001"},
      {"FMMonth DD, YYYY", "March 12, 2001"},
      {"fmDay, ddth \"of\" month", "Monday, 12th of march"},
      {"DY dy Dy Mon mon", "MON mon Mon Mar mar"},
      {"DAY|", "MONDAY   |"},
      {"HH:MI:SS AM", "02:05:09 PM"},
      {"HH12 a.m. Pm", "02 p.m. Pm"},
      {"D DDD J", "2 071 2451981"},
      {"Q WW IW W", "1 11 11 2"},
      {"FF3 FF FF9 FF1", "123 123456 123456789 1"},
      {"SSSSS X", "50709 ."},
      {"CC SCC", "21  21"},
      {"Y,YYY YYY YY Y RRRR RR", "2,001 001 01 1 2001 01"},
      {"IYYY IYY IY I", "2001 001 01 1"},
      {"RM|rm|FMRM|", "III |iii |III|"},
      {"DDSP DdSpTH ddspth", "TWELVE Twelfth twelfth"},
      {"YYYYSP", "TWO THOUSAND ONE"},
      {"JSP", "TWO MILLION FOUR HUNDRED FIFTY-ONE THOUSAND NINE HUNDRED EIGHTY-ONE"},
      {"\"Quarter\" Q, \"week\" FMWW", "Quarter 1, week 11"},
      {"AD B.C. bc", "AD A.D. ad"},
      {"FMDD.MM.YYYY FMHH24", "12.3.2001 14"},
  };
  for (const row& r : rows) EXPECT_EQ(r.expected, to_char_datetime(t, r.mask, kind::timestamp, 6)) << r.mask;

  struct ordinal {
    int day;
    const char* th;
    const char* spth;
  } ordinals[] = {{1, "01ST", "FIRST"},   {2, "02ND", "SECOND"},       {3, "03RD", "THIRD"},
                  {11, "11TH", "ELEVENTH"}, {20, "20TH", "TWENTIETH"}, {22, "22ND", "TWENTY-SECOND"},
                  {23, "23RD", "TWENTY-THIRD"}, {30, "30TH", "THIRTIETH"}};
  for (const ordinal& o : ordinals) {
    EXPECT_EQ(o.th, to_char_datetime(ymd(2001, 1, o.day), "DDTH", kind::date)) << o.day;
    EXPECT_EQ(o.spth, to_char_datetime(ymd(2001, 1, o.day), "DDSPTH", kind::date)) << o.day;
  }
  EXPECT_EQ("0099 99 99 1", to_char_datetime(ymd(99, 6, 1), "YYYY YY FMYYYY CC", kind::date));
  EXPECT_EQ("-0044 0044 BC -01", to_char_datetime(ymd(-44, 3, 15), "SYYYY YYYY BC SCC", kind::date));
  EXPECT_EQ(" 1850 01-01", to_char_datetime(ymd(1850, 1, 1), "SYYYY MM-DD", kind::date));
  EXPECT_EQ("0000001", to_char_datetime(ymd(-4713, 1, 2), "J", kind::date));
  datetime zoned = at("2001-03-12 10:00:00 +05:30");
  EXPECT_EQ("+05:30 +05:30", to_char_datetime(zoned, "TZH:TZM TZR", kind::timestamp_tz));
  EXPECT_EQ("-08:00", to_char_datetime(at("2001-03-12 10:00:00 -08:00"), "TZR", kind::timestamp_tz));
}

TEST(date_format, default_texts_are_the_sessions) {
  datetime t = at("2001-03-12 14:05:09.1234");
  EXPECT_EQ("12-MAR-01", default_datetime_text(t, kind::date));
  EXPECT_EQ("12-MAR-01 02.05.09.123400000 PM", default_datetime_text(t, kind::timestamp));
  EXPECT_EQ("12-MAR-01 02.05.09.123400 PM", default_datetime_text(t, kind::timestamp, 6));
  EXPECT_EQ("12-MAR-01 10.00.00.000000 AM +05:30",
            default_datetime_text(at("2001-03-12 10:00:00 +05:30"), kind::timestamp_tz, 6));
  EXPECT_EQ("12-MAR-50", default_datetime_text(at("1850-03-12"), kind::date));
}

TEST(date_format, to_char_refuses_what_the_kind_lacks) {
  datetime t = at("2001-03-12");
  for (const char* mask : {"FF", "HH:MI:SS.FF3", "TZH", "YEAR", "DS", "XYZ", "\"open", "YYYY1"})
    EXPECT_EQ(1821, error_of([&] { to_char_datetime(t, mask, kind::date); })) << mask;
  EXPECT_EQ(1821, error_of([&] { to_char_datetime(t, "TZR", kind::timestamp); }));
  EXPECT_EQ(0, error_of([&] { check_datetime_mask("DD-MON-RR HH.MI.SSXFF AM", kind::timestamp, true); }));
  EXPECT_EQ(1820, error_of([&] { check_datetime_mask("YYYY Q", kind::date, true); }));
  EXPECT_EQ(0, error_of([&] { check_datetime_mask("YYYY Q", kind::date, false); }));
}

TEST(date_format, to_date_reads_the_server_forms) {
  date_defaults now{2024, 6};
  struct row {
    const char* text;
    const char* mask;
    const char* expected;
  } rows[] = {
      {"2001-03-12", "YYYY-MM-DD", "2001-03-12 00:00:00"},
      {"2001/3/5", "YYYY-MM-DD", "2001-03-05 00:00:00"},
      {"20010312", "YYYYMMDD", "2001-03-12 00:00:00"},
      {"  2001 - 03 - 12  ", "YYYY-MM-DD", "2001-03-12 00:00:00"},
      {"12-MAR-01", "DD-MON-RR", "2001-03-12 00:00:00"},
      {"12-mar-99", "DD-MON-RR", "1999-03-12 00:00:00"},
      {"12-Mar-2001", "DD-MON-RR", "2001-03-12 00:00:00"},
      {"12-MARCH-01", "DD-MON-RR", "2001-03-12 00:00:00"},
      {"12-Mar-01", "DD-MM-RR", "2001-03-12 00:00:00"},
      {"12-03-01", "DD-MM-YY", "2001-03-12 00:00:00"},
      {"12-03-99", "DD-MM-YY", "2099-03-12 00:00:00"},
      {"01-01-01", "DD-MM-YYYY", "0001-01-01 00:00:00"},
      {"March 12, 2001", "Month DD, YYYY", "2001-03-12 00:00:00"},
      {"2001-03-12 14:05:09", "YYYY-MM-DD HH24:MI:SS", "2001-03-12 14:05:09"},
      {"2001-03-12 02:05:09 PM", "YYYY-MM-DD HH:MI:SS AM", "2001-03-12 14:05:09"},
      {"2001-03-12 12:00:00 AM", "YYYY-MM-DD HH12:MI:SS PM", "2001-03-12 00:00:00"},
      {"2001-03-12 12:30 p.m.", "YYYY-MM-DD HH:MI AM", "2001-03-12 12:30:00"},
      {"2001-03-12", "YYYY-MM-DD HH24:MI:SS", "2001-03-12 00:00:00"},
      {"12", "DD", "2024-06-12 00:00:00"},
      {"2451981", "J", "2001-03-12 00:00:00"},
      {"2001 071", "YYYY DDD", "2001-03-12 00:00:00"},
      {"2000 366", "YYYY DDD", "2000-12-31 00:00:00"},
      {"50709", "SSSSS", "2024-06-01 14:05:09"},
      {"1500-02-29", "YYYY-MM-DD", "1500-02-29 00:00:00"},
      {"1850-06-15", "YYYY-MM-DD", "1850-06-15 00:00:00"},
      {"on 12", "\"on\" DD", "2024-06-12 00:00:00"},
      {"Mon 12-03-2001", "DY DD-MM-YYYY", "2001-03-12 00:00:00"},
      {"12-III-2001", "DD-RM-YYYY", "2001-03-12 00:00:00"},
      {"12TH March 2001", "DDTH MONTH YYYY", "2001-03-12 00:00:00"},
      {"2,001", "Y,YYY", "2001-06-01 00:00:00"},
      {"2001-3-12", "FXYYYY-FMMM-DD", "2001-03-12 00:00:00"},
  };
  for (const row& r : rows) {
    std::string got;
    int error = error_of([&] { got = datetime_text(to_datetime(r.text, r.mask, kind::date, now), false, false); });
    EXPECT_EQ(0, error) << r.text << " / " << r.mask;
    EXPECT_EQ(r.expected, got) << r.text << " / " << r.mask;
  }
  // RR takes the century nearest the current year.
  EXPECT_EQ(2120, to_datetime("12-03-20", "DD-MM-RR", kind::date, {2060, 1}).year);
  EXPECT_EQ(2070, to_datetime("12-03-70", "DD-MM-RR", kind::date, {2060, 1}).year);
  EXPECT_EQ(-44, to_datetime("-0044-03-15", "SYYYY-MM-DD", kind::date, now).year);
  EXPECT_EQ(-44, to_datetime("0044-03-15 BC", "YYYY-MM-DD BC", kind::date, now).year);
  EXPECT_EQ(0u, to_datetime("2001-03-12", "YYYY-MM-DD", kind::date, now).nanos);
}

TEST(date_format, to_date_errors) {
  date_defaults now{2024, 6};
  struct row {
    const char* text;
    const char* mask;
    int error;
  } rows[] = {
      {"1900-02-29", "YYYY-MM-DD", 1839},       {"1582-10-10", "YYYY-MM-DD", 1839},
      {"2001-02-30", "YYYY-MM-DD", 1839},       {"2001-01-32", "YYYY-MM-DD", 1847},
      {"2001-13-01", "YYYY-MM-DD", 1843},       {"2001-00-01", "YYYY-MM-DD", 1843},
      {"0000-01-01", "YYYY-MM-DD", 1841},       {"12-XYZ-01", "DD-MON-RR", 1843},
      {"12-03-01", "DD-MON-RR", 1843},          {"2001-03-12 25:00", "YYYY-MM-DD HH24:MI", 1850},
      {"13:00", "HH:MI", 1849},                 {"10:60", "HH24:MI", 1851},
      {"10:00:60", "HH24:MI:SS", 1852},         {"86400", "SSSSS", 1853},
      {"0", "J", 1854},                         {"2001 367", "YYYY DDD", 1848},
      {"2001 366", "YYYY DDD", 1848},           {"2001-03-12 extra", "YYYY-MM-DD", 1830},
      {"2001", "YYYY-MM-DD", 1840},             {"2001-03-12", "YYYY-MM-DD YYYY", 1812},
      {"2001-03-12", "YYYY-MM-DD-MM", 1816},    {"10 10", "HH24 HH", 1813},
      {"10 AM", "HH24 AM", 1818},               {"Mon Tue", "DY DAY", 1817},
      {"12 12", "DD DD", 1810},                 {"x2001", "YYYY", 1858},
      {"2001-3-12", "FXYYYY-MM-DD", 1862},      {"2001/03/12", "FXYYYY-MM-DD", 1861},
      {"at 12", "\"on\" DD", 1861},             {"2001-03-12", "YYYY-MM-DD Q", 1820},
      {"2001", "YYYY FF", 1821},                {"2451981 2002", "J YYYY", 1831},
      {"2451981 04", "J MM", 1833},             {"50709 13", "SSSSS HH24", 1836},
      {"10:00 XM", "HH:MI AM", 1855},           {"2001 XX", "YYYY BC", 1856},
      {"Xyz 12", "DY DD", 1846},                {"12 x", "DD Y", 1858},
  };
  for (const row& r : rows)
    EXPECT_EQ(r.error, error_of([&] { to_datetime(r.text, r.mask, kind::date, now); })) << r.text << " / " << r.mask;
}

TEST(date_format, to_timestamp_reads_fractions_and_zones) {
  date_defaults now{2024, 6};
  auto stamp = [&](const char* text, std::string_view mask, kind k) {
    return datetime_text(to_datetime(text, mask, k, now), true, true);
  };
  EXPECT_EQ("2001-03-12 14:05:09.123000000",
            stamp("2001-03-12 14:05:09.123", "YYYY-MM-DD HH24:MI:SS.FF", kind::timestamp));
  EXPECT_EQ("2001-03-12 14:05:09.123456000",
            stamp("12-MAR-01 02.05.09.123456 PM", k_timestamp_format, kind::timestamp));
  EXPECT_EQ("2001-03-12 14:05:09.000000000", stamp("12-MAR-01 02.05.09 PM", k_timestamp_format, kind::timestamp));
  EXPECT_EQ("2001-03-12 10:00:00.000000000 +05:30",
            stamp("2001-03-12 10:00 +05:30", "YYYY-MM-DD HH24:MI TZH:TZM", kind::timestamp_tz));
  EXPECT_EQ("2001-03-12 10:00:00.000000000 -08:00",
            stamp("2001-03-12 10:00 -08:00", "YYYY-MM-DD HH24:MI TZR", kind::timestamp_tz));
  EXPECT_EQ("2001-03-12 10:00:00.000000000 +00:00",
            stamp("2001-03-12 10:00 UTC", "YYYY-MM-DD HH24:MI TZR", kind::timestamp_tz));
  {
    scoped_env zone("TZ", "EST5");
    tzset();
    EXPECT_EQ("2001-03-12 10:00:00.000000000 -05:00",
              stamp("2001-03-12 10:00", "YYYY-MM-DD HH24:MI TZH:TZM", kind::timestamp_tz));
  }
  tzset();
  EXPECT_EQ(1874, error_of([&] { stamp("2001-03-12 10:00 +16:00", "YYYY-MM-DD HH24:MI TZH:TZM", kind::timestamp_tz); }));
  EXPECT_EQ(1875, error_of([&] { stamp("2001-03-12 10:00 +05:61", "YYYY-MM-DD HH24:MI TZH:TZM", kind::timestamp_tz); }));
  EXPECT_EQ(1882, error_of([&] { stamp("2001-03-12 10:00 Mars/Base", "YYYY-MM-DD HH24:MI TZR", kind::timestamp_tz); }));
  EXPECT_EQ(1821, error_of([&] { stamp("2001-03-12 10:00 +05:00", "YYYY-MM-DD HH24:MI TZH:TZM", kind::timestamp); }));
  // What TO_CHAR writes, TO_DATE reads back.
  datetime t = at("1850-06-15 23:59:58.5");
  for (std::string_view mask : {std::string_view("YYYY-MM-DD HH24:MI:SS.FF"), std::string_view("J SSSSS.FF"),
                                std::string_view("fmDay, Month ddth, YYYY fmHH:MI:SS.FF9 AM")})
    EXPECT_EQ("1850-06-15 23:59:58.500000000",
              stamp(to_char_datetime(t, mask, kind::timestamp).c_str(), mask, kind::timestamp)) << mask;
}

}  // namespace
