// Queries answered as the server answers them: one table of query and
// rows for each family, and the server's errors for what it refuses.
#include "oci_session.h"

namespace {

using rows_t = std::vector<std::vector<std::string>>;

// Numbers that a double cannot tell apart, stored as the BLOBs of their
// texts; dates written as differently shaped texts; texts with '' and
// blank-padded CHAR values.
const char* const k_script =
    "CREATE TABLE \"G\" (\"ID\" NUMBER(4), \"N\" NUMBER, \"D\" DATE, \"S\" VARCHAR2(20), \"C\" CHAR(5));"
    "INSERT INTO \"G\" VALUES (1, CAST('12345678901234567891' AS BLOB), '2001-03-12', 'abc', 'ab');"
    "INSERT INTO \"G\" VALUES (2, CAST('12345678901234567892' AS BLOB), '2001-03-12 00:00:00', 'Abc', 'ab   ');"
    "INSERT INTO \"G\" VALUES (3, CAST('-123456789012345678901234567890123456' AS BLOB), '2001-03-13', '', NULL);"
    "INSERT INTO \"G\" VALUES (4, 0.1, '2000-12-31 23:59:59', 'b', 'x');"
    "INSERT INTO \"G\" VALUES (5, CAST('12345678901234567891.5' AS BLOB), NULL, NULL, NULL);"
    "CREATE TABLE \"E\" (\"ID\" NUMBER(4), \"PARENT\" NUMBER(4), \"NAME\" VARCHAR2(10));"
    "INSERT INTO \"E\" VALUES (1, NULL, 'root');"
    "INSERT INTO \"E\" VALUES (2, 1, 'left');"
    "INSERT INTO \"E\" VALUES (3, 1, 'right');"
    "INSERT INTO \"E\" VALUES (4, 2, 'leaf');"
    "CREATE VIEW \"V\" AS SELECT \"ID\", \"N\" FROM \"G\";"
    "CREATE TABLE \"Q\" (\"ID\" NUMBER(4), \"B\" \"CHAR(4 BYTE)\", \"T\" TIMESTAMP(6), "
    "\"Z\" \"TIMESTAMP(6) WITH TIME ZONE\", \"D\" DATE);"
    "INSERT INTO \"Q\" VALUES (1, 'é', '2001-03-12 10:00:00', '2001-03-12 10:00:00 +02:00', '-0044-03-15');"
    "INSERT INTO \"Q\" VALUES (2, 'ab', '2001-03-12 10:00:00.5', '2001-03-12 08:00:00 +00:00', '-0001-12-31');"
    "INSERT INTO \"Q\" VALUES (3, NULL, NULL, '2001-03-12 09:00:00 +00:00', '0001-01-01');";

struct query_case {
  std::string sql;
  rows_t rows;
};

class query_test : public ::testing::Test {
 protected:
  temp_db db{k_script};
  oci_session s;
  void SetUp() override { s.connect(db.path); }
  void expect(const std::vector<query_case>& cases) {
    for (const query_case& c : cases) EXPECT_EQ(c.rows, s.query(c.sql)) << c.sql;
  }
};

TEST_F(query_test, exact_numbers_in_every_clause) {
  const std::string third = "." + std::string(40, '3');
  expect({
      {"SELECT ID FROM G WHERE N = 12345678901234567891", {{"1"}}},
      {"SELECT ID FROM G WHERE N < 0", {{"3"}}},
      {"SELECT ID FROM G WHERE N BETWEEN 12345678901234567891 AND 12345678901234567891.5 ORDER BY ID", {{"1"}, {"5"}}},
      {"SELECT ID FROM G WHERE N IN (12345678901234567892, 0.1) ORDER BY N DESC", {{"2"}, {"4"}}},
      {"SELECT ID FROM G ORDER BY N", {{"3"}, {"4"}, {"1"}, {"5"}, {"2"}}},
      {"SELECT COUNT(*) FROM (SELECT DISTINCT N * 1 AS D FROM G)", {{"5"}}},
      {"SELECT COUNT(*) FROM (SELECT N FROM G UNION SELECT N + 0 FROM G)", {{"5"}}},
      {"SELECT COUNT(*) FROM (SELECT N * 1 FROM G GROUP BY N * 1)", {{"5"}}},
      {"SELECT MAX(N), MIN(N) FROM G", {{"12345678901234567892", "-123456789012345678901234567890123456"}}},
      {"SELECT AVG(N) FROM G WHERE ID IN (1, 2)", {{"12345678901234567891.5"}}},
      {"SELECT SUM(X) FROM (SELECT 0.1 AS X FROM DUAL UNION ALL SELECT 0.2 FROM DUAL)", {{".3"}}},
      {"SELECT SUM(N) FROM G WHERE ID IN (1, 2, 5)", {{"37037036703703703674.5"}}},
      {"SELECT * FROM (SELECT 1/3 AS X FROM DUAL)", {{third}}},
      {"SELECT 12345678901234567890123 FROM DUAL", {{"12345678901234567890123"}}},
      {"SELECT X FROM (SELECT 1/3 AS X FROM DUAL) WHERE X * 3 < 1", {{third}}},
      {"SELECT MOD(9007199254740993, 7), MOD(5, 0), REMAINDER(5, 2), ABS(N), ROUND(N), TRUNC(N, -19) FROM G "
       "WHERE ID = 5",
       {{"5", "5", "1", "12345678901234567891.5", "12345678901234567892", "10000000000000000000"}}},
      {"SELECT ROUND(1250, -2), TRUNC(-1.5), CEIL(-1.5), FLOOR(-1.5), SIGN(-3), POWER(2, 100), SQRT(2) FROM DUAL",
       {{"1300", "-1", "-1", "-2", "-1", "1267650600228229401496703205376",
         "1.41421356237309504880168872420969807857"}}},
      {"SELECT CAST(1.255 AS NUMBER(4, 2)), TO_NUMBER('1e3'), TO_CHAR(1234.5, '9,999.99'), TO_CHAR(0.5) FROM DUAL",
       {{"1.26", "1000", " 1,234.50", ".5"}}},
  });
}

TEST_F(query_test, the_count_of_a_query_is_its_rows) {
  // The engine counts before it reads: the two agree whatever the values.
  for (const char* q : {"SELECT DISTINCT N * 1 FROM G", "SELECT N FROM G UNION SELECT N FROM G",
                        "SELECT N, COUNT(*) FROM G GROUP BY N", "SELECT ID FROM G WHERE ROWNUM <= 3",
                        "SELECT ID FROM E CONNECT BY PRIOR ID = PARENT START WITH PARENT IS NULL"}) {
    std::size_t rows = s.query(q).size();
    EXPECT_EQ((rows_t{{std::to_string(rows)}}), s.query(std::string("SELECT COUNT(*) FROM (") + q + "\n)")) << q;
  }
}

TEST_F(query_test, texts_and_nulls) {
  expect({
      {"SELECT 'a' || NULL || 'b' FROM DUAL", {{"ab"}}},
      {"SELECT ID FROM G WHERE S IS NULL ORDER BY ID", {{"3"}, {"5"}}},
      {"SELECT COUNT(S), COUNT(*) FROM G", {{"3", "5"}}},
      {"SELECT ID FROM G WHERE S <> '' ORDER BY ID", rows_t{}},
      {"SELECT ID FROM G WHERE S NOT IN ('abc', '')", rows_t{}},
      {"SELECT COALESCE(S, 'none') FROM G WHERE ID = 3", {{"none"}}},
      {"SELECT ID FROM G WHERE S LIKE 'a%'", {{"1"}}},
      {"SELECT ID FROM G WHERE C = 'ab' ORDER BY ID", {{"1"}, {"2"}}},
      {"SELECT C || '|' FROM G WHERE ID = 1", {{"ab   |"}}},
      {"SELECT ID FROM G WHERE 1 = '1' AND 10 > '9' AND ID = 1", {{"1"}}},
      {"SELECT 0.5 || '', -0.5 || '', 1500 || '' FROM DUAL", {{".5", "-.5", "1500"}}},
      {"SELECT ID || '-' || S FROM G WHERE ID = 3", {{"3-"}}},
      {"SELECT UPPER('zieliŃska'), LOWER('ÇELIK'), INITCAP('hello wORLD') FROM DUAL",
       {{"ZIELIŃSKA", "çelik", "Hello World"}}},
      {"SELECT SUBSTR('abcdef', 0, 2), SUBSTR('abcdef', -2), SUBSTR('abc', 1, -1), LENGTH('') FROM DUAL",
       {{"ab", "ef", "<null>", "<null>"}}},
      {"SELECT LENGTH(C), LENGTH(C || S) FROM G WHERE ID = 1", {{"5", "8"}}},
      {"SELECT INSTR('abcabc', 'b', 1, 2), LPAD('7', 3, '0'), RPAD('ab', 4, '.'), TRIM('x' FROM 'xxaxx') FROM DUAL",
       {{"5", "007", "ab..", "a"}}},
      {"SELECT REPLACE('abcb', 'b'), REPLACE('abc', 'b', NULL), ASCII('A'), CHR(66) FROM DUAL",
       {{"ac", "ac", "65", "B"}}},
      {"SELECT ID FROM G WHERE 'ab ' = 'ab' AND C LIKE 'ab%' AND C NOT LIKE 'ab' ORDER BY ID", {{"1"}, {"2"}}},
      {"SELECT ID FROM G WHERE C IN ('ab', 'y') ORDER BY ID", {{"1"}, {"2"}}},
      {"SELECT ID FROM G WHERE C > 'ab\t' ORDER BY ID", {{"1"}, {"2"}, {"4"}}},
      {"SELECT ID FROM G WHERE C IN (SELECT CAST('ab' AS CHAR(3)) FROM DUAL) OR C = ANY (SELECT 'x' FROM DUAL) "
       "ORDER BY ID",
       {{"1"}, {"2"}, {"4"}}},
      {"SELECT ID FROM G WHERE (C, ID) = (('x', 4)) AND (C, ID) IN (('ab', 1), ('x', 4))", {{"4"}}},
      {"SELECT DECODE(C, 'ab', 'y', 'n'), CASE C WHEN 'ab' THEN 'y' ELSE 'n' END, NULLIF(C, 'ab') FROM G WHERE ID = 1",
       {{"y", "y", "<null>"}}},
      {"SELECT CAST(1/4 AS VARCHAR2(10)), CAST(ID AS CHAR(3)) || '|' FROM G WHERE ID = 1", {{".25", "1  |"}}},
      // CHAR(4 BYTE) holds 'é' and two blanks.
      {"SELECT B, B || '|', LENGTH(B) FROM Q WHERE B LIKE 'é  '", {{"é  ", "é  |", "3"}}},
  });
}

TEST_F(query_test, forms_of_a_first_query) {
  expect({
      {"SELECT NVL(S, 'x'), NVL2(S, 'y', 'n') FROM G WHERE ID = 5", {{"x", "n"}}},
      {"SELECT DECODE(ID, 1, 'one', 2, 'two', 'many') FROM G WHERE ID < 4 ORDER BY ID", {{"one"}, {"two"}, {"many"}}},
      {"SELECT DECODE(S, NULL, 'null', 'some') FROM G WHERE ID = 5", {{"null"}}},
      {"SELECT CONCAT('a', NULL), NULLIF(1, 1), GREATEST(1, 3, 2), LEAST(1, NULL) FROM DUAL",
       {{"a", "<null>", "3", "<null>"}}},
      {"SELECT ID FROM G WHERE ID ^= 1 AND ID != 2 AND ID <> 3 ORDER BY ID", {{"4"}, {"5"}}},
      {"SELECT ID FROM (SELECT ID FROM G ORDER BY ID DESC) WHERE ROWNUM <= 2", {{"5"}, {"4"}}},
      {"SELECT ROWNUM, ID FROM (SELECT ID FROM G ORDER BY ID DESC) WHERE ROWNUM < 3", {{"1", "5"}, {"2", "4"}}},
      {"SELECT COUNT(*) FROM (SELECT ID FROM G WHERE ROWNUM <= 2 ORDER BY ID DESC)", {{"2"}}},
      {"SELECT ID FROM G ORDER BY ID OFFSET 1 ROWS FETCH NEXT 2 ROWS ONLY", {{"2"}, {"3"}}},
      {"SELECT ID FROM G MINUS SELECT ID FROM E ORDER BY 1", {{"5"}}},
      {"SELECT LEVEL, NAME FROM E START WITH PARENT IS NULL CONNECT BY PRIOR ID = PARENT ORDER BY NAME",
       {{"3", "leaf"}, {"2", "left"}, {"2", "right"}, {"1", "root"}}},
      {"SELECT LEVEL FROM DUAL CONNECT BY LEVEL <= 3", {{"1"}, {"2"}, {"3"}}},
      {"SELECT A.NAME, B.NAME FROM E A, E B WHERE A.PARENT = B.ID(+) ORDER BY A.ID",
       {{"root", "<null>"}, {"left", "root"}, {"right", "root"}, {"leaf", "left"}}},
      {"SELECT MAX(COUNT(*)) FROM E GROUP BY PARENT", {{"2"}}},
      {"SELECT ID FROM V WHERE N < 0", {{"3"}}},
      {"WITH W AS (SELECT ID FROM G WHERE ID < 3) SELECT COUNT(*) FROM W", {{"2"}}},
      {"SELECT ID, (SELECT NAME FROM E WHERE E.ID = G.ID) FROM G WHERE ID < 3 ORDER BY ID",
       {{"1", "root"}, {"2", "left"}}},
      {"SELECT COUNT(*) FROM G WHERE EXISTS (SELECT 1 FROM E WHERE E.ID = G.ID)", {{"4"}}},
      {"SELECT E.NAME FROM E JOIN E P ON P.ID = E.PARENT WHERE P.NAME = 'left'", {{"leaf"}}},
      {"SELECT ID, NAME, S FROM E JOIN G USING (ID) WHERE ID < 3 ORDER BY ID",
       {{"1", "root", "abc"}, {"2", "left", "Abc"}}},
      {"SELECT COUNT(*) FROM G FULL JOIN E ON E.ID = G.ID", {{"5"}}},
      {"SELECT G.ID FROM E RIGHT JOIN G ON E.ID = G.ID WHERE E.ID IS NULL", {{"5"}}},
      {"SELECT ID FROM G WHERE N > ALL (SELECT N FROM G WHERE ID IN (1, 5)) OR ID = ANY (3, 4) ORDER BY ID",
       {{"2"}, {"3"}, {"4"}}},
      {"SELECT ID FROM G WHERE ID IN (SELECT PARENT FROM E) ORDER BY ID", {{"1"}, {"2"}}},
      {"SELECT PARENT, COUNT(*) FROM E GROUP BY PARENT HAVING COUNT(*) > 1", {{"1", "2"}}},
      {"SELECT CASE ID WHEN 1 THEN 'one' WHEN 2 THEN 'two' ELSE 'more' END FROM G WHERE ID <= 3 ORDER BY ID",
       {{"one"}, {"two"}, {"more"}}},
      {"SELECT ID, ROW_NUMBER() OVER (ORDER BY N DESC), SUM(ID) OVER (PARTITION BY D) FROM G WHERE ID < 4 ORDER BY ID",
       {{"1", "2", "3"}, {"2", "1", "3"}, {"3", "3", "3"}}},
      {"SELECT RANK() OVER (ORDER BY D), DENSE_RANK() OVER (ORDER BY D) FROM G WHERE ID <= 4 ORDER BY ID",
       {{"2", "2"}, {"2", "2"}, {"4", "3"}, {"1", "1"}}},
  });
}

TEST_F(query_test, views_obey_the_rules_of_the_queries_they_hold) {
  for (const char* ddl : {"CREATE VIEW W AS SELECT ID FROM G MINUS SELECT ID FROM E",
                          "CREATE VIEW X AS SELECT N * 1 AS K, DECODE(ID, 1, 'one') AS O FROM G",
                          "CREATE VIEW T (L, NAME) AS SELECT LEVEL, NAME FROM E START WITH PARENT IS NULL "
                          "CONNECT BY PRIOR ID = PARENT"})
    ASSERT_EQ(OCI_SUCCESS, s.exec(ddl)) << ddl << ": " << s.error_text();
  expect({
      {"SELECT * FROM W", {{"5"}}},
      {"SELECT COUNT(DISTINCT K), MAX(O) FROM X", {{"5", "one"}}},
      {"SELECT K FROM X WHERE K < 0", {{"-123456789012345678901234567890123456"}}},
      {"SELECT NAME FROM T WHERE L = 3", {{"leaf"}}},
      {"SELECT TEXT FROM USER_VIEWS WHERE VIEW_NAME = 'W'", {{"SELECT ID FROM G MINUS SELECT ID FROM E"}}},
  });
  expect_errors(s, {{"CREATE VIEW Y AS SELECT ID, ID FROM G", 957},
                    {"CREATE VIEW Y (A) AS SELECT ID, N FROM G", 1730},
                    {"CREATE VIEW Y AS SELECT NOSUCH FROM G", 904}});
}

TEST_F(query_test, nulls_sort_last_ascending_and_first_descending) {
  expect({
      {"SELECT ID FROM G ORDER BY S, ID", {{"2"}, {"1"}, {"4"}, {"3"}, {"5"}}},
      {"SELECT ID FROM G ORDER BY S DESC, ID", {{"3"}, {"5"}, {"4"}, {"1"}, {"2"}}},
      {"SELECT ID FROM G ORDER BY S NULLS FIRST, ID", {{"3"}, {"5"}, {"2"}, {"1"}, {"4"}}},
      {"SELECT ID FROM G ORDER BY D DESC NULLS LAST, ID", {{"3"}, {"1"}, {"2"}, {"4"}, {"5"}}},
  });
}

TEST_F(query_test, dates_compare_as_dates) {
  expect({
      {"SELECT ID FROM G WHERE D = TO_DATE('2001-03-12', 'YYYY-MM-DD') ORDER BY ID", {{"1"}, {"2"}}},
      {"SELECT ID FROM G WHERE D = DATE '2001-03-12' ORDER BY ID", {{"1"}, {"2"}}},
      {"SELECT COUNT(DISTINCT D) FROM G", {{"3"}}},
      {"SELECT ID FROM G WHERE D < TIMESTAMP '2001-01-01 00:00:00'", {{"4"}}},
      {"SELECT D + 1, D - 0.5, DATE '2001-03-13' - D FROM G WHERE ID = 1",
       {{"2001-03-13 00:00:00", "2001-03-11 12:00:00", "1"}}},
      {"SELECT TRUNC(D), ROUND(D, 'YEAR'), ADD_MONTHS(DATE '2001-01-31', 1), LAST_DAY(D) FROM G WHERE ID = 4",
       {{"2000-12-31 00:00:00", "2001-01-01 00:00:00", "2001-02-28 00:00:00", "2000-12-31 23:59:59"}}},
      {"SELECT MONTHS_BETWEEN(DATE '1995-02-02', DATE '1995-01-01'), EXTRACT(YEAR FROM D) FROM G WHERE ID = 1",
       {{"1.032258064516129032258064516129032258065", "2001"}}},
      {"SELECT TO_CHAR(D, 'YYYY-MM-DD HH24:MI'), TO_CHAR(D), D || '', TO_DATE(D, 'DD-MON-RR') FROM G WHERE ID = 4",
       {{"2000-12-31 23:59", "31-DEC-00", "31-DEC-00", "2000-12-31 00:00:00"}}},
      {"SELECT D + INTERVAL '1-1' YEAR TO MONTH, INTERVAL '1 02:00:00' DAY TO SECOND FROM G WHERE ID = 1",
       {{"2002-04-12 00:00:00", "+01 02:00:00.000000"}}},
      {"SELECT TIMESTAMP '2001-01-02 00:00:00' - TIMESTAMP '2001-01-01 12:00:00' FROM DUAL",
       {{"+000000000 12:00:00.000000000"}}},
      {"SELECT DATE '2001-03-12' - INTERVAL '1' DAY, -INTERVAL '1' DAY FROM DUAL",
       {{"2001-03-11 00:00:00", "-01 00:00:00.000000"}}},
      {"SELECT MAX(D) FROM G WHERE ID = 5", {{"<null>"}}},
      {"SELECT COALESCE(D, DATE '1999-01-01') FROM G WHERE ID = 5", {{"1999-01-01 00:00:00"}}},
      // A text is read in the format of the kind it is compared with.
      {"SELECT ID FROM Q WHERE T = '12-MAR-01 10.00.00.000000 AM' OR T > '12-MAR-01 10.00.00.4 AM' ORDER BY ID",
       {{"1"}, {"2"}}},
      {"SELECT NVL(T, '12-MAR-01 10.00.00.5 AM') FROM Q WHERE ID = 3", {{"2001-03-12 10:00:00.500000"}}},
      // A TIMESTAMP where a DATE is due is rounded to the second, as CAST rounds it.
      {"SELECT NVL(CAST(NULL AS DATE), T), GREATEST(DATE '2001-03-12', T), CAST(T AS DATE) FROM Q WHERE ID = 2",
       {{"2001-03-12 10:00:01", "2001-03-12 10:00:01", "2001-03-12 10:00:01"}}},
      {"SELECT ID FROM G WHERE D IN (SELECT '12-MAR-01' FROM DUAL) ORDER BY ID", {{"1"}, {"2"}}},
      // Values with a time zone compare by their instants.
      {"SELECT ID FROM Q WHERE Z = (SELECT Z FROM Q WHERE ID = 2) ORDER BY ID", {{"1"}, {"2"}}},
      {"SELECT ID FROM Q WHERE Z < '12-MAR-01 09.00.00.000000 AM +00:00' ORDER BY ID", {{"1"}, {"2"}}},
      {"SELECT ID FROM Q ORDER BY Z DESC, ID", {{"3"}, {"1"}, {"2"}}},
      // 44 BC, 1 BC, 1 AD.
      {"SELECT ID, D + 1 FROM Q WHERE D < DATE '0001-01-01' ORDER BY D",
       {{"1", "-0044-03-16 00:00:00"}, {"2", "0001-01-01 00:00:00"}}},
      {"SELECT MIN(D), MAX(D - 1) FROM Q", {{"-0044-03-15 00:00:00", "-0001-12-31 00:00:00"}}},
  });
}

// What the server refuses, with its error.
TEST_F(query_test, the_server_refuses_with_its_errors) {
  struct row {
    const char* sql;
    sb4 code;
  } rows[] = {
      {"SELECT (SELECT ID FROM E) FROM DUAL", 1427},
      {"SELECT ID, COUNT(*) FROM G GROUP BY N", 979},
      {"SELECT ID, COUNT(*) FROM G", 937},
      {"SELECT ID AS X FROM G WHERE X = 1", 904},
      {"SELECT ID FROM G AS T", 933},
      {"SELECT ID FROM G LIMIT 2", 933},
      {"SELECT 5 % 3 FROM DUAL", 911},
      {"SELECT MAX(ID, 2) FROM G", 909},
      {"SELECT CASE WHEN ID = 1 THEN 1 ELSE 'a' END FROM G", 932},
      {"SELECT ID FROM G UNION SELECT S FROM G", 1790},
      {"SELECT CAST('abc' AS NUMBER) FROM DUAL", 1722},
      {"SELECT NOSUCH(ID) FROM G", 904},
      {"SELECT ID FROM G, E", 918},
      {"SELECT LEVEL FROM G", 1788},
      {"SELECT 1 FROM DUAL WHERE COUNT(*) > 1", 934},
      {"SELECT ID FROM G ORDER BY 2", 1785},
      {"SELECT DISTINCT ID FROM G ORDER BY N", 1791},
      {"SELECT ID FROM G WHERE G.ID(+) = 1 OR ID = 2", 1719},
      {"SELECT ID(+) FROM G", 30563},
      {"SELECT 1", 923},
      {"SELECT ID FROM G WHERE ID", 920},
      {"SELECT ID FROM E CONNECT BY PRIOR ID = ID", 1436},
      {"SELECT EXTRACT(HOUR FROM DATE '2001-01-01') FROM DUAL", 30076},
      {"SELECT D + D FROM G", 975},
      {"SELECT ID FROM G WHERE D = '2001-03-12'", 1843},
      {"SELECT INTERVAL '1' DAY(99999999999) FROM DUAL", 30088},
      {"SELECT 1 FROM DUAL WHERE (1, 2) IN (1, 2)", 920},
      {"SELECT 1 FROM DUAL WHERE (1, 2) IN ((1, 2), (1, 2, 3))", 913},
      {"SELECT COUNT(DISTINCT Z) FROM Q", 3001},
      {"SELECT Z FROM Q GROUP BY Z", 3001},
      {"SELECT MAX(Z) FROM Q", 3001},
      {"SELECT Z FROM Q UNION SELECT Z FROM Q", 3001},
      {"SELECT CAST('abcd' AS VARCHAR2(3)) FROM DUAL", 25137},
      {"SELECT CAST(123 AS NUMBER(2)) FROM DUAL", 1438},
      {"SELECT POWER(-8, .5) FROM DUAL", 1428},
      {"SELECT SQRT(-1) FROM DUAL", 1428},
      {"SELECT ' 1 2' + 1 FROM DUAL", 1722},
  };
  for (const row& r : rows) EXPECT_EQ(r.code, s.query_error(r.sql)) << r.sql << ": " << s.error_text();
}

TEST_F(query_test, the_servers_limits_not_sqlites) {
  std::string sum = "SELECT 1";
  for (int k = 1; k < 5000; ++k) sum += " + 1";
  EXPECT_EQ((rows_t{{"5000"}}), s.query(sum + " FROM DUAL"));
  std::string concat = "SELECT 'a'";
  for (int k = 1; k < 500; ++k) concat += " || 'a'";
  EXPECT_EQ((rows_t{{std::string(500, 'a')}}), s.query(concat + " FROM DUAL"));
  // What SQLite cannot take is refused with a server's error, never
  // ORA-00600.
  std::string nested = "1";
  for (int k = 0; k < 60; ++k) nested = "ABS(" + nested + ")";
  std::string unions = "SELECT 1 FROM DUAL";
  for (int k = 0; k < 600; ++k) unions += " UNION ALL SELECT 1 FROM DUAL";
  for (const std::string& sql : {"SELECT " + nested + " FROM DUAL", unions}) {
    EXPECT_EQ(OCI_ERROR, s.exec(sql));
    EXPECT_EQ(3001, s.error_code()) << s.error_text();
  }
  const std::size_t deep = 100000;
  EXPECT_EQ((rows_t{{"7"}}), s.query("SELECT " + std::string(deep, '(') + "7" + std::string(deep, ')') + " FROM DUAL"));
}

}  // namespace
