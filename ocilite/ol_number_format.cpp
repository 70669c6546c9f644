#include "ocilite/ol_number_format.h"

#include <algorithm>
#include <cctype>

#include "ocilite/ol_decimal.h"
#include "ocilite/ol_error.h"

namespace ocilite {

namespace {

// The default national settings.
constexpr char k_decimal_char = '.';
constexpr char k_group_char = ',';
const char* const k_local_currency = "$";
const char* const k_iso_currency = "USD";
// L and U take this many characters, the symbol at their right.
constexpr std::size_t k_currency_width = 10;

[[noreturn]] void bad_mask() { fail(1481); }

bool starts_with_no_case(std::string_view s, std::size_t at, std::string_view word) {
  if (s.size() - at < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(s[at + i])) != word[i]) return false;
  return true;
}

std::string_view trimmed_blanks(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

enum class sign_form { none, leading_s, trailing_s, trailing_mi, brackets };
enum class whole_form { fixed, scientific, hex, roman, text_minimum, text_scientific };

// A number format mask, parsed.
struct number_mask {
  whole_form form = whole_form::fixed;
  bool fill_mode = false;   // FM: no blanks around, no trailing zeros of 9s
  bool blank_zero = false;  // B
  sign_form sign = sign_form::none;
  std::string lead_currency, trail_currency;
  std::string integer;    // '9', '0' and ',' before the point
  bool point = false;     // '.' or D
  std::string fraction;   // '9' and '0' after the point
  int shift = 0;          // digits after V: the value times 10^shift
  bool lower = false;     // x, rn
  std::size_t width = 0;  // of the mask without FM, for the '#' of a number it cannot show
};

std::size_t digit_positions(const std::string& elements) {
  return static_cast<std::size_t>(
      std::count_if(elements.begin(), elements.end(), [](char c) { return c != ','; }));
}

number_mask parse_mask(std::string_view m) {
  number_mask k;
  std::size_t i = 0;
  if (starts_with_no_case(m, 0, "FM")) {
    k.fill_mode = true;
    i = 2;
  }
  k.width = m.size() - i;
  const std::size_t body = i;
  // The forms that stand alone.
  std::string_view rest = m.substr(i);
  auto alone = [&](std::string_view word) {
    return rest.size() == word.size() && starts_with_no_case(rest, 0, word);
  };
  if (alone("TM") || alone("TM9")) {
    k.form = whole_form::text_minimum;
    return k;
  }
  if (alone("TME")) {
    k.form = whole_form::text_scientific;
    return k;
  }
  if (alone("RN")) {
    k.form = whole_form::roman;
    k.lower = rest[0] == 'r';
    return k;
  }
  bool digits_seen = false, v_seen = false, dollar = false, eeee = false, hex = false;
  bool period_family = false, letter_family = false;  // '.' ',' against D G
  for (; i < m.size();) {
    char c = m[i];
    char u = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (eeee && !(u == 'S' || starts_with_no_case(m, i, "MI") || starts_with_no_case(m, i, "PR"))) bad_mask();
    if (hex && u != 'X') bad_mask();
    if (starts_with_no_case(m, i, "EEEE")) {
      if (eeee || !digits_seen || v_seen) bad_mask();
      eeee = true;
      i += 4;
      continue;
    }
    if (starts_with_no_case(m, i, "MI") || starts_with_no_case(m, i, "PR")) {
      if (k.sign != sign_form::none || i + 2 != m.size()) bad_mask();
      k.sign = u == 'M' ? sign_form::trailing_mi : sign_form::brackets;
      i += 2;
      continue;
    }
    switch (u) {
      case '9':
      case '0':
        if (v_seen) {
          ++k.shift;
          k.integer += c;
        } else if (k.point) {
          k.fraction += c;
        } else {
          k.integer += c;
        }
        if (!k.trail_currency.empty()) bad_mask();
        digits_seen = true;
        break;
      case 'X':
        if (k.integer.find_first_not_of("0X") != std::string::npos) bad_mask();
        if (k.point || v_seen || dollar || k.blank_zero || k.sign != sign_form::none ||
            !k.lead_currency.empty())
          bad_mask();
        if (!hex) k.lower = c == 'x';
        hex = true;
        k.integer += 'X';
        break;
      case ',':
      case 'G':
        if (!digits_seen || k.point || v_seen) bad_mask();
        (u == ',' ? period_family : letter_family) = true;
        k.integer += ',';
        break;
      case '.':
      case 'D':
        if (k.point || v_seen) bad_mask();
        (u == '.' ? period_family : letter_family) = true;
        k.point = true;
        break;
      case 'V':
        if (v_seen || k.point) bad_mask();
        v_seen = true;
        break;
      case 'S':
        if (k.sign != sign_form::none) bad_mask();
        if (i == body) {
          k.sign = sign_form::leading_s;
        } else if (i + 1 == m.size()) {
          k.sign = sign_form::trailing_s;
        } else {
          bad_mask();
        }
        break;
      case 'B':
        k.blank_zero = true;
        break;
      case '$':
        if (dollar) bad_mask();
        dollar = true;
        break;
      case 'L':
      case 'C':
      case 'U': {
        if (!k.lead_currency.empty() || !k.trail_currency.empty()) bad_mask();
        std::string symbol = u == 'C' ? k_iso_currency : k_local_currency;
        if (u != 'C') symbol.insert(0, k_currency_width - symbol.size(), ' ');
        (digits_seen ? k.trail_currency : k.lead_currency) = symbol;
        break;
      }
      default:
        bad_mask();
    }
    ++i;
  }
  if (period_family && letter_family) bad_mask();
  if (dollar) {
    if (!k.lead_currency.empty() || !k.trail_currency.empty()) bad_mask();
    k.lead_currency = "$";
  }
  if (hex) {
    k.form = whole_form::hex;
  } else if (eeee) {
    if (k.integer.find(',') != std::string::npos || digit_positions(k.integer) == 0) bad_mask();
    k.form = whole_form::scientific;
  } else if (!digits_seen && !k.point) {
    bad_mask();
  }
  return k;
}

std::string hashes(const number_mask& k) { return std::string(k.width + 1, '#'); }

std::string with_fill_mode(const number_mask& k, std::string s) {
  if (!k.fill_mode) return s;
  std::size_t first = s.find_first_not_of(' '), last = s.find_last_not_of(' ');
  return first == std::string::npos ? std::string() : s.substr(first, last - first + 1);
}

// The number's text with its sign and currency as the mask places them;
// `body` starts with the blanks of its leading zeros.
std::string signed_text(const number_mask& k, const std::string& body, bool negative) {
  std::size_t lead = std::min(body.find_first_not_of(' '), body.size());
  std::string blanks(lead, ' '), digits = body.substr(lead);
  std::string out;
  switch (k.sign) {
    case sign_form::none:
      out = blanks + (negative ? "-" : " ") + k.lead_currency + digits + k.trail_currency;
      break;
    case sign_form::leading_s:
      out = blanks + (negative ? "-" : "+") + k.lead_currency + digits + k.trail_currency;
      break;
    case sign_form::trailing_s:
      out = blanks + k.lead_currency + digits + k.trail_currency + (negative ? "-" : "+");
      break;
    case sign_form::trailing_mi:
      out = blanks + k.lead_currency + digits + k.trail_currency + (negative ? "-" : " ");
      break;
    case sign_form::brackets:
      out = blanks + (negative ? "<" : " ") + k.lead_currency + digits + k.trail_currency +
            (negative ? ">" : " ");
      break;
  }
  return with_fill_mode(k, out);
}

decimal power_of_ten(int k) {
  decimal d;
  d.digits = "1";
  d.exponent = k + 1;
  return d;
}

// The digits of a whole number (its magnitude), "" for 0.
std::string whole_digits(const decimal& d) {
  if (d.digits.empty() || d.exponent <= 0) return std::string();
  std::string out =
      d.digits.substr(0, std::min<std::size_t>(d.digits.size(), static_cast<std::size_t>(d.exponent)));
  out.append(static_cast<std::size_t>(d.exponent) - out.size(), '0');
  return out;
}

std::string fixed_text(const number_mask& k, const decimal& n) {
  decimal v = n;
  if (k.shift) v = decimal_multiply(v, power_of_ten(k.shift));
  const auto places = static_cast<long>(k.fraction.size());
  decimal r = decimal_round(v, places);
  std::string whole = whole_digits(r);
  // The fraction's digits, `places` of them: the digit of 10^-(p+1) has
  // the index exponent + p.
  std::string part;
  for (long p = 0; p < places; ++p) {
    long at = static_cast<long>(r.exponent) + p;
    part += !r.digits.empty() && at >= 0 && at < static_cast<long>(r.digits.size())
                ? r.digits[static_cast<std::size_t>(at)]
                : '0';
  }
  const std::size_t positions = digit_positions(k.integer);
  if (whole.size() > positions) return hashes(k);
  // The integer field, right to left: digits, then zeros from the first 0
  // of the mask on, blanks before.
  std::size_t first_zero = positions;
  for (std::size_t i = 0, p = 0; i < k.integer.size(); ++i) {
    if (k.integer[i] == ',') continue;
    if (k.integer[i] == '0') {
      first_zero = p;
      break;
    }
    ++p;
  }
  bool blank_integer = k.blank_zero && whole.empty();
  // Zero shows one 0 (a value that only rounds to zero does not, when the
  // mask shows a fraction).
  if (whole.empty() && (places == 0 || n.digits.empty()) && positions > 0 && !blank_integer)
    first_zero = std::min(first_zero, positions - 1);
  std::string field(k.integer.size(), ' ');
  bool shown = false;  // a digit or zero stands left of the group separator
  for (std::size_t i = 0, p = 0; i < k.integer.size(); ++i) {
    if (k.integer[i] == ',') {
      field[i] = shown ? k_group_char : ' ';
      continue;
    }
    std::size_t from_right = positions - 1 - p;
    char c = ' ';
    if (from_right < whole.size()) {
      c = whole[whole.size() - 1 - from_right];
    } else if (p >= first_zero && !blank_integer) {
      c = '0';
    }
    field[i] = c;
    shown = shown || c != ' ';
    ++p;
  }
  if (k.fill_mode) {
    // Trailing zeros of 9s go.
    while (!part.empty() && part.back() == '0' && k.fraction[part.size() - 1] == '9') part.pop_back();
  }
  std::string body = field;
  if (k.point) body += k_decimal_char + part;
  return signed_text(k, body, n.negative && !n.digits.empty());
}

std::string exponent_suffix(int e) {
  std::string digits = std::to_string(std::abs(e));
  if (digits.size() < 2) digits.insert(0, "0");
  return std::string("E") + (e < 0 ? "-" : "+") + digits;
}

std::string scientific_text(const number_mask& k, const decimal& n) {
  const std::size_t places = k.fraction.size();
  decimal r = n;
  round_digits(r, places + 1);
  std::string digits = r.digits.empty() ? "0" : r.digits;
  digits.append(places + 1 - std::min(places + 1, digits.size()), '0');
  int e = r.digits.empty() ? 0 : r.exponent - 1;
  std::string body(digit_positions(k.integer) - 1, ' ');
  body += digits[0];
  if (k.point) body += k_decimal_char + digits.substr(1);
  body += exponent_suffix(e);
  return signed_text(k, body, n.negative && !n.digits.empty());
}

// A whole number's hexadecimal digits, by repeated division of its digits.
std::string hex_digits(std::string whole, bool lower) {
  const char* symbols = lower ? "0123456789abcdef" : "0123456789ABCDEF";
  std::string out;
  while (!whole.empty()) {
    std::string quotient;
    int rest = 0;
    for (char c : whole) {
      rest = rest * 10 + (c - '0');
      if (!quotient.empty() || rest >= 16) quotient += static_cast<char>('0' + rest / 16);
      rest %= 16;
    }
    out += symbols[rest];
    whole = quotient;
  }
  std::reverse(out.begin(), out.end());
  return out.empty() ? "0" : out;
}

std::string hex_text(const number_mask& k, const decimal& n) {
  decimal r = decimal_round(n, 0L);
  if (r.negative) return hashes(k);
  std::string hex = hex_digits(whole_digits(r), k.lower);
  const std::size_t positions = k.integer.size();
  if (hex.size() > positions) return hashes(k);
  // A leading 0 pads with zeros, else blanks pad.
  std::string out(positions - hex.size(), k.integer[0] == '0' ? '0' : ' ');
  return with_fill_mode(k, out + hex);
}

std::string roman_text(const number_mask& k, const decimal& n) {
  decimal r = decimal_round(n, 0L);
  std::int64_t v = 0;
  if (r.negative || !decimal_to_int64(r, v) || v < 1 || v > 3999) return std::string(15, '#');
  static const struct {
    int value;
    const char* upper;
    const char* lower;
  } steps[] = {{1000, "M", "m"}, {900, "CM", "cm"}, {500, "D", "d"},  {400, "CD", "cd"}, {100, "C", "c"},
               {90, "XC", "xc"}, {50, "L", "l"},    {40, "XL", "xl"}, {10, "X", "x"},    {9, "IX", "ix"},
               {5, "V", "v"},    {4, "IV", "iv"},   {1, "I", "i"}};
  std::string out;
  for (const auto& s : steps)
    for (; v >= s.value; v -= s.value) out += k.lower ? s.lower : s.upper;
  if (!k.fill_mode) out.insert(0, 15 - out.size(), ' ');
  return out;
}

std::string text_scientific(const decimal& n) {
  decimal r = number_rounded(n);
  if (r.digits.empty()) return "0E+00";
  std::string out = r.negative ? "-" : "";
  out += r.digits[0];
  if (r.digits.size() > 1) out += k_decimal_char + r.digits.substr(1);
  return out + exponent_suffix(r.exponent - 1);
}

}  // namespace

decimal text_to_number(std::string_view text) {
  std::string_view t = trimmed_blanks(text);
  // Only blanks are trimmed: a tab or a line end is no part of a number.
  if (t.empty() || std::isspace(static_cast<unsigned char>(t.front())) ||
      std::isspace(static_cast<unsigned char>(t.back())))
    fail(1722);
  auto d = parse_decimal(t);
  if (!d) fail(1722);
  return number_rounded(*d);
}

std::string number_to_char(const decimal& n) { return number_text(n); }

std::string number_to_char(const decimal& n_in, std::string_view mask) {
  if (mask.empty()) return std::string();
  number_mask k = parse_mask(mask);
  decimal n = number_rounded(n_in);
  switch (k.form) {
    case whole_form::text_minimum:
      return number_text(n);
    case whole_form::text_scientific:
      return text_scientific(n);
    case whole_form::roman:
      return roman_text(k, n);
    case whole_form::hex:
      return hex_text(k, n);
    case whole_form::scientific:
      return scientific_text(k, n);
    case whole_form::fixed:
      break;
  }
  return fixed_text(k, n);
}

namespace {

// Takes `word` from the front of `s` (letters in any case).
bool take(std::string_view& s, std::string_view word) {
  std::string upper_word;
  for (char c : word) upper_word += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (!starts_with_no_case(s, 0, upper_word)) return false;
  s.remove_prefix(word.size());
  return true;
}

bool take_back(std::string_view& s, std::string_view word) {
  if (s.size() < word.size() || !starts_with_no_case(s, s.size() - word.size(), word)) return false;
  s.remove_suffix(word.size());
  return true;
}

decimal hex_value(std::string_view t, const number_mask& k) {
  if (t.empty() || t.size() > k.integer.size()) fail(1722);
  decimal v, sixteen = *parse_decimal("16");
  for (char c : t) {
    int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                : std::isxdigit(static_cast<unsigned char>(c))
                    ? std::tolower(static_cast<unsigned char>(c)) - 'a' + 10
                    : -1;
    if (digit < 0) fail(1722);
    v = decimal_add(decimal_multiply(v, sixteen), *parse_decimal(std::to_string(digit)));
  }
  return v;
}

}  // namespace

decimal text_to_number(std::string_view text, std::string_view mask) {
  number_mask k = parse_mask(mask);
  std::string_view t = trimmed_blanks(text);
  switch (k.form) {
    case whole_form::text_minimum:
    case whole_form::text_scientific:
      return text_to_number(text);
    case whole_form::hex:
      return hex_value(t, k);
    case whole_form::roman:
      bad_mask();
    default:
      break;
  }
  bool negative = false;
  auto trim_blanks = [&] { t = trimmed_blanks(t); };
  switch (k.sign) {
    case sign_form::brackets:
      if (t.size() >= 2 && t.front() == '<' && t.back() == '>') {
        negative = true;
        t = t.substr(1, t.size() - 2);
      }
      break;
    case sign_form::leading_s:
      if (t.empty() || (t.front() != '+' && t.front() != '-')) fail(1722);
      negative = t.front() == '-';
      t.remove_prefix(1);
      break;
    case sign_form::trailing_s:
      if (t.empty() || (t.back() != '+' && t.back() != '-')) fail(1722);
      negative = t.back() == '-';
      t.remove_suffix(1);
      break;
    case sign_form::trailing_mi:
      if (!t.empty() && t.back() == '-') {
        negative = true;
        t.remove_suffix(1);
      }
      break;
    case sign_form::none:
      if (!t.empty() && (t.front() == '-' || t.front() == '+')) {
        negative = t.front() == '-';
        t.remove_prefix(1);
      }
      break;
  }
  trim_blanks();
  if (!k.lead_currency.empty() && !take(t, std::string(trimmed_blanks(k.lead_currency)))) fail(1722);
  if (!k.trail_currency.empty() && !take_back(t, std::string(trimmed_blanks(k.trail_currency)))) fail(1722);
  // The digits before the point must fit the mask's; a group separator
  // may be left out, but one given stands where the mask has one, counted
  // from the point.
  std::size_t end_whole = 0;
  while (end_whole < t.size() &&
         (std::isdigit(static_cast<unsigned char>(t[end_whole])) || t[end_whole] == k_group_char))
    ++end_whole;
  std::string_view whole = t.substr(0, end_whole);
  t.remove_prefix(end_whole);
  std::string digits;
  std::size_t at = k.integer.size();  // the mask's elements left of here are free
  for (std::size_t i = whole.size(); i-- > 0;) {
    if (whole[i] != k_group_char)
      while (at > 0 && k.integer[at - 1] == ',') --at;
    if (at == 0 || (whole[i] == k_group_char) != (k.integer[at - 1] == ',')) fail(1722);
    --at;
    if (whole[i] != k_group_char) digits.insert(digits.begin(), whole[i]);
  }
  std::string fraction;
  if (!t.empty() && t.front() == k_decimal_char) {
    if (!k.point) fail(1722);
    t.remove_prefix(1);
    while (!t.empty() && std::isdigit(static_cast<unsigned char>(t.front()))) {
      fraction += t.front();
      t.remove_prefix(1);
    }
    if (fraction.size() > k.fraction.size()) fail(1722);
  }
  if (digits.empty() && fraction.empty()) fail(1722);
  std::string number = (negative ? "-" : "") + digits + "." + fraction;
  if (k.form == whole_form::scientific) {
    if (t.empty() || (t.front() != 'E' && t.front() != 'e')) fail(1722);
    std::string_view e = t.substr(1);
    if (e.empty() || (e.front() != '+' && e.front() != '-')) fail(1722);
    if (e.size() < 2 || e.size() > 4 || !std::all_of(e.begin() + 1, e.end(), [](char c) {
          return std::isdigit(static_cast<unsigned char>(c));
        }))
      fail(1722);
    number += "E" + std::string(e);
    t = std::string_view();
  }
  if (!t.empty()) fail(1722);
  decimal v = text_to_number(number);
  if (k.shift) v = decimal_divide(v, power_of_ten(k.shift));
  return v;
}

}  // namespace ocilite
