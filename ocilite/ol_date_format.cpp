#include "ocilite/ol_date_format.h"

#include "ocilite/ol_error.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

namespace ocilite {

namespace {

enum class el {
  literal,
  fm, fx,
  era, meridian,
  cc, scc, d, day, dy, dd, ddd, ff, hh12, hh24, iw, iyyy, iyy, iy, i, j, mi, mm, mon, month, rm, q,
  rr, rrrr, ss, sssss, tzh, tzm, tzr, w, ww, x, y_yyy, yyyy, syyyy, yyy, yy, y,
  refused,
};

enum class letter_case { upper, initcap, lower };

struct element {
  el kind = el::literal;
  std::string text;  // a literal's characters
  bool quoted = false;
  letter_case lc = letter_case::upper;
  bool dots = false;  // A.M., B.C.
  int digits = 0;     // FF1..FF9
  bool th = false, sp = false;
  letter_case suffix_case = letter_case::upper;
};

struct name_entry {
  const char* name;
  el kind;
  int digits;
};

const name_entry k_elements[] = {
    {"A.D.", el::era, 1},   {"AD", el::era, 0},       {"B.C.", el::era, 1},     {"BC", el::era, 0},
    {"A.M.", el::meridian, 1}, {"AM", el::meridian, 0}, {"P.M.", el::meridian, 1}, {"PM", el::meridian, 0},
    {"CC", el::cc, 0},      {"SCC", el::scc, 0},      {"D", el::d, 0},          {"DAY", el::day, 0},
    {"DY", el::dy, 0},      {"DD", el::dd, 0},        {"DDD", el::ddd, 0},      {"DS", el::refused, 0},
    {"DL", el::refused, 0}, {"TS", el::refused, 0},   {"E", el::refused, 0},    {"EE", el::refused, 0},
    {"FF", el::ff, 0},      {"FF1", el::ff, 1},       {"FF2", el::ff, 2},       {"FF3", el::ff, 3},
    {"FF4", el::ff, 4},     {"FF5", el::ff, 5},       {"FF6", el::ff, 6},       {"FF7", el::ff, 7},
    {"FF8", el::ff, 8},     {"FF9", el::ff, 9},       {"FM", el::fm, 0},        {"FX", el::fx, 0},
    {"HH", el::hh12, 0},    {"HH12", el::hh12, 0},    {"HH24", el::hh24, 0},    {"IW", el::iw, 0},
    {"IYYY", el::iyyy, 0},  {"IYY", el::iyy, 0},      {"IY", el::iy, 0},        {"I", el::i, 0},
    {"J", el::j, 0},        {"MI", el::mi, 0},        {"MM", el::mm, 0},        {"MON", el::mon, 0},
    {"MONTH", el::month, 0}, {"RM", el::rm, 0},       {"Q", el::q, 0},          {"RR", el::rr, 0},
    {"RRRR", el::rrrr, 0},  {"SS", el::ss, 0},        {"SSSSS", el::sssss, 0},  {"SYYYY", el::syyyy, 0},
    {"SYEAR", el::refused, 0}, {"TZH", el::tzh, 0},   {"TZM", el::tzm, 0},      {"TZR", el::tzr, 0},
    {"TZD", el::refused, 0}, {"W", el::w, 0},         {"WW", el::ww, 0},        {"X", el::x, 0},
    {"Y,YYY", el::y_yyy, 0}, {"YYYY", el::yyyy, 0},   {"YYY", el::yyy, 0},      {"YY", el::yy, 0},
    {"Y", el::y, 0},        {"YEAR", el::refused, 0},
};

const char* const k_months[] = {"JANUARY", "FEBRUARY", "MARCH",     "APRIL",   "MAY",      "JUNE",
                                "JULY",    "AUGUST",   "SEPTEMBER", "OCTOBER", "NOVEMBER", "DECEMBER"};
const char* const k_days[] = {"SUNDAY", "MONDAY", "TUESDAY", "WEDNESDAY", "THURSDAY", "FRIDAY", "SATURDAY"};
const char* const k_roman[] = {"I", "II", "III", "IV", "V", "VI", "VII", "VIII", "IX", "X", "XI", "XII"};
// The longest English month and day names: the width of MONTH and DAY
// without FM. RM's is that of VIII.
constexpr std::size_t k_name_width = 9;
constexpr std::size_t k_roman_width = 4;

char upper_char(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
char lower_char(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool is_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_alnum(char c) { return is_alpha(c) || is_digit(c); }

bool starts_no_case(std::string_view s, std::size_t at, std::string_view prefix) {
  if (at > s.size() || s.size() - at < prefix.size()) return false;
  for (std::size_t k = 0; k < prefix.size(); ++k)
    if (upper_char(s[at + k]) != upper_char(prefix[k])) return false;
  return true;
}

// The case a name element sets by its own letters: MONTH, Month, month.
letter_case case_of(std::string_view letters) {
  std::string only;
  for (char c : letters)
    if (is_alpha(c)) only += c;
  if (only.empty() || (only[0] >= 'a' && only[0] <= 'z')) return letter_case::lower;
  if (only.size() > 1 && only[1] >= 'a' && only[1] <= 'z') return letter_case::initcap;
  return letter_case::upper;
}

std::string cased(std::string_view upper, letter_case lc) {
  std::string out(upper);
  bool word_start = true;
  for (char& c : out) {
    if (lc == letter_case::lower || (lc == letter_case::initcap && !word_start)) c = lower_char(c);
    word_start = !is_alpha(c);
  }
  return out;
}

bool is_numeric(el k) {
  switch (k) {
    case el::cc: case el::scc: case el::d: case el::dd: case el::ddd: case el::hh12: case el::hh24:
    case el::iw: case el::iyyy: case el::iyy: case el::iy: case el::i: case el::j: case el::mi:
    case el::mm: case el::q: case el::rr: case el::rrrr: case el::ss: case el::sssss: case el::w:
    case el::ww: case el::y_yyy: case el::yyyy: case el::syyyy: case el::yyy: case el::yy: case el::y:
      return true;
    default:
      return false;
  }
}

std::vector<element> tokens_of(std::string_view mask) {
  std::vector<element> out;
  std::size_t i = 0;
  while (i < mask.size()) {
    char c = mask[i];
    if (c == '"') {
      std::size_t close = mask.find('"', i + 1);
      if (close == std::string_view::npos) fail(1821);
      element e;
      e.text = std::string(mask.substr(i + 1, close - i - 1));
      e.quoted = true;
      out.push_back(e);
      i = close + 1;
      continue;
    }
    if (!is_alnum(c)) {
      if (out.empty() || out.back().kind != el::literal || out.back().quoted) out.push_back(element{});
      out.back().text += c;
      ++i;
      continue;
    }
    const name_entry* best = nullptr;
    for (const name_entry& n : k_elements) {
      std::string_view name = n.name;
      if (starts_no_case(mask, i, name) && (!best || name.size() > std::string_view(best->name).size()))
        best = &n;
    }
    if (!best) fail(1821);
    element e;
    e.kind = best->kind;
    std::size_t length = std::string_view(best->name).size();
    e.lc = case_of(mask.substr(i, length));
    if (e.kind == el::ff) {
      e.digits = best->digits;
    } else {
      e.dots = best->digits == 1;
    }
    i += length;
    if (is_numeric(e.kind)) {
      static const char* const suffixes[] = {"SPTH", "THSP", "SP", "TH"};
      for (const char* suffix : suffixes) {
        if (!starts_no_case(mask, i, suffix)) continue;
        std::string_view sx = suffix;
        e.sp = sx.find("SP") != std::string_view::npos;
        e.th = sx.find("TH") != std::string_view::npos;
        e.suffix_case = mask[i] >= 'a' && mask[i] <= 'z' ? letter_case::lower : letter_case::upper;
        i += sx.size();
        break;
      }
    }
    out.push_back(e);
  }
  return out;
}

void check_tokens(const std::vector<element>& tokens, datetime_kind kind, bool for_input) {
  for (const element& e : tokens) {
    if (e.kind == el::refused) fail(1821);
    if (e.kind == el::ff && kind == datetime_kind::date) fail(1821);
    if ((e.kind == el::tzh || e.kind == el::tzm || e.kind == el::tzr) && kind != datetime_kind::timestamp_tz)
      fail(1821);
    if (!for_input) continue;
    switch (e.kind) {
      case el::cc: case el::scc: case el::q: case el::w: case el::ww: case el::iw: case el::iyyy:
      case el::iyy: case el::iy: case el::i:
        fail(1820);
      default:
        break;
    }
    if (e.sp) fail(1820);
  }
}

// Spelled numbers, as SP writes them: TWO THOUSAND ONE.
std::string spelled(std::int64_t n) {
  static const char* const ones[] = {"ZERO",    "ONE",     "TWO",       "THREE",    "FOUR",
                                     "FIVE",    "SIX",     "SEVEN",     "EIGHT",    "NINE",
                                     "TEN",     "ELEVEN",  "TWELVE",    "THIRTEEN", "FOURTEEN",
                                     "FIFTEEN", "SIXTEEN", "SEVENTEEN", "EIGHTEEN", "NINETEEN"};
  static const char* const tens[] = {"", "", "TWENTY", "THIRTY", "FORTY", "FIFTY", "SIXTY", "SEVENTY",
                                     "EIGHTY", "NINETY"};
  if (n < 20) return ones[n];
  if (n < 100) return std::string(tens[n / 10]) + (n % 10 ? std::string("-") + ones[n % 10] : "");
  struct scale {
    std::int64_t unit;
    const char* name;
  } scales[] = {{1000000, "MILLION"}, {1000, "THOUSAND"}, {100, "HUNDRED"}};
  for (const scale& s : scales)
    if (n >= s.unit)
      return spelled(n / s.unit) + " " + s.name + (n % s.unit ? " " + spelled(n % s.unit) : "");
  return "";
}

std::string spelled_ordinal(std::int64_t n) {
  std::string words = spelled(n);
  std::size_t cut = words.find_last_of(" -");
  std::string last = cut == std::string::npos ? words : words.substr(cut + 1);
  std::string head = cut == std::string::npos ? "" : words.substr(0, cut + 1);
  static const char* const irregular[][2] = {{"ONE", "FIRST"},  {"TWO", "SECOND"}, {"THREE", "THIRD"},
                                             {"FIVE", "FIFTH"}, {"EIGHT", "EIGHTH"}, {"NINE", "NINTH"},
                                             {"TWELVE", "TWELFTH"}};
  for (const auto& pair : irregular)
    if (last == pair[0]) return head + pair[1];
  if (last.back() == 'Y') return head + last.substr(0, last.size() - 1) + "IETH";
  return head + last + "TH";
}

const char* ordinal_suffix(std::int64_t n) {
  if (n % 100 >= 11 && n % 100 <= 13) return "TH";
  switch (n % 10) {
    case 1:
      return "ST";
    case 2:
      return "ND";
    case 3:
      return "RD";
    default:
      return "TH";
  }
}

void put_number(std::string& out, std::int64_t value, int width, bool fm, const element& e) {
  if (e.sp) {
    out += cased(e.th ? spelled_ordinal(value) : spelled(value), e.lc);
    return;
  }
  std::string digits = std::to_string(value);
  if (!fm && static_cast<int>(digits.size()) < width) digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
  out += digits;
  if (e.th) out += cased(ordinal_suffix(value), e.suffix_case);
}

void put_name(std::string& out, std::string_view upper, const element& e, bool fm, std::size_t width) {
  std::string name = cased(upper, e.lc);
  if (!fm && name.size() < width) name.append(width - name.size(), ' ');
  out += name;
}

}  // namespace

std::string_view default_format(datetime_kind kind) {
  switch (kind) {
    case datetime_kind::date:
      return k_date_format;
    case datetime_kind::timestamp_tz:
      return k_timestamp_tz_format;
    default:
      return k_timestamp_format;
  }
}

void check_datetime_mask(std::string_view mask, datetime_kind kind, bool for_input) {
  check_tokens(tokens_of(mask), kind, for_input);
}

std::string to_char_datetime(const datetime& t, std::string_view mask, datetime_kind kind, int fraction_digits) {
  std::vector<element> tokens = tokens_of(mask);
  check_tokens(tokens, kind, false);
  int year = t.year < 0 ? -t.year : t.year;
  int iso = iso_year(t);
  if (iso < 0) iso = -iso;
  int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
  int zone = t.has_zone ? t.zone_minutes : 0;
  bool fm = false;
  std::string out;
  for (const element& e : tokens) {
    switch (e.kind) {
      case el::literal:
        out += e.text;
        break;
      case el::fm:
        fm = !fm;
        break;
      case el::fx:
        break;
      case el::era:
        out += cased(t.year < 0 ? (e.dots ? "B.C." : "BC") : (e.dots ? "A.D." : "AD"), e.lc);
        break;
      case el::meridian:
        out += cased(t.hour < 12 ? (e.dots ? "A.M." : "AM") : (e.dots ? "P.M." : "PM"), e.lc);
        break;
      case el::scc:
        out += t.year < 0 ? "-" : fm ? "" : " ";
        [[fallthrough]];
      case el::cc:
        put_number(out, (year + 99) / 100, 2, fm, e);
        break;
      case el::d:
        put_number(out, day_of_week(t), 1, fm, e);
        break;
      case el::day:
        put_name(out, k_days[day_of_week(t) - 1], e, fm, k_name_width);
        break;
      case el::dy:
        out += cased(std::string_view(k_days[day_of_week(t) - 1]).substr(0, 3), e.lc);
        break;
      case el::dd:
        put_number(out, t.day, 2, fm, e);
        break;
      case el::ddd:
        put_number(out, day_of_year(t), 3, fm, e);
        break;
      case el::ff: {
        int n = e.digits ? e.digits : fraction_digits;
        std::string nanos = std::to_string(t.nanos);
        nanos.insert(0, 9 - nanos.size(), '0');
        out += nanos.substr(0, static_cast<std::size_t>(std::max(0, std::min(9, n))));
        break;
      }
      case el::hh12:
        put_number(out, hour12, 2, fm, e);
        break;
      case el::hh24:
        put_number(out, t.hour, 2, fm, e);
        break;
      case el::iw:
        put_number(out, iso_week(t), 2, fm, e);
        break;
      case el::iyyy:
        put_number(out, iso, 4, fm, e);
        break;
      case el::iyy:
        put_number(out, iso % 1000, 3, fm, e);
        break;
      case el::iy:
        put_number(out, iso % 100, 2, fm, e);
        break;
      case el::i:
        put_number(out, iso % 10, 1, fm, e);
        break;
      case el::j:
        put_number(out, julian_day(t), 7, fm, e);
        break;
      case el::mi:
        put_number(out, t.minute, 2, fm, e);
        break;
      case el::mm:
        put_number(out, t.month, 2, fm, e);
        break;
      case el::mon:
        out += cased(std::string_view(k_months[t.month - 1]).substr(0, 3), e.lc);
        break;
      case el::month:
        put_name(out, k_months[t.month - 1], e, fm, k_name_width);
        break;
      case el::rm:
        put_name(out, k_roman[t.month - 1], e, fm, k_roman_width);
        break;
      case el::q:
        put_number(out, (t.month - 1) / 3 + 1, 1, fm, e);
        break;
      case el::yy:
      case el::rr:
        put_number(out, year % 100, 2, fm, e);
        break;
      case el::ss:
        put_number(out, t.second, 2, fm, e);
        break;
      case el::sssss:
        put_number(out, t.hour * 3600 + t.minute * 60 + t.second, 5, fm, e);
        break;
      case el::tzh: {
        int hours = std::abs(zone) / 60;
        out += zone < 0 ? '-' : '+';
        if (!fm && hours < 10) out += '0';
        out += std::to_string(hours);
        break;
      }
      case el::tzm: {
        int minutes = std::abs(zone) % 60;
        if (!fm && minutes < 10) out += '0';
        out += std::to_string(minutes);
        break;
      }
      case el::tzr: {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "%c%02d:%02d", zone < 0 ? '-' : '+', std::abs(zone) / 60,
                      std::abs(zone) % 60);
        out += buffer;
        break;
      }
      case el::w:
        put_number(out, (t.day - 1) / 7 + 1, 1, fm, e);
        break;
      case el::ww:
        put_number(out, (day_of_year(t) - 1) / 7 + 1, 2, fm, e);
        break;
      case el::x:
        out += '.';
        break;
      case el::y_yyy: {
        std::string thousands = std::to_string(year / 1000);
        std::string rest = std::to_string(year % 1000);
        out += thousands + "," + std::string(3 - rest.size(), '0') + rest;
        break;
      }
      case el::syyyy:
        out += t.year < 0 ? "-" : fm ? "" : " ";
        [[fallthrough]];
      case el::yyyy:
      case el::rrrr:
        put_number(out, year, 4, fm, e);
        break;
      case el::yyy:
        put_number(out, year % 1000, 3, fm, e);
        break;
      case el::y:
        put_number(out, year % 10, 1, fm, e);
        break;
      case el::refused:
        fail(1821);
    }
  }
  return out;
}

std::string default_datetime_text(const datetime& t, datetime_kind kind, int fraction_digits) {
  return to_char_datetime(t, default_format(kind), kind, fraction_digits);
}

date_defaults current_date_defaults() {
  datetime now = current_date();
  return {now.year, now.month};
}

namespace {

// The fields a text gives, before they make a datetime.
struct fields {
  std::optional<std::int64_t> year, month, day, ddd, hour12, hour24, minute, second, sssss, julian;
  el year_kind = el::yyyy;
  int year_digits = 0;
  bool year_negative = false;
  std::optional<bool> bc, pm;
  std::optional<ub4> nanos;
  std::optional<int> tz_hour, tz_minute, tz_total;
  bool tz_negative = false;
};

// Elements of one group may appear once; a second one is its group's error.
sb4 group_error(el k) {
  switch (k) {
    case el::yyyy: case el::syyyy: case el::y_yyy: case el::yyy: case el::yy: case el::y: case el::rr:
    case el::rrrr:
      return 1812;
    case el::mm: case el::mon: case el::month: case el::rm:
      return 1816;
    case el::hh12: case el::hh24:
      return 1813;
    case el::d: case el::day: case el::dy:
      return 1817;
    default:
      return 1810;
  }
}

bool is_time_element(el k) {
  switch (k) {
    case el::hh12: case el::hh24: case el::mi: case el::ss: case el::sssss: case el::ff: case el::meridian:
    case el::x: case el::tzh: case el::tzm: case el::tzr:
      return true;
    default:
      return false;
  }
}

struct text_reader {
  std::string_view s;
  std::size_t at = 0;
  bool exact = false;  // FX

  bool done() const { return at >= s.size(); }
  void skip_blanks() {
    if (!exact)
      while (at < s.size() && s[at] == ' ') ++at;
  }
  // The index of the name (of `count`) the text goes on with, longest first.
  int name(const char* const* names, int count, bool full, bool abbreviated, std::size_t& length) {
    int best = -1;
    length = 0;
    for (int k = 0; k < count; ++k) {
      std::string_view n = names[k];
      if (full && starts_no_case(s, at, n) && n.size() > length) {
        best = k;
        length = n.size();
      }
      if (abbreviated && n.size() > 3 && starts_no_case(s, at, n.substr(0, 3)) && length < 3) {
        best = k;
        length = 3;
      }
    }
    return best;
  }
};

std::int64_t rr_year(std::int64_t two, int current) {
  int century = current / 100 * 100, within = current % 100;
  if (within < 50) return two < 50 ? century + two : century - 100 + two;
  return two < 50 ? century + 100 + two : century + two;
}

// The widest number an element reads.
int width_of(el k, int ff_digits) {
  switch (k) {
    case el::yyyy: case el::syyyy: case el::rrrr: case el::y_yyy:
      return 4;
    case el::yyy: case el::ddd:
      return 3;
    case el::y: case el::d:
      return 1;
    case el::sssss:
      return 5;
    case el::j:
      return 7;
    case el::ff:
      return ff_digits ? ff_digits : 9;
    default:
      return 2;
  }
}

void read_tokens(text_reader& r, const std::vector<element>& tokens, fields& f) {
  std::vector<el> seen;
  std::vector<sb4> seen_groups;
  bool fm = false;
  for (std::size_t n = 0; n < tokens.size(); ++n) {
    const element& e = tokens[n];
    el k = e.kind;
    if (k == el::fm) {
      fm = !fm;
      continue;
    }
    if (k == el::fx) {
      r.exact = !r.exact;
      continue;
    }
    // The next element that reads text, for a sign or a year's width.
    const element* next = nullptr;
    for (std::size_t m = n + 1; m < tokens.size() && !next; ++m)
      if (tokens[m].kind != el::fm && tokens[m].kind != el::fx) next = &tokens[m];
    if (k == el::literal) {
      if (e.quoted) {
        r.skip_blanks();
        if (r.done() && !r.exact) continue;
        if (!starts_no_case(r.s, r.at, e.text)) fail(1861);
        r.at += e.text.size();
      } else if (r.exact) {
        if (r.s.compare(r.at, e.text.size(), e.text) != 0) fail(1861);
        r.at += e.text.size();
      } else {
        bool signed_next = next && (next->kind == el::tzh || next->kind == el::tzr || next->kind == el::syyyy);
        while (!r.done() && !is_alnum(r.s[r.at]) &&
               !(signed_next && (r.s[r.at] == '+' || r.s[r.at] == '-')))
          ++r.at;
      }
      continue;
    }
    if (k != el::x) {
      sb4 group = group_error(k);
      bool twice = group == 1810 ? std::find(seen.begin(), seen.end(), k) != seen.end()
                                 : std::find(seen_groups.begin(), seen_groups.end(), group) != seen_groups.end();
      if (twice) fail(group);
      seen.push_back(k);
      if (group != 1810) seen_groups.push_back(group);
    }
    if ((k == el::meridian && f.hour24) || (k == el::hh24 && f.pm)) fail(1818);
    r.skip_blanks();
    if (r.done()) {
      if (is_time_element(k)) continue;
      fail(1840);
    }
    if (k == el::meridian || k == el::era) {
      static const char* const meridians[] = {"AM", "A.M.", "PM", "P.M."};
      static const char* const eras[] = {"AD", "A.D.", "BC", "B.C."};
      std::size_t length = 0;
      int hit = r.name(k == el::meridian ? meridians : eras, 4, true, false, length);
      if (hit < 0) fail(k == el::meridian ? 1855 : 1856);
      r.at += length;
      (k == el::meridian ? f.pm : f.bc) = hit >= 2;
      continue;
    }
    if (k == el::mon || k == el::month || k == el::day || k == el::dy || k == el::rm ||
        (k == el::mm && !is_digit(r.s[r.at]))) {
      std::size_t length = 0;
      bool days = k == el::day || k == el::dy;
      int hit = k == el::rm ? r.name(k_roman, 12, true, false, length)
                            : r.name(days ? k_days : k_months, days ? 7 : 12, true, true, length);
      if (hit < 0) fail(days ? 1846 : k == el::mm ? 1858 : 1843);
      r.at += length;
      if (!days) f.month = hit + 1;
      continue;
    }
    if (k == el::x) {
      if (r.s[r.at] == '.') {
        ++r.at;
      } else if (r.exact) {
        fail(1861);
      }
      continue;
    }
    if (k == el::tzr) {
      if (starts_no_case(r.s, r.at, "UTC") || starts_no_case(r.s, r.at, "GMT")) {
        r.at += 3;
        f.tz_total = 0;
        continue;
      }
      char sign = r.s[r.at];
      if ((sign != '+' && sign != '-') || r.at + 6 > r.s.size() || !is_digit(r.s[r.at + 1]) ||
          !is_digit(r.s[r.at + 2]) || r.s[r.at + 3] != ':' || !is_digit(r.s[r.at + 4]) ||
          !is_digit(r.s[r.at + 5]))
        fail(1882);
      int hours = (r.s[r.at + 1] - '0') * 10 + (r.s[r.at + 2] - '0');
      int minutes = (r.s[r.at + 4] - '0') * 10 + (r.s[r.at + 5] - '0');
      if (hours > 15) fail(1874);
      if (minutes > 59) fail(1875);
      f.tz_total = (sign == '-' ? -1 : 1) * (hours * 60 + minutes);
      r.at += 6;
      continue;
    }
    // A number.
    bool negative = false;
    if ((k == el::syyyy || k == el::tzh) && (r.s[r.at] == '-' || r.s[r.at] == '+')) negative = r.s[r.at++] == '-';
    int width = width_of(k, e.digits);
    if ((k == el::yy || k == el::rr) && !r.exact && !(next && is_numeric(next->kind))) width = 4;
    std::int64_t value = 0;
    int count = 0;
    while (!r.done() && count < width) {
      char c = r.s[r.at];
      if (k == el::y_yyy && c == ',' && count == 1) {
        ++r.at;
        continue;
      }
      if (!is_digit(c)) break;
      value = value * 10 + (c - '0');
      ++count;
      ++r.at;
    }
    // Without FX a fraction may be left out, as the time fields after it.
    if (count == 0 && k == el::ff && !r.exact) continue;
    if (count == 0) fail(1858);
    if (r.exact && !fm && count != width) fail(1862);
    if (e.th && (starts_no_case(r.s, r.at, "ST") || starts_no_case(r.s, r.at, "ND") ||
                 starts_no_case(r.s, r.at, "RD") || starts_no_case(r.s, r.at, "TH")))
      r.at += 2;
    switch (k) {
      case el::yyyy: case el::syyyy: case el::y_yyy: case el::yyy: case el::yy: case el::y: case el::rr:
      case el::rrrr:
        f.year = value;
        f.year_kind = k;
        f.year_digits = count;
        f.year_negative = negative;
        break;
      case el::mm:
        if (value < 1 || value > 12) fail(1843);
        f.month = value;
        break;
      case el::dd:
        if (value < 1 || value > 31) fail(1847);
        f.day = value;
        break;
      case el::ddd:
        if (value < 1 || value > 366) fail(1848);
        f.ddd = value;
        break;
      case el::d:
        if (value < 1 || value > 7) fail(1846);
        break;
      case el::hh12:
        if (value < 1 || value > 12) fail(1849);
        f.hour12 = value;
        break;
      case el::hh24:
        if (value > 23) fail(1850);
        f.hour24 = value;
        break;
      case el::mi:
        if (value > 59) fail(1851);
        f.minute = value;
        break;
      case el::ss:
        if (value > 59) fail(1852);
        f.second = value;
        break;
      case el::sssss:
        if (value > 86399) fail(1853);
        f.sssss = value;
        break;
      case el::j:
        if (value < 1 || value > 5373484) fail(1854);
        f.julian = value;
        break;
      case el::ff: {
        std::int64_t nanos = value;
        for (int d = count; d < 9; ++d) nanos *= 10;
        f.nanos = static_cast<ub4>(nanos);
        break;
      }
      case el::tzh:
        if (value > 15) fail(1874);
        f.tz_hour = static_cast<int>(value);
        f.tz_negative = negative;
        break;
      case el::tzm:
        if (value > 59) fail(1875);
        f.tz_minute = static_cast<int>(value);
        break;
      default:
        break;
    }
  }
  r.skip_blanks();
  if (!r.done()) fail(1830);
}

}  // namespace

datetime to_datetime(std::string_view text, std::string_view mask, datetime_kind kind,
                     const date_defaults& defaults) {
  std::vector<element> tokens = tokens_of(mask);
  check_tokens(tokens, kind, true);
  text_reader r{text};
  fields f;
  read_tokens(r, tokens, f);

  int current = defaults.year;
  std::int64_t year = current;
  if (f.year) {
    std::int64_t v = *f.year;
    switch (f.year_kind) {
      case el::rr:
      case el::rrrr:
        year = f.year_digits <= 2 ? rr_year(v, current) : v;
        break;
      case el::yy:
        year = f.year_digits <= 2 ? current / 100 * 100 + v : v;
        break;
      case el::yyy:
        year = f.year_digits <= 3 ? current / 1000 * 1000 + v : v;
        break;
      case el::y:
        year = current / 10 * 10 + v;
        break;
      default:
        year = f.year_negative ? -v : v;
        break;
    }
  }
  if (f.bc && *f.bc) year = -year;
  if (year == 0 || year < -4713 || year > 9999) fail(1841);
  datetime t;
  t.year = static_cast<int>(year);
  t.month = static_cast<int>(f.month.value_or(defaults.month));
  t.day = static_cast<int>(f.day.value_or(1));
  if (f.ddd) {
    if (*f.ddd > (is_leap_year(t.year) ? 366 : 365)) fail(1848);
    datetime d;
    set_julian_day(d, julian_day(t.year, 1, 1) + *f.ddd - 1);
    t.month = d.month;
    t.day = d.day;
  }
  if (f.julian) {
    datetime d;
    set_julian_day(d, *f.julian);
    if (f.year && d.year != t.year) fail(1831);
    if (f.ddd && day_of_year(d) != *f.ddd) fail(1832);
    if (f.month && d.month != t.month) fail(1833);
    if (f.day && d.day != t.day) fail(1834);
    t.year = d.year;
    t.month = d.month;
    t.day = d.day;
  }
  if (!is_valid_date(t.year, t.month, t.day)) fail(1839);

  if (f.hour24) {
    t.hour = static_cast<int>(*f.hour24);
  } else if (f.hour12) {
    t.hour = static_cast<int>(*f.hour12 % 12) + (f.pm.value_or(false) ? 12 : 0);
  }
  t.minute = static_cast<int>(f.minute.value_or(0));
  t.second = static_cast<int>(f.second.value_or(0));
  if (f.sssss) {
    int h = static_cast<int>(*f.sssss / 3600), m = static_cast<int>(*f.sssss / 60 % 60),
        s = static_cast<int>(*f.sssss % 60);
    if ((f.hour24 || f.hour12) && h != t.hour) fail(1836);
    if (f.minute && m != t.minute) fail(1837);
    if (f.second && s != t.second) fail(1838);
    t.hour = h;
    t.minute = m;
    t.second = s;
  }
  t.nanos = f.nanos.value_or(0);
  if (kind == datetime_kind::timestamp_tz) {
    t.has_zone = true;
    if (f.tz_total) {
      t.zone_minutes = *f.tz_total;
    } else if (f.tz_hour || f.tz_minute) {
      int minutes = f.tz_hour.value_or(0) * 60 + f.tz_minute.value_or(0);
      t.zone_minutes = f.tz_negative ? -minutes : minutes;
    } else {
      datetime local = t;
      local.has_zone = false;
      t.zone_minutes = static_cast<int>((wall_seconds(local) - wall_seconds(to_utc(local))) / 60);
    }
  }
  return t;
}

datetime to_datetime(std::string_view text, std::string_view mask, datetime_kind kind) {
  return to_datetime(text, mask, kind, current_date_defaults());
}

}  // namespace ocilite
