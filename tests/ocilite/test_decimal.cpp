// NUMBER arithmetic and functions, called directly (the library's sources
// are built into this test).
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <sstream>

#include "ocilite/ol_decimal.h"
#include "ocilite/ol_error.h"

namespace {

using namespace ocilite;

decimal num(const std::string& text) {
  auto d = parse_decimal(text);
  if (!d) ADD_FAILURE() << "not a number: " << text;
  return d ? *d : decimal{};
}

// Sign, digits and exponent: two equal values of canonical form give one
// text, and a digit too many or a trailing zero shows.
std::string canonical(const decimal& d) {
  if (d.digits.empty()) return d.negative ? "-0" : "0";
  return (d.negative ? "-." : ".") + d.digits + "E" + std::to_string(d.exponent);
}

// The result, or "ORA-nnnnn" for the error thrown.
std::string outcome(const std::function<decimal()>& f) {
  try {
    return canonical(f());
  } catch (const ora_failure& e) {
    char text[16];
    std::snprintf(text, sizeof text, "ORA-%05d", static_cast<int>(e.error.code));
    return text;
  }
}

std::string expected_form(const std::string& expected) {
  return expected.rfind("ORA-", 0) == 0 ? expected : canonical(num(expected));
}

std::vector<std::string> split(const std::string& s, char by) {
  std::vector<std::string> out;
  std::stringstream in(s);
  for (std::string part; std::getline(in, part, by);) out.push_back(part);
  return out;
}

std::string run_cases_script() {
  std::string command = "/usr/bin/python3 '" QM_SOURCE_DIR "/tests/ocilite/decimal_cases.py'";
  FILE* p = popen(command.c_str(), "r");
  if (!p) return {};
  std::string out;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) out.append(buffer, n);
  return pclose(p) == 0 ? out : std::string();
}

TEST(ocilite_decimal, agrees_with_an_independent_decimal_library) {
  using binary = std::function<decimal(const decimal&, const decimal&)>;
  const std::map<std::string, binary> functions = {
      {"add", [](auto& a, auto& b) { return decimal_add(a, b); }},
      {"sub", [](auto& a, auto& b) { return decimal_subtract(a, b); }},
      {"mul", [](auto& a, auto& b) { return decimal_multiply(a, b); }},
      {"div", [](auto& a, auto& b) { return decimal_divide(a, b); }},
      {"mod", [](auto& a, auto& b) { return decimal_mod(a, b); }},
      {"remainder", [](auto& a, auto& b) { return decimal_remainder(a, b); }},
      {"round", [](auto& a, auto& b) { return decimal_round(a, b); }},
      {"trunc", [](auto& a, auto& b) { return decimal_trunc(a, b); }},
      {"power", [](auto& a, auto& b) { return decimal_power(a, b); }},
      {"log", [](auto& a, auto& b) { return decimal_log(a, b); }},
      {"sqrt", [](auto& a, auto&) { return decimal_sqrt(a); }},
      {"exp", [](auto& a, auto&) { return decimal_exp(a); }},
      {"ln", [](auto& a, auto&) { return decimal_ln(a); }},
      {"ceil", [](auto& a, auto&) { return decimal_ceil(a); }},
      {"floor", [](auto& a, auto&) { return decimal_floor(a); }},
  };
  std::string cases = run_cases_script();
  ASSERT_FALSE(cases.empty()) << "tests/ocilite/decimal_cases.py gave nothing";
  std::map<std::string, int> seen;
  int failures = 0;
  for (const std::string& line : split(cases, '\n')) {
    std::vector<std::string> f = split(line, '|');
    ASSERT_EQ(4u, f.size()) << line;
    const std::string& op = f[0];
    ++seen[op];
    std::string got;
    if (op == "sum" || op == "avg") {
      got = outcome([&] {
        number_sum s;
        for (const std::string& v : split(f[1], ';')) s.add(num(v));
        EXPECT_EQ(static_cast<std::int64_t>(split(f[1], ';').size()), s.count());
        return op == "sum" ? s.sum() : s.average();
      });
    } else {
      auto it = functions.find(op);
      ASSERT_NE(functions.end(), it) << line;
      decimal a = num(f[1]), b = f[2] == "-" ? decimal{} : num(f[2]);
      got = outcome([&] { return it->second(a, b); });
    }
    if (got != expected_form(f[3]) && ++failures <= 30)
      ADD_FAILURE() << line << "\n  gave " << got << ", expected " << expected_form(f[3]);
  }
  EXPECT_EQ(0, failures);
  EXPECT_EQ(17u, seen.size());
}

}  // namespace

namespace {

TEST(ocilite_decimal, errors_carry_the_server_numbers) {
  struct row {
    const char* what;
    std::function<decimal()> f;
    const char* outcome;
  } rows[] = {
      {"1/0", [] { return decimal_divide(num("1"), num("0")); }, "ORA-01476"},
      {"REMAINDER(5, 0)", [] { return decimal_remainder(num("5"), num("0")); }, "ORA-01476"},
      {"POWER(0, -1)", [] { return decimal_power(num("0"), num("-1")); }, "ORA-01476"},
      {"9.9E125 + 9.9E125", [] { return decimal_add(num("9.9E125"), num("9.9E125")); }, "ORA-01426"},
      {"1E100 * 1E30", [] { return decimal_multiply(num("1E100"), num("1E30")); }, "ORA-01426"},
      {"1E100 / 1E-30", [] { return decimal_divide(num("1E100"), num("1E-30")); }, "ORA-01426"},
      {"EXP(291)", [] { return decimal_exp(num("291")); }, "ORA-01426"},
      {"POWER(2, 500)", [] { return decimal_power(num("2"), num("500")); }, "ORA-01426"},
      {"ROUND(9.99E125, -126)", [] { return decimal_round(num("9.99E125"), -126); }, "ORA-01426"},
      {"POWER(-8, .5)", [] { return decimal_power(num("-8"), num(".5")); }, "ORA-01428"},
      {"SQRT(-1)", [] { return decimal_sqrt(num("-1")); }, "ORA-01428"},
      {"LN(0)", [] { return decimal_ln(num("0")); }, "ORA-01428"},
      {"LN(-2)", [] { return decimal_ln(num("-2")); }, "ORA-01428"},
      {"LOG(1, 10)", [] { return decimal_log(num("1"), num("10")); }, "ORA-01428"},
      {"LOG(-10, 10)", [] { return decimal_log(num("-10"), num("10")); }, "ORA-01428"},
      {"LOG(10, 0)", [] { return decimal_log(num("10"), num("0")); }, "ORA-01428"},
      {"CAST(1000 AS NUMBER(5, 2))", [] { return number_checked(num("1000"), 5, 2); }, "ORA-01438"},
      {"CAST(999.995 AS NUMBER(5, 2))", [] { return number_checked(num("999.995"), 5, 2); }, "ORA-01438"},
      {"CAST(.001 AS NUMBER(2, 5))", [] { return number_checked(num(".001"), 2, 5); }, "ORA-01438"},
      {"CAST(123456 AS NUMBER(3, -2))", [] { return number_checked(num("123456"), 3, -2); }, "ORA-01438"},
      {"NUMBER(0)", [] { return number_checked(num("1"), 0, 0); }, "ORA-01727"},
      {"NUMBER(39)", [] { return number_checked(num("1"), 39, 0); }, "ORA-01727"},
      {"NUMBER(5, 128)", [] { return number_checked(num("1"), 5, 128); }, "ORA-01728"},
      {"NUMBER(5, -85)", [] { return number_checked(num("1"), 5, -85); }, "ORA-01728"},
      {"FLOAT(127)", [] { return number_float(num("1"), 127); }, "ORA-01724"},
      {"FLOAT(0)", [] { return number_float(num("1"), 0); }, "ORA-01724"},
      {"SUM past the range",
       [] {
         number_sum s;
         s.add(num("9E125"));
         s.add(num("9E125"));
         return s.sum();
       },
       "ORA-01426"},
  };
  for (const row& r : rows) EXPECT_EQ(r.outcome, outcome(r.f)) << r.what;
  try {
    decimal_power(num("-8"), num(".5"));
    ADD_FAILURE() << "POWER(-8, .5) gave a result";
  } catch (const ora_failure& e) {
    EXPECT_EQ("ORA-01428: argument '-8' is out of range\n", e.error.text);
  }
}

// The faults of the arithmetic before: an underflow decided before the
// rounding, and a division that was slower than the rest.
TEST(ocilite_decimal, a_result_that_rounds_up_to_the_smallest_number_is_kept) {
  EXPECT_EQ(".1E-129", canonical(decimal_subtract(num("1E-130"), num("1E-171"))));
  // Exactly .99..9 (42 nines) E-130 before the rounding.
  EXPECT_EQ(".1E-129", canonical(decimal_multiply(num(".999999999999999999999E-64"),
                                                  num("1.000000000000000000001E-66"))));
  EXPECT_EQ("0", canonical(decimal_multiply(num("1E-65"), num("1E-66"))));
}

TEST(ocilite_decimal, numbers_compare_by_value_whatever_their_form) {
  // In ascending order; a row of several forms holds one value.
  const std::vector<std::vector<decimal>> order = {
      {num("-1E125")},
      {num("-12345678901234567890123456789012345678.9")},
      {num("-2"), decimal{true, "200", 1}},
      {num("-1.5")},
      {num("-1E-130")},
      {decimal{}, decimal{true, "", 0}, decimal{false, "000", 5}},
      {num("1E-130")},
      {num(".1")},
      {num(".10000000000000000000000000000000000000001")},
      {num("1"), decimal{false, "0010", 3}},
      {num("9007199254740993")},
      {num("9.9E125")},
  };
  for (std::size_t i = 0; i < order.size(); ++i)
    for (std::size_t j = 0; j < order.size(); ++j)
      for (const decimal& a : order[i])
        for (const decimal& b : order[j])
          EXPECT_EQ(i < j ? -1 : i > j ? 1 : 0, decimal_compare(a, b)) << i << " " << j;
}

TEST(ocilite_decimal, signs_integers_and_columns_of_a_precision) {
  EXPECT_EQ(-1, decimal_sign(num("-1E-130")));
  EXPECT_EQ(0, decimal_sign(num("0")));
  EXPECT_EQ(1, decimal_sign(num("5")));
  EXPECT_EQ(canonical(num("2.5")), canonical(decimal_abs(num("-2.5"))));
  EXPECT_EQ(canonical(num("-2.5")), canonical(decimal_negate(num("2.5"))));
  EXPECT_EQ("0", canonical(decimal_negate(num("0"))));
  EXPECT_TRUE(decimal_is_integer(num("1E+30")));
  EXPECT_TRUE(decimal_is_integer(num("0")));
  EXPECT_FALSE(decimal_is_integer(num("1.5")));
  EXPECT_FALSE(decimal_is_integer(num("1E-130")));
  // A 41st digit is rounded away before a NUMBER is used.
  EXPECT_EQ(canonical(num("1.000000000000000000000000000000000000001")),
            canonical(number_rounded(num("1.0000000000000000000000000000000000000005"))));
  EXPECT_EQ("ORA-01426",
            outcome([] { return number_rounded(num("9.99999999999999999999999999999999999999951E125")); }));
  struct row {
    const char* value;
    int precision, scale;
    const char* held;
  } rows[] = {
      {"123.456", 5, 2, "123.46"},
      {"-123.455", 5, 2, "-123.46"},
      {"999.994", 5, 2, "999.99"},
      {"12345", 3, -2, "12300"},
      {"12350", 3, -2, "12400"},
      {".00099", 2, 5, ".00099"},
      {".000994", 2, 5, ".00099"},
      {"0.4", 1, 0, "0"},
      {"-0.5", 1, 0, "-1"},
      {"9.5", 1, 0, "ORA-01438"},
      {"1E-130", 38, 0, "0"},
      {"12345678901234567890123456789012345678", 38, 0, "12345678901234567890123456789012345678"},
  };
  for (const row& r : rows)
    EXPECT_EQ(expected_form(r.held),
              outcome([&] { return number_checked(num(r.value), r.precision, r.scale); }))
        << r.value << " NUMBER(" << r.precision << "," << r.scale << ")";
  // FLOAT(b) keeps ceil(b x 0.30103) digits: 2 for 5 bits, 38 for 126.
  EXPECT_EQ(canonical(num("120")), canonical(number_float(num("123.456"), 5)));
  EXPECT_EQ(canonical(num("1.333333333333333333333333333333333333")),
            canonical(number_float(num("1.33333333333333333333333333333333333333"), 120)));
}

}  // namespace
