#include "dao/acc_query_parser.h"

#include <gtest/gtest.h>

namespace {

TEST(AccQueryParser, TheOwnerAccessTailIsLeftOut) {
  acc_query_parser with(L"SELECT a, b FROM t WHERE a > 1 WITH OwnerAccess OPTION;");
  acc_query_parser without(L"SELECT a, b FROM t WHERE a > 1");
  ASSERT_TRUE(with.is_parsed());
  EXPECT_EQ(with.get_query(), without.get_query());
  EXPECT_FALSE(acc_query_parser(L"WITH w AS (SELECT a FROM t) SELECT * FROM w").is_parsed());
}

TEST(AccQueryParser, ItemsBecomeAnsi) {
  struct {
    const wchar_t* item;
    const wchar_t* ansi;
  } cases[] = {
      {L"[First] & ' ' & [Last] AS FullName", L"CONCAT([First] , ' ' , [Last]) AS FullName"},
      {L"My Table.My Column", L"[My Table].[My Column]"},
      {L"Orders.*", L"Orders.*"},
      {L"first_name", L"first_name"},
      {L"'a & b' & [x & y]", L"CONCAT('a & b' , [x & y])"},
      {L"Left([a] & [b], 3)", L"Left(CONCAT([a] , [b]), 3)"},
  };
  for (const auto& c : cases) {
    acc_query_parser parser(std::wstring(L"SELECT ") + c.item + L" FROM t ORDER BY [a] & [b]");
    ASSERT_TRUE(parser.is_parsed()) << c.item;
    parser.make_ansi();
    ASSERT_EQ(parser.select_items.size(), 1u) << c.item;
    EXPECT_EQ(parser.select_items[0], c.ansi);
    EXPECT_EQ(parser.order_part, L"CONCAT([a] , [b])");
  }
}

TEST(AccQueryParser, AJoinedStatementIsMadeAnsiToo) {
  acc_query_parser parser(L"SELECT x FROM (SELECT [a] & [b] AS x FROM t) q");
  ASSERT_TRUE(parser.is_parsed());
  parser.make_ansi();
  EXPECT_EQ(parser.get_query(), L"SELECT x FROM (SELECT CONCAT([a] , [b]) AS x FROM t) q");
}

}  // namespace
