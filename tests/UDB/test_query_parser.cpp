#include "UDB/udb_query_parser.h"
#include "udb_test_support.h"

#include <gtest/gtest.h>

namespace {

using items = std::vector<std::wstring>;

TEST(QueryParser, ModifierQuotedCommasAndKeywordsSemicolon) {
  udb_query_parser p;
  ASSERT_TRUE(p.initialize(L"SELECT DISTINCT a, b FROM t WHERE x = 'a, FROM b' ORDER BY a;"));
  EXPECT_EQ(p.select_modifier, L" DISTINCT ");
  EXPECT_EQ(p.select_items, (items{L"a", L" b"}));
  EXPECT_EQ(p.from_part, L"t");
  EXPECT_EQ(p.where_part, L"x = 'a, FROM b'");
  EXPECT_EQ(p.order_part, L"a");
  EXPECT_EQ(p.get_query(), L"SELECT  DISTINCT a, b FROM t WHERE x = 'a, FROM b' ORDER BY a");
}

TEST(QueryParser, ClausesOfPlainStatements) {
  struct {
    const wchar_t* sql;
    items select;
    const wchar_t *modifier, *into, *from, *where, *group, *order, *rebuilt;
  } cases[] = {
      {L"SELECT f(a, b) FROM t", {L"f(a, b)"}, L"", L"", L"t", L"", L"", L"", L"SELECT f(a, b) FROM t"},
      {L"SELECT a FROM t GROUP BY a HAVING COUNT(*) > 1", {L"a"}, L"", L"", L"t", L"", L"a HAVING COUNT(*) > 1",
       L"", L"SELECT a FROM t GROUP BY a HAVING COUNT(*) > 1"},
      {L"SELECT a\r\nFROM t\nWHERE b = 1", {L"a "}, L"", L"", L"t", L"b = 1", L"", L"", L"SELECT a  FROM t WHERE b = 1"},
      {L"SELECT [a, b], \"c, d\" FROM t", {L"[a, b]", L" \"c, d\""}, L"", L"", L"t", L"", L"", L"",
       L"SELECT [a, b], \"c, d\" FROM t"},
      {L"SELECT a INTO x FROM t WHERE c ORDER BY a", {L"a"}, L"", L"x", L"t", L"c", L"", L"a",
       L"SELECT a FROM t WHERE c ORDER BY a"},
      {L"SELECT a where b FROM t", {L"a where b"}, L"", L"", L"t", L"", L"", L"", L"SELECT a where b FROM t"},
      {L"SELECT TOP 5 a from t", {L"5 a"}, L" TOP ", L"", L"t", L"", L"", L"", L"SELECT  TOP 5 a FROM t"},
      {L"SELECT a FROM t WHERE b IN (SELECT c FROM u WHERE d = 1) ORDER BY a", {L"a"}, L"", L"", L"t",
       L"b IN (SELECT c FROM u WHERE d = 1)", L"", L"a",
       L"SELECT a FROM t WHERE b IN (SELECT c FROM u WHERE d = 1) ORDER BY a"},
      // A name that ends in SELECT, and a UNION, are not FROM sub-queries.
      {L"SELECT a FROM AUTO_SELECT x", {L"a"}, L"", L"", L"AUTO_SELECT x", L"", L"", L"", L"SELECT a FROM AUTO_SELECT x"},
      {L"SELECT a FROM t UNION SELECT b FROM u", {L"a"}, L"", L"", L"t UNION SELECT b FROM u", L"", L"", L"",
       L"SELECT a FROM t UNION SELECT b FROM u"},
      // Without FROM the last item is kept and no FROM is made up.
      {L"SELECT 1, 2", {L"1", L" 2"}, L"", L"", L"", L"", L"", L"", L"SELECT 1, 2"},
  };
  for (const auto& c : cases) {
    udb_query_parser p;
    ASSERT_TRUE(p.initialize(c.sql)) << c.sql;
    EXPECT_EQ(p.select_items, c.select) << c.sql;
    EXPECT_EQ(p.select_modifier, c.modifier) << c.sql;
    EXPECT_EQ(p.into_part, c.into) << c.sql;
    EXPECT_EQ(p.from_part, c.from) << c.sql;
    EXPECT_EQ(p.where_part, c.where) << c.sql;
    EXPECT_EQ(p.group_part, c.group) << c.sql;
    EXPECT_EQ(p.having_part, L"") << c.sql;
    EXPECT_EQ(p.order_part, c.order) << c.sql;
    EXPECT_EQ(p.sub_query, nullptr) << c.sql;
    EXPECT_EQ(p.get_query(), c.rebuilt) << c.sql;
  }
}

TEST(QueryParser, NestedFromSubQuery) {
  udb_query_parser p;
  ASSERT_TRUE(p.initialize(L"SELECT x.a FROM (SELECT a, b FROM t WHERE b > 0) x WHERE x.a = 1 ORDER BY x.a"));
  ASSERT_NE(p.sub_query, nullptr);
  EXPECT_EQ(p.sub_query->select_items, (items{L"a", L" b"}));
  EXPECT_EQ(p.sub_query->from_part, L"t");
  EXPECT_EQ(p.sub_query->where_part, L"b > 0");
  EXPECT_EQ(p.from_part, L"x");
  EXPECT_EQ(p.where_part, L"x.a = 1");
  EXPECT_EQ(p.order_part, L"x.a");
  EXPECT_EQ(p.get_from_part(), L"(SELECT a, b FROM t WHERE b > 0) x");
  EXPECT_EQ(p.get_query(), L"SELECT x.a FROM (SELECT a, b FROM t WHERE b > 0) x WHERE x.a = 1 ORDER BY x.a");

  // Two levels deep, and a join whose left side comes first.
  udb_query_parser deep;
  ASSERT_TRUE(deep.initialize(L"SELECT * FROM u JOIN (SELECT * FROM (SELECT a FROM t) y) z ON u.a = z.a"));
  ASSERT_NE(deep.sub_query, nullptr);
  ASSERT_NE(deep.sub_query->sub_query, nullptr);
  EXPECT_EQ(deep.get_query(), L"SELECT * FROM u JOIN (SELECT * FROM (SELECT a FROM t) y) z ON u.a = z.a");

  // A second sub-query stays in the FROM text.
  udb_query_parser two;
  ASSERT_TRUE(two.initialize(L"SELECT * FROM (SELECT a FROM t) p, (SELECT b FROM u) q WHERE p.a = q.b"));
  EXPECT_EQ(two.from_part, L"p, (SELECT b FROM u) q");
  EXPECT_EQ(two.get_query(), L"SELECT * FROM (SELECT a FROM t) p, (SELECT b FROM u) q WHERE p.a = q.b");
}

TEST(QueryParser, KeywordsInAnyCase) {
  udb_query_parser p;
  ASSERT_TRUE(p.initialize(L"select a from t where b = 1"));
  EXPECT_EQ(p.select_items, (items{L"a"}));
  EXPECT_EQ(p.where_part, L"b = 1");
  EXPECT_EQ(p.get_query(), L"SELECT a FROM t WHERE b = 1");

  // The sub-query's own select, not the next upper-case one.
  udb_query_parser q;
  ASSERT_TRUE(q.initialize(L"SELECT * FROM (select a from t) x WHERE y IN (SELECT b FROM u)"));
  ASSERT_NE(q.sub_query, nullptr);
  EXPECT_EQ(q.sub_query->select_items, (items{L"a"}));
  EXPECT_EQ(q.get_query(), L"SELECT * FROM (SELECT a FROM t) x WHERE y IN (SELECT b FROM u)");
}

TEST(QueryParser, SoundStatementsAreNotRefused) {
  struct {
    const wchar_t *sql, *rebuilt;
  } cases[] = {
      {L"  select distinct a from t;", L"SELECT  DISTINCT a FROM t"},
      {L"SELECT a FROM (SELECT a FROM t)x", L"SELECT a FROM (SELECT a FROM t) x"},
      {L"SELECT a FROM ( SELECT a FROM t ) x", L"SELECT a FROM (SELECT a FROM t ) x"},
      {L"SELECT * FROM ((SELECT a FROM t) UNION (SELECT b FROM u)) x",
       L"SELECT * FROM ((SELECT a FROM t) UNION (SELECT b FROM u)) x"},
      {L"SELECT (SELECT MAX(b) FROM u) AS m FROM t", L"SELECT (SELECT MAX(b) FROM u) AS m FROM t"},
      {L"SELECT a INTO b FROM t WHERE c Group By a", L"SELECT a FROM t WHERE c GROUP BY a"},
  };
  for (const auto& c : cases) {
    udb_query_parser p;
    ASSERT_TRUE(p.initialize(c.sql)) << c.sql;
    EXPECT_EQ(p.get_query(), c.rebuilt) << c.sql;
  }
}

TEST(QueryParser, LineBreaksInsideQuotesStay) {
  udb_query_parser p;
  ASSERT_TRUE(p.initialize(L"SELECT a\nFROM t\r\nWHERE b = 'x\ny'"));
  EXPECT_EQ(p.where_part, L"b = 'x\ny'");
  EXPECT_EQ(p.get_query(), L"SELECT a FROM t  WHERE b = 'x\ny'");
}

TEST(QueryParser, StatementsItCannotRebuildWholeAreRefused) {
  for (const wchar_t* sql : {
           L"WITH w AS (SELECT a FROM t) SELECT * FROM w",
           L"(SELECT a FROM t) UNION (SELECT b FROM u)",
           L"SELECT a -- the key\nFROM t",
           L"SELECT a /* the key */ FROM t",
           L"SELECT * FROM (SELECT a -- x\nFROM t) q",
           L"SELECT a FROM t) WHERE b = 1",
           L"EXPLAIN SELECT a FROM t",
           L"",
       }) {
    log_capture capture;
    udb_query_parser p;
    EXPECT_FALSE(p.initialize(sql)) << p.get_query();
  }
  // A double minus inside quotes is text, not a comment.
  udb_query_parser quoted;
  ASSERT_TRUE(quoted.initialize(L"SELECT a FROM t WHERE b = '--' AND c = \"/*\""));
  EXPECT_EQ(quoted.get_query(), L"SELECT a FROM t WHERE b = '--' AND c = \"/*\"");
}

TEST(QueryParser, TokenAtTheEndIsNotFound) {
  udb_query_parser p;
  p.text = L"a FROM ";
  std::size_t end = 0;
  EXPECT_FALSE(p.get_token_if(1, L" FROM ", end));
  p.text = L"a from t";
  EXPECT_TRUE(p.get_token_if(1, L" FROM ", end));
  EXPECT_EQ(end, 7u);
}

}  // namespace
