#include "common/xls_engine.h"

#include <gtest/gtest.h>

namespace {

TEST(XlsEngine, TheThreeFormats) {
  xls_engine_50 e50;
  xls_engine_80 e80;
  xls_engine_2010 e2010;
  struct { xls_engine& e; const wchar_t* name; const wchar_t* connect; unsigned rows; } rows[] = {
      {e50, L"Excel 5.0", L"Excel 5.0;", 16383},
      {e80, L"Excel 2000", L"Excel 8.0;", 65535},
      {e2010, L"Excel 2010", L"Excel 12.0;", 65535},
  };
  for (auto& r : rows) {
    EXPECT_EQ(r.e.name, r.name);
    EXPECT_EQ(r.e.connect, r.connect);
    EXPECT_EQ(r.e.max_rows, r.rows);
    EXPECT_FALSE(r.e.wrap);
  }
  EXPECT_EQ(e50.get_notice_w(),
            L"Destination spreadsheet will be saved in MS Excel 5.0 format.\nAll strings will be cut to 255 symbols.");
}

}  // namespace
