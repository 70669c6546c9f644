#include "oci_session.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

namespace {

// One column of the demo's ALL_TYPES row, fetched as SQLT_STR text.
class fetch_demo : public ::testing::Test {
 protected:
  void SetUp() override { s.connect("demo"); }

  std::string text(const std::string& column, int id) {
    auto rows = s.query("SELECT \"" + column + "\" FROM \"ALL_TYPES\" WHERE \"ID\" = " +
                        std::to_string(id));
    return rows.empty() ? "<no row>" : rows[0][0];
  }

  // Defines one column with the given type and buffer, fetches one row.
  sword fetch_one(const std::string& sql, void* value, sb4 size, ub2 dty, sb2* ind,
                  ub2* rlen = nullptr) {
    if (st) s.f.OCIHandleFree(st, OCI_HTYPE_STMT);
    st = s.statement();
    sword r = s.run(st, sql, 0);
    if (r != OCI_SUCCESS) return r;
    OCIDefine* d = nullptr;
    r = s.f.OCIDefineByPos(st, &d, s.err, 1, value, size, dty, ind, rlen, nullptr, OCI_DEFAULT);
    if (r != OCI_SUCCESS) return r;
    return s.f.OCIStmtFetch(st, s.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
  }

  void TearDown() override {
    if (st) s.f.OCIHandleFree(st, OCI_HTYPE_STMT);
  }

  oci_session s;
  OCIStmt* st = nullptr;
};

TEST_F(fetch_demo, numbers_as_the_server_writes_them) {
  struct row {
    const char* column;
    int id;
    const char* text;
  } rows[] = {
      {"C_NUMBER", 1, "1234.5678"},   {"C_NUMBER_P", 1, "123456789"},
      {"C_NUMBER_PS", 1, "12345678.9"}, {"C_FLOAT", 1, ".5"},
      {"C_FLOAT_B", 1, "-.5"},        {"C_INTEGER", 1, "42"},
      {"C_NUMBER", 3, "1234567890.12345"},
      {"C_NUMBER_P", 3, "-7"},        {"C_NUMBER_PS", 3, "-.25"},
      {"C_FLOAT", 3, ".00001"},       {"C_FLOAT_B", 3, "602000000000000000000000"},
      {"C_INTEGER", 3, "1234567890123456789"}, {"C_BDOUBLE", 1, "2.25E+000"},
  };
  for (const row& r : rows) EXPECT_EQ(r.text, text(r.column, r.id)) << r.column << r.id;
}

TEST_F(fetch_demo, character_data_in_utf16) {
  EXPECT_EQ("Grüße, Привет, 日本語", text("C_VARCHAR2", 3));
  EXPECT_EQ("ÅÄÖ ÆØ Łódź", text("C_NVARCHAR2", 3));
  EXPECT_EQ("<null>", text("C_VARCHAR", 3));  // an empty VARCHAR2 is NULL
  EXPECT_EQ("é" + std::string(8, ' '), text("C_CHAR", 3));  // CHAR(10) is blank-padded to 10 bytes
  EXPECT_EQ("中文" + std::string(8, ' '), text("C_NCHAR", 3));
  EXPECT_EQ("+02 10:30:00.000000", text("C_IDS", 1));
  EXPECT_EQ("-10-11", text("C_IYM", 3));
  EXPECT_EQ("<row id=\"1\"/>", text("C_XML", 1));
  EXPECT_EQ("AAAR3sAAEAAAACXAAA", text("C_ROWID", 1));
}

TEST_F(fetch_demo, long_and_long_raw_as_text) {
  std::string long_text = text("C_LONG", 3);
  EXPECT_EQ(5000u, long_text.size());
  EXPECT_EQ("long long ", long_text.substr(0, 10));
  auto rows = s.query("SELECT \"PAYLOAD\" FROM \"RAW_DATA\" ORDER BY \"ID\"");
  ASSERT_EQ(2u, rows.size());
  EXPECT_EQ("01FF", rows[0][0]);
  EXPECT_EQ("<null>", rows[1][0]);
}

TEST_F(fetch_demo, long_varchar_carries_its_length) {
  // Four bytes of length, then UTF-16 without a terminator.
  std::vector<char> buffer(4 + 2 * 6000);
  sb2 ind = 7;
  const std::string sql = "SELECT \"C_LONG\" FROM \"ALL_TYPES\" WHERE \"ID\" = 3";
  ASSERT_EQ(OCI_SUCCESS, fetch_one(sql, buffer.data(), static_cast<sb4>(buffer.size()), SQLT_LVC, &ind))
      << s.error_text();
  sb4 length = 0;
  std::memcpy(&length, buffer.data(), 4);
  EXPECT_EQ(0, ind);
  EXPECT_EQ(10000, length);
  std::u16string text(length / 2, u'\0');
  std::memcpy(text.data(), buffer.data() + 4, static_cast<std::size_t>(length));
  EXPECT_EQ("long long ", u8(text).substr(0, 10));
  // Cut to the room there is, the whole length told by the indicator.
  ASSERT_EQ(OCI_SUCCESS_WITH_INFO, fetch_one(sql, buffer.data(), 4 + 7, SQLT_LVC, &ind));
  std::memcpy(&length, buffer.data(), 4);
  EXPECT_EQ(6, length);
  EXPECT_EQ(10000, ind);
}

TEST_F(fetch_demo, raw_as_bytes_with_their_length) {
  unsigned char buffer[16] = {};
  sb2 ind = 7;
  ub2 len = 0;
  ASSERT_EQ(OCI_SUCCESS, fetch_one("SELECT \"C_RAW\" FROM \"ALL_TYPES\" WHERE \"ID\" = 3", buffer,
                                   16, SQLT_BIN, &ind, &len));
  EXPECT_EQ(0, ind);
  EXPECT_EQ(1, len);
  EXPECT_EQ(0xFF, buffer[0]);
}

TEST_F(fetch_demo, timestamps_through_descriptors) {
  struct row {
    const char* column;
    int id;
    int y, mo, d, h, mi, sec;
    ub4 fsec;
  } rows[] = {
      {"C_DATE", 1, 2010, 5, 31, 0, 0, 0, 0},
      {"C_DATE", 3, 1999, 12, 31, 23, 59, 59, 0},
      {"C_TIMESTAMP", 1, 2010, 5, 31, 13, 45, 7, 123456789},
      {"C_TIMESTAMP", 3, 2000, 1, 1, 0, 0, 0, 1},
      {"C_TIMESTAMP3", 1, 2010, 5, 31, 13, 45, 7, 123000000},
      {"C_TSTZ", 1, 2010, 5, 31, 13, 45, 7, 250000000},
      {"C_TSLTZ", 1, 2010, 5, 31, 13, 45, 7, 500000000},
  };
  for (const row& r : rows) {
    void* desc = nullptr;
    ASSERT_EQ(OCI_SUCCESS, s.f.OCIDescriptorAlloc(s.env, &desc, OCI_DTYPE_TIMESTAMP, 0, nullptr));
    sb2 ind = 0;
    ASSERT_EQ(OCI_SUCCESS, fetch_one(std::string("SELECT \"") + r.column +
                                         "\" FROM \"ALL_TYPES\" WHERE \"ID\" = " +
                                         std::to_string(r.id),
                                     &desc, 4, SQLT_TIMESTAMP, &ind))
        << r.column << ": " << s.error_text();
    sb2 y = 0;
    ub1 mo = 0, d = 0, h = 0, mi = 0, sec = 0;
    ub4 fsec = 0;
    auto* dt = static_cast<OCIDateTime*>(desc);
    ASSERT_EQ(OCI_SUCCESS, s.f.OCIDateTimeGetDate(s.env, s.err, dt, &y, &mo, &d));
    ASSERT_EQ(OCI_SUCCESS, s.f.OCIDateTimeGetTime(s.env, s.err, dt, &h, &mi, &sec, &fsec));
    EXPECT_EQ((std::vector<int>{r.y, r.mo, r.d, r.h, r.mi, r.sec}),
              (std::vector<int>{y, mo, d, h, mi, sec}))
        << r.column << r.id;
    EXPECT_EQ(r.fsec, fsec) << r.column << r.id;
    s.f.OCIDescriptorFree(desc, OCI_DTYPE_TIMESTAMP);
  }
}

TEST_F(fetch_demo, nulls_need_an_indicator) {
  std::vector<std::string> columns = {"C_NUMBER", "C_VARCHAR2", "C_DATE", "C_CLOB", "C_BLOB",
                                      "C_RAW", "C_LONG", "C_TSTZ"};
  for (const std::string& c : columns) EXPECT_EQ("<null>", text(c, 2)) << c;
  char16_t buffer[32];
  EXPECT_EQ(OCI_ERROR, fetch_one("SELECT \"C_NUMBER\" FROM \"ALL_TYPES\" WHERE \"ID\" = 2", buffer,
                                 sizeof buffer, SQLT_STR, nullptr));
  EXPECT_EQ(1405, s.error_code());
}

TEST_F(fetch_demo, integers_and_truncation) {
  sb4 value = 0;
  sb2 ind = 0;
  ASSERT_EQ(OCI_SUCCESS, fetch_one("SELECT COUNT(*) FROM \"EMP\"", &value, 4, SQLT_INT, &ind));
  EXPECT_EQ(11, value);
  EXPECT_EQ(OCI_ERROR, fetch_one("SELECT \"ENAME\" FROM \"EMP\"", &value, 4, SQLT_INT, &ind));
  EXPECT_EQ(1722, s.error_code());
  // Six UTF-16 units of room for "LINDQVIST": cut, told the full length.
  char16_t small[6] = {};
  ub2 len = 0;
  EXPECT_EQ(OCI_SUCCESS_WITH_INFO,
            fetch_one("SELECT \"ENAME\" FROM \"EMP\" WHERE \"EMPNO\" = 7103", small, sizeof small,
                      SQLT_STR, &ind, &len));
  EXPECT_EQ(24345, s.error_code());
  EXPECT_EQ(18, ind);
  EXPECT_EQ(10, len);
  EXPECT_EQ(u"LINDQ", std::u16string(small));
}

TEST_F(fetch_demo, array_fetch_reports_the_rows_of_the_last_call) {
  st = s.statement();
  ASSERT_EQ(OCI_SUCCESS, s.run(st, "SELECT \"EMPNO\" FROM \"EMP\" ORDER BY \"EMPNO\"", 0));
  sb4 values[5] = {};
  sb2 ind[5] = {};
  OCIDefine* d = nullptr;
  ASSERT_EQ(OCI_SUCCESS, s.f.OCIDefineByPos(st, &d, s.err, 1, values, sizeof(sb4), SQLT_INT, ind,
                                            nullptr, nullptr, OCI_DEFAULT));
  std::vector<sb4> all;
  sword r;
  ub4 fetched = 0;
  do {
    r = s.f.OCIStmtFetch(st, s.err, 5, OCI_FETCH_NEXT, OCI_DEFAULT);
    s.f.OCIAttrGet(st, OCI_HTYPE_STMT, &fetched, nullptr, OCI_ATTR_ROWS_FETCHED, s.err);
    all.insert(all.end(), values, values + fetched);
  } while (r == OCI_SUCCESS);
  EXPECT_EQ(OCI_NO_DATA, r);
  EXPECT_EQ(1u, fetched);
  ASSERT_EQ(11u, all.size());
  EXPECT_EQ(7101, all.front());
  EXPECT_EQ(7111, all.back());
  ub4 count = 0;
  s.f.OCIAttrGet(st, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_ROW_COUNT, s.err);
  EXPECT_EQ(11u, count);
}

TEST_F(fetch_demo, execute_with_one_iteration_fetches_the_first_row) {
  st = s.statement();
  ASSERT_EQ(OCI_SUCCESS, s.prepare(st, "SELECT COUNT(*) FROM (select * from emp where deptno = 30)"));
  sb4 value = 0;
  OCIDefine* d = nullptr;
  s.f.OCIDefineByPos(st, &d, s.err, 1, &value, 4, SQLT_INT, nullptr, nullptr, nullptr,
                     OCI_DEFAULT);
  EXPECT_EQ(OCI_SUCCESS, s.f.OCIStmtExecute(s.svc, st, s.err, 1, 0, nullptr, nullptr, OCI_DEFAULT));
  EXPECT_EQ(5, value);
  ASSERT_EQ(OCI_SUCCESS, s.prepare(st, "SELECT \"EMPNO\" FROM \"EMP\" WHERE 1 = 0"));
  s.f.OCIDefineByPos(st, &d, s.err, 1, &value, 4, SQLT_INT, nullptr, nullptr, nullptr,
                     OCI_DEFAULT);
  EXPECT_EQ(OCI_NO_DATA,
            s.f.OCIStmtExecute(s.svc, st, s.err, 1, 0, nullptr, nullptr, OCI_DEFAULT));
}

// A value longer than its buffer is cut as the server's client cuts it: the
// indicator tells the whole length (-2 past what an sb2 holds), the return
// length and code what the buffer got, the fetch succeeds with ORA-24345.
// A return length never wraps: no more is put than a ub2 length tells.
TEST(ocilite_fetch, a_cut_value_is_told_with_its_lengths) {
  temp_db db("CREATE TABLE \"L\" (\"V\" VARCHAR2(100)); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
             "FROM n WHERE i < 40000) INSERT INTO \"L\" SELECT group_concat(char(97 + i % 3), '') FROM n;");
  oci_session s;
  s.connect(db.path);
  const struct {
    ub2 dty;
    std::size_t bytes;
    ub2 rlen;  // what the buffer holds (LONG VARCHAR: in its own length)
    sb4 own_length;
  } cases[] = {
      {SQLT_CHR, 65536, 65534, -1},
      {SQLT_CHR, 100000, 65534, -1},
      {SQLT_CHR, 1000, 1000, -1},
      {SQLT_LVC, 4 + 70000, 65535, 70000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    OCIStmt* st = s.statement();
    ASSERT_EQ(OCI_SUCCESS, s.run(st, "SELECT \"V\" FROM \"L\"", 0));
    std::vector<char16_t> buffer(c.bytes / 2 + 1, u'#');
    sb2 ind = 0;
    ub2 rlen = 0, rcode = 0;
    OCIDefine* d = nullptr;
    s.f.OCIDefineByPos(st, &d, s.err, 1, buffer.data(), static_cast<sb4>(c.bytes), c.dty, &ind, &rlen, &rcode,
                       OCI_DEFAULT);
    EXPECT_EQ(OCI_SUCCESS_WITH_INFO, s.f.OCIStmtFetch(st, s.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT));
    EXPECT_EQ(24345, s.error_code());
    EXPECT_EQ(-2, ind);
    EXPECT_EQ(1406, rcode);
    EXPECT_EQ(c.rlen, rlen);
    const char16_t* text = buffer.data();
    std::size_t kept = rlen / 2;
    if (c.own_length >= 0) {
      sb4 length = 0;
      std::memcpy(&length, buffer.data(), 4);
      EXPECT_EQ(c.own_length, length);
      text += 2;
      kept = static_cast<std::size_t>(length) / 2;
    }
    for (std::size_t i = 0; i < kept; ++i)
      if (text[i] != static_cast<char16_t>(u'a' + (i + 1) % 3)) {
        ADD_FAILURE() << "unit " << i;
        break;
      }
    s.f.OCIHandleFree(st, OCI_HTYPE_STMT);
  }
}

TEST(ocilite_fetch, a_break_from_another_thread_ends_the_statement_under_way) {
  temp_db db("CREATE TABLE \"CUBE\" (\"ID\" NUMBER(6)); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
             "FROM n WHERE i < 2000) INSERT INTO \"CUBE\" SELECT i FROM n;");
  oci_session s;
  s.connect(db.path);
  OCIError* break_error = nullptr;
  s.f.OCIHandleAlloc(s.env, reinterpret_cast<void**>(&break_error), OCI_HTYPE_ERROR, 0, nullptr);
  // With nothing under way a break changes nothing.
  EXPECT_EQ(OCI_SUCCESS, s.f.OCIBreak(s.svc, break_error));
  EXPECT_EQ(OCI_SUCCESS, s.f.OCIBreak(s.srv, break_error));
  EXPECT_EQ(OCI_INVALID_HANDLE, s.f.OCIBreak(s.env, break_error));
  EXPECT_EQ((std::vector<std::vector<std::string>>{{"2000"}}), s.query("SELECT COUNT(*) FROM \"CUBE\""));

  // Minutes of counting, broken off as soon as it runs.
  std::atomic<bool> done{false};
  std::thread breaker([&] {
    while (!done) {
      s.f.OCIBreak(s.svc, break_error);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  OCIStmt* st = s.statement();
  sb4 count = 0;
  OCIDefine* d = nullptr;
  ASSERT_EQ(OCI_SUCCESS, s.prepare(st, "SELECT COUNT(*) FROM \"CUBE\" a, \"CUBE\" b, \"CUBE\" c"));
  s.f.OCIDefineByPos(st, &d, s.err, 1, &count, 4, SQLT_INT, nullptr, nullptr, nullptr, OCI_DEFAULT);
  auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(OCI_ERROR, s.f.OCIStmtExecute(s.svc, st, s.err, 1, 0, nullptr, nullptr, OCI_DEFAULT));
  auto took = std::chrono::steady_clock::now() - started;
  done = true;
  breaker.join();
  EXPECT_EQ(1013, s.error_code()) << s.error_text();
  EXPECT_LT(took, std::chrono::seconds(10));
  s.f.OCIHandleFree(st, OCI_HTYPE_STMT);
  // The session goes on.
  EXPECT_EQ((std::vector<std::vector<std::string>>{{"2000"}}), s.query("SELECT COUNT(*) FROM \"CUBE\""));
  s.f.OCIHandleFree(break_error, OCI_HTYPE_ERROR);
}

TEST(ocilite_fetch, an_infinite_binary_double_is_fetched) {
  temp_db db("CREATE TABLE \"D\" (\"ID\" NUMBER, \"V\" BINARY_DOUBLE); INSERT INTO \"D\" VALUES (1, 9e999);"
             "INSERT INTO \"D\" VALUES (2, -9e999); INSERT INTO \"D\" VALUES (3, 2.25);");
  oci_session s;
  s.connect(db.path);
  EXPECT_EQ((std::vector<std::vector<std::string>>{{"Inf"}, {"-Inf"}, {"2.25E+000"}}),
            s.query("SELECT \"V\" FROM \"D\" ORDER BY \"ID\""));
  OCIStmt* st = s.statement();
  ASSERT_EQ(OCI_SUCCESS, s.run(st, "SELECT \"V\" FROM \"D\" ORDER BY \"ID\"", 0));
  double v = 0;
  sb2 ind = 0;
  OCIDefine* d = nullptr;
  s.f.OCIDefineByPos(st, &d, s.err, 1, &v, 8, SQLT_BDOUBLE, &ind, nullptr, nullptr, OCI_DEFAULT);
  ASSERT_EQ(OCI_SUCCESS, s.f.OCIStmtFetch(st, s.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT)) << s.error_text();
  EXPECT_TRUE(std::isinf(v) && v > 0);
  s.f.OCIHandleFree(st, OCI_HTYPE_STMT);
}

// A BINARY_FLOAT holds a 32-bit float: whatever the file keeps, 0.1 is
// 0.1f and 16777217 is 16777216, in its text of float precision as in
// every binary fetch.
TEST(ocilite_fetch, a_binary_float_is_the_float_the_server_keeps) {
  temp_db db("CREATE TABLE \"F\" (\"ID\" NUMBER, \"V\" BINARY_FLOAT);"
             "INSERT INTO \"F\" VALUES (1, 0.1); INSERT INTO \"F\" VALUES (2, 1.5);"
             "INSERT INTO \"F\" VALUES (3, 16777217); INSERT INTO \"F\" VALUES (4, 3.4e38);"
             "INSERT INTO \"F\" VALUES (5, 'Nan'); INSERT INTO \"F\" VALUES (6, -9e999);"
             "INSERT INTO \"F\" VALUES (7, 3);");
  oci_session s;
  s.connect(db.path);
  const std::string sql = "SELECT \"V\" FROM \"F\" ORDER BY \"ID\"";
  EXPECT_EQ((std::vector<std::vector<std::string>>{{"1.00000001E-001"}, {"1.5E+000"}, {"1.6777216E+007"},
                                                    {"3.39999995E+038"}, {"Nan"}, {"-Inf"}, {"3.0E+000"}}),
            s.query(sql));
  const float floats[] = {0.1f, 1.5f, 16777216.0f, 3.4e38f};
  const struct {
    ub2 dty;
    sb4 size;
  } fetches[] = {{SQLT_FLT, 4}, {SQLT_FLT, 8}, {SQLT_BFLOAT, 4}, {SQLT_BDOUBLE, 8}};
  for (const auto& fetch : fetches) {
    OCIStmt* st = s.statement();
    ASSERT_EQ(OCI_SUCCESS, s.run(st, sql, 0));
    double d = 0;
    float f = 0;
    sb2 ind = 0;
    OCIDefine* def = nullptr;
    s.f.OCIDefineByPos(st, &def, s.err, 1, fetch.size == 4 ? static_cast<void*>(&f) : &d, fetch.size, fetch.dty,
                       &ind, nullptr, nullptr, OCI_DEFAULT);
    for (float expected : floats) {
      ASSERT_EQ(OCI_SUCCESS, s.f.OCIStmtFetch(st, s.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT)) << s.error_text();
      EXPECT_EQ(static_cast<double>(expected), fetch.size == 4 ? f : d) << fetch.dty << " " << fetch.size;
    }
    s.f.OCIHandleFree(st, OCI_HTYPE_STMT);
  }
}

}  // namespace
