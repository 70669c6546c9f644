#include "oci_session.h"

namespace {

using rows = std::vector<std::vector<std::string>>;

// The dictionary queries of the engine, word for word, against the demo.
class dictionary_demo : public ::testing::Test {
 protected:
  void SetUp() override { s.connect("demo"); }
  oci_session s;
};

TEST_F(dictionary_demo, tables_views_and_the_version) {
  EXPECT_EQ((rows{{"DEPT", "<null>"}, {"EMP", "<null>"}, {"ALL_TYPES", "<null>"},
                  {"RAW_DATA", "<null>"}}),
            s.query("select TABLE_NAME, IOT_TYPE from user_tables where TEMPORARY='N' and "
                    "NESTED='NO' and IOT_TYPE IS NULL OR IOT_TYPE='IOT'"));
  EXPECT_EQ(4u, s.query("select TABLE_NAME from user_tables").size());
  rows views = s.query("select VIEW_NAME, TEXT from SYS.USER_VIEWS");
  ASSERT_EQ(1u, views.size());
  EXPECT_EQ("EMP_DEPT", views[0][0]);
  EXPECT_EQ(0u, views[0][1].find("SELECT e.\"EMPNO\", e.\"ENAME\""));
  rows version = s.query("select * from v$version");
  ASSERT_FALSE(version.empty());
  EXPECT_NE(std::string::npos, version[0][0].find(" 11.2.0.1.0 "));
  EXPECT_EQ((rows{{"11"}}), s.query("SELECT COUNT(*) FROM \"EMP\""));
  EXPECT_EQ((rows{{"5"}}),
            s.query("SELECT COUNT(*) FROM (SELECT * FROM \"EMP\" WHERE \"DEPTNO\" = 30)"));
  EXPECT_EQ((rows{{"X"}}), s.query("SELECT * FROM DUAL"));
}

TEST_F(dictionary_demo, columns_of_a_table) {
  EXPECT_EQ((rows{{"8"}}),
            s.query("SELECT COUNT(*) FROM USER_TAB_COLUMNS WHERE table_name = 'EMP'"));
  rows columns =
      s.query("select COLUMN_NAME, DATA_DEFAULT, DATA_TYPE from USER_TAB_COLUMNS where "
              "table_name = 'EMP'");
  ASSERT_EQ(8u, columns.size());
  EXPECT_EQ((std::vector<std::string>{"EMPNO", "<null>", "NUMBER"}), columns[0]);
  EXPECT_EQ((std::vector<std::string>{"HIREDATE", "<null>", "DATE"}), columns[4]);
  rows types = s.query(
      "SELECT COLUMN_NAME, DATA_TYPE FROM USER_TAB_COLUMNS WHERE table_name = 'ALL_TYPES'");
  EXPECT_EQ((std::vector<std::string>{"C_TSTZ", "TIMESTAMP(6) WITH TIME ZONE"}), types[15]);
  EXPECT_EQ((std::vector<std::string>{"C_IDS", "INTERVAL DAY(2) TO SECOND(6)"}), types[17]);
  // The view lists its columns too; the comparison of names is exact.
  EXPECT_EQ(4u, s.query("SELECT COLUMN_NAME FROM USER_TAB_COLUMNS WHERE table_name = "
                        "'EMP_DEPT'").size());
  EXPECT_TRUE(s.query("SELECT COLUMN_NAME FROM USER_TAB_COLUMNS WHERE table_name = 'emp'")
                  .empty());
}

TEST_F(dictionary_demo, keys_indexes_and_foreign_keys) {
  EXPECT_EQ((rows{{"1"}}), s.query("SELECT count(*) FROM user_constraints WHERE "
                                   "table_name='EMP' AND constraint_type='P'"));
  EXPECT_EQ((rows{{"PK_EMP", "EMPNO"}}),
            s.query("SELECT a.constraint_name, a.column_name FROM user_cons_columns a, "
                    "user_constraints b WHERE a.table_name='EMP' AND "
                    "a.constraint_name=b.constraint_name AND b.constraint_type='P' ORDER BY "
                    "a.constraint_name, a.position"));
  const std::string index_query =
      "SELECT user_indexes.index_name, user_indexes.uniqueness, user_ind_columns.column_name "
      "FROM user_ind_columns, user_indexes where user_ind_columns.table_name = 'EMP' AND "
      "user_indexes.generated='N' AND user_ind_columns.index_name = user_indexes.index_name "
      "AND user_ind_columns.table_name = user_indexes.table_name ORDER BY "
      "user_indexes.index_name, user_ind_columns.column_position";
  EXPECT_EQ((rows{{"EMP_ENAME_IX", "NONUNIQUE", "ENAME"}, {"PK_EMP", "UNIQUE", "EMPNO"}}),
            s.query(index_query));
  EXPECT_EQ((rows{{"1"}}), s.query("select count(*) from USER_CONSTRAINTS where "
                                   "R_CONSTRAINT_NAME='PK_DEPT' and CONSTRAINT_TYPE='R'"));
  EXPECT_EQ((rows{{"EMP", "FK_EMP_DEPT", "NO ACTION", "DEPTNO"}}),
            s.query("select a.TABLE_NAME,a.CONSTRAINT_NAME,a.DELETE_RULE,b.COLUMN_NAME FROM "
                    "USER_CONSTRAINTS a, USER_CONS_COLUMNS b WHERE "
                    "a.CONSTRAINT_NAME=b.CONSTRAINT_NAME and a.CONSTRAINT_TYPE='R' and "
                    "a.R_CONSTRAINT_NAME='PK_DEPT'"));
}

TEST(ocilite_dictionary, a_view_whose_table_is_gone_fails_only_where_it_is_used) {
  temp_db db(
      "CREATE TABLE \"T\" (\"A\" NUMBER(4)); INSERT INTO \"T\" VALUES (7);"
      "CREATE TABLE \"GONE\" (\"B\" NUMBER(4));"
      "CREATE VIEW \"BROKEN\" AS SELECT \"B\" FROM \"GONE\";"
      "DROP TABLE \"GONE\";");
  oci_session s;
  s.connect(db.path);
  EXPECT_EQ((rows{{"T"}}), s.query("select TABLE_NAME from user_tables"));
  EXPECT_EQ((rows{{"1"}}), s.query("SELECT COUNT(*) FROM USER_TAB_COLUMNS WHERE table_name = 'T'"));
  EXPECT_EQ((rows{{"7"}}), s.query("SELECT * FROM \"T\""));
  EXPECT_EQ((rows{{"7"}}), s.query("SELECT A FROM T"));
  EXPECT_EQ((rows{{"BROKEN"}}), s.query("select VIEW_NAME from SYS.USER_VIEWS"));
  OCIStmt* st = s.statement();
  EXPECT_EQ(OCI_ERROR, s.run(st, "SELECT * FROM BROKEN", 0));
  EXPECT_EQ(942, s.error_code()) << s.error_text();
  s.f.OCIHandleFree(st, OCI_HTYPE_STMT);
}

TEST(ocilite_dictionary, defaults_generated_names_iot_and_a_set_version) {
  temp_db db(
      "CREATE TABLE OCILITE_SETTINGS (NAME TEXT, VALUE TEXT);"
      "INSERT INTO OCILITE_SETTINGS VALUES ('VERSION', '7.3.4.0.0');"
      "CREATE TABLE \"P\" (\"ID\" NUMBER(4) PRIMARY KEY, \"CODE\" VARCHAR2(5) UNIQUE);"
      "CREATE TABLE \"C\" (\"ID\" NUMBER(4) NOT NULL, \"PID\" NUMBER(4) REFERENCES \"P\" "
      "ON DELETE CASCADE, \"NAME\" VARCHAR2(20) DEFAULT 'O''Brien', \"N\" NUMBER DEFAULT 0, "
      "CONSTRAINT \"PK_C\" PRIMARY KEY (\"ID\"));"
      "CREATE TABLE \"K\" (\"A\" NUMBER(4), \"B\" NUMBER(4), PRIMARY KEY (\"A\", \"B\")) "
      "WITHOUT ROWID;");
  oci_session s;
  s.connect(db.path);
  EXPECT_EQ((rows{{"P", "<null>"}, {"C", "<null>"}, {"K", "IOT"}}),
            s.query("select TABLE_NAME, IOT_TYPE from user_tables where TEMPORARY='N' and "
                    "NESTED='NO' and IOT_TYPE IS NULL OR IOT_TYPE='IOT'"));
  EXPECT_NE(std::string::npos, s.query("select * from v$version")[0][0].find(" 7.3.4.0.0 "));
  EXPECT_EQ((rows{{"ID", "<null>"}, {"PID", "<null>"}, {"NAME", "'O''Brien'"}, {"N", "0"}}),
            s.query("select COLUMN_NAME, DATA_DEFAULT from USER_TAB_COLUMNS where table_name "
                    "= 'C'"));
  rows keys = s.query(
      "SELECT CONSTRAINT_NAME, CONSTRAINT_TYPE, GENERATED FROM USER_CONSTRAINTS WHERE "
      "TABLE_NAME = 'P' ORDER BY CONSTRAINT_TYPE");
  ASSERT_EQ(2u, keys.size());
  EXPECT_EQ(0u, keys[0][0].find("SYS_C"));
  EXPECT_EQ("GENERATED NAME", keys[0][2]);
  // The foreign key names the generated key it references.
  EXPECT_EQ((rows{{"C", "CASCADE"}}),
            s.query("select a.TABLE_NAME, a.DELETE_RULE FROM USER_CONSTRAINTS a WHERE "
                    "a.CONSTRAINT_TYPE='R' and a.R_CONSTRAINT_NAME='" + keys[0][0] + "'"));
  // Indexes of generated names are left out by the engine's index query.
  EXPECT_TRUE(s.query("SELECT INDEX_NAME FROM USER_INDEXES WHERE TABLE_NAME = 'P' AND "
                      "GENERATED = 'N'")
                  .empty());
  EXPECT_EQ((rows{{"PK_C"}}), s.query("SELECT INDEX_NAME FROM USER_INDEXES WHERE TABLE_NAME = "
                                      "'C' AND GENERATED = 'N'"));
}

}  // namespace
