#include "OLE/ole_date.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "platform/oleauto.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <locale.h>

namespace {

locale_t c_locale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return loc;
}

short* as_short(WORD& field) { return reinterpret_cast<short*>(&field); }

int digits_in(const char* text, int from, int to) {
  int n = 0;
  for (int i = from; i < to; ++i)
    if (text[i] >= '0' && text[i] <= '9') ++n;
  return n;
}

bool has_pm(const std::string& text) {
  return text.find("PM") != std::string::npos || text.find("pm") != std::string::npos;
}

}  // namespace

ole_date::ole_date(const SYSTEMTIME& time) : type(date_time), st(time) {
  tk_log::write(1, "ole_date::ole_date(SYSTEMTIME)");
  refine_type();
}

ole_date::ole_date(const std::string& text) {
  tk_log::write(1, "ole_date::ole_date('%s')", text.c_str());
  read(text);
}

ole_date::ole_date(const std::wstring& text) {
  std::string narrow;
  if (!tk_w2a(text.c_str(), narrow)) narrow.clear();
  tk_log::write(1, "ole_date::ole_date('%s')", narrow.c_str());
  read(narrow);
}

void ole_date::read(const std::string& given) {
  st = SYSTEMTIME{};
  type = invalid;
  std::string text = tk_trim(given);
  for (const char* marker : {"AM", "PM", "am", "pm"}) {
    std::size_t at = text.find(marker);
    if (at != std::string::npos) {
      text = tk_trim(text.substr(0, at));
      break;
    }
  }
  // The shortest text that can hold a time is h:mm.
  if (text.size() < 4) {
    tk_log::write(2, "Invalid date/time format: '%s'", given.c_str());
    return;
  }
  import_from_string(text);
  if (type == date_time || type == date_only) {
    // Written day first, as 31.12.2010.
    if (st.wDay > 31 && st.wYear < 32) {
      std::swap(st.wYear, st.wDay);
      year_digits = day_digits;
    }
    // A year written with two digits: 49 is 2049, 50 is 1950. One written
    // with more, as 0050, is that year.
    if (st.wYear < 100 && st.wMonth && st.wDay && year_digits <= 2)
      st.wYear = static_cast<WORD>(st.wYear + (st.wYear < 50 ? 2000 : 1900));
  }
  // 12:30 AM stays as it is, as does 12:30 PM.
  if (has_pm(given) && st.wHour < 12) st.wHour = static_cast<WORD>(st.wHour + 12);
}

void ole_date::import_from_string(const std::string& text) {
  tk_log::write(1, "ole_date::import_from_string(%s)", text.c_str());
  const char* s = text.c_str();
  if (text.size() == 14) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, se = 0;
    if (std::sscanf(s, "%4d%2d%2d%2d%2d%2d", &y, &mo, &d, &h, &mi, &se) == 6) {
      st.wYear = static_cast<WORD>(y), st.wMonth = static_cast<WORD>(mo), st.wDay = static_cast<WORD>(d);
      st.wHour = static_cast<WORD>(h), st.wMinute = static_cast<WORD>(mi), st.wSecond = static_cast<WORD>(se);
      type = date_time;
      year_digits = 4;
      if (is_valid()) return;
    }
  } else if (text.size() == 8) {
    int y = 0, mo = 0, d = 0;
    if (std::sscanf(s, "%4d%2d%2d", &y, &mo, &d) == 3) {
      st.wYear = static_cast<WORD>(y), st.wMonth = static_cast<WORD>(mo), st.wDay = static_cast<WORD>(d);
      type = date_only;
      year_digits = 4;
      if (is_valid()) return;
    }
  }
  if (text.size() == 14 || text.size() == 8) st = SYSTEMTIME{};

  char seconds[256] = "";
  int fields = std::sscanf(s, "%hd:%hd:%255s", as_short(st.wHour), as_short(st.wMinute), seconds);
  if (fields == 3 || fields == 2) {
    type = time_only;
    if (fields == 3 && is_valid()) process_milliseconds(seconds);
    if (is_valid()) return;
  }

  st = SYSTEMTIME{};
  // %n marks where the first and the third number begin and end, for the
  // digits the year was written with.
  for (const char* format : {"%n%hd%n-%hd-%n%hd%n %hd:%hd:%255s", "%n%hd%n/%hd/%n%hd%n %hd:%hd:%255s",
                             "%n%hd%n.%hd.%n%hd%n %hd:%hd:%255s"}) {
    seconds[0] = 0;
    int at[4] = {0, 0, 0, 0};
    fields = std::sscanf(s, format, &at[0], as_short(st.wYear), &at[1], as_short(st.wMonth), &at[2],
                         as_short(st.wDay), &at[3], as_short(st.wHour), as_short(st.wMinute), seconds);
    year_digits = digits_in(s, at[0], at[1]);
    day_digits = digits_in(s, at[2], at[3]);
    if (fields == 3) {
      type = date_only;
      if (is_valid()) return;
    } else if (fields == 6) {
      type = date_time;
      if (is_valid()) {
        process_milliseconds(seconds);
        refine_type();
        if (is_valid()) return;
      }
    }
  }

  std::wstring wide;
  DATE number = 0;
  if (tk_a2w(s, wide)) {
    LCID lcid = GetSystemDefaultLCID();
    if (SUCCEEDED(VarDateFromStr(wide.c_str(), lcid ? lcid : 0x409, 0, &number)) &&
        VariantTimeToSystemTime(number, &st)) {
      type = date_time;
      year_digits = 4;
      refine_type();
      tk_log::write(1, "Got datetime using Microsoft API");
      return;
    }
  }
  st = SYSTEMTIME{};
  type = invalid;
  tk_log::write(2, "Invalid date/time format: '%s'", s);
}

void ole_date::process_milliseconds(const char* seconds) {
  if (!seconds) throw tk_mail_assertion("ole_date", 422);
  // A plain decimal is cut at its third fraction digit as written: through
  // a double, 59.999999999 would round up to a thousand milliseconds.
  const char* p = seconds;
  while (*p == ' ' || *p == '\t') ++p;
  const char* q = p;
  long whole = 0;
  for (; *q >= '0' && *q <= '9'; ++q) whole = std::min(whole * 10 + (*q - '0'), 100000L);
  bool has_digits = q != p;
  int milliseconds = 0;
  if (*q == '.') {
    int n = 0;
    for (++q; *q >= '0' && *q <= '9'; ++q, ++n) {
      if (n < 3) milliseconds = milliseconds * 10 + (*q - '0');
      has_digits = true;
    }
    for (; n < 3; ++n) milliseconds *= 10;
  }
  if (has_digits && *q != 'e' && *q != 'E') {
    st.wSecond = static_cast<WORD>(whole);
    st.wMilliseconds = static_cast<WORD>(milliseconds);
    return;
  }
  double x = strtod_l(seconds, nullptr, c_locale());
  if (!(x >= 0 && x < 100000)) x = 0;
  double second = std::trunc(x);
  st.wSecond = static_cast<WORD>(second);
  st.wMilliseconds = static_cast<WORD>(std::min(999.0, std::floor((x - second) * 1000.0)));
}

void ole_date::refine_type() {
  if (!st.wYear && !st.wMonth && !st.wDay)
    type = time_only;
  else if (!st.wHour && !st.wMinute && !st.wSecond && !st.wMilliseconds && st.wYear && st.wMonth && st.wDay)
    type = date_only;
}

bool ole_date::is_valid() const {
  if (type == invalid) return false;
  if (!st.wYear && !st.wMonth && !st.wDay) {
    tk_log::write(1, "DATETIME is a pute time");
  } else {
    if (st.wMonth < 1 || st.wMonth > 12) {
      tk_log::write(1, "Invalid month");
      return false;
    }
    if (!st.wDay || !st.wYear || (st.wDay > 31 && st.wYear > 31)) {
      tk_log::write(1, "Invalid day and/or year");
      return false;
    }
  }
  if (st.wHour > 60 || st.wMinute > 60 || st.wSecond > 60) {
    tk_log::write(1, "Invalid time");
    return false;
  }
  return true;
}

ole_variant ole_date::to_variant() const { return ole_variant(st); }

namespace {

// `value` in decimal with at least `width` digits, as "%0*d" gives it.
char* put_number(char* p, unsigned value, int width) {
  char digits[12];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  for (int i = n; i < width; ++i) *p++ = '0';
  while (n > 0) *p++ = digits[--n];
  return p;
}

char* put_date(char* p, const SYSTEMTIME& t) {
  // A year before 1 comes from the client as a negative year in the
  // field's 16 bits (no calendar of the system goes past 30827): BC, as
  // the server writes it, -0044.
  int year = static_cast<std::int16_t>(t.wYear);
  if (year < 0) *p++ = '-';
  p = put_number(p, static_cast<unsigned>(year < 0 ? -year : year), 4);
  *p++ = '-';
  p = put_number(p, t.wMonth, 2);
  *p++ = '-';
  return put_number(p, t.wDay, 2);
}

char* put_time(char* p, const SYSTEMTIME& t, bool with_milliseconds) {
  p = put_number(p, t.wHour, 2);
  *p++ = ':';
  p = put_number(p, t.wMinute, 2);
  *p++ = ':';
  p = put_number(p, t.wSecond, 2);
  if (with_milliseconds) {
    *p++ = '.';
    p = put_number(p, t.wMilliseconds, 3);
  }
  return p;
}

std::string print(const ole_date& d, bool with_milliseconds, bool wide) {
  const SYSTEMTIME& t = d.st;
  char buffer[96];
  char* p = buffer;
  switch (d.type) {
    case ole_date::date_time:
      p = put_date(p, t);
      // A time of milliseconds past midnight is still a time of day.
      if (!t.wHour && !t.wMinute && !t.wSecond && (!t.wMilliseconds || !with_milliseconds) && d.midnight_as_date)
        break;
      *p++ = ' ';
      p = put_time(p, t, t.wMilliseconds && with_milliseconds);
      break;
    case ole_date::date_only:
      p = put_date(p, t);
      break;
    case ole_date::time_only:
      if (!wide) p = put_date(p, SYSTEMTIME{});
      if (!wide) *p++ = ' ';
      p = put_time(p, t, t.wMilliseconds != 0);
      break;
    default:
      break;
  }
  return std::string(buffer, p);
}

}  // namespace

std::string ole_date::to_string(bool with_milliseconds) const { return print(*this, with_milliseconds, false); }

std::wstring ole_date::to_wstring(bool with_milliseconds) const {
  std::string text = print(*this, with_milliseconds, true);
  return std::wstring(text.begin(), text.end());
}
