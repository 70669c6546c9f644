#include "oci_session.h"

namespace {

using rows_t = std::vector<std::vector<std::string>>;

TEST(ocilite_sql, errors_carry_the_server_numbers) {
  temp_db db("CREATE TABLE \"EMP\" (\"EMPNO\" NUMBER(4), \"ENAME\" VARCHAR2(10));");
  oci_session s;
  s.connect(db.path);
  struct row {
    const char* sql;
    sb4 code;
  } rows[] = {
      {"select * from nosuch", 942},
      {"select nosuch from emp", 904},
      {"select e.nosuch from emp e", 904},
      {"select nosuchfunction(empno) from emp", 904},
      {"selec * from emp", 900},
      {"select * from emp where", 921},
      {"select * from emp emp2 emp3", 933},
      {"select * from emp;", 911},
      {"select 'abc from emp", 1756},
  };
  for (const row& r : rows) {
    OCIStmt* st = s.statement();
    EXPECT_EQ(OCI_ERROR, s.run(st, r.sql, 0)) << r.sql;
    EXPECT_EQ(r.code, s.error_code()) << r.sql;
    char head[16];
    std::snprintf(head, sizeof head, "ORA-%05d: ", r.code);
    EXPECT_EQ(0u, s.error_text().find(head)) << r.sql << ": " << s.error_text();
    s.f.OCIHandleFree(st, OCI_HTYPE_STMT);
  }
  OCIStmt* st = s.statement();
  s.run(st, "select nosuch from emp", 0);
  EXPECT_EQ("ORA-00904: \"NOSUCH\": invalid identifier\n", s.error_text());
  s.f.OCIHandleFree(st, OCI_HTYPE_STMT);
}

TEST(ocilite_sql, unquoted_names_fold_to_upper_case_and_schema_prefixes_drop) {
  temp_db db(
      "CREATE TABLE \"EMP\" (\"EMPNO\" NUMBER(4), \"ENAME\" VARCHAR2(10));"
      "INSERT INTO \"EMP\" VALUES (1, 'A');");
  oci_session s;
  s.connect(db.path);
  OCIStmt* st = s.statement();
  ASSERT_EQ(OCI_SUCCESS, s.run(st, "select empno, ename as Name, ename \"Mixed\" from scott.emp", 0))
      << s.error_text();
  std::vector<std::string> names;
  for (ub4 p = 1; p <= 3; ++p) {
    void* param = nullptr;
    ASSERT_EQ(OCI_SUCCESS, s.f.OCIParamGet(st, OCI_HTYPE_STMT, s.err, &param, p));
    OraText* name = nullptr;
    ub4 bytes = 0;
    s.f.OCIAttrGet(param, OCI_DTYPE_PARAM, &name, &bytes, OCI_ATTR_NAME, s.err);
    names.push_back(u8(std::u16string(reinterpret_cast<char16_t*>(name), bytes / 2)));
  }
  EXPECT_EQ((std::vector<std::string>{"EMPNO", "NAME", "Mixed"}), names);
  s.f.OCIHandleFree(st, OCI_HTYPE_STMT);
  EXPECT_EQ(1u, s.query("select * from SYS.DUAL").size());
  // ROWID is the row's number as text, usable in a condition.
  st = s.statement();
  ASSERT_EQ(OCI_SUCCESS, s.run(st, "select rowid from emp", 0));
  void* param = nullptr;
  ub2 type = 0;
  OraText* name = nullptr;
  ub4 bytes = 0;
  s.f.OCIParamGet(st, OCI_HTYPE_STMT, s.err, &param, 1);
  s.f.OCIAttrGet(param, OCI_DTYPE_PARAM, &type, nullptr, OCI_ATTR_DATA_TYPE, s.err);
  s.f.OCIAttrGet(param, OCI_DTYPE_PARAM, &name, &bytes, OCI_ATTR_NAME, s.err);
  EXPECT_EQ(SQLT_RDD, type);
  EXPECT_EQ(u"ROWID", std::u16string(reinterpret_cast<char16_t*>(name), bytes / 2));
  s.f.OCIHandleFree(st, OCI_HTYPE_STMT);
  std::string rowid = s.query("select rowid from emp").at(0).at(0);
  EXPECT_EQ("A", s.query("select ename from emp where rowid = '" + rowid + "'").at(0).at(0));
}

TEST(ocilite_sql, quoted_names_match_exactly_and_unquoted_ones_fold) {
  temp_db db(
      "CREATE TABLE \"T\" (\"ID\" NUMBER(4), \"Name\" VARCHAR2(10));"
      "CREATE TABLE \"Mixed\" (\"A\" NUMBER);"
      "INSERT INTO \"T\" VALUES (1, 'x');");
  oci_session s;
  s.connect(db.path);
  expect_errors(s, {
      {"select \"id\" from \"T\"", 904},
      {"select \"ID\" from \"t\"", 942},
      {"select * from \"MIXED\"", 942},
      {"select * from T where \"NAME\" = 'x'", 904},
      {"insert into \"T\" (\"Id\") values (2)", 904},
      {"update \"T\" set \"name\" = 'y'", 904},
      {"delete from \"t\"", 942},
      {"create view \"V\" as select \"id\" from \"T\"", 904},
      {"create index \"IX\" on \"T\" (\"name\")", 904},
      {"create index \"IX\" on \"t\" (\"ID\")", 942},
      {"alter table \"T\" add constraint \"PK\" primary key (\"id\")", 904},
      {"alter table \"t\" add constraint \"PK\" primary key (\"ID\")", 942},
      {"alter table \"T\" modify \"name\" null", 904},
      {"drop table \"mixed\"", 942},
  });
  s.exec("select \"id\" from \"T\"");
  EXPECT_EQ("ORA-00904: \"id\": invalid identifier\n", s.error_text());
  // The exact spellings, unquoted names folded to upper case (and found in
  // any case), and quoted aliases of any case.
  EXPECT_EQ((rows_t{{"1", "x"}}), s.query("select id, name from t"));
  EXPECT_EQ((rows_t{{"1", "x"}}),
            s.query("select \"t\".\"ID\" \"id\", \"t\".\"Name\" as \"name\" from \"T\" \"t\" order by \"id\""));
  EXPECT_EQ((rows_t{{"1"}}), s.query("with \"q\" as (select \"ID\" from \"T\") select * from \"q\""));
  ASSERT_EQ(OCI_SUCCESS, s.exec("create index \"IX\" on \"T\" (\"Name\")")) << s.error_text();
  ASSERT_EQ(OCI_SUCCESS, s.exec("alter table t add constraint pk primary key (id)")) << s.error_text();
  ASSERT_EQ(OCI_SUCCESS, s.exec("drop table \"Mixed\"")) << s.error_text();
}

TEST(ocilite_sql, a_prepared_statement_reports_its_type_as_a_server_does) {
  temp_db db("CREATE TABLE \"T\" (\"A\" NUMBER(4)); INSERT INTO \"T\" VALUES (1);");
  oci_session s;
  s.connect(db.path);
  struct row {
    const char* sql;
    ub2 type;
  } rows[] = {
      {"SELECT A FROM T", OCI_STMT_SELECT},
      {"with x as (select a from t) select * from x", OCI_STMT_SELECT},
      {"  (SELECT A FROM T)", OCI_STMT_SELECT},
      {"/* first */ -- then\nSELECT A FROM T", OCI_STMT_SELECT},
      {"UPDATE T SET A = 2", OCI_STMT_UPDATE},
      {"DELETE FROM T", OCI_STMT_DELETE},
      {"INSERT INTO T VALUES (3)", OCI_STMT_INSERT},
      {"CREATE TABLE PWNED (A NUMBER)", OCI_STMT_CREATE},
      {"DROP TABLE T", OCI_STMT_DROP},
      {"ALTER TABLE T ADD (B NUMBER)", OCI_STMT_ALTER},
      {"BEGIN NULL; END;", OCI_STMT_BEGIN},
      {"DECLARE X NUMBER; BEGIN NULL; END;", OCI_STMT_DECLARE},
      {"CALL P()", OCI_STMT_CALL},
      {"MERGE INTO T USING T S ON (1 = 1) WHEN MATCHED THEN UPDATE SET A = 1", OCI_STMT_MERGE},
      {"COMMIT", OCI_STMT_UNKNOWN},
      {"nonsense", OCI_STMT_UNKNOWN},
  };
  for (const row& r : rows) {
    OCIStmt* st = s.statement();
    ASSERT_EQ(OCI_SUCCESS, s.prepare(st, r.sql)) << r.sql;
    ub2 type = 99;
    EXPECT_EQ(OCI_SUCCESS, s.f.OCIAttrGet(st, OCI_HTYPE_STMT, &type, nullptr, OCI_ATTR_STMT_TYPE, s.err));
    EXPECT_EQ(r.type, type) << r.sql;
    s.f.OCIHandleFree(st, OCI_HTYPE_STMT);
  }
  // Prepared, nothing ran.
  EXPECT_EQ((rows_t{{"1"}}), s.query("SELECT A FROM T"));
}

TEST(ocilite_sql, a_with_clause_leads_only_a_select) {
  temp_db db("CREATE TABLE \"T\" (\"A\" NUMBER(4)); INSERT INTO \"T\" VALUES (1);");
  oci_session s;
  s.connect(db.path);
  // The client names the type by the first word; the server refuses the
  // statement when it parses it, before any row changes.
  const char* refused[] = {
      "WITH X AS (SELECT 1 FROM T) DELETE FROM T",
      "with x as (select a from t), y (b) as (select (a) from x) insert into t values (2)",
      "WITH X AS (SELECT ')' FROM T /* ) */) UPDATE T SET A = 3",
      "WITH X AS (SELECT 1 FROM T) -- select\nDELETE FROM T",
      "WITH X AS (SELECT 1 FROM T) (DELETE FROM T)",
      "WITH X (N) AS (SELECT 1 FROM DUAL) DELETE FROM T",
  };
  for (const char* sql : refused) {
    for (ub4 mode : {ub4(OCI_DESCRIBE_ONLY), ub4(OCI_DEFAULT)}) {
      OCIStmt* st = s.statement();
      ASSERT_EQ(OCI_SUCCESS, s.prepare(st, sql)) << sql;
      ub2 type = 0;
      s.f.OCIAttrGet(st, OCI_HTYPE_STMT, &type, nullptr, OCI_ATTR_STMT_TYPE, s.err);
      EXPECT_EQ(OCI_STMT_SELECT, type) << sql;
      EXPECT_EQ(OCI_ERROR, s.f.OCIStmtExecute(s.svc, st, s.err, 1, 0, nullptr, nullptr, mode)) << sql;
      EXPECT_EQ(928, s.error_code()) << sql;
      EXPECT_EQ(0u, s.error_text().find("ORA-00928: missing SELECT keyword")) << s.error_text();
      s.f.OCIHandleFree(st, OCI_HTYPE_STMT);
    }
  }
  EXPECT_EQ((rows_t{{"1"}}), s.query("SELECT A FROM T"));

  struct row {
    const char* sql;
    rows_t rows;
  } kept[] = {
      {"WITH X AS (SELECT A FROM T) SELECT A FROM X", {{"1"}}},
      {"with x (b) as (select (a + (1)) from t), \"Y\" as (select 'delete)' c from x) select c from \"Y\"",
       {{"delete)"}}},
      {"WITH X AS (SELECT A FROM T) /* delete */ SELECT A * 2 FROM X", {{"2"}}},
      {"WITH X AS (SELECT A FROM T) SELECT A FROM X UNION ALL SELECT 5 FROM DUAL", {{"1"}, {"5"}}},
      {"WITH X(N) AS (SELECT 1 FROM DUAL UNION ALL SELECT N + 1 FROM X WHERE N < 2) SELECT N FROM X",
       {{"1"}, {"2"}}},
  };
  for (const row& r : kept) EXPECT_EQ(r.rows, s.query(r.sql)) << r.sql << ": " << s.error_text();
}

// N holds 30 digits, kept as the BLOB of its text: a double would round it.
const char* const k_numbers_script =
    "CREATE TABLE \"T\" (\"ID\" NUMBER(4), \"N\" NUMBER, \"S\" VARCHAR2(10));"
    "INSERT INTO \"T\" VALUES (1, CAST('123456789012345678901234567890' AS BLOB), '12');"
    "INSERT INTO \"T\" VALUES (2, 0.1, 'abc');"
    "INSERT INTO \"T\" VALUES (3, NULL, NULL);";

TEST(ocilite_sql, arithmetic_is_decimal_to_40_digits) {
  temp_db db(k_numbers_script);
  oci_session s;
  s.connect(db.path);
  const std::string n2 = "15241578753238836750495351562536198787500000000000000000000";
  struct row {
    const char* expression;
    std::string text;
  } rows[] = {
      {"1/3", "." + std::string(40, '3')},
      {"2/3", "." + std::string(39, '6') + "7"},
      {"7/2", "3.5"},
      {"6/2", "3"},
      {"-7/2", "-3.5"},
      {"1/-8", "-.125"},
      {"1 + 2 * 3", "7"},
      {"(1 + 2) * 3", "9"},
      {"10 - 4 - 3", "3"},
      {"24 / 4 / 2", "3"},
      {"2 * -3", "-6"},
      {"-(2 + 1) * 3", "-9"},
      {"0.1 + 0.2", ".3"},
      {"n + 1", "123456789012345678901234567891"},
      {"n - n", "0"},
      {"n / n", "1"},
      {"-n", "-123456789012345678901234567890"},
      {"n * n", n2},
      {"(n + 0.5) / 2", "61728394506172839450617283945.25"},
      {"12345678901234567890123456789 * 10", "123456789012345678901234567890"},
      {"-12345678901234567890123456789 * 10", "-123456789012345678901234567890"},
      {"1E-129 / 100", "0"},
      {"s + 1", "13"},
      {"null + 1", "<null>"},
  };
  for (const row& r : rows) {
    auto result = s.query(std::string("select ") + r.expression + " from t where id = 1");
    ASSERT_EQ(1u, result.size()) << r.expression;
    EXPECT_EQ(r.text, result[0].at(0)) << r.expression;
  }
  // Compared and sorted by value.
  EXPECT_EQ((rows_t{{"2"}, {"1"}}), s.query("select id from t where n / 3 < 1E+30 order by n * 2"));
  EXPECT_EQ((rows_t{{"1"}}), s.query("select id from t where n / 3 > 10"));
  // Stored as it is into a NUMBER column.
  ASSERT_EQ(OCI_SUCCESS, s.exec("update t set n = n * 10 + 1 where id = 1")) << s.error_text();
  ASSERT_EQ(OCI_SUCCESS, s.exec("insert into t (id, n) values (4, 2/3)")) << s.error_text();
  EXPECT_EQ((rows_t{{"1234567890123456789012345678901"}, {"." + std::string(39, '6') + "7"}}),
            s.query("select n from t where id in (1, 4) order by id"));
}

TEST(ocilite_sql, long_chains_of_arithmetic_run_left_to_right) {
  temp_db db(k_numbers_script);
  oci_session s;
  s.connect(db.path);
  // `first`, then `op operand` repeated.
  auto chain = [](const std::string& first, const std::string& step, int times) {
    std::string out = first;
    for (int k = 0; k < times; ++k) out += step;
    return out;
  };
  struct row {
    std::string expression;
    std::string text;
  } rows[] = {
      {chain("id", " + id", 39), "40"},  // a sum of many columns
      {chain("1", " + 1", 299), "300"},
      {chain("n", " - 1 + 1", 100), "123456789012345678901234567890"},
      {chain("2", " * 2", 99), "1267650600228229401496703205376"},
      {chain("1 / 3", " * 3 / 3", 60) + " * 3", "." + std::string(40, '9')},
  };
  for (const row& r : rows) {
    auto result = s.query("select " + r.expression + " from t where id = 1");
    ASSERT_EQ(1u, result.size()) << r.expression;
    EXPECT_EQ(r.text, result[0].at(0)) << r.expression;
  }
  EXPECT_EQ((rows_t{{"1"}}), s.query("select id from t where " + chain("id", " + id", 39) + " = 40"));
  // A run of signs of any length, read in one pass: two minus signs cancel.
  EXPECT_EQ((rows_t{{"-1"}}), s.query("select " + chain("", "- ", 50001) + "1 from t where id = 1"));
}

TEST(ocilite_sql, arithmetic_errors_are_the_servers) {
  temp_db db(k_numbers_script);
  oci_session s;
  s.connect(db.path);
  struct row {
    const char* expression;
    sb4 code;
  } rows[] = {
      {"1/0", 1476},
      {"n / (id - 2)", 1476},
      {"s * 2", 1722},  // 'abc' is no number
      {"1E+125 * 100", 1426},
  };
  for (const row& r : rows) {
    EXPECT_EQ(r.code, s.query_error(std::string("select ") + r.expression + " from t where id = 2"))
        << r.expression << ": " << s.error_text();
  }
  s.query_error("select 1/0 from t");
  EXPECT_EQ("ORA-01476: divisor is equal to zero\n", s.error_text());
}

TEST(ocilite_sql, describe_only_parses_without_running) {
  temp_db db("CREATE TABLE \"T\" (\"A\" NUMBER(4)); INSERT INTO \"T\" VALUES (1);");
  oci_session s;
  s.connect(db.path);
  EXPECT_EQ(OCI_SUCCESS, s.exec("DELETE FROM \"T\"", OCI_DESCRIBE_ONLY));
  EXPECT_EQ("1", s.query("SELECT COUNT(*) FROM \"T\"").at(0).at(0));
  EXPECT_EQ(OCI_ERROR, s.exec("SELECT \"B\" FROM \"T\"", OCI_DESCRIBE_ONLY));
  EXPECT_EQ(904, s.error_code());
  OCIStmt* st = s.statement();
  ASSERT_EQ(OCI_SUCCESS, s.run(st, "SELECT \"A\" FROM \"T\"", 0, OCI_DESCRIBE_ONLY));
  ub4 count = 0;
  s.f.OCIAttrGet(st, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_PARAM_COUNT, s.err);
  EXPECT_EQ(1u, count);
  EXPECT_EQ(OCI_ERROR, s.f.OCIStmtFetch(st, s.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT));
  EXPECT_EQ(1002, s.error_code());
  s.f.OCIHandleFree(st, OCI_HTYPE_STMT);
}

}  // namespace
