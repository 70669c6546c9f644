#include "platform/oleauto.h"

#include <cmath>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
long long days_from_civil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  long long era = (y >= 0 ? y : y - 399) / 400;
  auto yoe = static_cast<unsigned>(y - era * 400);
  unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

void civil_from_days(long long z, long long& y, unsigned& m, unsigned& d) {
  z += 719468;
  long long era = (z >= 0 ? z : z - 146096) / 146097;
  auto doe = static_cast<unsigned>(z - era * 146097);
  unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<long long>(yoe) + era * 400 + (m <= 2);
}

bool is_leap(long long y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned days_in_month(long long y, unsigned m) {
  static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && is_leap(y) ? 29 : days[m - 1];
}

const long long epoch = days_from_civil(1899, 12, 30);

constexpr double first_date = -657434.0;  // 0100-01-01
constexpr double end_date = 2958466.0;    // 10000-01-01

bool valid_fields(long long y, unsigned m, unsigned d, unsigned h, unsigned mi, unsigned s) {
  return y >= 100 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 && d <= days_in_month(y, m) && h <= 23 &&
         mi <= 59 && s <= 59;
}

// Before 1899-12-30 the fraction still counts forward from midnight:
// -1.25 is 1899-12-29 06:00.
DATE make_date(long long day, unsigned seconds) {
  double fraction = seconds / 86400.0;
  return day >= 0 ? static_cast<double>(day) + fraction : static_cast<double>(day) - fraction;
}

// Text of VarDateFromStr, split into numbers, words and separators.
struct token {
  enum { number, word, separator } kind;
  std::wstring text;  // words in lower case
  int value = 0;
  std::size_t digits = 0;
  wchar_t sep = 0;
};

bool tokenize(const wchar_t* s, std::vector<token>& out) {
  for (std::size_t i = 0; s[i];) {
    wchar_t c = s[i];
    if (c == ' ' || c == '\t') {
      while (s[i] == ' ' || s[i] == '\t') ++i;
      out.push_back({token::separator, L"", 0, 0, L' '});
    } else if (c >= '0' && c <= '9') {
      token t{token::number, L"", 0, 0, 0};
      for (; s[i] >= '0' && s[i] <= '9'; ++i) {
        if (++t.digits > 4) return false;
        t.value = t.value * 10 + (s[i] - '0');
      }
      out.push_back(t);
    } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
      token t{token::word, L"", 0, 0, 0};
      for (; (s[i] >= 'a' && s[i] <= 'z') || (s[i] >= 'A' && s[i] <= 'Z'); ++i)
        t.text += static_cast<wchar_t>(s[i] | 0x20);
      out.push_back(t);
    } else if (c == '/' || c == '-' || c == '.' || c == ',' || c == ':') {
      out.push_back({token::separator, L"", 0, 0, c});
      ++i;
    } else {
      return false;
    }
  }
  return true;
}

bool is_sep(const std::vector<token>& t, std::size_t i, wchar_t c) {
  return i < t.size() && t[i].kind == token::separator && t[i].sep == c;
}

bool is_number(const std::vector<token>& t, std::size_t i) { return i < t.size() && t[i].kind == token::number; }

int month_of(const std::wstring& word) {
  static const wchar_t* const names[] = {L"january", L"february", L"march",     L"april",   L"may",      L"june",
                                         L"july",    L"august",   L"september", L"october", L"november", L"december"};
  for (int m = 0; m < 12; ++m) {
    std::wstring full = names[m];
    if (word == full || word == full.substr(0, 3)) return m + 1;
  }
  return word == L"sept" ? 9 : 0;
}

bool is_weekday(const std::wstring& word) {
  static const wchar_t* const names[] = {L"sunday",   L"monday", L"tuesday", L"wednesday",
                                         L"thursday", L"friday", L"saturday"};
  for (const wchar_t* name : names) {
    std::wstring full = name;
    if (word == full || word == full.substr(0, 3)) return true;
  }
  return false;
}

struct time_part {
  bool present = false;
  unsigned hour = 0, minute = 0, second = 0;
};

// Takes "h:mm[:ss]" with an optional AM or PM out of the tokens.
bool take_time(std::vector<token>& t, time_part& time) {
  std::size_t colon = 0;
  while (colon < t.size() && !is_sep(t, colon, L':')) ++colon;
  if (colon == t.size()) return true;
  if (colon == 0 || !is_number(t, colon - 1) || !is_number(t, colon + 1)) return false;
  std::size_t begin = colon - 1, end = colon + 2;
  if (t[begin].digits > 2 || t[colon + 1].digits != 2) return false;
  time.present = true;
  time.hour = static_cast<unsigned>(t[begin].value);
  time.minute = static_cast<unsigned>(t[colon + 1].value);
  if (is_sep(t, end, L':')) {
    if (!is_number(t, end + 1) || t[end + 1].digits != 2) return false;
    time.second = static_cast<unsigned>(t[end + 1].value);
    end += 2;
  }
  std::size_t marker = is_sep(t, end, L' ') ? end + 1 : end;
  if (marker < t.size() && t[marker].kind == token::word) {
    const std::wstring& w = t[marker].text;
    bool am = w == L"am" || w == L"a", pm = w == L"pm" || w == L"p";
    if (am || pm) {
      if (time.hour < 1 || time.hour > 12) return false;
      time.hour = time.hour % 12 + (pm ? 12 : 0);
      end = marker + 1;
    }
  }
  if (time.hour > 23 || time.minute > 59 || time.second > 59) return false;
  t.erase(t.begin() + static_cast<std::ptrdiff_t>(begin), t.begin() + static_cast<std::ptrdiff_t>(end));
  t.insert(t.begin() + static_cast<std::ptrdiff_t>(begin), token{token::separator, L"", 0, 0, L' '});
  for (const token& k : t)
    if (k.kind == token::separator && k.sep == L':') return false;
  return true;
}

long long widen_year(const token& t) {
  if (t.digits > 2) return t.value;
  return t.value < 50 ? 2000 + t.value : 1900 + t.value;
}

struct date_part {
  bool present = false;
  long long year = 0;
  unsigned month = 0, day = 0;
};

bool take_date(const std::vector<token>& t, date_part& date) {
  // Items with the separators between them merged: one of / - . or blank
  // and comma.
  std::vector<const token*> items;
  std::vector<wchar_t> seps;
  wchar_t pending = 0;
  for (const token& k : t) {
    if (k.kind == token::separator) {
      if (k.sep == L'/' || k.sep == L'-' || k.sep == L'.') {
        if (pending || items.empty()) return false;
        pending = k.sep;
      }
      continue;
    }
    if (!items.empty()) seps.push_back(pending ? pending : L' ');
    items.push_back(&k);
    pending = 0;
  }
  if (pending) return false;
  if (items.empty()) return true;
  std::size_t start = 0;
  if (items[0]->kind == token::word && is_weekday(items[0]->text)) start = 1;
  std::vector<const token*> numbers;
  int month = 0, month_at = -1;
  for (std::size_t i = start; i < items.size(); ++i) {
    if (items[i]->kind == token::number) {
      numbers.push_back(items[i]);
      continue;
    }
    if (month || !(month = month_of(items[i]->text))) return false;
    month_at = static_cast<int>(numbers.size());
  }
  if (numbers.size() == 3 && !month) {
    wchar_t s1 = seps[start], s2 = seps[start + 1];
    if (s1 != s2 || s1 == L' ') return false;
    const token *a = numbers[0], *b = numbers[1], *c = numbers[2];
    if (a->digits > 2) {
      date.year = a->value;
      date.month = static_cast<unsigned>(b->value);
      date.day = static_cast<unsigned>(c->value);
      if (b->digits > 2 || c->digits > 2) return false;
    } else {
      if (b->digits > 2) return false;
      date.month = static_cast<unsigned>(a->value);
      date.day = static_cast<unsigned>(b->value);
      date.year = widen_year(*c);
      if (date.month > 12 && date.day <= 12) std::swap(date.month, date.day);
    }
  } else if (numbers.size() == 2 && month && month_at < 2) {
    const token *day = numbers[0], *year = numbers[1];
    if (month_at == 1 && day->digits > 2) std::swap(day, year);
    if (day->digits > 2) return false;
    date.day = static_cast<unsigned>(day->value);
    date.month = static_cast<unsigned>(month);
    date.year = widen_year(*year);
  } else {
    return false;
  }
  date.present = true;
  return true;
}

}  // namespace

LCID GetSystemDefaultLCID() { return 0x0409; }

INT SystemTimeToVariantTime(const SYSTEMTIME* time, DATE* date) {
  if (!time || !date) return FALSE;
  const SYSTEMTIME& st = *time;
  if (!valid_fields(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond)) return FALSE;
  long long day = days_from_civil(st.wYear, st.wMonth, st.wDay) - epoch;
  *date = make_date(day, st.wHour * 3600u + st.wMinute * 60u + st.wSecond);
  return TRUE;
}

INT VariantTimeToSystemTime(DATE date, SYSTEMTIME* time) {
  if (!time || !(date > first_date - 1.0 && date < end_date)) return FALSE;
  double whole = std::trunc(date);
  auto seconds = static_cast<long long>(std::llround(std::fabs(date - whole) * 86400.0));
  long long total = static_cast<long long>(whole) * 86400 + seconds;
  long long day = total >= 0 ? total / 86400 : -((-total + 86399) / 86400);
  auto second_of_day = static_cast<unsigned>(total - day * 86400);
  long long y;
  unsigned m, d;
  civil_from_days(day + epoch, y, m, d);
  if (y < 100 || y > 9999) return FALSE;
  time->wYear = static_cast<WORD>(y);
  time->wMonth = static_cast<WORD>(m);
  time->wDay = static_cast<WORD>(d);
  time->wDayOfWeek = static_cast<WORD>(((day + epoch) % 7 + 11) % 7);  // 1970-01-01 was a Thursday
  time->wHour = static_cast<WORD>(second_of_day / 3600);
  time->wMinute = static_cast<WORD>(second_of_day / 60 % 60);
  time->wSecond = static_cast<WORD>(second_of_day % 60);
  time->wMilliseconds = 0;
  return TRUE;
}

HRESULT VarDateFromStr(LPCOLESTR text, LCID, ULONG, DATE* date) {
  if (!text || !date) return E_INVALIDARG;
  std::vector<token> tokens;
  time_part time;
  date_part day;
  if (!tokenize(text, tokens) || !take_time(tokens, time) || !take_date(tokens, day))
    return DISP_E_TYPEMISMATCH;
  if (!time.present && !day.present) return DISP_E_TYPEMISMATCH;
  long long number = 0;
  if (day.present) {
    if (!valid_fields(day.year, day.month, day.day, 0, 0, 0)) return DISP_E_TYPEMISMATCH;
    number = days_from_civil(day.year, day.month, day.day) - epoch;
  }
  *date = make_date(number, time.hour * 3600 + time.minute * 60 + time.second);
  return S_OK;
}
