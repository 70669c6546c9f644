// The calendar and the arithmetic of DATE and TIMESTAMP values as the
// server computes them: the Julian calendar before 1582-10-15 and the
// Gregorian from that day on (the ten days between do not exist), years
// -4713 to 9999 without a year 0 (-1 is 1 BC), weeks that begin on Sunday.
// A DATE is a datetime without fraction or zone; a TIMESTAMP WITH TIME
// ZONE carries its offset (has_zone).
#pragma once

#include "ocilite/ol_values.h"

#include <chrono>
#include <cstdint>
#include <string_view>

namespace ocilite {

// What a datetime value is: DATE, TIMESTAMP, TIMESTAMP WITH TIME ZONE or
// WITH LOCAL TIME ZONE (kept in the session's, here the process's, zone).
enum class datetime_kind { date, timestamp, timestamp_tz, timestamp_ltz };

// The year -1 is 1 BC; every fourth year before 1600 is a leap year (1500
// is one), then the Gregorian rule (1700 is none, 2000 is one).
bool is_leap_year(int year);
int days_in_month(int year, int month);
// A day of the calendar: years -4713..9999 but 0, and no 1582-10-05..14.
bool is_valid_date(int year, int month, int day);
// The Julian day number, the 'J' of a mask: 1721424 for 0001-01-01,
// 2299161 for 1582-10-15, 5373484 for 9999-12-31.
std::int64_t julian_day(int year, int month, int day);
std::int64_t julian_day(const datetime& t);
// Sets year, month and day of `t` to those of a Julian day number.
void set_julian_day(datetime& t, std::int64_t julian);
// 1 (Sunday) to 7 (Saturday), the 'D' of a mask.
int day_of_week(const datetime& t);
// 1 to 366, the 'DDD' of a mask.
int day_of_year(const datetime& t);
// The ISO 8601 week (1..53, 'IW') and the year it belongs to ('IYYY').
int iso_week(const datetime& t);
int iso_year(const datetime& t);
// Throws ORA-01841 unless `t` lies in years -4713..9999 (not 0).
void check_year_range(const datetime& t);
// The DATE of a datetime, as the server turns a TIMESTAMP into a DATE:
// the wall time kept, the zone dropped, the fraction rounded to the second
// (half up).
datetime as_date(const datetime& t);

// Seconds of a wall time from the start of Julian day 0, and back
// (ORA-01841 outside the calendar's years); `like` gives the fraction and
// zone of the result.
std::int64_t wall_seconds(const datetime& t);
datetime from_wall_seconds(std::int64_t seconds, const datetime& like);

// Whole numbers and NUMBERs: the NUMBER of an integer, and the integer of
// a NUMBER truncated toward zero (false past 64 bits).
decimal integer_decimal(std::int64_t n);
bool truncated_integer(const decimal& d, std::int64_t& out);

// DATE + n: n days with a fraction, the result to the nearest second (half
// away from zero), so DATE + 1/86400 is one second later. The result is a
// DATE (a TIMESTAMP operand loses its fraction and zone first). ORA-01841
// when it leaves the calendar's years.
datetime add_days(const datetime& t, const decimal& days);
// DATE - DATE: days as a NUMBER, the seconds between over 86400 to 40
// significant digits (12 hours is .5, one second
// .00001157407407407407407407407407407407407407). Fractions and zones
// are ignored, as for two DATEs.
decimal days_between(const datetime& later, const datetime& earlier);

// ADD_MONTHS(t, n): n truncated to a whole number; the last day of a month,
// and a day past the end of the target month, give the target's last day
// (ADD_MONTHS of 01-31 by one is 02-28 or 02-29; of 02-28 by one 03-31).
// The time of day is kept. ORA-01841 past the calendar's years.
datetime add_months(const datetime& t, const decimal& months);
// MONTHS_BETWEEN(a, b): whole months when both days of the month are the
// same or both are the last of their months; else the difference of the
// days and of the times of day over a month of 31 days, as a NUMBER of 40
// significant digits (MONTHS_BETWEEN of 1995-02-02 and 1995-01-01 is
// 1.032258064516129032258064516129032258065). Negative when a < b.
decimal months_between(const datetime& a, const datetime& b);
// LAST_DAY(t): the last day of t's month, the time of day kept.
datetime last_day(const datetime& t);
// NEXT_DAY(t, name): the first later day that is that day of the week,
// named in English in full or by its first three letters, in any case;
// the time of day kept. ORA-01846 for another name.
datetime next_day(const datetime& t, std::string_view weekday);

// TRUNC(t, format) and ROUND(t, format): a DATE (a TIMESTAMP is taken as
// its DATE). Formats, in any case: CC SCC; SYYYY YYYY YEAR SYEAR YYY YY Y;
// IYYY IYY IY I; Q; MONTH MON MM RM; WW IW W; DDD DD J; DAY DY D; HH HH12
// HH24; MI. The default is DD. ROUND goes up from July 1 for the year,
// from the 16th of a month, from the 16th of a quarter's second month,
// from year 51 of a century, and at the half of the other units (noon for
// a day, 3.5 days for a week, 30 seconds for a minute). ORA-01899 for a
// format element that is not one of these (SS, FF, AM ...), ORA-01821 for
// what is no format element.
datetime trunc_date(const datetime& t, std::string_view format = "DD");
datetime round_date(const datetime& t, std::string_view format = "DD");

// EXTRACT(field FROM t).
enum class datetime_field { year, month, day, hour, minute, second, timezone_hour, timezone_minute };
// The field named in an EXTRACT, in any case; false for another word.
bool datetime_field_of(std::string_view name, datetime_field& out);
// From a DATE only YEAR, MONTH and DAY (ORA-30076 for the others, as on
// the server); the zone fields only from a TIMESTAMP WITH TIME ZONE. A
// TIMESTAMP WITH TIME ZONE gives its fields in UTC. SECOND carries the
// fraction (4.5); a BC year is negative.
decimal extract_field(const datetime& t, datetime_kind kind, datetime_field field);

// SYSDATE and CURRENT_DATE: the local time to the second.
datetime current_date();
// SYSTIMESTAMP and CURRENT_TIMESTAMP: the local time to the microsecond
// with the local offset (has_zone); LOCALTIMESTAMP is the same without it.
datetime current_timestamp();
// Both of a given instant, for callers that evaluate them once a statement.
datetime local_date_at(std::chrono::system_clock::time_point when);
datetime local_timestamp_at(std::chrono::system_clock::time_point when);

// The same instant in UTC (has_zone with offset 0); a value without a
// zone is taken as the process's local time.
datetime to_utc(const datetime& t);

// Orders two values as the server compares them: values with a zone by
// their instant, a value without a zone against one with as local time,
// two values without by their fields. -1, 0 or 1.
int compare_datetimes(const datetime& a, const datetime& b);

}  // namespace ocilite
