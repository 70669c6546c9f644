// TO_CHAR and TO_NUMBER of numbers, and the implicit conversion of a text.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "ocilite/ol_decimal.h"
#include "ocilite/ol_error.h"
#include "ocilite/ol_number_format.h"

namespace {

using namespace ocilite;

decimal num(const char* text) { return *parse_decimal(text); }

std::string outcome(const std::function<std::string()>& f) {
  try {
    return f();
  } catch (const ora_failure& e) {
    char text[16];
    std::snprintf(text, sizeof text, "ORA-%05d", static_cast<int>(e.error.code));
    return text;
  }
}

struct case_row {
  const char* value;
  const char* mask;
  const char* text;
};

TEST(ocilite_number_format, to_char_places_digits_signs_and_symbols_as_the_mask_says) {
  const case_row rows[] = {
      // Digits: a blank for the sign, leading zeros blank, one 0 for zero.
      {"123", "999", " 123"},
      {"-123", "999", "-123"},
      {"0", "999", "   0"},
      {"0.5", "9.99", "  .50"},
      {"0", "9.99", " 0.00"},
      {"0.001", "9.99", "  .00"},
      {"0", "FM9.99", "0."},
      {"0.5", "0.99", " 0.50"},
      {"1.005", "9.99", " 1.01"},
      {"-1.005", "9.99", "-1.01"},
      {"12", "0999", " 0012"},
      {"12", "9099", "  012"},
      {"9.996", "9.99", "#####"},
      {"1234", "999", "####"},
      {"-0.001", "FM990.00", "-0.00"},
      // Groups and the decimal character.
      {"1234.567", "9,999.99", " 1,234.57"},
      {"12", "9,999", "    12"},
      {"1234567", "9G999G999D99", " 1,234,567.00"},
      // Fill mode: no blanks, no trailing zeros where the mask has 9s.
      {"1.5", "FM9.99", "1.5"},
      {"1", "FM9.99", "1."},
      {"1.5", "FM9.90", "1.50"},
      {"0.5", "FM9.99", ".5"},
      {"-12", "FM999", "-12"},
      {"5", "FM0009", "0005"},
      // Signs.
      {"12", "S999", " +12"},
      {"-12", "S999", " -12"},
      {"-12", "999S", " 12-"},
      {"12", "999S", " 12+"},
      {"-12", "999MI", " 12-"},
      {"12", "999MI", " 12 "},
      {"12", "FM999MI", "12"},
      {"-12", "999PR", " <12>"},
      {"12", "999PR", "  12 "},
      {"-12", "FM999PR", "<12>"},
      // Currency, B and V.
      {"-12", "$9999", "  -$12"},
      {"1234.5", "$9,999.99", " $1,234.50"},
      {"1234.5", "L9,999.99", "          $1,234.50"},
      {"1234.5", "FML9,999.99", "$1,234.5"},
      {"1234.5", "C9999.99", " USD1234.50"},
      {"12", "99L", " 12         $"},
      {"0", "B999", "    "},
      {"0.5", "B9.99", "  .50"},
      {"12.345", "99V99", " 1235"},
      // Scientific.
      {"12345", "9.99EEEE", " 1.23E+04"},
      {"-0.00012345", "9.9EEEE", "-1.2E-04"},
      {"1E100", "9.9EEEE", " 1.0E+100"},
      {"9.99", "9.9EEEE", " 1.0E+01"},
      {"0", "9.99EEEE", " 0.00E+00"},
      {"12345", "FM9.99EEEE", "1.23E+04"},
      // Hexadecimal, rounded; no room or a negative value is '#'.
      {"255", "XX", "FF"},
      {"255", "xxxx", "  ff"},
      {"255", "0XXX", "00FF"},
      {"254.5", "FMXXXX", "FF"},
      {"256", "XX", "###"},
      {"-1", "XX", "###"},
      {"123456789012345678901234567890", "XXXXXXXXXXXXXXXXXXXXXXXXX", "18EE90FF6C373E0EE4E3F0AD2"},
      // Roman numerals, 1 to 3999.
      {"12", "RN", "            XII"},
      {"1994", "FMrn", "mcmxciv"},
      {"3999", "FMRN", "MMMCMXCIX"},
      {"0", "RN", "###############"},
      {"4000", "RN", "###############"},
      // The text forms.
      {"0.5", "TM", ".5"},
      {"-1500", "TM9", "-1500"},
      {"12345", "TME", "1.2345E+04"},
      {"-0.5", "TME", "-5E-01"},
      {"0", "TME", "0E+00"},
      // What is no number format.
      {"1", "9.9.9", "ORA-01481"},
      {"1", "99S9", "ORA-01481"},
      {"1", "abc", "ORA-01481"},
      {"1", ",999", "ORA-01481"},
      {"1", "9.9,9", "ORA-01481"},
      {"1", "9,999D99", "ORA-01481"},
      {"1", "9MI9", "ORA-01481"},
      {"1", "S999MI", "ORA-01481"},
      {"1", "X9", "ORA-01481"},
      {"1", "9V9.9", "ORA-01481"},
      {"1", "9,9EEEE", "ORA-01481"},
      {"1", "$$9", "ORA-01481"},
  };
  for (const case_row& r : rows)
    EXPECT_EQ(r.text, outcome([&] { return number_to_char(num(r.value), r.mask); }))
        << "TO_CHAR(" << r.value << ", '" << r.mask << "')";
  // Without a mask: the server's text, scientific past 64 characters.
  EXPECT_EQ("-.5", number_to_char(num("-0.5")));
  EXPECT_EQ("1500", number_to_char(num("1.5E3")));
  EXPECT_EQ("1.2E+100", number_to_char(num("1.2E100")));
}

TEST(ocilite_number_format, texts_are_read_as_the_server_reads_them) {
  struct row {
    const char* text;
    const char* value;  // or ORA-nnnnn
  } rows[] = {
      {" 12 ", "12"},        {"+5", "5"},
      {"-5", "-5"},          {".5", ".5"},
      {"5.", "5"},           {"-.5e+2", "-50"},
      {"1.5E-3", ".0015"},   {"1.0000000000000000000000000000000000000000049", "1"},
      {"1e-200", "0"},       {"1e200", "ORA-01426"},
      {" ", "ORA-01722"},    {".", "ORA-01722"},
      {"+", "ORA-01722"},    {"1e", "ORA-01722"},
      {"e5", "ORA-01722"},   {"1 2", "ORA-01722"},
      {"--5", "ORA-01722"},  {"- 5", "ORA-01722"},
      {"5-", "ORA-01722"},   {"1,000", "ORA-01722"},
      {"0x10", "ORA-01722"}, {"Inf", "ORA-01722"},
      {"\t5", "ORA-01722"},  {"5\r\n", "ORA-01722"},
  };
  for (const row& r : rows)
    EXPECT_EQ(r.value, outcome([&] { return number_text(text_to_number(r.text)); })) << "'" << r.text << "'";
}

TEST(ocilite_number_format, to_number_reads_a_text_by_its_mask) {
  const case_row rows[] = {
      {"1,234.5", "9,999.9", "1234.5"},
      {"1234.5", "9,999.9", "1234.5"},
      {"1,234,567", "9,999,999", "1234567"},
      {"1,2345", "9,999", "ORA-01722"},
      {"12,34", "9,999", "ORA-01722"},
      {"12345", "9,999", "ORA-01722"},
      {"12.345", "99.99", "ORA-01722"},
      {" 12", "9999", "12"},
      {"0012", "0999", "12"},
      {"$1,234", "$9,999", "1234"},
      {"1,234", "$9,999", "ORA-01722"},
      {"USD12", "C99", "12"},
      {"$12", "L99", "12"},
      {"-1,234.50", "9G999D99", "-1234.5"},
      {"-12", "S99", "-12"},
      {"+12", "S99", "12"},
      {"12", "S99", "ORA-01722"},
      {"12-", "99MI", "-12"},
      {"12", "99MI", "12"},
      {"<12>", "99PR", "-12"},
      {"12", "99PR", "12"},
      {"1.23E+04", "9.99EEEE", "12300"},
      {"1.23", "9.99EEEE", "ORA-01722"},
      {"1234", "99V99", "12.34"},
      {"FF", "XX", "255"},
      {"ff", "XX", "255"},
      {"FFF", "XX", "ORA-01722"},
      {"FG", "XX", "ORA-01722"},
      {"12.5", "TM", "12.5"},
      {"12", "9.9.9", "ORA-01481"},
      {"", "99", "ORA-01722"},
  };
  for (const case_row& r : rows)
    EXPECT_EQ(r.text, outcome([&] { return number_text(text_to_number(r.value, r.mask)); }))
        << "TO_NUMBER('" << r.value << "', '" << r.mask << "')";
}

TEST(ocilite_number_format, a_number_written_by_a_mask_reads_back_by_it) {
  const char* const masks[] = {"S9G999G999D9999", "FM9,999,999.9999",  "9999999.9999MI", "9999999.9999PR",
                               "$9,999,999.9999", "9.99999999999EEEE", "L9999999.9999"};
  const char* const values[] = {"0", "1", "-1", "1234567.8912", "-1234567.8912", ".0001", "-.0001", "999.5"};
  for (const char* mask : masks)
    for (const char* value : values) {
      std::string text = number_to_char(num(value), mask);
      EXPECT_EQ(number_text(num(value)), outcome([&] { return number_text(text_to_number(text, mask)); }))
          << value << " by " << mask << ": '" << text << "'";
    }
}

}  // namespace
