// Type maps, literals and the text rules that need no server.
#include "ORA/ora_table.h"
#include "ORA/ora_text.h"
#include "ORA/ora_type_map.h"
#include "ORA/ora_types.h"
#include "ORA/ora_util.h"
#include "TK/tk_exception.h"
#include "UDB/udb_schema.h"

#include <gtest/gtest.h>

namespace {

struct num_case {
  ub4 precision;
  int scale;
  VARTYPE vt;
  ub4 precision_after;
};

TEST(ora_type_maps, number_types_hold_every_value_of_their_column) {
  const num_case cases[] = {
      {1, 0, VT_I1, 1},       {2, 0, VT_I1, 2},         {3, 0, VT_I2, 3},         {4, 0, VT_I2, 4},
      {5, 0, VT_I4, 5},       {9, 0, VT_I4, 9},         {10, 0, VT_I8, 10},       {18, 0, VT_I8, 18},
      {19, 0, VT_DECIMAL, 19}, {20, 0, VT_DECIMAL, 20}, {38, 0, VT_DECIMAL, 38},  {0, 0, VT_DECIMAL, 0},
      {39, 0, VT_DECIMAL, 0}, {126, -127, VT_DECIMAL, 0}, {0, -127, VT_DECIMAL, 0}, {10, 2, VT_DECIMAL, 10},
      {5, 5, VT_DECIMAL, 6},  {2, 4, VT_DECIMAL, 2},    {3, -1, VT_I2, 4},        {5, -2, VT_I4, 7},
      {9, -2, VT_I8, 11},     {17, -2, VT_DECIMAL, 19}, {38, -1, VT_DECIMAL, 0},  {30, -10, VT_DECIMAL, 0},
  };
  for (const num_case& c : cases) {
    ub4 precision = c.precision;
    EXPECT_EQ(get_refined_num_type(precision, c.scale), c.vt) << c.precision << "," << c.scale;
    EXPECT_EQ(precision, c.precision_after) << c.precision << "," << c.scale;
  }
}

TEST(ora_type_maps, supported_types_go_by_the_name_before_its_parenthesis) {
  EXPECT_TRUE(ora_is_supported_type(L"VARCHAR2"));
  EXPECT_TRUE(ora_is_supported_type(L"NUMBER(10,2)"));
  EXPECT_TRUE(ora_is_supported_type(L"TIMESTAMP(9)"));
  EXPECT_TRUE(ora_is_supported_type(L"TIMESTAMP(6) WITH TIME ZONE"));
  EXPECT_TRUE(ora_is_supported_type(L"TIMESTAMP(6) WITH LOCAL TIME ZONE"));
  EXPECT_TRUE(ora_is_supported_type(L"LONG RAW"));
  EXPECT_FALSE(ora_is_supported_type(L"varchar2"));
  EXPECT_FALSE(ora_is_supported_type(L"INTERVAL DAY(2) TO SECOND(6)"));
  EXPECT_FALSE(ora_is_supported_type(L"INTERVAL YEAR(2) TO MONTH"));
  EXPECT_FALSE(ora_is_supported_type(L"MLSLABEL"));
}

TEST(ora_type_maps, column_types_and_bind_lengths_of_field_descriptions) {
  auto ftd = [](VARTYPE vt, int size, std::uint32_t reserved = 0) {
    return t_ftd(size, L"F", vt, false, 0, ole_variant(), reserved, L"");
  };
  t_ftd text2000 = ftd(VT_BSTR, 2000), text2001 = ftd(VT_BSTR, 2001), long_text = ftd(VT_BSTR, 0, 10);
  t_ftd dec10 = ftd(VT_DECIMAL, 0, 10 << 8 | 2), dec30 = ftd(VT_DECIMAL, 0, 30 << 8), dec0 = ftd(VT_DECIMAL, 0, 0);
  t_ftd raw = ftd(VT_BLOB, 16), blob = ftd(VT_BLOB, 0), stamp = ftd(VT_DATE, 0, 1);
  EXPECT_EQ(get_ora_native_type(&text2000), L"NVARCHAR2(2000) ");
  EXPECT_EQ(get_ora_len(&text2000), 4002u);
  EXPECT_EQ(get_ora_native_type(&text2001), L"CLOB");
  EXPECT_EQ(get_ora_len(&text2001), 0u);
  EXPECT_EQ(get_ora_native_type(&long_text), L"LONG");
  EXPECT_EQ(get_ora_native_type(&dec10), L"NUMBER(10,2)");
  EXPECT_EQ(get_ora_native_type(&dec10, true), L"NUMBER");
  EXPECT_EQ(get_ora_native_type(&dec0), L"NUMBER") << "a NUMBER without precision";
  EXPECT_EQ(get_ora_len(&dec10), 60u);
  EXPECT_EQ(get_ora_len(&dec30), 66u);
  EXPECT_EQ(get_ora_native_type(&raw), L"RAW(16)");
  EXPECT_EQ(get_ora_native_type(&blob), L"BLOB");
  EXPECT_EQ(get_ora_native_type(&stamp), L"TIMESTAMP");
  EXPECT_EQ(get_ora_type(&stamp), SQLT_ODT);
  EXPECT_EQ(get_ora_type(&text2000), SQLT_STR);
  t_ftd odd = ftd(VT_UNKNOWN, 0);
  EXPECT_THROW(get_ora_native_type(&odd), tk_mail_assertion);
}

TEST(ora_type_maps, literals_of_values) {
  struct literal_case {
    const wchar_t* text;
    VARTYPE vt;
    bool quote;
    const wchar_t* literal;
  };
  const literal_case cases[] = {
      {L"O'Neil", VT_BSTR, true, L"'O''Neil'"},
      {L"O'Neil", VT_BSTR, false, L"O'Neil"},
      {L"42", VT_I4, true, L"42"},
      {L"", VT_I4, true, L"''"},
      {L"0x1F2E", VT_BLOB, true, L"'1F2E'"},
      {L"0xZZ", VT_BLOB, true, L"''"},
      {L"12", VT_BLOB, true, L"''"},
      {L"2010-05-31", VT_DATE, true, L"to_date('2010-05-31', 'YYYY-MM-DD')"},
      {L"2010-05-31 10:20:30", VT_DATE, true, L"to_date('2010-05-31 10:20:30', 'YYYY-MM-DD HH24:MI:SS')"},
      {L"not a date", VT_DATE, true, L""},
      // A year of four digits is that year; two digits are widened.
      {L"0001-01-01", VT_DATE, true, L"to_date('0001-01-01', 'YYYY-MM-DD')"},
      {L"0050-06-01 10:20:30", VT_DATE, true, L"to_date('0050-06-01 10:20:30', 'YYYY-MM-DD HH24:MI:SS')"},
      {L"99-01-02", VT_DATE, true, L"to_date('1999-01-02', 'YYYY-MM-DD')"},
  };
  for (const literal_case& c : cases) EXPECT_EQ(to_oracle_str(c.text, c.vt, c.quote), c.literal) << c.text;
  EXPECT_EQ(ora_quote_literal(L"O'Hare's"), L"O''Hare''s");
}

TEST(ora_type_maps, column_default_clauses) {
  auto def = [](VARTYPE vt, const wchar_t* value, int size = 10) {
    t_ftd ftd(size, L"F", vt, false, 0, ole_variant(std::wstring(value)), 0, L"");
    return make_ora_def_val(&ftd);
  };
  EXPECT_EQ(def(VT_I4, L"007"), L"");
  EXPECT_EQ(def(VT_I4, L"7"), L"7");
  EXPECT_EQ(def(VT_R8, L"0.0"), L"0.0");
  EXPECT_EQ(def(VT_R8, L"abc"), L"");
  EXPECT_EQ(def(VT_R8, L"1e300"), L"0");
  EXPECT_EQ(def(VT_BSTR, L"O'Neil", 3), L"'O''N'");
  EXPECT_EQ(def(VT_BSTR, L""), L"");
  EXPECT_THROW(make_ora_def_val(nullptr), tk_mail_assertion);
}

TEST(ora_type_maps, dictionary_defaults_become_values) {
  EXPECT_EQ(ora_table::get_def_value(VT_BSTR, L"'O''Brien'").to_wstring(), L"O'Brien");
  EXPECT_EQ(ora_table::get_def_value(VT_BSTR, L"'x' \n").to_wstring(), L"x");
  EXPECT_EQ(ora_table::get_def_value(VT_BSTR, L"''").var.vt, VT_BSTR);
  EXPECT_EQ(ora_table::get_def_value(VT_BSTR, L"USER").var.vt, VT_EMPTY);
  EXPECT_EQ(ora_table::get_def_value(VT_DATE, L"'2010-01-01'").var.vt, VT_EMPTY);
  EXPECT_EQ(ora_table::get_def_value(VT_DATE, L"SYSDATE").var.vt, VT_EMPTY);
  ole_variant seven = ora_table::get_def_value(VT_I4, L"7");
  EXPECT_EQ(seven.var.vt, VT_I4);
  EXPECT_EQ(seven.to_long(), 7);
}

TEST(ora_type_maps, number_texts_keep_their_values) {
  const std::wstring digits38 = L"12345678901234567890123456789012345678";
  struct value_case {
    std::wstring text;
    VARTYPE vt;
    VARTYPE result;
    std::wstring printed;
  };
  const value_case cases[] = {
      {L"9999999999", VT_I8, VT_I8, L"9999999999"},
      {L"-99", VT_I1, VT_I1, L"-99"},
      {digits38, VT_DECIMAL, VT_BSTR, digits38},
      {L"-" + digits38, VT_DECIMAL, VT_BSTR, L"-" + digits38},
      {L"1234567890123456789012345678", VT_DECIMAL, VT_DECIMAL, L"1234567890123456789012345678"},
      {L".1234567890123456789012345678", VT_DECIMAL, VT_DECIMAL, L"0.1234567890123456789012345678"},
      {L"1.2E+42", VT_DECIMAL, VT_BSTR, L"1.2E+42"},
      {L"12.34", VT_DECIMAL, VT_DECIMAL, L"12.34"},
      {L"-.5", VT_DECIMAL, VT_DECIMAL, L"-0.5"},
      // More decimal places than a DECIMAL has.
      {L"1E-30", VT_DECIMAL, VT_BSTR, L"1E-30"},
      {L"-.00000000000000000000000000012", VT_DECIMAL, VT_BSTR, L"-0.00000000000000000000000000012"},
      {L"." + std::wstring(40, L'3'), VT_DECIMAL, VT_BSTR, L"0." + std::wstring(40, L'3')},
      // NUMBER(38,-1): an integer of 39 digits.
      {digits38 + L"0", VT_DECIMAL, VT_BSTR, digits38 + L"0"},
      {L"1.5E-3", VT_DECIMAL, VT_DECIMAL, L"0.0015"},
      {L".0000000000000000000000000001", VT_DECIMAL, VT_DECIMAL, L"0.0000000000000000000000000001"},
  };
  for (const value_case& c : cases) {
    ole_variant v = ora_number::number_value(c.text, c.vt);
    EXPECT_EQ(v.var.vt, c.result) << std::string(c.text.begin(), c.text.end());
    EXPECT_EQ(v.to_wstring(), c.printed);
  }
  EXPECT_DOUBLE_EQ(ora_number::number_value(L"3.14", VT_R8).to_double(), 3.14);
}

TEST(ora_type_maps, utf16_round_trip) {
  const std::wstring text = L"A\u00e9\u20ac\U0001D11E";
  std::u16string units = ora_to_utf16(text);
  EXPECT_EQ(units.size(), 5u);
  EXPECT_EQ(ora_from_utf16(units.c_str(), units.size()), text);
  const char16_t lone[] = {u'a', 0xD800, u'b', 0};
  EXPECT_EQ(ora_from_utf16(lone, 4), L"a\uFFFDb");
}

}  // namespace
