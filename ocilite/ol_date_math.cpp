#include "ocilite/ol_date_math.h"

#include "ocilite/ol_decimal.h"
#include "ocilite/ol_error.h"

#include <cctype>
#include <ctime>
#include <string>

namespace ocilite {

namespace {

// The first day of the Gregorian calendar, as a Julian day number.
constexpr std::int64_t k_gregorian_start = 2299161;
// 01-01 of -4713 (4713 BC) and 12-31 of 9999.
constexpr std::int64_t k_first_day = 0;
constexpr std::int64_t k_last_day = 5373484;
constexpr std::int64_t k_day_seconds = 86400;

// The year counted with a year 0 (1 BC is 0, 2 BC is -1).
int astronomical(int year) { return year < 0 ? year + 1 : year; }
int from_astronomical(int year) { return year <= 0 ? year - 1 : year; }

std::int64_t time_seconds(const datetime& t) { return t.hour * 3600 + t.minute * 60 + t.second; }

std::string upper_ascii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// The offset east of UTC, in seconds, of the process's zone at a local
// wall time.
long local_offset_at(const datetime& t) {
  std::tm local{};
  local.tm_year = t.year - 1900;
  local.tm_mon = t.month - 1;
  local.tm_mday = t.day;
  local.tm_hour = t.hour;
  local.tm_min = t.minute;
  local.tm_sec = t.second;
  local.tm_isdst = -1;
  std::mktime(&local);
  return local.tm_gmtoff;
}

}  // namespace

decimal integer_decimal(std::int64_t n) { return *parse_decimal(std::to_string(n)); }

bool truncated_integer(const decimal& d, std::int64_t& out) {
  decimal whole = d;
  if (whole.exponent <= 0) {
    out = 0;
    return true;
  }
  if (whole.digits.size() > static_cast<std::size_t>(whole.exponent))
    whole.digits.resize(static_cast<std::size_t>(whole.exponent));
  return decimal_to_int64(whole, out);
}

std::int64_t wall_seconds(const datetime& t) { return julian_day(t) * k_day_seconds + time_seconds(t); }

datetime from_wall_seconds(std::int64_t s, const datetime& like) {
  std::int64_t day = s >= 0 ? s / k_day_seconds : -((-s + k_day_seconds - 1) / k_day_seconds);
  if (day < k_first_day || day > k_last_day) fail(1841);
  std::int64_t rest = s - day * k_day_seconds;
  datetime t = like;
  set_julian_day(t, day);
  t.hour = static_cast<int>(rest / 3600);
  t.minute = static_cast<int>(rest / 60 % 60);
  t.second = static_cast<int>(rest % 60);
  return t;
}

bool is_leap_year(int year) {
  int a = astronomical(year);
  if (a <= 1582) return ((a % 4) + 4) % 4 == 0;
  return (a % 4 == 0 && a % 100 != 0) || a % 400 == 0;
}

int days_in_month(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && is_leap_year(year) ? 29 : days[month - 1];
}

bool is_valid_date(int year, int month, int day) {
  if (year < -4713 || year > 9999 || year == 0) return false;
  if (month < 1 || month > 12 || day < 1 || day > days_in_month(year, month)) return false;
  return !(year == 1582 && month == 10 && day > 4 && day < 15);
}

std::int64_t julian_day(int year, int month, int day) {
  std::int64_t a = (14 - month) / 12;
  std::int64_t y = astronomical(year) + 4800 - a;
  std::int64_t m = month + 12 * a - 3;
  std::int64_t common = day + (153 * m + 2) / 5 + 365 * y + y / 4;
  bool gregorian = year > 1582 || (year == 1582 && (month > 10 || (month == 10 && day >= 15)));
  return gregorian ? common - y / 100 + y / 400 - 32045 : common - 32083;
}

std::int64_t julian_day(const datetime& t) { return julian_day(t.year, t.month, t.day); }

void set_julian_day(datetime& t, std::int64_t j) {
  std::int64_t f = j + 1401;
  if (j >= k_gregorian_start) f += (((4 * j + 274277) / 146097) * 3) / 4 - 38;
  std::int64_t e = 4 * f + 3;
  std::int64_t g = (e % 1461) / 4;
  std::int64_t h = 5 * g + 2;
  t.day = static_cast<int>((h % 153) / 5 + 1);
  t.month = static_cast<int>((h / 153 + 2) % 12 + 1);
  t.year = from_astronomical(static_cast<int>(e / 1461 - 4716 + (14 - t.month) / 12));
}

int day_of_week(const datetime& t) { return static_cast<int>((julian_day(t) + 1) % 7) + 1; }

int day_of_year(const datetime& t) {
  return static_cast<int>(julian_day(t) - julian_day(t.year, 1, 1)) + 1;
}

namespace {

// Monday 1 .. Sunday 7.
int iso_weekday(std::int64_t julian) { return static_cast<int>(julian % 7) + 1; }

// The Thursday of the ISO week of a day decides its year and number.
datetime iso_thursday(const datetime& t) {
  std::int64_t j = julian_day(t);
  datetime thursday;
  set_julian_day(thursday, j - iso_weekday(j) + 4);
  return thursday;
}

std::int64_t iso_year_start(int year) {
  std::int64_t jan4 = julian_day(year, 1, 4);
  return jan4 - (iso_weekday(jan4) - 1);
}

}  // namespace

int iso_week(const datetime& t) { return (day_of_year(iso_thursday(t)) - 1) / 7 + 1; }

int iso_year(const datetime& t) { return iso_thursday(t).year; }

void check_year_range(const datetime& t) {
  if (t.year < -4713 || t.year > 9999 || t.year == 0) fail(1841);
}

datetime as_date(const datetime& t) {
  datetime d = t;
  d.nanos = 0;
  d.has_zone = false;
  d.zone_minutes = 0;
  if (t.nanos >= 500000000) d = from_wall_seconds(wall_seconds(d) + 1, d);
  return d;
}

datetime add_days(const datetime& t, const decimal& days) {
  datetime d = as_date(t);
  std::int64_t seconds = 0;
  decimal exact = decimal_multiply(days, integer_decimal(k_day_seconds));
  if (!decimal_to_int64(exact, seconds) || seconds > (k_last_day + 1) * k_day_seconds ||
      seconds < -(k_last_day + 1) * k_day_seconds)
    fail(1841);
  return from_wall_seconds(wall_seconds(d) + seconds, d);
}

decimal days_between(const datetime& later, const datetime& earlier) {
  std::int64_t seconds = wall_seconds(as_date(later)) - wall_seconds(as_date(earlier));
  return decimal_divide(integer_decimal(seconds), integer_decimal(k_day_seconds));
}

datetime add_months(const datetime& t, const decimal& months) {
  std::int64_t n = 0;
  if (!truncated_integer(months, n) || n > 12 * 20000 || n < -12 * 20000) fail(1841);
  datetime d = as_date(t);
  std::int64_t index = static_cast<std::int64_t>(astronomical(d.year)) * 12 + (d.month - 1) + n;
  std::int64_t year = index >= 0 ? index / 12 : -((-index + 11) / 12);
  int month = static_cast<int>(index - year * 12) + 1;
  if (year < astronomical(-4713) || year > 9999) fail(1841);
  bool last = d.day == days_in_month(d.year, d.month);
  d.year = from_astronomical(static_cast<int>(year));
  d.month = month;
  int end = days_in_month(d.year, d.month);
  if (last || d.day > end) d.day = end;
  if (d.year == 1582 && d.month == 10 && d.day > 4 && d.day < 15) d.day = 15;
  return d;
}

decimal months_between(const datetime& a_in, const datetime& b_in) {
  datetime a = as_date(a_in), b = as_date(b_in);
  std::int64_t months = (static_cast<std::int64_t>(astronomical(a.year)) - astronomical(b.year)) * 12 +
                        (a.month - b.month);
  bool a_last = a.day == days_in_month(a.year, a.month);
  bool b_last = b.day == days_in_month(b.year, b.month);
  if (a.day == b.day || (a_last && b_last)) return integer_decimal(months);
  constexpr std::int64_t month_seconds = 31 * k_day_seconds;
  std::int64_t seconds = months * month_seconds + (a.day - b.day) * k_day_seconds +
                         time_seconds(a) - time_seconds(b);
  return decimal_divide(integer_decimal(seconds), integer_decimal(month_seconds));
}

datetime last_day(const datetime& t) {
  datetime d = t;
  d.day = days_in_month(d.year, d.month);
  return d;
}

namespace {

const char* const k_weekdays[] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};

}  // namespace

datetime next_day(const datetime& t, std::string_view weekday) {
  // The abbreviation decides; what follows it is not read, as on the server.
  std::string head = upper_ascii(weekday.substr(0, 3));
  int target = -1;
  for (int k = 0; k < 7; ++k)
    if (head == k_weekdays[k]) target = k + 1;
  if (target < 0) fail(1846);
  datetime d = as_date(t);
  int ahead = (target - day_of_week(d) + 7) % 7;
  if (ahead == 0) ahead = 7;
  return from_wall_seconds(wall_seconds(d) + ahead * k_day_seconds, d);
}

namespace {

enum class date_unit { century, year, iso_year, quarter, month, week_of_year, iso_week, week_of_month,
                       day, week, hour, minute };

date_unit unit_of(std::string_view format) {
  struct entry {
    const char* name;
    date_unit unit;
  };
  static const entry units[] = {
      {"CC", date_unit::century},   {"SCC", date_unit::century},    {"SYYYY", date_unit::year},
      {"YYYY", date_unit::year},    {"YEAR", date_unit::year},      {"SYEAR", date_unit::year},
      {"YYY", date_unit::year},     {"YY", date_unit::year},        {"Y", date_unit::year},
      {"IYYY", date_unit::iso_year}, {"IYY", date_unit::iso_year},  {"IY", date_unit::iso_year},
      {"I", date_unit::iso_year},   {"Q", date_unit::quarter},      {"MONTH", date_unit::month},
      {"MON", date_unit::month},    {"MM", date_unit::month},       {"RM", date_unit::month},
      {"WW", date_unit::week_of_year}, {"IW", date_unit::iso_week}, {"W", date_unit::week_of_month},
      {"DDD", date_unit::day},      {"DD", date_unit::day},         {"J", date_unit::day},
      {"DAY", date_unit::week},     {"DY", date_unit::week},        {"D", date_unit::week},
      {"HH", date_unit::hour},      {"HH12", date_unit::hour},      {"HH24", date_unit::hour},
      {"MI", date_unit::minute}};
  std::string name = upper_ascii(format);
  for (const entry& e : units)
    if (name == e.name) return e.unit;
  // Elements of a mask that name no unit to round to.
  static const char* const others[] = {"SS",   "SSSSS", "FF",  "AM",   "PM",   "A.M.", "P.M.",
                                       "AD",   "BC",    "A.D.", "B.C.", "TZH",  "TZM",  "TZR",
                                       "TZD",  "X",     "RR",  "RRRR", "DS",   "DL",   "TS",
                                       "Y,YYY", "FM",   "FX",  "SP",   "TH",   "E",    "EE"};
  for (const char* other : others)
    if (name == other) fail(1899);
  if (name.size() > 2 && name.compare(0, 2, "FF") == 0) fail(1899);
  fail(1821);
}

datetime at_day(std::int64_t julian) {
  datetime d;
  set_julian_day(d, julian);
  return d;
}

datetime first_of(int year, int month) {
  datetime d;
  d.year = year;
  d.month = month;
  d.day = 1;
  return d;
}

datetime next_year_start(int year) {
  int next = year == -1 ? 1 : year + 1;
  if (next > 9999) fail(1841);
  return first_of(next, 1);
}

datetime century_start(int year, bool next) {
  int start = year > 0 ? (year - 1) / 100 * 100 + 1 : -(((-year - 1) / 100 + 1) * 100);
  if (!next) return first_of(start, 1);
  int after = start > 0 ? start + 100 : (start == -100 ? 1 : start + 100);
  if (after > 9999) fail(1841);
  return first_of(after, 1);
}

datetime truncated(const datetime& d, date_unit unit) {
  std::int64_t j = julian_day(d);
  switch (unit) {
    case date_unit::century:
      return century_start(d.year, false);
    case date_unit::year:
      return first_of(d.year, 1);
    case date_unit::iso_year:
      return at_day(iso_year_start(iso_year(d)));
    case date_unit::quarter:
      return first_of(d.year, (d.month - 1) / 3 * 3 + 1);
    case date_unit::month:
      return first_of(d.year, d.month);
    case date_unit::week_of_year:
      return at_day(julian_day(d.year, 1, 1) + (day_of_year(d) - 1) / 7 * 7);
    case date_unit::iso_week:
      return at_day(j - (iso_weekday(j) - 1));
    case date_unit::week_of_month:
      return at_day(julian_day(d.year, d.month, 1) + (d.day - 1) / 7 * 7);
    case date_unit::day:
      return at_day(j);
    case date_unit::week:
      return at_day(j - (day_of_week(d) - 1));
    case date_unit::hour: {
      datetime h = at_day(j);
      h.hour = d.hour;
      return h;
    }
    case date_unit::minute: {
      datetime m = at_day(j);
      m.hour = d.hour;
      m.minute = d.minute;
      return m;
    }
  }
  return d;
}

}  // namespace

datetime trunc_date(const datetime& t, std::string_view format) {
  date_unit unit = unit_of(format);
  return truncated(as_date(t), unit);
}

datetime round_date(const datetime& t, std::string_view format) {
  date_unit unit = unit_of(format);
  datetime d = as_date(t);
  std::int64_t half = 0;
  switch (unit) {
    case date_unit::century:
      return century_start(d.year, d.year > 0 && (d.year - 1) % 100 >= 50);
    case date_unit::year:
      return d.month >= 7 ? next_year_start(d.year) : first_of(d.year, 1);
    case date_unit::iso_year:
      return at_day(iso_year_start(d.month >= 7 ? next_year_start(d.year).year : d.year));
    case date_unit::quarter: {
      int in_quarter = (d.month - 1) % 3;
      datetime start = first_of(d.year, d.month - in_quarter);
      if (in_quarter == 2 || (in_quarter == 1 && d.day >= 16)) return add_months(start, integer_decimal(3));
      return start;
    }
    case date_unit::month:
      return d.day >= 16 ? add_months(first_of(d.year, d.month), integer_decimal(1)) : first_of(d.year, d.month);
    case date_unit::week_of_year:
    case date_unit::iso_week:
    case date_unit::week_of_month:
    case date_unit::week:
      half = 7 * k_day_seconds / 2;
      break;
    case date_unit::day:
      half = k_day_seconds / 2;
      break;
    case date_unit::hour:
      half = 1800;
      break;
    case date_unit::minute:
      half = 30;
      break;
  }
  return truncated(from_wall_seconds(wall_seconds(d) + half, d), unit);
}

bool datetime_field_of(std::string_view name, datetime_field& out) {
  struct entry {
    const char* name;
    datetime_field field;
  };
  static const entry fields[] = {{"YEAR", datetime_field::year},
                                 {"MONTH", datetime_field::month},
                                 {"DAY", datetime_field::day},
                                 {"HOUR", datetime_field::hour},
                                 {"MINUTE", datetime_field::minute},
                                 {"SECOND", datetime_field::second},
                                 {"TIMEZONE_HOUR", datetime_field::timezone_hour},
                                 {"TIMEZONE_MINUTE", datetime_field::timezone_minute}};
  std::string upper = upper_ascii(name);
  for (const entry& e : fields)
    if (upper == e.name) {
      out = e.field;
      return true;
    }
  return false;
}

decimal extract_field(const datetime& t, datetime_kind kind, datetime_field field) {
  bool zone_field = field == datetime_field::timezone_hour || field == datetime_field::timezone_minute;
  if (kind == datetime_kind::date && field != datetime_field::year && field != datetime_field::month &&
      field != datetime_field::day)
    fail(30076);
  if (zone_field && kind != datetime_kind::timestamp_tz) fail(30076);
  if (zone_field) {
    int minutes = t.has_zone ? t.zone_minutes : 0;
    return integer_decimal(field == datetime_field::timezone_hour ? minutes / 60 : minutes % 60);
  }
  datetime v = kind == datetime_kind::timestamp_tz && t.has_zone ? to_utc(t) : t;
  switch (field) {
    case datetime_field::year:
      return integer_decimal(v.year);
    case datetime_field::month:
      return integer_decimal(v.month);
    case datetime_field::day:
      return integer_decimal(v.day);
    case datetime_field::hour:
      return integer_decimal(v.hour);
    case datetime_field::minute:
      return integer_decimal(v.minute);
    default: {
      std::string nanos = std::to_string(v.nanos);
      return *parse_decimal(std::to_string(v.second) + "." + std::string(9 - nanos.size(), '0') + nanos);
    }
  }
}

datetime local_date_at(std::chrono::system_clock::time_point when) {
  datetime d = local_timestamp_at(when);
  d.nanos = 0;
  d.has_zone = false;
  d.zone_minutes = 0;
  return d;
}

datetime local_timestamp_at(std::chrono::system_clock::time_point when) {
  auto micros = std::chrono::duration_cast<std::chrono::microseconds>(when.time_since_epoch()).count();
  std::int64_t seconds = micros >= 0 ? micros / 1000000 : -((-micros + 999999) / 1000000);
  std::time_t whole = static_cast<std::time_t>(seconds);
  std::tm local{};
  localtime_r(&whole, &local);
  datetime t;
  t.year = local.tm_year + 1900;
  t.month = local.tm_mon + 1;
  t.day = local.tm_mday;
  t.hour = local.tm_hour;
  t.minute = local.tm_min;
  t.second = local.tm_sec;
  t.nanos = static_cast<ub4>((micros - seconds * 1000000) * 1000);
  t.has_zone = true;
  t.zone_minutes = static_cast<int>(local.tm_gmtoff / 60);
  return t;
}

datetime current_date() { return local_date_at(std::chrono::system_clock::now()); }

datetime current_timestamp() { return local_timestamp_at(std::chrono::system_clock::now()); }

datetime to_utc(const datetime& t) {
  long offset = t.has_zone ? static_cast<long>(t.zone_minutes) * 60 : local_offset_at(t);
  datetime u = t;
  u.has_zone = false;
  u = from_wall_seconds(wall_seconds(u) - offset, u);
  u.has_zone = true;
  u.zone_minutes = 0;
  return u;
}

int compare_datetimes(const datetime& a, const datetime& b) {
  datetime x = a, y = b;
  if (a.has_zone || b.has_zone) {
    x = to_utc(a);
    y = to_utc(b);
  }
  std::int64_t sx = wall_seconds(x), sy = wall_seconds(y);
  if (sx != sy) return sx < sy ? -1 : 1;
  if (x.nanos != y.nanos) return x.nanos < y.nanos ? -1 : 1;
  return 0;
}

}  // namespace ocilite
