#include "oci_session.h"

namespace {

struct type_case {
  const char* declared;
  ub2 code;
  ub2 size;
  sb2 precision;
  sb1 scale;
  // The data dictionary's spelling and numbers ("" and -1 for NULL).
  const char* data_type;
  int data_length, data_precision, data_scale;
};

const type_case cases[] = {
    {"NUMBER", SQLT_NUM, 22, 0, -127, "NUMBER", 22, -1, -1},
    {"NUMBER(4)", SQLT_NUM, 22, 4, 0, "NUMBER", 22, 4, 0},
    {"NUMBER(7,2)", SQLT_NUM, 22, 7, 2, "NUMBER", 22, 7, 2},
    {"FLOAT", SQLT_NUM, 22, 126, -127, "FLOAT", 22, 126, -1},
    {"FLOAT(49)", SQLT_NUM, 22, 49, -127, "FLOAT", 22, 49, -1},
    {"INTEGER", SQLT_NUM, 22, 38, 0, "NUMBER", 22, -1, 0},
    {"VARCHAR2(10)", SQLT_CHR, 10, 0, 0, "VARCHAR2", 10, -1, -1},
    {"NVARCHAR2(10)", SQLT_CHR, 20, 0, 0, "NVARCHAR2", 20, -1, -1},
    {"VARCHAR(12)", SQLT_CHR, 12, 0, 0, "VARCHAR2", 12, -1, -1},
    {"CHAR(5)", SQLT_AFC, 5, 0, 0, "CHAR", 5, -1, -1},
    {"NCHAR(5)", SQLT_AFC, 10, 0, 0, "NCHAR", 10, -1, -1},
    {"DATE", SQLT_DAT, 7, 0, 0, "DATE", 7, -1, -1},
    {"TIMESTAMP", SQLT_TIMESTAMP, 11, 0, 6, "TIMESTAMP(6)", 11, -1, 6},
    {"TIMESTAMP(3)", SQLT_TIMESTAMP, 11, 0, 3, "TIMESTAMP(3)", 11, -1, 3},
    {"TIMESTAMP WITH TIME ZONE", SQLT_TIMESTAMP_TZ, 13, 0, 6, "TIMESTAMP(6) WITH TIME ZONE", 13,
     -1, 6},
    {"TIMESTAMP WITH LOCAL TIME ZONE", SQLT_TIMESTAMP_LTZ, 11, 0, 6,
     "TIMESTAMP(6) WITH LOCAL TIME ZONE", 11, -1, 6},
    {"INTERVAL_DAY_TO_SECOND", SQLT_INTERVAL_DS, 11, 2, 6, "INTERVAL DAY(2) TO SECOND(6)", 11, 2,
     6},
    {"INTERVAL_YEAR_TO_MONTH", SQLT_INTERVAL_YM, 5, 2, 0, "INTERVAL YEAR(2) TO MONTH", 5, 2, 0},
    {"CLOB", SQLT_CLOB, 4000, 0, 0, "CLOB", 4000, -1, -1},
    {"NCLOB", SQLT_CLOB, 4000, 0, 0, "NCLOB", 4000, -1, -1},
    {"BLOB", SQLT_BLOB, 4000, 0, 0, "BLOB", 4000, -1, -1},
    {"BFILE", SQLT_BFILEE, 530, 0, 0, "BFILE", 530, -1, -1},
    {"RAW(16)", SQLT_BIN, 16, 0, 0, "RAW", 16, -1, -1},
    {"LONG", SQLT_LNG, 0, 0, 0, "LONG", 0, -1, -1},
    {"LONG RAW", SQLT_LBI, 0, 0, 0, "LONG RAW", 0, -1, -1},
    {"ROWID", SQLT_RDD, 10, 0, 0, "ROWID", 10, -1, -1},
    {"UROWID", SQLT_RDD, 4000, 0, 0, "UROWID", 4000, -1, -1},
    {"BINARY_FLOAT", SQLT_IBFLOAT, 4, 0, 0, "BINARY_FLOAT", 4, -1, -1},
    {"BINARY_DOUBLE", SQLT_IBDOUBLE, 8, 0, 0, "BINARY_DOUBLE", 8, -1, -1},
    {"XMLTYPE", SQLT_NTY, 2000, 0, 0, "XMLTYPE", 2000, -1, -1},
};

struct described {
  ub2 code = 0;
  ub4 size = 0;  // read into a zeroed 32-bit field, as the engine reads it
  ub4 precision = 0;
  sb1 scale = 0;
  ub1 is_null = 9;
  std::string name;
};

std::vector<described> describe(oci_session& s, const std::string& sql) {
  std::vector<described> out;
  OCIStmt* st = s.statement();
  EXPECT_EQ(OCI_SUCCESS, s.run(st, sql, 0)) << s.error_text();
  ub4 count = 0;
  s.f.OCIAttrGet(st, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_PARAM_COUNT, s.err);
  for (ub4 p = 1; p <= count; ++p) {
    void* param = nullptr;
    EXPECT_EQ(OCI_SUCCESS, s.f.OCIParamGet(st, OCI_HTYPE_STMT, s.err, &param, p));
    described d;
    s.f.OCIAttrGet(param, OCI_DTYPE_PARAM, &d.code, nullptr, OCI_ATTR_DATA_TYPE, s.err);
    s.f.OCIAttrGet(param, OCI_DTYPE_PARAM, &d.size, nullptr, OCI_ATTR_DATA_SIZE, s.err);
    s.f.OCIAttrGet(param, OCI_DTYPE_PARAM, &d.precision, nullptr, OCI_ATTR_PRECISION, s.err);
    s.f.OCIAttrGet(param, OCI_DTYPE_PARAM, &d.scale, nullptr, OCI_ATTR_SCALE, s.err);
    s.f.OCIAttrGet(param, OCI_DTYPE_PARAM, &d.is_null, nullptr, OCI_ATTR_IS_NULL, s.err);
    OraText* name = nullptr;
    ub4 bytes = 0;
    s.f.OCIAttrGet(param, OCI_DTYPE_PARAM, &name, &bytes, OCI_ATTR_NAME, s.err);
    d.name = u8(std::u16string(reinterpret_cast<char16_t*>(name), bytes / 2));
    out.push_back(d);
  }
  EXPECT_EQ(OCI_ERROR, s.f.OCIParamGet(st, OCI_HTYPE_STMT, s.err, nullptr, count + 1));
  s.f.OCIHandleFree(st, OCI_HTYPE_STMT);
  return out;
}

std::string table_of_cases() {
  std::string sql = "CREATE TABLE \"TYPES\" (\"ID\" NUMBER(10) NOT NULL";
  int n = 0;
  for (const type_case& c : cases) sql += ", \"C" + std::to_string(++n) + "\" " + c.declared;
  return sql + ", CONSTRAINT \"PK_TYPES\" PRIMARY KEY (\"ID\"));";
}

TEST(ocilite_describe, every_declared_type_as_the_server_describes_it) {
  temp_db db(table_of_cases());
  oci_session s;
  s.connect(db.path);
  std::vector<described> d = describe(s, "SELECT * FROM \"TYPES\"");
  ASSERT_EQ(std::size(cases) + 1, d.size());
  EXPECT_EQ("ID", d[0].name);
  EXPECT_EQ(0, d[0].is_null);
  for (std::size_t k = 0; k < std::size(cases); ++k) {
    const type_case& c = cases[k];
    const described& got = d[k + 1];
    EXPECT_EQ("C" + std::to_string(k + 1), got.name);
    EXPECT_EQ(c.code, got.code) << c.declared;
    EXPECT_EQ(c.size, got.size) << c.declared;
    EXPECT_EQ(c.precision, static_cast<sb2>(got.precision)) << c.declared;
    EXPECT_EQ(c.scale, got.scale) << c.declared;
    EXPECT_EQ(1, got.is_null) << c.declared;
  }
}

TEST(ocilite_describe, the_dictionary_spells_every_type_as_the_server_does) {
  temp_db db(table_of_cases());
  oci_session s;
  s.connect(db.path);
  auto rows = s.query(
      "SELECT COLUMN_NAME, DATA_TYPE, DATA_LENGTH, DATA_PRECISION, DATA_SCALE, NULLABLE, "
      "COLUMN_ID FROM USER_TAB_COLUMNS WHERE TABLE_NAME = 'TYPES'");
  ASSERT_EQ(std::size(cases) + 1, rows.size());
  EXPECT_EQ((std::vector<std::string>{"ID", "NUMBER", "22", "10", "0", "N", "1"}), rows[0]);
  auto text = [](int v) { return v < 0 ? std::string("<null>") : std::to_string(v); };
  for (std::size_t k = 0; k < std::size(cases); ++k) {
    const type_case& c = cases[k];
    EXPECT_EQ((std::vector<std::string>{"C" + std::to_string(k + 1), c.data_type,
                                        text(c.data_length), text(c.data_precision),
                                        text(c.data_scale), "Y", std::to_string(k + 2)}),
              rows[k + 1])
        << c.declared;
  }
}

TEST(ocilite_describe, expressions_are_typed_as_the_server_types_them) {
  // By position, from the types alone: a text literal is a CHAR of its
  // length, a concatenation a VARCHAR2 of the lengths summed, a column its
  // own type; two columns under one name keep their own types.
  temp_db db("CREATE TABLE \"T\" (\"A\" VARCHAR2(20), \"N\" NUMBER(7,2)); INSERT INTO \"T\" VALUES ('hello', 1.5);");
  oci_session s;
  s.connect(db.path);
  auto d = describe(s, "SELECT COUNT(*) FROM t");
  auto e = describe(s, "SELECT 'abc', 1.5, NULL, a || '!', n, n + 1, 1/3 AS x, 'abc' AS x FROM t");
  d.insert(d.end(), e.begin(), e.end());
  struct expected {
    const char* name;
    ub2 code;
    ub4 size;
    sb2 precision;
    sb1 scale;
  } rows[] = {
      {"COUNT(*)", SQLT_NUM, 22, 0, -127}, {"'abc'", SQLT_AFC, 3, 0, 0}, {"1.5", SQLT_NUM, 22, 0, -127},
      {"NULL", SQLT_CHR, 0, 0, 0},         {"A||'!'", SQLT_CHR, 21, 0, 0}, {"N", SQLT_NUM, 22, 7, 2},
      {"N+1", SQLT_NUM, 22, 0, -127},      {"X", SQLT_NUM, 22, 0, -127},   {"X", SQLT_AFC, 3, 0, 0},
  };
  ASSERT_EQ(std::size(rows), d.size());
  for (std::size_t k = 0; k < d.size(); ++k) {
    EXPECT_EQ(rows[k].name, d[k].name) << k;
    EXPECT_EQ(rows[k].code, d[k].code) << rows[k].name;
    EXPECT_EQ(rows[k].size, d[k].size) << rows[k].name;
    EXPECT_EQ(rows[k].precision, static_cast<sb2>(d[k].precision)) << rows[k].name;
    EXPECT_EQ(rows[k].scale, d[k].scale) << rows[k].name;
    EXPECT_EQ(1, d[k].is_null) << rows[k].name;
  }
  EXPECT_EQ((std::vector<std::vector<std::string>>{{"." + std::string(40, '3'), "abc"}}),
            s.query("SELECT 1/3 AS x, 'abc' AS x FROM t"));
}

TEST(ocilite_describe, arithmetic_is_a_number_named_as_written) {
  // An exact value is held as the BLOB of its text: still a NUMBER.
  temp_db db("CREATE TABLE \"T\" (\"N\" NUMBER); INSERT INTO \"T\" VALUES (CAST('1234567890123456789012345' AS BLOB));");
  oci_session s;
  s.connect(db.path);
  auto d = describe(s, "SELECT 1/3, n * 2 x, (\"N\" - 1) AS \"Y\", -n, n FROM t");
  ASSERT_EQ(5u, d.size());
  const char* const names[] = {"1/3", "X", "Y", "-N", "N"};
  for (std::size_t i = 0; i < d.size(); ++i) {
    EXPECT_EQ(names[i], d[i].name);
    EXPECT_EQ(SQLT_NUM, d[i].code) << names[i];
  }
  EXPECT_EQ(-127, d[0].scale);
}

}  // namespace
