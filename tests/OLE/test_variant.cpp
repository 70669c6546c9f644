#include "OLE/ole_exception.h"
#include "OLE/ole_variant.h"
#include "TK/tk_exception.h"
#include "tests/platform/comma_locale.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using bytes = std::vector<unsigned char>;

bytes bytes_of(const ole_variant& v) {
  unsigned char* data = nullptr;
  std::size_t n = v.get_bytes(&data);
  return n ? bytes(data, data + n) : bytes();
}

std::wstring bstr_of(const ole_variant& v) { return std::wstring(v.var.bstrVal, SysStringLen(v.var.bstrVal)); }

SYSTEMTIME time_of(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(y), t.wMonth = static_cast<WORD>(mo), t.wDay = static_cast<WORD>(d);
  t.wHour = static_cast<WORD>(h), t.wMinute = static_cast<WORD>(mi), t.wSecond = static_cast<WORD>(s);
  t.wMilliseconds = static_cast<WORD>(ms);
  return t;
}

DECIMAL decimal_of(const wchar_t* text) {
  DECIMAL d{};
  EXPECT_EQ(VarDecFromStr(text, 0x409, 0, &d), S_OK);
  return d;
}

std::string assertion(int line) { return tk_mail_assertion("ole_var", line).message; }

#define EXPECT_ASSERTION(statement, line)                       \
  try {                                                         \
    statement;                                                  \
    ADD_FAILURE() << "no assertion from " #statement;           \
  } catch (const tk_mail_assertion& e) {                        \
    EXPECT_EQ(std::string(e.what()), assertion(line)) << #line; \
    EXPECT_EQ(e.level, 2);                                      \
  }

TEST(Variant, EveryConstructorMakesItsType) {
  unsigned char raw[] = {1, 2};
  struct {
    ole_variant v;
    VARTYPE vt;
  } cases[] = {
      {ole_variant(), VT_EMPTY},
      {ole_variant(time_of(2010, 12, 31)), VT_DATE},
      {ole_variant(CY{50000}), VT_CY},
      {ole_variant(decimal_of(L"1.5")), VT_DECIMAL},
      {ole_variant(L"text"), VT_BSTR},
      {ole_variant("text"), VT_BSTR},
      {ole_variant(true), VT_BOOL},
      {ole_variant('a'), VT_I1},
      {ole_variant(static_cast<signed char>(-1)), VT_I1},
      {ole_variant(static_cast<unsigned char>(1)), VT_UI1},
      {ole_variant(static_cast<short>(1)), VT_I2},
      {ole_variant(static_cast<unsigned short>(1)), VT_UI2},
      {ole_variant(1), VT_I4},
      {ole_variant(1u), VT_UI4},
      {ole_variant(1L), VT_I8},
      {ole_variant(1UL), VT_UI8},
      {ole_variant(1LL), VT_I8},
      {ole_variant(1ULL), VT_UI8},
      {ole_variant(1.5f), VT_R4},
      {ole_variant(1.5), VT_R8},
      {ole_variant(std::size_t{2}, raw), VT_ARRAY | VT_UI1},
      {ole_variant(std::string("text")), VT_BSTR},
      {ole_variant(std::wstring(L"text")), VT_BSTR},
  };
  for (const auto& c : cases) EXPECT_EQ(c.v.var.vt, c.vt);

  ole_variant yes(true), no(false);
  EXPECT_EQ(yes.var.boolVal, -1);
  EXPECT_EQ(no.var.boolVal, 0);
  ole_variant big(-5000000000LL);
  EXPECT_EQ(big.i8, -5000000000LL);
  EXPECT_EQ(big.var.llVal, 0);  // the VARIANT carries only the type
  ole_variant ubig(18446744073709551615ULL);
  EXPECT_EQ(ubig.ui8, 18446744073709551615ULL);
  ole_variant date(time_of(2010, 12, 31, 10, 20, 30, 120));
  EXPECT_EQ(date.st.wMilliseconds, 120);
  EXPECT_DOUBLE_EQ(date.var.date, 40543 + (10 * 3600 + 20 * 60 + 30) / 86400.0);
  ole_variant dec(decimal_of(L"-1.5"));
  EXPECT_EQ(dec.var.decVal.scale, 1);
  EXPECT_EQ(dec.var.decVal.sign, DECIMAL_NEG);
  EXPECT_EQ(dec.var.decVal.Lo64, 15u);
}

TEST(Variant, DateThatThePlatformCannotNumberKeepsItsFields) {
  ole_variant v(time_of(2010, 2, 31, 10));
  EXPECT_EQ(v.var.vt, VT_DATE);
  EXPECT_TRUE(std::isnan(v.var.date)) << "not 0, which is a time of day";
  EXPECT_EQ(v.to_string(), "2010-02-31 10:00:00");
  SYSTEMTIME out{};
  v.get_systemtime(out);
  EXPECT_EQ(out.wDay, 31);
  ole_variant(5).get_systemtime(out);
  EXPECT_EQ(out.wYear, 0);
}

TEST(Variant, TextsKeepTheirCharacters) {
  std::wstring with_zero(L"a\0b", 3);
  ole_variant wide(with_zero);
  EXPECT_EQ(bstr_of(wide), with_zero);
  EXPECT_EQ(wide.to_wstring(), with_zero);
  EXPECT_EQ(wide.to_string(), "a");

  ole_variant narrow(std::string("\xd0\x96-\xe2\x82\xac"));
  EXPECT_EQ(bstr_of(narrow), L"\u0416-\u20ac");
  EXPECT_EQ(narrow.to_string(), "\xd0\x96-\xe2\x82\xac");

  ole_variant bstr(with_zero.c_str());
  EXPECT_EQ(bstr_of(bstr), L"a");
  bstr = static_cast<const OLECHAR*>(bstr.var.bstrVal);  // its own text
  EXPECT_EQ(bstr_of(bstr), L"a");

  // Text that is not UTF-8 is refused with the reason, not stored cut.
  EXPECT_THROW(ole_variant(std::string("\xff")), tk_exception_ex);
  ole_variant lone(std::wstring(1, static_cast<wchar_t>(0xD800)));
  EXPECT_EQ(lone.to_string(), "");
}

TEST(Variant, CopiesAndAssignmentsReleaseWhatTheyReplace) {
  unsigned char raw[] = {0x0A, 0xFF};
  ole_variant array(std::size_t{2}, raw);
  ole_variant copy(array);
  EXPECT_NE(copy.var.parray, array.var.parray);
  EXPECT_EQ(bytes_of(copy), bytes({0x0A, 0xFF}));

  ole_variant v(L"old text");
  v = array;
  EXPECT_EQ(v.var.vt, VT_ARRAY | VT_UI1);
  v = v;
  EXPECT_EQ(bytes_of(v), bytes({0x0A, 0xFF}));
  v = ole_variant(-7LL);
  EXPECT_EQ(v.var.vt, VT_I8);
  EXPECT_EQ(v.i8, -7);
  v = ole_variant(8ULL);
  EXPECT_EQ(v.ui8, 8u);
  ole_variant date(time_of(2010, 12, 31, 10, 20, 30, 5));
  v = date;
  EXPECT_EQ(v.st.wMilliseconds, 5);
  EXPECT_EQ(v.var.date, date.var.date);  // the date number travels too
  v = L"text";
  EXPECT_EQ(bstr_of(v), L"text");
  v = bytes{1, 2, 3};
  EXPECT_EQ(bytes_of(v), bytes({1, 2, 3}));
  v = std::string("narrow");
  EXPECT_EQ(bstr_of(v), L"narrow");
  v = std::wstring(L"wide");
  EXPECT_EQ(bstr_of(v), L"wide");
  v = "literal";
  EXPECT_EQ(bstr_of(v), L"literal");

  ole_variant broken;
  broken.var.vt = VT_ARRAY | VT_UI1;  // an array type without an array
  v = broken;
  EXPECT_EQ(v.var.vt, VT_ERROR);

  // A value moved away leaves its source empty, and each holds its own.
  ole_variant text(L"moved text");
  BSTR held = text.var.bstrVal;
  ole_variant taken(std::move(text));
  EXPECT_EQ(taken.var.bstrVal, held);
  EXPECT_EQ(text.var.vt, VT_EMPTY);
  ole_variant target(std::size_t{2}, raw);
  target = std::move(taken);
  EXPECT_EQ(bstr_of(target), L"moved text");
  EXPECT_EQ(taken.var.vt, VT_EMPTY);
  target = std::move(date);
  EXPECT_EQ(target.st.wMilliseconds, 5);
  EXPECT_EQ(date.var.vt, VT_EMPTY);
}

TEST(Variant, ByteArrays) {
  ole_variant v;
  unsigned char* data = nullptr;
  EXPECT_EQ(v.get_bytes(&data), 0u);
  EXPECT_EQ(data, nullptr);

  v.attach_binary(bytes{1, 2, 3});
  SAFEARRAY* first = v.var.parray;
  v.attach_binary(bytes{4, 5, 6});
  EXPECT_EQ(v.var.parray, first);  // same size: the array is reused
  v.allocate_safe_array(5);
  EXPECT_EQ(bytes_of(v), bytes({4, 5, 6, 0, 0}));
  v.attach_binary(bytes{});
  EXPECT_EQ(v.var.vt, VT_ARRAY | VT_UI1);
  EXPECT_EQ(bytes_of(v), bytes());
  v.attach_binary(bytes{9});  // an empty array grows again
  EXPECT_EQ(bytes_of(v), bytes({9}));

  // Re-dimensioning keeps a lower bound that is not 0.
  SAFEARRAYBOUND bound{2, 5};
  ole_variant shifted;
  shifted.var.vt = VT_ARRAY | VT_UI1;
  shifted.var.parray = SafeArrayCreate(VT_UI1, 1, &bound);
  shifted.allocate_safe_array(4);
  LONG lower = 0;
  SafeArrayGetLBound(shifted.var.parray, 1, &lower);
  EXPECT_EQ(lower, 5);
  EXPECT_EQ(ole_variant::get_safe_array_size(shifted.var.parray), 4u);

  std::vector<unsigned char> out{7, 7, 7};
  ole_variant::convert_to_byte_array(reinterpret_cast<const unsigned char*>("ab"), 2, out);
  EXPECT_EQ(out, bytes({'a', 'b'}));
}

TEST(Variant, InternalErrorsNameTheirLine) {
  EXPECT_ASSERTION(ole_variant(L"x").to_double(), 623);
  EXPECT_ASSERTION(ole_variant(time_of(2010, 1, 1)).to_double(), 623);
  unsigned char* data = nullptr;
  EXPECT_ASSERTION(ole_variant(5).get_bytes(&data), 770);
  EXPECT_ASSERTION(ole_variant(std::size_t{3}, nullptr), 836);
  EXPECT_ASSERTION(ole_variant::from_string("\xff", VT_CY), 988);
  EXPECT_ASSERTION(ole_variant::from_string("\xff", VT_DECIMAL), 1016);
  ole_variant none(std::size_t{0}, nullptr);  // nothing to copy, nothing missing
  EXPECT_EQ(none.var.vt, VT_ARRAY | VT_UI1);
}

TEST(Variant, TextOfEveryType) {
  unsigned char raw[] = {0x0A, 0xFF};
  DECIMAL dec = decimal_of(L"1234.5");
  struct {
    ole_variant v;
    const char* text;
  } cases[] = {
      {ole_variant(), ""},
      {ole_variant(static_cast<char>(-5)), "-5"},
      {ole_variant(static_cast<short>(-300)), "-300"},
      {ole_variant(static_cast<unsigned char>(200)), "200"},
      {ole_variant(static_cast<unsigned short>(65535)), "65535"},
      {ole_variant(-2147483647 - 1), "-2147483648"},
      {ole_variant(4294967295u), "4294967295"},
      {ole_variant(1.5f), "1.500000e+000"},
      {ole_variant(1500.0), "1.5000000000000000e+003"},
      {ole_variant(-0.1), "-1.0000000000000001e-001"},
      {ole_variant(0.0), "0.0000000000000000e+000"},
      {ole_variant(LLONG_MIN), "-9223372036854775808"},
      {ole_variant(ULLONG_MAX), "18446744073709551615"},
      {ole_variant(true), "1"},
      {ole_variant(false), "0"},
      {ole_variant(dec), "1234.5"},
      {ole_variant(CY{12345000}), "1234.5"},
      {ole_variant(CY{-50000}), "-5"},
      {ole_variant(std::size_t{2}, raw), "0x0AFF"},
      {ole_variant(std::size_t{0}, raw), ""},
      {ole_variant(time_of(2010, 12, 31)), "2010-12-31"},
      {ole_variant(time_of(2010, 12, 31, 10, 20, 30)), "2010-12-31 10:20:30"},
      {ole_variant(time_of(2010, 12, 31, 10, 20, 30, 120)), "2010-12-31 10:20:30.120"},
      {ole_variant(time_of(2010, 12, 31, 10, 20, 30, 5)), "2010-12-31 10:20:30.005"},
      {ole_variant(time_of(0, 0, 0, 10, 20, 30, 250)), "0000-00-00 10:20:30.250"},
      {ole_variant(time_of(50, 6, 1)), "0050-06-01"},  // its own year, not 1950
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.v.to_string(), c.text) << "vt=" << c.v.var.vt;
    std::string w(c.text);
    EXPECT_EQ(c.v.to_wstring(), std::wstring(w.begin(), w.end())) << "vt=" << c.v.var.vt;
  }

  ole_variant odd(true);
  odd.var.boolVal = 1;  // only -1 is true
  EXPECT_EQ(odd.to_string(), "0");

  ole_variant flat;
  SAFEARRAYBOUND square[2] = {{1, 0}, {1, 0}};
  flat.var.vt = VT_ARRAY | VT_UI1;
  flat.var.parray = SafeArrayCreate(VT_UI1, 2, square);
  EXPECT_EQ(flat.to_string(), "");
  ole_variant error;
  error.var.vt = VT_ERROR;
  EXPECT_EQ(error.to_string(), "");
}

TEST(Variant, NumbersPrintWithAPointWhateverTheLocale) {
  c_locale_at_exit restore;
  if (!use_comma_locale()) GTEST_SKIP() << "no locale with a decimal comma";
  EXPECT_EQ(ole_variant(decimal_of(L"1234.5")).to_string(), "1234.5");
  EXPECT_EQ(ole_variant(CY{12345000}).to_string(), "1234.5");
  EXPECT_EQ(ole_variant(1500.0).to_string(), "1.5000000000000000e+003");
  EXPECT_EQ(ole_variant(1.5f).to_wstring(), L"1.500000e+000");
  EXPECT_EQ(ole_variant::from_string("1234.5", VT_R8).var.dblVal, 1234.5);
  EXPECT_EQ(ole_variant::from_string("1234,5", VT_DECIMAL).to_string(), "1234.5");
}

TEST(Variant, LongAndDoubleOfEveryType) {
  struct {
    ole_variant v;
    LONG l;
    double d;
  } cases[] = {
      {ole_variant(), 0, 0.0},
      {ole_variant(static_cast<short>(-3)), -3, -3.0},
      {ole_variant(true), -1, -1.0},
      {ole_variant(-70000), -70000, -70000.0},
      {ole_variant(4294967295u), -1, 4294967295.0},
      {ole_variant(-2.9), -2, -2.9},
      {ole_variant(2.9f), 2, 2.9f},
      {ole_variant(1e10), 0, 1e10},
      {ole_variant(CY{25000}), 3, 2.5},
      {ole_variant(CY{-25000}), -3, -2.5},
      {ole_variant(CY{LLONG_MAX}), 0, 922337203685477.5807},
      {ole_variant(decimal_of(L"-2.5")), -3, -2.5},
      {ole_variant(decimal_of(L"1e20")), 0, 1e20},
      {ole_variant(static_cast<char>(-8)), -8, -8.0},
      {ole_variant(static_cast<unsigned char>(200)), 200, 200.0},
      {ole_variant(static_cast<unsigned short>(65535)), 65535, 65535.0},
      {ole_variant(0x100000005LL), 5, 4294967301.0},
      {ole_variant(0xFFFFFFFF00000002ULL), 2, 18446744069414584322.0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.v.to_long(), c.l) << "vt=" << c.v.var.vt;
    EXPECT_DOUBLE_EQ(c.v.to_double(), c.d) << "vt=" << c.v.var.vt;
  }
  EXPECT_EQ(ole_variant(L"12").to_long(), 0);
  ole_variant null;
  null.var.vt = VT_NULL;
  EXPECT_EQ(null.to_double(), 0.0);
}

struct read_case {
  const char* text;
  VARTYPE target;
  VARTYPE vt;          // of the result
  const char* printed;  // the result's text
};

// Cases print as their text: the struct has padding gtest would dump.
void PrintTo(const read_case& c, std::ostream* out) { *out << '"' << c.text << "\" as " << c.target; }

class FromString : public ::testing::TestWithParam<read_case> {};

TEST_P(FromString, ReadsTheTarget) {
  const read_case& c = GetParam();
  ole_variant v = ole_variant::from_string(c.text, c.target);
  EXPECT_EQ(v.var.vt, c.vt);
  EXPECT_EQ(v.to_string(), c.printed);
}

INSTANTIATE_TEST_SUITE_P(
    EveryTarget, FromString,
    ::testing::Values(
        read_case{"", VT_I4, VT_EMPTY, ""}, read_case{"", VT_DATE, VT_EMPTY, ""}, read_case{"", VT_CY, VT_EMPTY, ""},
        read_case{"", VT_BOOL, VT_EMPTY, ""}, read_case{"", VT_BSTR, VT_BSTR, ""},
        read_case{"  -42abc", VT_I4, VT_I4, "-42"}, read_case{"abc", VT_I4, VT_I4, "0"},
        read_case{"99999999999", VT_I4, VT_I4, "2147483647"}, read_case{"-99999999999", VT_I4, VT_I4, "-2147483648"},
        read_case{"300", VT_I1, VT_I1, "44"}, read_case{"300", VT_UI1, VT_UI1, "44"},
        read_case{"-1", VT_UI2, VT_UI2, "65535"}, read_case{"70000", VT_I2, VT_I2, "4464"},
        read_case{"99999999999", VT_I2, VT_I2, "-1"},
        read_case{"4294967295", VT_UI4, VT_UI4, "4294967295"}, read_case{"x", VT_UI4, VT_UI4, "0"},
        read_case{"-9223372036854775808", VT_I8, VT_I8, "-9223372036854775808"},
        read_case{"99999999999999999999", VT_I8, VT_I8, "9223372036854775807"},
        read_case{"18446744073709551615", VT_UI8, VT_UI8, "18446744073709551615"},
        read_case{"none", VT_UI8, VT_UI8, "0"}, read_case{"1234,5", VT_R8, VT_R8, "1.2345000000000000e+003"},
        read_case{"1.5x", VT_R4, VT_R4, "1.500000e+000"}, read_case{"x", VT_R8, VT_R8, "0.0000000000000000e+000"},
        read_case{"1234,5", VT_DECIMAL, VT_DECIMAL, "1234.5"}, read_case{"-0.001", VT_DECIMAL, VT_DECIMAL, "-0.001"},
        read_case{"12 apples", VT_DECIMAL, VT_EMPTY, ""}, read_case{"1234,5", VT_CY, VT_CY, "1234.5"},
        read_case{"1.23456", VT_CY, VT_CY, "1.2346"}, read_case{"1e20", VT_CY, VT_EMPTY, ""},
        read_case{"2010-12-31 10:20:30.250", VT_DATE, VT_DATE, "2010-12-31 10:20:30.250"},
        read_case{"99-01-02", VT_DATE, VT_DATE, "1999-01-02"}, read_case{"not a date", VT_DATE, VT_EMPTY, ""},
        read_case{"TRUE", VT_BOOL, VT_BOOL, "1"}, read_case{"Yes", VT_BOOL, VT_BOOL, "1"},
        read_case{"7", VT_BOOL, VT_BOOL, "1"}, read_case{"abc", VT_BOOL, VT_BOOL, "0"},
        read_case{"No", VT_BOOL, VT_BOOL, "0"}, read_case{"FALSE", VT_BOOL, VT_BOOL, "0"},
        read_case{"0x0AFF", VT_ARRAY | VT_UI1, VT_ARRAY | VT_UI1, "0x0AFF"},
        read_case{"0X0aff", VT_BLOB, VT_ARRAY | VT_UI1, "0x0AFF"},
        read_case{"0AFF", VT_ARRAY | VT_UI1, VT_ARRAY | VT_UI1, "0x0AFF"},
        read_case{"0AZZ", VT_BLOB, VT_ARRAY | VT_UI1, "0x0A00"}, read_case{"ABC", VT_BLOB, VT_EMPTY, ""},
        read_case{"0x", VT_BLOB, VT_ARRAY | VT_UI1, ""}, read_case{"text", VT_BSTR, VT_BSTR, "text"},
        read_case{"5", VT_INT, VT_INT, ""}, read_case{"x", VT_EMPTY, VT_EMPTY, ""},
        read_case{"x", VT_NULL, VT_NULL, ""}));

// A float's text reads back as that float: the server's "1.00000001E-001"
// is 0.1f, and a text just below the midpoint of two floats gives the
// lower one (read as a double first, it would round up to the midpoint and
// then to the upper float).
TEST(Variant, FromStringReadsAFloatAsAFloat) {
  EXPECT_EQ(ole_variant::from_string("1.00000001E-001", VT_R4).var.fltVal, 0.1f);
  EXPECT_EQ(ole_variant::from_string("1.0000001788139343261718749999", VT_R4).var.fltVal,
            std::nextafter(1.0f, 2.0f));
}

TEST(Variant, FromStringOfTypesWithoutAConversion) {
  EXPECT_THROW(ole_variant::from_string("5", VT_ERROR), ole_type_exception);
  EXPECT_THROW(ole_variant::from_string("5", VT_BLOB_OBJECT), ole_type_exception);
  EXPECT_THROW(ole_variant::from_string("five", VT_INT), ole_type_exception);
  try {
    ole_variant::from_string("5", VT_UNKNOWN);
    ADD_FAILURE();
  } catch (const tk_exception& e) {
    EXPECT_STREQ(e.what(), "The operating type is not supported yet");
    EXPECT_EQ(e.level, 1);
    EXPECT_EQ(e.code, 0);
  }
}

TEST(Variant, FromWideString) {
  std::wstring with_zero(L"12\0" L"34", 5);
  ole_variant text = ole_variant::from_wstring(with_zero, VT_BSTR);
  EXPECT_EQ(bstr_of(text), L"12");
  EXPECT_EQ(ole_variant::from_wstring(with_zero, VT_I4).var.lVal, 12);
  EXPECT_EQ(ole_variant::from_wstring(L"\u0416", VT_BSTR).to_wstring(), L"\u0416");
  EXPECT_EQ(ole_variant::from_wstring(L"31.12.2010", VT_DATE).to_string(), "2010-12-31");
  EXPECT_THROW(ole_variant::from_wstring(std::wstring(1, static_cast<wchar_t>(0xD800)), VT_I4), tk_exception_ex);
}

// ---------------------------------------------------------------- change_type

void expect_cast_failure(ole_variant v, VARTYPE target) {
  std::string before = v.to_string();
  VARTYPE vt = v.var.vt;
  try {
    v.change_type(target);
    ADD_FAILURE() << "vt " << vt << " to " << target << " did not throw";
  } catch (const ole_cast_exception& e) {
    EXPECT_STREQ(e.what(), "Cannot cast from source type to destination type");
    EXPECT_EQ(e.level, 1);
  }
  EXPECT_EQ(v.var.vt, vt);
  EXPECT_EQ(v.to_string(), before);
}

struct change_case {
  ole_variant v;
  VARTYPE target;
  VARTYPE vt;
  const char* printed;
};

TEST(ChangeType, RulesInTheirOrder) {
  unsigned char raw[] = {'h', 'i', 0, 'x'};
  ole_variant null;
  null.var.vt = VT_NULL;
  change_case cases[] = {
      // Nothing to do.
      {ole_variant(5), VT_I4, VT_I4, "5"},
      {ole_variant(), VT_I4, VT_EMPTY, ""},
      {null, VT_BSTR, VT_NULL, ""},
      {ole_variant(std::size_t{2}, raw), VT_BLOB, VT_ARRAY | VT_UI1, "0x6869"},
      // From a signed 64-bit value.
      {ole_variant(0x1234567890LL), VT_I1, VT_I1, "-112"},
      {ole_variant(0x1234567890LL), VT_UI1, VT_UI1, "144"},
      {ole_variant(0x1234567890LL), VT_I2, VT_I2, "30864"},
      {ole_variant(0x1234567890LL), VT_I4, VT_I4, "878082192"},
      {ole_variant(0x1234567890LL), VT_UINT, VT_UINT, "878082192"},
      {ole_variant(2LL), VT_BOOL, VT_BOOL, "0"},  // not made -1
      {ole_variant(-3LL), VT_R8, VT_R8, "-3.0000000000000000e+000"},
      {ole_variant(5LL), VT_CY, VT_CY, "5"},
      {ole_variant(-5LL), VT_BSTR, VT_BSTR, "-5"},
      {ole_variant(LLONG_MIN), VT_DECIMAL, VT_DECIMAL, "-9223372036854775808"},
      {ole_variant(-1LL), VT_UI8, VT_UI8, "18446744073709551615"},
      // From an unsigned 64-bit value.
      {ole_variant(ULLONG_MAX), VT_R8, VT_R8, "1.8446744073709552e+019"},
      {ole_variant(5ULL), VT_DECIMAL, VT_DECIMAL, "5"},
      {ole_variant(5ULL), VT_CY, VT_CY, "5"},
      {ole_variant(ULLONG_MAX), VT_BSTR, VT_BSTR, "18446744073709551615"},
      {ole_variant(ULLONG_MAX), VT_I8, VT_I8, "-1"},
      {ole_variant(0x1FFFFULL), VT_UI2, VT_UI2, "65535"},
      // From a date.
      {ole_variant(time_of(2010, 12, 31, 10, 20, 30, 5)), VT_BSTR, VT_BSTR, "2010-12-31 10:20:30.005"},
      {ole_variant(time_of(2010, 12, 31)), VT_BSTR, VT_BSTR, "2010-12-31"},
      {ole_variant(time_of(0, 0, 0, 10, 20, 30)), VT_BSTR, VT_BSTR, "10:20:30"},
      // To a 64-bit value.
      {ole_variant(static_cast<short>(-2)), VT_I8, VT_I8, "-2"},
      {ole_variant(true), VT_I8, VT_I8, "-1"},
      {ole_variant(4294967295u), VT_I8, VT_I8, "4294967295"},
      {ole_variant(2.5), VT_I8, VT_I8, "2"},
      {ole_variant(-2.5), VT_I8, VT_I8, "-2"},
      {ole_variant(CY{25000}), VT_I8, VT_I8, "3"},
      {ole_variant(CY{-25000}), VT_I8, VT_I8, "-3"},
      {ole_variant(CY{24999}), VT_I8, VT_I8, "2"},
      {ole_variant(decimal_of(L"-2.5")), VT_I8, VT_I8, "-3"},
      {ole_variant(static_cast<short>(-2)), VT_UI8, VT_UI8, "18446744073709551614"},
      {ole_variant(-1.5), VT_UI8, VT_UI8, "18446744073709551615"},
      {ole_variant(1e19), VT_UI8, VT_UI8, "10000000000000000000"},
      {ole_variant(decimal_of(L"18446744073709551615")), VT_UI8, VT_UI8, "18446744073709551615"},
      // To 32 and 16 bits.
      {ole_variant(2.5), VT_I4, VT_I4, "3"},
      {ole_variant(-2.5), VT_I4, VT_I4, "-3"},
      {ole_variant(2.4999f), VT_UI2, VT_UI2, "2"},
      {ole_variant(decimal_of(L"-32768")), VT_I2, VT_I2, "-32768"},
      {ole_variant(L"12"), VT_I4, VT_BSTR, "12"},  // left as it is
      {ole_variant(CY{25000}), VT_I2, VT_CY, "2.5"},
      {ole_variant(true), VT_UI4, VT_BOOL, "1"},
      // To a date.
      {ole_variant(L"31.12.2010 10:20:30.5"), VT_DATE, VT_DATE, "2010-12-31 10:20:30.500"},
      // From binary.
      {ole_variant(std::size_t{4}, raw), VT_BSTR, VT_BSTR, "hi"},
      {ole_variant(std::size_t{0}, raw), VT_BSTR, VT_BSTR, ""},
      {ole_variant(std::size_t{2}, raw), VT_R8, VT_ARRAY | VT_UI1, "0x6869"},
      // To binary.
      {ole_variant(static_cast<unsigned char>(0xAB)), VT_BLOB, VT_ARRAY | VT_UI1, "0xAB"},
      {ole_variant(static_cast<short>(0x0102)), VT_BLOB_OBJECT, VT_ARRAY | VT_UI1, "0x0201"},
      {ole_variant(true), VT_BLOB, VT_ARRAY | VT_UI1, "0xFFFF"},
      {ole_variant(0x01020304), VT_ARRAY | VT_UI1, VT_ARRAY | VT_UI1, "0x04030201"},
      {ole_variant(1.0f), VT_BLOB, VT_ARRAY | VT_UI1, "0x0000803F"},
      {ole_variant(CY{1}), VT_BLOB, VT_ARRAY | VT_UI1, "0x0100000000000000"},
      {ole_variant(decimal_of(L"1.5")), VT_BLOB, VT_ARRAY | VT_UI1, "0x0E000100000000000F00000000000000"},
      {ole_variant(std::string("\xd0\x96z")), VT_BLOB, VT_ARRAY | VT_UI1, "0xD0967A"},
      // Everything else through the platform.
      {ole_variant(L"12"), VT_R8, VT_R8, "1.2000000000000000e+001"},
      {ole_variant(L"1.5"), VT_DECIMAL, VT_DECIMAL, "1.5"},
      {ole_variant(L"0.1"), VT_CY, VT_CY, "0.1"},
      {ole_variant(L"true"), VT_BOOL, VT_BOOL, "1"},
      {ole_variant(1500.0), VT_BSTR, VT_BSTR, "1500"},
      {ole_variant(CY{12345}), VT_BSTR, VT_BSTR, "1.2345"},
      {ole_variant(true), VT_BSTR, VT_BSTR, "-1"},
      {ole_variant(300), VT_R4, VT_R4, "3.000000e+002"},
      {ole_variant(-1), VT_I1, VT_I1, "-1"},
  };
  ole_variant five(5LL);
  five.change_type(VT_CY);
  EXPECT_EQ(five.var.cyVal.int64, 50000);  // 5.0000
  for (auto& c : cases) {
    VARTYPE from = c.v.var.vt;
    c.v.change_type(c.target);
    EXPECT_EQ(c.v.var.vt, c.vt) << from << " to " << c.target;
    EXPECT_EQ(c.v.to_string(), c.printed) << from << " to " << c.target;
  }
}

TEST(ChangeType, FailuresThrowAndKeepTheValue) {
  unsigned char raw[] = {1, 2};
  expect_cast_failure(ole_variant(5LL), VT_DATE);
  expect_cast_failure(ole_variant(5LL), VT_BLOB);  // the 64-bit rule comes first
  expect_cast_failure(ole_variant(5ULL), VT_ERROR);
  expect_cast_failure(ole_variant(LLONG_MAX), VT_CY);
  expect_cast_failure(ole_variant(ULLONG_MAX), VT_CY);
  expect_cast_failure(ole_variant(time_of(2010, 12, 31)), VT_R8);
  expect_cast_failure(ole_variant(time_of(2010, 12, 31)), VT_BLOB);
  expect_cast_failure(ole_variant(L"12"), VT_I8);
  expect_cast_failure(ole_variant(std::size_t{2}, raw), VT_UI8);
  expect_cast_failure(ole_variant(1e30), VT_I8);
  expect_cast_failure(ole_variant(-1.0), VT_UI4);
  expect_cast_failure(ole_variant(70000.0), VT_I2);
  expect_cast_failure(ole_variant(decimal_of(L"1e20")), VT_I8);
  expect_cast_failure(ole_variant(decimal_of(L"-1")), VT_UI4);
  expect_cast_failure(ole_variant(decimal_of(L"1e20")), VT_UI8);
  expect_cast_failure(ole_variant(L"not a date"), VT_DATE);
  expect_cast_failure(ole_variant(1.0), VT_DATE);
  expect_cast_failure(ole_variant(L"abc"), VT_R8);
  expect_cast_failure(ole_variant(1e300), VT_DECIMAL);
  expect_cast_failure(ole_variant(std::wstring(1, static_cast<wchar_t>(0xD800))), VT_BLOB);
  ole_variant error;
  error.var.vt = VT_ERROR;
  expect_cast_failure(error, VT_BLOB);
  unsigned char latin[] = {'a', 0xE9};
  expect_cast_failure(ole_variant(std::size_t{2}, latin), VT_BSTR);
}

TEST(ChangeType, ArraysOfOtherShapesStayAsTheyAre) {
  ole_variant square;
  SAFEARRAYBOUND bounds[2] = {{1, 0}, {1, 0}};
  square.var.vt = VT_ARRAY | VT_UI1;
  square.var.parray = SafeArrayCreate(VT_UI1, 2, bounds);
  square.change_type(VT_BSTR);
  EXPECT_EQ(square.var.vt, VT_ARRAY | VT_UI1);
}

}  // namespace
