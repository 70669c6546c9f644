// Tables from the data dictionary: lists, select lists, column types,
// sizes, defaults, keys, indexes and foreign keys.
#include "ORA/ora_exception.h"
#include "ORA/ora_table.h"
#include "TK/tk_exception.h"
#include "ora_test_support.h"

#include <algorithm>

namespace {

using ora_dictionary = ora_test;

ora_table& as_table(std::unique_ptr<udb_recordset>& rs) { return dynamic_cast<ora_table&>(*rs); }

TEST_F(ora_dictionary, tables_of_the_user_listed_once_per_call) {
  open("CREATE TABLE OCILITE_USERS (USERNAME TEXT, PASSWORD TEXT);"
       "INSERT INTO OCILITE_USERS VALUES ('SCOTT', 'tiger');");
  EXPECT_TRUE(db->get_tables().empty());
  open("CREATE TABLE \"EMP\" (\"ID\" NUMBER); CREATE TABLE \"Dept\" (\"ID\" NUMBER);"
       "CREATE VIEW \"V_EMP\" AS SELECT * FROM \"EMP\";",
       "t");
  std::vector<std::wstring> first = db->get_tables();
  std::sort(first.begin(), first.end());
  EXPECT_EQ(first, (std::vector<std::wstring>{L"Dept", L"EMP"}));
  EXPECT_EQ(db->get_tables().size(), 2u);
  EXPECT_TRUE(db->is_table_exist(L"Dept"));
  EXPECT_FALSE(db->is_table_exist(L"DEPT"));
  EXPECT_EQ(db->views.size(), 1u);
  EXPECT_NE(db->views[L"V_EMP"].find(L"SELECT"), std::wstring::npos);
  EXPECT_THROW(db->get_table(L"NOPE"), tk_mail_assertion);
}

TEST_F(ora_dictionary, unreadable_columns_are_left_out_of_the_select) {
  open("CREATE TABLE \"PLAIN\" (\"A\" NUMBER, \"B\" TIMESTAMP WITH TIME ZONE, \"C\" TIMESTAMP(9),"
       " \"D\" TIMESTAMP WITH LOCAL TIME ZONE);"
       "CREATE TABLE \"MIXED\" (\"A\" NUMBER, \"I\" INTERVAL_DAY_TO_SECOND, \"N\" NVARCHAR2(5));"
       "INSERT INTO \"MIXED\" VALUES (1, '+01 02:03:04.000000', 'x');");
  db->get_tables();
  auto plain = db->get_table(L"PLAIN");
  int count = 4;
  EXPECT_EQ(as_table(plain).get_safe_select_query(count), L"SELECT * FROM \"PLAIN\"");
  EXPECT_EQ(count, 4);
  EXPECT_EQ(plain->schema.size(), 4u);
  auto mixed = db->get_table(L"MIXED");
  count = 3;
  EXPECT_EQ(as_table(mixed).get_safe_select_query(count), L"SELECT \"A\",\"N\" FROM \"MIXED\"");
  EXPECT_EQ(count, 2);
  ASSERT_EQ(mixed->schema.size(), 2u);
  EXPECT_EQ(mixed->schema[1].name, L"N");
  // The column after the left-out one still gets its dictionary size.
  EXPECT_EQ(mixed->schema[1].size, 5);
}

TEST_F(ora_dictionary, number_columns_map_to_types_that_hold_them) {
  open("CREATE TABLE \"N\" (\"P2\" NUMBER(2), \"P4\" NUMBER(4), \"P9\" NUMBER(9), \"P10\" NUMBER(10),"
       " \"P18\" NUMBER(18), \"P19\" NUMBER(19), \"P38\" NUMBER(38), \"P10S2\" NUMBER(10,2),"
       " \"P3S3\" NUMBER(3,3), \"FREE\" NUMBER, \"FL\" FLOAT, \"NEG\" NUMBER(5,-2), \"BF\" BINARY_FLOAT,"
       " \"BD\" BINARY_DOUBLE, \"INT\" INTEGER);");
  db->get_tables();
  auto rs = db->get_table(L"N");
  struct expect {
    VARTYPE vt;
    std::uint32_t reserved;
  };
  const expect want[] = {
      {VT_I1, 0},      {VT_I2, 0},           {VT_I4, 0},       {VT_I8, 0},  {VT_I8, 0},
      {VT_DECIMAL, 19 << 8}, {VT_DECIMAL, 38 << 8}, {VT_DECIMAL, 10 << 8 | 2}, {VT_DECIMAL, 4 << 8 | 3},
      // NUMBER and FLOAT, without precision: decimals of up to 38 digits.
      {VT_DECIMAL, 0}, {VT_DECIMAL, 0},      {VT_I4, 0},       {VT_R4, 0},  {VT_R8, 0},
      {VT_DECIMAL, 38 << 8},
  };
  ASSERT_EQ(rs->schema.size(), std::size(want));
  for (std::size_t i = 0; i < std::size(want); ++i) {
    EXPECT_EQ(rs->schema[i].vartype, want[i].vt) << i;
    EXPECT_EQ(rs->schema[i].reserved, want[i].reserved) << i;
  }
}

TEST_F(ora_dictionary, sizes_and_defaults_from_the_dictionary) {
  open("CREATE TABLE \"D\" (\"NV\" NVARCHAR2(20) DEFAULT 'O''Brien' NOT NULL, \"NC\" NCHAR(10),"
       " \"V\" VARCHAR2(30) DEFAULT USER, \"DT\" DATE DEFAULT '2010-01-01', \"N\" NUMBER(4) DEFAULT 7,"
       " \"L\" LONG, \"ST\" TIMESTAMP);"
       "INSERT INTO \"D\" (\"NV\", \"NC\") VALUES ('abc', 'de');");
  db->get_tables();
  auto rs = db->get_table(L"D");
  udb_schema& s = rs->schema;
  ASSERT_EQ(s.size(), 7u);
  EXPECT_EQ(s[0].size, 20);
  EXPECT_TRUE(s[0].b_not_null);
  EXPECT_EQ(s[0].default_value.to_wstring(), L"O'Brien");
  EXPECT_EQ(s[1].size, 10);
  EXPECT_EQ(s[2].default_value.var.vt, VT_EMPTY);
  EXPECT_EQ(s[3].default_value.var.vt, VT_EMPTY);
  EXPECT_EQ(s[3].reserved, 1u);
  EXPECT_EQ(s[4].default_value.to_long(), 7);
  EXPECT_EQ(s[5].size, 0);
  EXPECT_EQ(s[5].type_text, L"LONG");
  EXPECT_EQ(s[6].vartype, VT_DATE);
  ASSERT_FALSE(rs->is_eof());
  udb_record* row = rs->get_item();
  ASSERT_NE(row, nullptr);
  EXPECT_EQ((*row)[0].size, 20);
  EXPECT_EQ((*row)[0].to_wstring(), L"abc");
  EXPECT_EQ((*row)[1].to_wstring(), L"de        ");
}

const char k_keys[] =
    "CREATE TABLE \"DEPT\" (\"DEPTNO\" NUMBER(2) NOT NULL, \"DNAME\" VARCHAR2(14), \"LOC\" VARCHAR2(13),"
    " CONSTRAINT \"PK_DEPT\" PRIMARY KEY (\"DEPTNO\"), CONSTRAINT \"UQ_DNAME\" UNIQUE (\"DNAME\"));"
    "CREATE INDEX \"DEPT_LOC_IX\" ON \"DEPT\" (\"LOC\", \"DNAME\");"
    "CREATE TABLE \"EMP\" (\"EMPNO\" NUMBER(4), \"DEPTNO\" NUMBER(2),"
    " CONSTRAINT \"PK_EMP\" PRIMARY KEY (\"EMPNO\"),"
    " CONSTRAINT \"FK_EMP_DEPT\" FOREIGN KEY (\"DEPTNO\") REFERENCES \"DEPT\" (\"DEPTNO\") ON DELETE CASCADE);"
    "CREATE TABLE \"SITE\" (\"A\" NUMBER, \"B\" NUMBER, CONSTRAINT \"PK_SITE\" PRIMARY KEY (\"A\", \"B\"));"
    "CREATE TABLE \"VISIT\" (\"ID\" NUMBER, \"SA\" NUMBER, \"SB\" NUMBER,"
    " CONSTRAINT \"FK_VISIT_SITE\" FOREIGN KEY (\"SA\", \"SB\") REFERENCES \"SITE\" (\"A\", \"B\"));"
    "CREATE TABLE \"O'HARE\" (\"ID\" NUMBER(4), \"NAME\" NVARCHAR2(8) DEFAULT 'gate''s',"
    " CONSTRAINT \"PK_O'HARE\" PRIMARY KEY (\"ID\"));"
    "CREATE TABLE \"GATE\" (\"ID\" NUMBER(4), \"HUB\" NUMBER(4),"
    " CONSTRAINT \"FK_GATE_HUB\" FOREIGN KEY (\"HUB\") REFERENCES \"O'HARE\" (\"ID\"));"
    "INSERT INTO \"O'HARE\" VALUES (1, 'north'); INSERT INTO \"O'HARE\" VALUES (2, NULL);";

TEST_F(ora_dictionary, keys_indexes_and_foreign_keys) {
  open(k_keys);
  db->get_tables();
  auto dept = db->get_table(L"DEPT");
  ASSERT_EQ(dept->indexes.size(), 3u);
  const udb_index& pk = dept->indexes[0];
  EXPECT_EQ(pk.name, L"PK_DEPT");
  EXPECT_TRUE(pk.primary);
  EXPECT_EQ(pk.fields, std::vector<std::wstring>{L"DEPTNO"});
  EXPECT_EQ(dept->key_index, 0);
  ASSERT_TRUE(dept->indexes.find2(L"UQ_DNAME"));
  EXPECT_TRUE(dept->indexes.get_index(L"UQ_DNAME").unique);
  ASSERT_TRUE(dept->indexes.find2(L"DEPT_LOC_IX"));
  EXPECT_FALSE(dept->indexes.get_index(L"DEPT_LOC_IX").unique);
  EXPECT_EQ(dept->indexes.get_index(L"DEPT_LOC_IX").fields, (std::vector<std::wstring>{L"LOC", L"DNAME"}));
  ASSERT_EQ(db->relationships.size(), 1u);
  const udb_relationship& fk = db->relationships[0];
  EXPECT_EQ(fk.name, L"FK_EMP_DEPT");
  EXPECT_EQ(fk.second_name, L"PK_DEPT");
  EXPECT_EQ(fk.table_a, L"EMP");
  EXPECT_EQ(fk.table_b, L"DEPT");
  EXPECT_EQ(fk.fields_a, std::vector<std::wstring>{L"DEPTNO"});
  EXPECT_EQ(fk.fields_b, std::vector<std::wstring>{L"DEPTNO"});
  EXPECT_EQ(fk.on_delete, L"ON DELETE CASCADE");

  auto site = db->get_table(L"SITE");
  ASSERT_EQ(db->relationships.size(), 2u);
  std::vector<std::wstring> fields = db->relationships[1].fields_a;
  std::sort(fields.begin(), fields.end());
  EXPECT_EQ(fields, (std::vector<std::wstring>{L"SA", L"SB"}));
  EXPECT_EQ(db->relationships[1].fields_b, (std::vector<std::wstring>{L"A", L"B"}));
}

TEST_F(ora_dictionary, mode_bits_and_conversion_mode_switch_keys_off) {
  open(k_keys);
  db->get_tables();
  auto no_fks = db->get_table(L"DEPT", ora_table::mode_no_fks);
  EXPECT_EQ(no_fks->indexes.size(), 3u);
  EXPECT_TRUE(db->relationships.empty());
  auto none = db->get_table(L"DEPT", ora_table::mode_no_fks | ora_table::mode_no_indexes);
  EXPECT_TRUE(none->indexes.empty());
  EXPECT_EQ(none->key_index, -1);
  engine->conversion_mode = true;
  auto converting = db->get_table(L"DEPT");
  EXPECT_TRUE(converting->indexes.empty());
  EXPECT_TRUE(db->relationships.empty());
}

TEST_F(ora_dictionary, a_table_name_with_a_single_quote) {
  open(k_keys);
  db->get_tables();
  auto rs = db->get_table(L"O'HARE");
  ASSERT_EQ(rs->schema.size(), 2u);
  EXPECT_EQ(rs->schema[1].size, 8);
  EXPECT_EQ(rs->schema[1].default_value.to_wstring(), L"gate's");
  ASSERT_EQ(rs->indexes.size(), 1u);
  EXPECT_EQ(rs->indexes[0].name, L"PK_O'HARE");
  ASSERT_EQ(db->relationships.size(), 1u);
  EXPECT_EQ(db->relationships[0].table_a, L"GATE");
  EXPECT_EQ(rs->record_count, 2);
  int rows = 0;
  for (; !rs->is_eof(); rs->next()) {
    ASSERT_NE(rs->get_item(), nullptr);
    ++rows;
  }
  EXPECT_EQ(rows, 2);
}

TEST_F(ora_dictionary, queries_are_tested_without_running) {
  open(k_keys);
  EXPECT_TRUE(db->test_query(L"SELECT \"DNAME\" FROM \"DEPT\""));
  try {
    db->test_query(L"SELECT DNAMEX FROM DEPT");
    ADD_FAILURE();
  } catch (const ora_exception& e) {
    EXPECT_EQ(e.code, 0x100000 | 904);
    EXPECT_EQ(std::string(e.what()).rfind("ORA-00904", 0), 0u);
  }
}

}  // namespace
