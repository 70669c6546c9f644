#include "ocilite/ol_error.h"
#include "ocilite/ol_text_functions.h"
#include "value_cases.h"

#include <gtest/gtest.h>

#include <functional>

using namespace ocilite;

namespace {

const char* const null_text = "<NULL>";

std::string shown(const text_result& r) { return r ? *r : null_text; }

TEST(text_functions, case_of_every_script) {
  struct row {
    const char* in;
    const char* upper;
    const char* lower;
    const char* initcap;
  } rows[] = {
      {"zieliŃska", "ZIELIŃSKA", "zielińska", "Zielińska"},
      {"straße", "STRAßE", "straße", "Straße"},
      {"ΣΟΦΊΑ σοφία", "ΣΟΦΊΑ ΣΟΦΊΑ", "σοφία σοφία", "Σοφία Σοφία"},
      {"привет мир", "ПРИВЕТ МИР", "привет мир", "Привет Мир"},
      {"the soap", "THE SOAP", "the soap", "The Soap"},
      {"o'neil mcDONALD-smith", "O'NEIL MCDONALD-SMITH", "o'neil mcdonald-smith", "O'Neil Mcdonald-Smith"},
      {"ab1cd ef_gh 3RD", "AB1CD EF_GH 3RD", "ab1cd ef_gh 3rd", "Ab1cd Ef_Gh 3rd"},
      {"élan ŁÓDŹ 😀x", "ÉLAN ŁÓDŹ 😀X", "élan łódź 😀x", "Élan Łódź 😀X"},
      {"a\xff" "b", "A\xff" "B", "a\xff" "b", "A\xff" "B"},
  };
  for (const row& r : rows) {
    EXPECT_EQ(r.upper, text_upper(r.in)) << r.in;
    EXPECT_EQ(r.lower, text_lower(r.in)) << r.in;
    EXPECT_EQ(r.initcap, text_initcap(r.in)) << r.in;
  }
  EXPECT_EQ(9, text_length("zielińska"));
  EXPECT_EQ(2, text_length("😀a"));
}

TEST(text_functions, substr_and_instr_count_characters) {
  struct sub_row {
    const char* s;
    std::int64_t position;
    std::optional<std::int64_t> length;
    const char* expected;
  } subs[] = {
      {"ABCDEFG", 3, 4, "CDEF"}, {"ABCDEFG", -5, 4, "CDEF"}, {"abc", 0, 2, "ab"},
      {"abc", 0, std::nullopt, "abc"}, {"abc", -1, std::nullopt, "c"}, {"abc", 4, 1, null_text},
      {"abc", -4, std::nullopt, null_text}, {"abc", 2, 0, null_text}, {"abc", 2, -1, null_text},
      {"abc", 2, 100, "bc"}, {"żółw", 2, 2, "ół"},
  };
  for (const sub_row& r : subs)
    EXPECT_EQ(r.expected, shown(text_substr(r.s, r.position, r.length))) << r.s << " " << r.position;

  struct instr_row {
    const char* s;
    const char* sub;
    std::int64_t position, occurrence, expected;
  } instrs[] = {
      {"CORPORATE FLOOR", "OR", 3, 2, 14}, {"CORPORATE FLOOR", "OR", -3, 2, 2},
      {"aaaa", "aa", 1, 2, 2},             {"abc", "b", 0, 1, 0},
      {"abc", "z", 1, 1, 0},               {"żółw", "w", 1, 1, 4},
      {"abcabc", "c", -1, 1, 6},           {"abcabc", "c", -2, 1, 3},
      {"abc", "b", 10, 1, 0},              {"abc", "b", -10, 1, 0},
  };
  for (const instr_row& r : instrs)
    EXPECT_EQ(r.expected, text_instr(r.s, r.sub, r.position, r.occurrence)) << r.s << " " << r.position;
  try {
    text_instr("abc", "b", 1, 0);
    ADD_FAILURE();
  } catch (const ora_failure& f) {
    EXPECT_EQ("ORA-01428: argument '0' is out of range\n", f.error.text);
  }
  EXPECT_EQ(1, integer_argument(*parse_decimal("1.9")));
  EXPECT_EQ(-1, integer_argument(*parse_decimal("-1.9")));
  EXPECT_EQ(0, integer_argument(*parse_decimal(".5")));
  EXPECT_EQ(std::int64_t(1) << 62, integer_argument(*parse_decimal("1E+30")));
  EXPECT_EQ(-(std::int64_t(1) << 62), integer_argument(*parse_decimal("-1E+30")));
}

TEST(text_functions, pads_trims_replace_translate) {
  EXPECT_EQ("*.*.*.*.*Page 1", shown(text_lpad("Page 1", 15, "*.")));
  EXPECT_EQ("MORRISONabab", shown(text_rpad("MORRISON", 12, "ab")));
  EXPECT_EQ("ab", shown(text_lpad("abc", 2)));
  EXPECT_EQ("  abc", shown(text_lpad("abc", 5)));
  EXPECT_EQ("ż  ", shown(text_rpad("ż", 3)));
  EXPECT_EQ(null_text, shown(text_lpad("abc", 0)));
  EXPECT_EQ(null_text, shown(text_rpad("abc", -2, "x")));
  // A VARCHAR2 result: no more than 4000 bytes of whole characters.
  EXPECT_EQ(std::string(4000, '*'), shown(text_lpad("abc", 5000, "*")));
  std::string wide = shown(text_rpad("ab", 3000, "ż"));
  EXPECT_EQ(4000u, wide.size());
  EXPECT_EQ(2001, text_length(wide));
  EXPECT_EQ(4000u, shown(text_rpad("a", std::int64_t(1) << 62, "xyz")).size());
  // The server pads to a width on screen, where these take two columns.
  EXPECT_EQ(3001, error_of([] { text_lpad("中文字", 4); }));
  EXPECT_EQ(3001, error_of([] { text_rpad("ab", 4, "日"); }));
  EXPECT_EQ(3001, error_of([] { text_rpad("😀", 2); }));

  EXPECT_EQ("a", shown(text_trim("xxaxx", trim_side::both, "x")));
  EXPECT_EQ("axx", shown(text_trim("xxaxx", trim_side::leading, "x")));
  EXPECT_EQ("xxa", shown(text_trim("xxaxx", trim_side::trailing, "x")));
  EXPECT_EQ("a b", shown(text_trim("  a b  ")));
  EXPECT_EQ(null_text, shown(text_trim("   ")));
  EXPECT_EQ("ó", shown(text_trim("żóż", trim_side::both, "ż")));
  EXPECT_EQ(30001, error_of([] { text_trim("abc", trim_side::both, "xy"); }));
  EXPECT_EQ("BROWNING<=====>", shown(text_ltrim("<=====>BROWNING<=====>", "<>=")));
  EXPECT_EQ("<=====>BROWNING", shown(text_rtrim("<=====>BROWNING<=====>", "<>=")));
  EXPECT_EQ("abc", shown(text_rtrim("abc   ")));
  EXPECT_EQ(null_text, shown(text_ltrim("xxx", "x")));
  EXPECT_EQ(null_text, shown(text_ltrim("abc", "")));  // '' is NULL
  EXPECT_EQ(null_text, shown(text_trim("abc", trim_side::both, "")));

  EXPECT_EQ("BLACK and BLUE", shown(text_replace("JACK and JUE", "J", "BL")));
  EXPECT_EQ("acac", shown(text_replace("abcabc", "b")));
  EXPECT_EQ("abc", shown(text_replace("abc", std::nullopt, "x")));
  EXPECT_EQ("ac", shown(text_replace("abc", "b", std::nullopt)));
  EXPECT_EQ("ba", shown(text_replace("aaa", "aa", "b")));
  EXPECT_EQ(null_text, shown(text_replace("abc", "abc")));

  EXPECT_EQ("SQL_Plus_Users_Guide", shown(text_translate("SQL*Plus User's Guide", " */'", "___")));
  EXPECT_EQ("xcx", shown(text_translate("abcab", "ab", "x")));
  EXPECT_EQ("xxx", shown(text_translate("aaa", "aa", "xy")));
  EXPECT_EQ("zółw", shown(text_translate("żółw", "ż", "z")));
  EXPECT_EQ(null_text, shown(text_translate("ab", "ab", "")));

  EXPECT_EQ("a", shown(text_concat(std::nullopt, "a")));
  EXPECT_EQ("ab", shown(text_concat("a", "b")));
  EXPECT_EQ(null_text, shown(text_concat(std::nullopt, std::nullopt)));
  EXPECT_EQ(null_text, shown(text_concat("", "")));
}

TEST(text_functions, ascii_and_chr_are_the_utf8_bytes) {
  struct row {
    const char* c;
    std::int64_t code;
  } rows[] = {{"A", 65}, {"é", 50089}, {"€", 14844588}, {"😀", 4036991104}};
  for (const row& r : rows) {
    EXPECT_EQ(r.code, text_ascii(r.c)) << r.c;
    EXPECT_EQ(r.c, text_chr(r.code)) << r.code;
  }
  EXPECT_EQ(97, text_ascii("ab"));
  EXPECT_EQ(std::string(1, '\0'), text_chr(0));
  EXPECT_EQ(1428, error_of([] { text_chr(-1); }));
  EXPECT_EQ(1428, error_of([] { text_chr(0x100000000LL); }));
}

TEST(text_functions, like_is_case_sensitive_per_character) {
  struct row {
    const char* s;
    const char* pattern;
    const char* escape;
    bool matches;
  } rows[] = {
      {"SMITH", "S%", nullptr, true},       {"smith", "S%", nullptr, false},
      {"abc", "a_c", nullptr, true},        {"ac", "a_c", nullptr, false},
      {"żółw", "_ó_w", nullptr, true},      {"abc", "%", nullptr, true},
      {"abc", "a%c%", nullptr, true},       {"mississippi", "%iss%pi", nullptr, true},
      {"mississippi", "%iss%x", nullptr, false}, {"ab", "a%%b", nullptr, true},
      {"100%", "100\\%", "\\", true},       {"1000", "100\\%", "\\", false},
      {"a_b", "a\\_b", "\\", true},         {"axb", "a\\_b", "\\", false},
      {"a\\b", "a\\\\b", "\\", true},       {"a%b", "a#%b", "#", true},
      {"ab ", "ab", nullptr, false},
  };
  for (const row& r : rows) {
    std::optional<std::string_view> escape;
    if (r.escape) escape = r.escape;
    EXPECT_EQ(r.matches, text_like(r.s, r.pattern, escape)) << r.s << " LIKE " << r.pattern;
  }
  EXPECT_EQ(1425, error_of([] { text_like("a", "a", std::string_view("ab")); }));
  EXPECT_EQ(1424, error_of([] { text_like("ab", "a\\b", std::string_view("\\")); }));
  EXPECT_EQ(1424, error_of([] { check_like_pattern("a\\", std::string_view("\\")); }));
}

TEST(text_functions, blank_padded_comparison) {
  struct row {
    const char* a;
    const char* b;
    int order;
  } rows[] = {{"ab ", "ab", 0}, {"ab", "ab   ", 0},  {"ab", "abc", -1}, {"ab\t", "ab", -1},
              {"b", "a   ", 1}, {"", "   ", 0},      {"é", "z", 1},     {"ab", "ab!", -1}};
  for (const row& r : rows) {
    EXPECT_EQ(r.order, compare_blank_padded(r.a, r.b)) << r.a << "|" << r.b;
    EXPECT_EQ(-r.order, compare_blank_padded(r.b, r.a)) << r.b << "|" << r.a;
  }
}

}  // namespace
