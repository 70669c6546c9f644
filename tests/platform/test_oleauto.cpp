#include "platform/oleauto.h"
#include "tests/platform/comma_locale.h"

#include <clocale>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

// A VARIANT that clears itself.
struct var {
  var() { VariantInit(&v); }
  ~var() { VariantClear(&v); }
  VARIANT v;
};

void set_text(VARIANT& v, const std::wstring& text) {
  VariantClear(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

std::wstring text_of(const VARIANT& v) { return std::wstring(v.bstrVal, SysStringLen(v.bstrVal)); }

DECIMAL decimal(const wchar_t* text) {
  DECIMAL d{};
  EXPECT_EQ(VarDecFromStr(text, 0x409, 0, &d), S_OK) << text;
  return d;
}

std::wstring text_of(const DECIMAL& d) {
  BSTR b = nullptr;
  EXPECT_EQ(VarBstrFromDec(&d, 0x409, 0, &b), S_OK);
  std::wstring s(b, SysStringLen(b));
  SysFreeString(b);
  return s;
}

TEST(Bstr, KeepsItsLengthAndEmbeddedZeros) {
  const wchar_t chars[] = {L'a', 0, L'b'};
  BSTR b = SysAllocStringLen(chars, 3);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(SysStringLen(b), 3u);
  EXPECT_EQ(b[1], 0);
  EXPECT_EQ(b[3], 0);
  SysFreeString(b);

  b = SysAllocString(L"xyz");
  EXPECT_EQ(SysStringLen(b), 3u);
  EXPECT_STREQ(b, L"xyz");
  SysFreeString(b);

  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);
  b = SysAllocStringLen(nullptr, 2);
  EXPECT_EQ(b[0], 0);
  EXPECT_EQ(b[1], 0);
  SysFreeString(b);
}

TEST(SafeArray, BoundsRedimensionCopyAndLocks) {
  SAFEARRAYBOUND bound{4, 3};
  SAFEARRAY* a = SafeArrayCreate(VT_UI1, 1, &bound);
  ASSERT_NE(a, nullptr);
  LONG lo = 0, hi = 0;
  EXPECT_EQ(SafeArrayGetDim(a), 1u);
  EXPECT_EQ(SafeArrayGetLBound(a, 1, &lo), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(a, 1, &hi), S_OK);
  EXPECT_EQ(lo, 3);
  EXPECT_EQ(hi, 6);
  EXPECT_EQ(SafeArrayGetLBound(a, 2, &lo), DISP_E_BADINDEX);

  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(a, &data), S_OK);
  std::memcpy(data, "\x01\x02\x03\x04", 4);
  EXPECT_EQ(SafeArrayDestroy(a), DISP_E_ARRAYISLOCKED);
  SAFEARRAYBOUND grown{6, 3};
  EXPECT_EQ(SafeArrayRedim(a, &grown), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(SafeArrayUnaccessData(a), S_OK);
  EXPECT_EQ(SafeArrayUnaccessData(a), E_UNEXPECTED);

  ASSERT_EQ(SafeArrayRedim(a, &grown), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(a, 1, &hi), S_OK);
  EXPECT_EQ(hi, 8);
  EXPECT_EQ(std::memcmp(a->pvData, "\x01\x02\x03\x04\x00\x00", 6), 0);

  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(a, &copy), S_OK);
  ASSERT_NE(copy, a);
  EXPECT_EQ(std::memcmp(copy->pvData, a->pvData, 6), 0);
  SAFEARRAYBOUND none{0, 3};
  ASSERT_EQ(SafeArrayRedim(copy, &none), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(copy, 1, &hi), S_OK);
  EXPECT_EQ(hi, 2);  // an empty array ends just below its start
  EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
  EXPECT_EQ(SafeArrayDestroy(a), S_OK);
}

TEST(SafeArray, SeveralDimensionsAndRefusedShapes) {
  SAFEARRAYBOUND bounds[2] = {{2, 0}, {3, 1}};
  SAFEARRAY* a = SafeArrayCreate(VT_I4, 2, bounds);
  ASSERT_NE(a, nullptr);
  LONG hi = 0;
  EXPECT_EQ(SafeArrayGetDim(a), 2u);
  EXPECT_EQ(a->cbElements, 4u);
  EXPECT_EQ(SafeArrayGetUBound(a, 2, &hi), S_OK);
  EXPECT_EQ(hi, 3);
  EXPECT_EQ(SafeArrayDestroy(a), S_OK);

  SAFEARRAYBOUND one{1, 0};
  EXPECT_EQ(SafeArrayCreate(VT_BSTR, 1, &one), nullptr);  // elements that own memory
  EXPECT_EQ(SafeArrayCreate(VT_UI1, 0, &one), nullptr);
  SAFEARRAYBOUND huge[2] = {{0xFFFFFFFFu, 0}, {0xFFFFFFFFu, 0}};
  EXPECT_EQ(SafeArrayCreate(VT_DECIMAL, 2, huge), nullptr);
}

TEST(Variant, CopyIsDeepAndClearReleasesOnce) {
  var text, copy;
  set_text(text.v, std::wstring(L"a\0b", 3));
  ASSERT_EQ(VariantCopy(&copy.v, &text.v), S_OK);
  EXPECT_NE(copy.v.bstrVal, text.v.bstrVal);
  EXPECT_EQ(text_of(copy.v), std::wstring(L"a\0b", 3));

  var array;
  SAFEARRAYBOUND b{2, 0};
  array.v.vt = VT_ARRAY | VT_UI1;
  array.v.parray = SafeArrayCreate(VT_UI1, 1, &b);
  ASSERT_EQ(VariantCopy(&copy.v, &array.v), S_OK);  // the old text is freed
  EXPECT_NE(copy.v.parray, array.v.parray);
  EXPECT_EQ(VariantCopy(&copy.v, &copy.v), S_OK);
  EXPECT_EQ(VariantClear(&copy.v), S_OK);
  EXPECT_EQ(copy.v.vt, VT_EMPTY);
  EXPECT_EQ(copy.v.parray, nullptr);
}

TEST(Variant, InterfacesAreCountedByCopyAndClear) {
  struct object : IUnknown {
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    ULONG refs = 1;
  } o;
  var a, b;
  a.v.vt = VT_UNKNOWN;
  a.v.punkVal = &o;
  o.AddRef();
  ASSERT_EQ(VariantCopy(&b.v, &a.v), S_OK);
  EXPECT_EQ(o.refs, 3u);
  VariantClear(&a.v);
  VariantClear(&b.v);
  EXPECT_EQ(o.refs, 1u);
}

struct change_case {
  const wchar_t* text;  // the source, as text
  VARTYPE target;
  HRESULT result;
  const wchar_t* expected;  // the converted value changed back to text
};

// Cases print as their text: the struct has padding gtest would dump.
void PrintTo(const change_case& c, std::ostream* out) {
  std::wstring t = c.text;
  *out << std::string(t.begin(), t.end()) << " to " << c.target;
}

class ChangeFromText : public ::testing::TestWithParam<change_case> {};

TEST_P(ChangeFromText, ConvertsExactlyOrRefuses) {
  const change_case& c = GetParam();
  var v, back;
  set_text(v.v, c.text);
  HRESULT hr = VariantChangeType(&v.v, &v.v, 0, c.target);
  ASSERT_EQ(hr, c.result) << std::hex << hr;
  if (FAILED(hr)) {
    EXPECT_EQ(v.v.vt, VT_BSTR);
    EXPECT_EQ(text_of(v.v), c.text);  // left as it was
    return;
  }
  EXPECT_EQ(v.v.vt, c.target);
  ASSERT_EQ(VariantChangeType(&back.v, &v.v, 0, VT_BSTR), S_OK);
  EXPECT_EQ(text_of(back.v), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, ChangeFromText,
    ::testing::Values(
        change_case{L"  -12 ", VT_I4, S_OK, L"-12"}, change_case{L"+7", VT_UI1, S_OK, L"7"},
        change_case{L"2.5", VT_I4, S_OK, L"3"}, change_case{L"-2.5", VT_I4, S_OK, L"-3"},
        change_case{L"2.4999", VT_I2, S_OK, L"2"}, change_case{L"1e3", VT_I2, S_OK, L"1000"},
        change_case{L"127", VT_I1, S_OK, L"127"}, change_case{L"128", VT_I1, DISP_E_OVERFLOW, L""},
        change_case{L"-1", VT_UI4, DISP_E_OVERFLOW, L""}, change_case{L"4294967295", VT_UI4, S_OK, L"4294967295"},
        change_case{L"4294967296", VT_UI4, DISP_E_OVERFLOW, L""},
        change_case{L"9223372036854775807", VT_I8, S_OK, L"9223372036854775807"},
        change_case{L"-9223372036854775808", VT_I8, S_OK, L"-9223372036854775808"},
        change_case{L"9223372036854775808", VT_I8, DISP_E_OVERFLOW, L""},
        change_case{L"18446744073709551615", VT_UI8, S_OK, L"18446744073709551615"},
        change_case{L"12", VT_R8, S_OK, L"12"}, change_case{L"0.1", VT_R8, S_OK, L"0.1"},
        change_case{L"1e20", VT_R8, S_OK, L"1E+20"}, change_case{L"1e999", VT_R8, DISP_E_OVERFLOW, L""},
        change_case{L"3.4e38", VT_R4, S_OK, L"3.4E+38"}, change_case{L"3.5e38", VT_R4, DISP_E_OVERFLOW, L""},
        change_case{L"1234.56785", VT_CY, S_OK, L"1234.5679"},
        change_case{L"922337203685477.5807", VT_CY, S_OK, L"922337203685477.5807"},
        change_case{L"922337203685477.5808", VT_CY, DISP_E_OVERFLOW, L""},
        change_case{L"-0.00005", VT_CY, S_OK, L"-0.0001"},
        change_case{L"79228162514264337593543950335", VT_DECIMAL, S_OK, L"79228162514264337593543950335"},
        change_case{L"79228162514264337593543950336", VT_DECIMAL, DISP_E_OVERFLOW, L""},
        change_case{L"0.1234567890123456789012345678901", VT_DECIMAL, S_OK, L"0.1234567890123456789012345679"},
        change_case{L"-1.50", VT_DECIMAL, S_OK, L"-1.5"}, change_case{L"-0", VT_DECIMAL, S_OK, L"0"},
        change_case{L"True", VT_BOOL, S_OK, L"-1"}, change_case{L" false ", VT_BOOL, S_OK, L"0"},
        change_case{L"0.5", VT_BOOL, S_OK, L"-1"},
        // Only the point separates decimals; nothing but a number is read.
        change_case{L"1,5", VT_R8, DISP_E_TYPEMISMATCH, L""}, change_case{L"1,234", VT_I4, DISP_E_TYPEMISMATCH, L""},
        change_case{L"12abc", VT_I4, DISP_E_TYPEMISMATCH, L""}, change_case{L"", VT_I4, DISP_E_TYPEMISMATCH, L""},
        change_case{L".", VT_R8, DISP_E_TYPEMISMATCH, L""}, change_case{L"1e", VT_R8, DISP_E_TYPEMISMATCH, L""},
        change_case{L"$5", VT_CY, DISP_E_TYPEMISMATCH, L""}, change_case{L"5", VT_DATE, DISP_E_TYPEMISMATCH, L""},
        change_case{L"5", VT_ERROR, DISP_E_TYPEMISMATCH, L""}, change_case{L"5", 15, DISP_E_BADVARTYPE, L""}));

TEST(Variant, NumbersAmongEachOther) {
  var v;
  v.v.vt = VT_R8;
  v.v.dblVal = 1500.0;
  ASSERT_EQ(VariantChangeType(&v.v, &v.v, 0, VT_DECIMAL), S_OK);
  EXPECT_EQ(text_of(v.v.decVal), L"1500");

  v.v.vt = VT_CY;
  v.v.cyVal.int64 = 25000;  // 2.5
  ASSERT_EQ(VariantChangeType(&v.v, &v.v, 0, VT_I2), S_OK);
  EXPECT_EQ(v.v.iVal, 3);

  v.v.vt = VT_BOOL;
  v.v.boolVal = VARIANT_TRUE;
  ASSERT_EQ(VariantChangeType(&v.v, &v.v, 0, VT_CY), S_OK);
  EXPECT_EQ(v.v.cyVal.int64, -10000);

  v.v.vt = VT_R8;
  v.v.dblVal = 1e300;
  EXPECT_EQ(VariantChangeType(&v.v, &v.v, 0, VT_CY), DISP_E_OVERFLOW);
  EXPECT_EQ(VariantChangeType(&v.v, &v.v, 0, VT_I8), DISP_E_OVERFLOW);
  EXPECT_EQ(VariantChangeType(&v.v, &v.v, 0, VT_R4), DISP_E_OVERFLOW);

  var empty, null;
  ASSERT_EQ(VariantChangeType(&empty.v, &empty.v, 0, VT_I4), S_OK);
  EXPECT_EQ(empty.v.lVal, 0);
  null.v.vt = VT_NULL;
  EXPECT_EQ(VariantChangeType(&null.v, &null.v, 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VariantChangeType(&null.v, &null.v, 0, VT_EMPTY), S_OK);
}

TEST(Variant, TextIgnoresTheProcessLocale) {
  c_locale_at_exit restore;
  if (!use_comma_locale()) GTEST_SKIP() << "no locale with a decimal comma";
  var v, back;
  set_text(v.v, L"1234.5");
  EXPECT_EQ(VariantChangeType(&v.v, &v.v, 0, VT_R8), S_OK);
  EXPECT_EQ(v.v.dblVal, 1234.5);
  EXPECT_EQ(VariantChangeType(&back.v, &v.v, 0, VT_BSTR), S_OK);
  EXPECT_EQ(text_of(back.v), L"1234.5");
}

TEST(Decimal, ExactConversionsRoundHalfAwayFromZero) {
  DECIMAL d = decimal(L"12345678901234567890.123456789");
  EXPECT_EQ(d.scale, 9);
  EXPECT_EQ(text_of(d), L"12345678901234567890.123456789");
  LONGLONG i8 = 0;
  ULONGLONG u8 = 0;
  EXPECT_EQ(VarI8FromDec(&d, &i8), DISP_E_OVERFLOW);
  EXPECT_EQ(VarUI8FromDec(&d, &u8), S_OK);
  EXPECT_EQ(u8, 12345678901234567890ULL);

  LONG i4 = 0;
  SHORT i2 = 0;
  USHORT u2 = 7;
  ULONG u4 = 0;
  d = decimal(L"2.5");
  EXPECT_EQ(VarI4FromDec(&d, &i4), S_OK);
  EXPECT_EQ(i4, 3);
  d = decimal(L"-2.5");
  EXPECT_EQ(VarI4FromDec(&d, &i4), S_OK);
  EXPECT_EQ(i4, -3);
  EXPECT_EQ(VarUI4FromDec(&d, &u4), DISP_E_OVERFLOW);
  d = decimal(L"32767.5");
  EXPECT_EQ(VarI2FromDec(&d, &i2), DISP_E_OVERFLOW);
  d = decimal(L"-0.4");
  EXPECT_EQ(VarUI2FromDec(&d, &u2), S_OK);
  EXPECT_EQ(u2, 0);

  double r8 = 0;
  d = decimal(L"0.1");
  EXPECT_EQ(VarR8FromDec(&d, &r8), S_OK);
  EXPECT_EQ(r8, 0.1);
  d.scale = 29;
  EXPECT_EQ(VarR8FromDec(&d, &r8), E_INVALIDARG);

  EXPECT_EQ(VarDecFromI8(-9223372036854775807LL - 1, &d), S_OK);
  EXPECT_EQ(text_of(d), L"-9223372036854775808");
  EXPECT_EQ(VarDecFromUI8(18446744073709551615ULL, &d), S_OK);
  EXPECT_EQ(text_of(d), L"18446744073709551615");
  d = decimal(L"0.005");
  EXPECT_EQ(text_of(d), L"0.005");
}

TEST(Currency, ExactConversions) {
  CY cy{};
  EXPECT_EQ(VarCyFromStr(L"1234.5", 0x409, 0, &cy), S_OK);
  EXPECT_EQ(cy.int64, 12345000);
  EXPECT_EQ(VarCyFromStr(L"1234,5", 0x409, 0, &cy), DISP_E_TYPEMISMATCH);
  LONG i4 = 0;
  double r8 = 0;
  EXPECT_EQ(VarI4FromCy(CY{25000}, &i4), S_OK);
  EXPECT_EQ(i4, 3);
  EXPECT_EQ(VarI4FromCy(CY{-25000}, &i4), S_OK);
  EXPECT_EQ(i4, -3);
  EXPECT_EQ(VarI4FromCy(CY{21474836480000}, &i4), DISP_E_OVERFLOW);
  EXPECT_EQ(VarR8FromCy(CY{12345}, &r8), S_OK);
  EXPECT_EQ(r8, 1.2345);
}

SYSTEMTIME fields(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(y), t.wMonth = static_cast<WORD>(mo), t.wDay = static_cast<WORD>(d);
  t.wHour = static_cast<WORD>(h), t.wMinute = static_cast<WORD>(mi), t.wSecond = static_cast<WORD>(s);
  return t;
}

TEST(Date, NumbersOfTheCalendar) {
  struct {
    SYSTEMTIME time;
    DATE number;
    WORD weekday;
  } cases[] = {
      {fields(1899, 12, 30), 0.0, 6},         {fields(1899, 12, 30, 12), 0.5, 6},
      {fields(1899, 12, 29, 6), -1.25, 5},    {fields(1900, 3, 1), 61.0, 4},
      {fields(2010, 12, 31, 18), 40543.75, 5}, {fields(100, 1, 1), -657434.0, 5},
      {fields(9999, 12, 31), 2958465.0, 5},   {fields(2000, 2, 29), 36585.0, 2},
  };
  for (const auto& c : cases) {
    DATE number = -1;
    ASSERT_TRUE(SystemTimeToVariantTime(&c.time, &number)) << c.time.wYear;
    EXPECT_DOUBLE_EQ(number, c.number);
    SYSTEMTIME back{};
    back.wMilliseconds = 77;
    ASSERT_TRUE(VariantTimeToSystemTime(c.number, &back));
    EXPECT_EQ(back.wYear, c.time.wYear);
    EXPECT_EQ(back.wMonth, c.time.wMonth);
    EXPECT_EQ(back.wDay, c.time.wDay);
    EXPECT_EQ(back.wHour, c.time.wHour);
    EXPECT_EQ(back.wDayOfWeek, c.weekday);
    EXPECT_EQ(back.wMilliseconds, 0);
  }
  SYSTEMTIME bad[] = {fields(99, 12, 31), fields(2010, 2, 29), fields(2010, 13, 1), fields(2010, 1, 1, 24),
                      fields(2010, 0, 1), fields(10000, 1, 1)};
  for (const SYSTEMTIME& t : bad) {
    DATE number = 0;
    EXPECT_FALSE(SystemTimeToVariantTime(&t, &number)) << t.wYear << "-" << t.wMonth << "-" << t.wDay;
  }
  SYSTEMTIME out{};
  EXPECT_FALSE(VariantTimeToSystemTime(-657435.5, &out));
  EXPECT_FALSE(VariantTimeToSystemTime(2958466.0, &out));
  // Half a second and more rounds up, into the next day if need be.
  ASSERT_TRUE(VariantTimeToSystemTime(1.0 - 0.4 / 86400, &out));
  EXPECT_EQ(out.wDay, 31);
  EXPECT_EQ(out.wHour, 0);
}

TEST(Date, EnglishTextsAreReadOthersRefused) {
  struct {
    const wchar_t* text;
    SYSTEMTIME time;
  } good[] = {
      {L"Dec 31 2010 10:20", fields(2010, 12, 31, 10, 20)},
      {L"31 December 2010", fields(2010, 12, 31)},
      {L"Friday, December 31, 2010", fields(2010, 12, 31)},
      {L"31-DEC-10", fields(2010, 12, 31)},
      {L"01-jan-50", fields(1950, 1, 1)},
      {L"2010 Dec 31", fields(2010, 12, 31)},
      {L"Sept 1 2010 1:05 PM", fields(2010, 9, 1, 13, 5)},
      {L"12/31/2010", fields(2010, 12, 31)},
      {L"31/12/2010", fields(2010, 12, 31)},
      {L"2/3/2010 12:00 AM", fields(2010, 2, 3, 0)},
      {L"2010-12-31 10:20:30", fields(2010, 12, 31, 10, 20, 30)},
      {L"10:20:30 2010.12.31", fields(2010, 12, 31, 10, 20, 30)},
      {L"10:20 pm", fields(1899, 12, 30, 22, 20)},
  };
  for (const auto& c : good) {
    DATE number = -1, expected = -2;
    ASSERT_EQ(VarDateFromStr(c.text, 0x409, 0, &number), S_OK) << c.text;
    ASSERT_TRUE(SystemTimeToVariantTime(&c.time, &expected));
    EXPECT_DOUBLE_EQ(number, expected) << c.text;
  }
  const wchar_t* bad[] = {L"",           L"  ",          L"2010",         L"Dec 2010",    L"31 Foo 2010",
                          L"Feb 30 2010", L"13/13/2010",  L"2010-12-31T10:20", L"10:20:30.5", L"25:00",
                          L"10:7",       L"13:00 PM",    L"12/31/2010 10", L"-12/31/2010", L"12/31-2010",
                          L"20101231",   L"10:20 10:30", L"Dec 31 2010 PM", L"31 12 2010",  L"\u0416 1 2010"};
  for (const wchar_t* text : bad) {
    DATE number = 0;
    EXPECT_EQ(VarDateFromStr(text, 0x409, 0, &number), DISP_E_TYPEMISMATCH) << text;
  }
}

}  // namespace
