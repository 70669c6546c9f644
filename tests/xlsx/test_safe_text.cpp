#include "platform/utf8.h"
#include "xlsx/safe_text.h"

#include <gtest/gtest.h>

using namespace XlsxModel;

namespace {

TEST(CellReference, ColumnsInBijectiveBase26) {
  struct {
    long row, column;
    const wchar_t* reference;
  } cases[] = {{1, 0, L"A1"},       {2, 0, L"A2"},         {12, 25, L"Z12"},     {1, 26, L"AA1"},
               {12, 27, L"AB12"},   {3, 701, L"ZZ3"},      {4, 702, L"AAA4"},    {1048576, 16383, L"XFD1048576"},
               {10, 51, L"AZ10"},   {10, 52, L"BA10"}};
  for (const auto& c : cases) EXPECT_EQ(cell_reference(c.row, c.column), c.reference) << c.column;
}

TEST(SafeText, KeepsTheTextAndEscapesMarkup) {
  struct {
    const wchar_t* in;
    const wchar_t* out;
  } cases[] = {
      {L"3.14", L"3.14"},
      {L"2010-12-31 10:20:30.005", L"2010-12-31 10&#58;20&#58;30.005"},
      {L"a<b & \"c\"", L"a&lt;b &amp; &quot;c&quot;"},
      {L"x & y", L"x &amp; y"},
      {L"a-b/c, [d] (e) @ % $ ~", L"a-b/c, [d] (e) @ % $ ~"},
      {L"!'*+:=>?", L"&#33;&#39;&#42;&#43;&#58;&#61;&gt;&#63;"},
      {L"&lt;", L"&amp;lt;"},
      {L"=HYPERLINK(\"x\")", L"&#61;HYPERLINK(&quot;x&quot;)"},
      {L"\u0416 \u00df \u00e9 \U0001F600", L"\u0416 \u00df \u00e9 \U0001F600"},
      // References, which no parser changes: in an attribute it would read a
      // tab or a line feed as a blank.
      {L"tab\there\nline", L"tab&#9;here&#10;line"},
      {L"cr\r\nlf", L"cr&#13;&#10;lf"},
      // What XML 1.0 cannot carry is left out, and only that.
      {L"a\x01" L"b\x1f" L"c\x7f" L"d", L"ab" L"c\x7f" L"d"},
      {L"x\xFFFE" L"y\xFFFF" L"z", L"xyz"},
      {L"lone\xD800" L"surrogate", L"lonesurrogate"},
      // Readers decode "_xHHHH_": its underscore is escaped so it reads back.
      {L"_x0041_", L"_x005F_x0041_"},
      {L"_X0041_ _xaB0f_", L"_x005F_X0041_ _x005F_xaB0f_"},
      {L"_x004_ _xZZZZ_ a_b", L"_x004_ _xZZZZ_ a_b"},
      {L"", L""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(make_safe_text(c.in), c.out) << c.in;
    std::string utf8;
    append_safe_utf8(c.in, utf8);
    std::string expected;
    std::wstring out = c.out;
    ASSERT_TRUE(qm_platform::wide_to_utf8(out.data(), out.size(), expected));
    EXPECT_EQ(utf8, expected) << c.in;
  }
}

}  // namespace
