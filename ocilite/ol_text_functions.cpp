#include "ocilite/ol_text_functions.h"

#include "ocilite/ol_case_table.h"
#include "ocilite/ol_date_math.h"
#include "ocilite/ol_error.h"
#include "ocilite/ol_text.h"

#include <algorithm>
#include <vector>

namespace ocilite {

namespace {

constexpr std::int64_t k_integer_limit = std::int64_t(1) << 62;
// The longest VARCHAR2 a function gives, in bytes.
constexpr std::size_t k_varchar2_bytes = 4000;

// Bytes of the character at i: a valid UTF-8 sequence, else one byte.
std::size_t char_size(std::string_view s, std::size_t i) {
  unsigned char b = static_cast<unsigned char>(s[i]);
  std::size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
  if (n <= 1 || i + n > s.size()) return 1;
  for (std::size_t k = 1; k < n; ++k)
    if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 1;
  return n;
}

// The byte offset of each character, then the text's size.
std::vector<std::size_t> char_starts(std::string_view s) {
  std::vector<std::size_t> starts;
  starts.reserve(s.size() + 1);
  for (std::size_t i = 0; i < s.size(); i += char_size(s, i)) starts.push_back(i);
  starts.push_back(s.size());
  return starts;
}

// The characters of a text, each as its bytes.
std::vector<std::string_view> chars_of(std::string_view s) {
  std::vector<std::string_view> out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    std::size_t n = char_size(s, i);
    out.push_back(s.substr(i, n));
    i += n;
  }
  return out;
}

// The code point of a valid sequence (char_size > 1 or ASCII); invalid
// single bytes are not decoded.
char32_t decode(std::string_view c) {
  unsigned char b = static_cast<unsigned char>(c[0]);
  if (c.size() == 1) return b;
  char32_t v = b & (0x7F >> c.size());
  for (std::size_t k = 1; k < c.size(); ++k) v = (v << 6) | (static_cast<unsigned char>(c[k]) & 0x3F);
  return v;
}

char32_t mapped(const case_run* runs, std::size_t count, char32_t c) {
  const case_run* end = runs + count;
  const case_run* r = std::upper_bound(runs, end, c, [](char32_t v, const case_run& run) { return v < run.first; });
  if (r == runs) return c;
  --r;
  if (c > r->last || (c - r->first) % static_cast<char32_t>(r->stride) != 0) return c;
  return static_cast<char32_t>(static_cast<std::int64_t>(c) + r->delta);
}

char32_t upper_of(char32_t c) { return mapped(k_upper_runs, k_upper_runs_count, c); }
char32_t lower_of(char32_t c) { return mapped(k_lower_runs, k_lower_runs_count, c); }

bool is_word_char(char32_t c) {
  const code_range* end = k_word_ranges + k_word_ranges_count;
  const code_range* r = std::upper_bound(k_word_ranges, end, c,
                                         [](char32_t v, const code_range& range) { return v < range.first; });
  return r != k_word_ranges && c <= (r - 1)->last;
}

// Each valid character through `change`; other bytes as they are.
template <typename Change>
std::string case_changed(std::string_view s, Change change) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    std::size_t n = char_size(s, i);
    std::string_view c = s.substr(i, n);
    if (n == 1 && static_cast<unsigned char>(c[0]) >= 0x80) {
      out += c;
      change(char32_t(0xFFFD), false);
    } else {
      append_utf8(out, change(decode(c), true));
    }
    i += n;
  }
  return out;
}

// The first characters of a text that fit `bytes`.
std::string_view fitting(std::string_view s, std::size_t bytes) {
  if (s.size() <= bytes) return s;
  std::size_t end = 0;
  for (std::size_t i = 0; i < s.size(); i += char_size(s, i)) {
    if (i + char_size(s, i) > bytes) break;
    end = i + char_size(s, i);
  }
  return s.substr(0, end);
}

// East Asian wide and fullwidth characters and emoji, which a screen shows
// two columns wide.
bool shown_wide(char32_t c) {
  static const code_range wide[] = {
      {0x1100, 0x115F},   {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},
      {0xA000, 0xA4CF},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE30, 0xFE4F},   {0xFF00, 0xFF60},
      {0xFFE0, 0xFFE6},   {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
  };
  for (const code_range& r : wide)
    if (c >= r.first && c <= r.last) return true;
  return false;
}

bool has_wide(std::string_view s) {
  for (std::string_view c : chars_of(s))
    if (c.size() > 2 && shown_wide(decode(c))) return true;
  return false;
}

text_result padded(std::string_view s, std::int64_t length, std::string_view pad, bool left) {
  if (length < 1 || pad.empty()) return std::nullopt;
  // The server counts the length in columns on a screen, two for a wide
  // character; that count is not known here, so such a text is refused.
  if (has_wide(s) || has_wide(pad)) fail(3001);
  std::vector<std::size_t> starts = char_starts(s);
  std::size_t have = starts.size() - 1;
  auto want = static_cast<std::size_t>(std::min<std::int64_t>(length, k_integer_limit));
  if (have >= want) return text_or_null(std::string(s.substr(0, starts[want])));
  std::vector<std::string_view> pad_chars = chars_of(pad);
  std::string fill;
  // No more pad than the longest result can hold.
  std::size_t room = left ? k_varchar2_bytes : (s.size() < k_varchar2_bytes ? k_varchar2_bytes - s.size() : 0);
  for (std::size_t k = 0; k < want - have && fill.size() < room; ++k) fill += pad_chars[k % pad_chars.size()];
  std::string out = left ? fill + std::string(s) : std::string(s) + fill;
  return std::string(fitting(out, std::max(k_varchar2_bytes, left ? 0 : s.size())));
}

bool in_set(const std::vector<std::string_view>& set, std::string_view c) {
  return std::find(set.begin(), set.end(), c) != set.end();
}

text_result trimmed(std::string_view s, const std::vector<std::string_view>& set, bool leading, bool trailing) {
  std::vector<std::string_view> chars = chars_of(s);
  std::size_t first = 0, last = chars.size();
  if (leading)
    while (first < last && in_set(set, chars[first])) ++first;
  if (trailing)
    while (last > first && in_set(set, chars[last - 1])) --last;
  std::string out;
  for (std::size_t k = first; k < last; ++k) out += chars[k];
  return text_or_null(std::move(out));
}

// A LIKE pattern as tokens: a character to match, or % or _.
struct like_token {
  enum kind_t { literal, any_run, any_one } kind;
  std::string_view c;
};

std::vector<like_token> like_tokens(std::string_view pattern, std::optional<std::string_view> escape) {
  std::string_view esc;
  if (escape) {
    std::vector<std::string_view> e = chars_of(*escape);
    if (e.size() != 1) fail(1425);
    esc = e[0];
  }
  std::vector<like_token> tokens;
  std::vector<std::string_view> chars = chars_of(pattern);
  for (std::size_t k = 0; k < chars.size(); ++k) {
    std::string_view c = chars[k];
    if (!esc.empty() && c == esc) {
      if (k + 1 == chars.size()) fail(1424);
      std::string_view next = chars[++k];
      if (next != "%" && next != "_" && next != esc) fail(1424);
      tokens.push_back({like_token::literal, next});
    } else if (c == "%") {
      if (tokens.empty() || tokens.back().kind != like_token::any_run) tokens.push_back({like_token::any_run, c});
    } else if (c == "_") {
      tokens.push_back({like_token::any_one, c});
    } else {
      tokens.push_back({like_token::literal, c});
    }
  }
  return tokens;
}

}  // namespace

text_result text_or_null(std::string s) {
  if (s.empty()) return std::nullopt;
  return s;
}

std::int64_t integer_argument(const decimal& d) {
  std::int64_t n = 0;
  if (!truncated_integer(d, n)) return d.negative ? -k_integer_limit : k_integer_limit;
  return std::clamp(n, -k_integer_limit, k_integer_limit);
}

std::string text_upper(std::string_view s) {
  return case_changed(s, [](char32_t c, bool) { return upper_of(c); });
}

std::string text_lower(std::string_view s) {
  return case_changed(s, [](char32_t c, bool) { return lower_of(c); });
}

std::string text_initcap(std::string_view s) {
  bool in_word = false;
  return case_changed(s, [&](char32_t c, bool valid) {
    bool word = valid && is_word_char(c);
    char32_t out = !word ? c : in_word ? lower_of(c) : upper_of(c);
    in_word = word;
    return out;
  });
}

std::int64_t text_length(std::string_view s) {
  return static_cast<std::int64_t>(char_starts(s).size() - 1);
}

text_result text_substr(std::string_view s, std::int64_t position, std::optional<std::int64_t> length) {
  std::vector<std::size_t> starts = char_starts(s);
  auto n = static_cast<std::int64_t>(starts.size() - 1);
  if (length && *length < 1) return std::nullopt;
  std::int64_t start = position > 0 ? position - 1 : position == 0 ? 0 : n + position;
  if (start < 0 || start >= n) return std::nullopt;
  std::int64_t end = length ? std::min(n, start + std::min(*length, k_integer_limit)) : n;
  return text_or_null(std::string(s.substr(starts[static_cast<std::size_t>(start)],
                                           starts[static_cast<std::size_t>(end)] -
                                               starts[static_cast<std::size_t>(start)])));
}

std::int64_t text_instr(std::string_view s, std::string_view sub, std::int64_t position,
                        std::int64_t occurrence) {
  if (occurrence < 1) fail(1428, std::to_string(occurrence));
  if (position == 0 || sub.empty()) return 0;
  std::vector<std::size_t> starts = char_starts(s);
  auto n = static_cast<std::int64_t>(starts.size() - 1);
  auto matches = [&](std::int64_t k) {
    return s.compare(starts[static_cast<std::size_t>(k)], sub.size(), sub) == 0;
  };
  std::int64_t found = 0;
  if (position > 0) {
    for (std::int64_t k = position - 1; k < n; ++k)
      if (matches(k) && ++found == occurrence) return k + 1;
  } else {
    for (std::int64_t k = n + position; k >= 0; --k)
      if (matches(k) && ++found == occurrence) return k + 1;
  }
  return 0;
}

text_result text_lpad(std::string_view s, std::int64_t length, std::string_view pad) {
  return padded(s, length, pad, true);
}

text_result text_rpad(std::string_view s, std::int64_t length, std::string_view pad) {
  return padded(s, length, pad, false);
}

text_result text_trim(std::string_view s, trim_side side, std::string_view c) {
  if (c.empty()) return std::nullopt;
  std::vector<std::string_view> set = chars_of(c);
  if (set.size() != 1) fail(30001);
  return trimmed(s, set, side != trim_side::trailing, side != trim_side::leading);
}

text_result text_ltrim(std::string_view s, std::string_view set) {
  if (set.empty()) return std::nullopt;
  return trimmed(s, chars_of(set), true, false);
}

text_result text_rtrim(std::string_view s, std::string_view set) {
  if (set.empty()) return std::nullopt;
  return trimmed(s, chars_of(set), false, true);
}

text_result text_replace(std::string_view s, std::optional<std::string_view> search,
                         std::optional<std::string_view> replacement) {
  if (!search || search->empty()) return text_or_null(std::string(s));
  std::string out;
  std::size_t at = 0;
  for (std::size_t hit; (hit = s.find(*search, at)) != std::string_view::npos; at = hit + search->size()) {
    out += s.substr(at, hit - at);
    if (replacement) out += *replacement;
  }
  out += s.substr(at);
  return text_or_null(std::move(out));
}

text_result text_translate(std::string_view s, std::string_view from, std::string_view to) {
  if (from.empty() || to.empty()) return std::nullopt;
  std::vector<std::string_view> source = chars_of(from), target = chars_of(to);
  std::string out;
  for (std::string_view c : chars_of(s)) {
    auto hit = std::find(source.begin(), source.end(), c);
    if (hit == source.end()) {
      out += c;
    } else if (auto k = static_cast<std::size_t>(hit - source.begin()); k < target.size()) {
      out += target[k];
    }
  }
  return text_or_null(std::move(out));
}

std::int64_t text_ascii(std::string_view s) {
  if (s.empty()) return 0;
  std::int64_t code = 0;
  for (char b : s.substr(0, char_size(s, 0))) code = code * 256 + static_cast<unsigned char>(b);
  return code;
}

std::string text_chr(std::int64_t n) {
  if (n < 0 || n > 0xFFFFFFFFLL) fail(1428, std::to_string(n));
  std::string out;
  do {
    out.insert(out.begin(), static_cast<char>(n & 0xFF));
    n >>= 8;
  } while (n > 0);
  return out;
}

text_result text_concat(std::optional<std::string_view> a, std::optional<std::string_view> b) {
  std::string out;
  if (a) out += *a;
  if (b) out += *b;
  return text_or_null(std::move(out));
}

void check_like_pattern(std::string_view pattern, std::optional<std::string_view> escape) {
  like_tokens(pattern, escape);
}

bool text_like(std::string_view s, std::string_view pattern, std::optional<std::string_view> escape) {
  std::vector<like_token> p = like_tokens(pattern, escape);
  std::vector<std::string_view> t = chars_of(s);
  // Left to right; on a mismatch the last % takes one more character.
  std::size_t i = 0, j = 0, star_j = std::string::npos, star_i = 0;
  while (i < t.size()) {
    if (j < p.size() && p[j].kind == like_token::any_run) {
      star_j = j++;
      star_i = i;
    } else if (j < p.size() && (p[j].kind == like_token::any_one || p[j].c == t[i])) {
      ++i;
      ++j;
    } else if (star_j != std::string::npos) {
      j = star_j + 1;
      i = ++star_i;
    } else {
      return false;
    }
  }
  while (j < p.size() && p[j].kind == like_token::any_run) ++j;
  return j == p.size();
}

int compare_blank_padded(std::string_view a, std::string_view b) {
  std::size_t common = std::min(a.size(), b.size());
  for (std::size_t k = 0; k < common; ++k) {
    auto x = static_cast<unsigned char>(a[k]), y = static_cast<unsigned char>(b[k]);
    if (x != y) return x < y ? -1 : 1;
  }
  std::string_view rest = a.size() > common ? a.substr(common) : b.substr(common);
  int sign = a.size() > common ? 1 : -1;
  for (char c : rest) {
    auto x = static_cast<unsigned char>(c);
    if (x != ' ') return x > ' ' ? sign : -sign;
  }
  return 0;
}

}  // namespace ocilite
