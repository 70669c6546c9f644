// Definitions that ocilite carries out itself: sequences and the insert
// triggers that use them, keys added to existing tables, changed columns,
// replaced views, and the storage rules of written values.
#include "oci_session.h"

namespace {

using rows_t = std::vector<std::vector<std::string>>;

TEST(ocilite_ddl, a_sequence_numbers_the_rows_through_its_trigger) {
  temp_db db("");
  oci_session s;
  s.connect(db.path);
  // The statements as the engine writes them.
  ASSERT_EQ(OCI_SUCCESS, s.exec("CREATE TABLE \"Orders\" (\"ID\" NUMBER(10,0), \"NOTE\" NVARCHAR2(20)  DEFAULT "
                                "'n/a', \"DAY\" DATE DEFAULT to_date('2010-05-31', 'YYYY-MM-DD'))"))
      << s.error_text();
  ASSERT_EQ(OCI_SUCCESS, s.exec("CREATE SEQUENCE \"Orders_0\" INCREMENT BY 1 START WITH 1 MAXVALUE 1.0E28 "
                                "MINVALUE 1 NOCYCLE NOCACHE ORDER"))
      << s.error_text();
  ASSERT_EQ(OCI_SUCCESS,
            s.exec("CREATE OR REPLACE TRIGGER \"Orders__TRIGGER\" BEFORE INSERT ON \"Orders\" FOR EACH ROW WHEN "
                   "(new.\"ID\" IS NULL) BEGIN select \"Orders_0\".nextval into :new.\"ID\" from dual; END;"))
      << s.error_text();
  ASSERT_EQ(OCI_SUCCESS, s.exec("INSERT INTO \"Orders\" (\"ID\", \"NOTE\") VALUES (NULL, 'a')")) << s.error_text();
  ASSERT_EQ(OCI_SUCCESS, s.exec("INSERT INTO \"Orders\" (\"ID\", \"NOTE\") VALUES (77, 'b')"));
  ASSERT_EQ(OCI_SUCCESS, s.exec("INSERT INTO \"Orders\" (\"NOTE\") VALUES ('c')"));
  ASSERT_EQ(OCI_SUCCESS, s.exec("INSERT INTO \"Orders\" VALUES (NULL, NULL, NULL)"));
  EXPECT_EQ((rows_t{{"1", "a", "2010-05-31 00:00:00"},
                    {"77", "b", "2010-05-31 00:00:00"},
                    {"2", "c", "2010-05-31 00:00:00"},
                    {"3", "<null>", "<null>"}}),
            s.query("SELECT \"ID\", \"NOTE\", \"DAY\" FROM \"Orders\" ORDER BY ROWID"));
  EXPECT_EQ((rows_t{{"Orders_0", "1", "10000000000000000000000000000", "1", "N", "Y", "0", "4"}}),
            s.query("SELECT * FROM USER_SEQUENCES"));
  EXPECT_EQ((rows_t{{"Orders__TRIGGER", "BEFORE EACH ROW", "INSERT", "Orders", "new.\"ID\" IS NULL", "ENABLED"}}),
            s.query("SELECT TRIGGER_NAME, TRIGGER_TYPE, TRIGGERING_EVENT, TABLE_NAME, WHEN_CLAUSE, STATUS FROM "
                    "USER_TRIGGERS"));
  EXPECT_EQ((rows_t{{"4", "4"}}), s.query("SELECT \"Orders_0\".NEXTVAL, \"Orders_0\".CURRVAL FROM DUAL"));

  // The defaults are in the dictionary as the reader expects them.
  EXPECT_EQ((rows_t{{"ID", "<null>"}, {"NOTE", "'n/a'"}, {"DAY", "TO_DATE('2010-05-31', 'YYYY-MM-DD')"}}),
            s.query("SELECT COLUMN_NAME, DATA_DEFAULT FROM USER_TAB_COLUMNS WHERE TABLE_NAME = 'Orders'"));

  // A trigger without WHEN numbers every row; a dropped table takes its
  // triggers along.
  ASSERT_EQ(OCI_SUCCESS, s.exec("CREATE OR REPLACE TRIGGER \"Orders__TRIGGER\" BEFORE INSERT ON \"Orders\" FOR EACH "
                                "ROW BEGIN select \"Orders_0\".nextval into :new.\"ID\" from dual; END;"));
  ASSERT_EQ(OCI_SUCCESS, s.exec("INSERT INTO \"Orders\" (\"ID\") VALUES (500)"));
  EXPECT_EQ((rows_t{{"5"}}), s.query("SELECT \"ID\" FROM \"Orders\" WHERE \"ID\" IN (5, 500)"));
  ASSERT_EQ(OCI_SUCCESS, s.exec("DROP TABLE \"Orders\""));
  EXPECT_TRUE(s.query("SELECT * FROM USER_TRIGGERS").empty());

  // CURRVAL belongs to the connection that took the value.
  oci_session other;
  other.connect(db.path);
  ASSERT_EQ(OCI_SUCCESS, other.exec("CREATE TABLE \"Z\" (\"A\" NUMBER)"));
  EXPECT_EQ(OCI_ERROR, other.exec("INSERT INTO \"Z\" VALUES (\"Orders_0\".CURRVAL)"));
  EXPECT_EQ(8002, other.error_code());
}

TEST(ocilite_ddl, sequence_and_trigger_errors) {
  temp_db db("CREATE TABLE \"T\" (\"ID\" NUMBER(10,0));");
  oci_session s;
  s.connect(db.path);
  ASSERT_EQ(OCI_SUCCESS, s.exec("CREATE SEQUENCE S MAXVALUE 2"));
  expect_errors(s, {
                       {"CREATE SEQUENCE S", 955},
                       {"CREATE SEQUENCE \"T\"", 955},
                       {"CREATE SEQUENCE X INCREMENT BY 0", 4002},
                       {"DROP SEQUENCE NOSUCH", 2289},
                       {"INSERT INTO T VALUES (NOSUCH.NEXTVAL)", 2289},
                       {"INSERT INTO T VALUES (S.CURRVAL)", 8002},
                       {"CREATE TRIGGER TR BEFORE INSERT ON NOSUCH FOR EACH ROW BEGIN select S.nextval into "
                        ":new.ID from dual; END;",
                        942},
                       {"CREATE TRIGGER TR BEFORE INSERT ON T FOR EACH ROW BEGIN select NOSUCH.nextval into "
                        ":new.ID from dual; END;",
                        2289},
                       {"CREATE TRIGGER TR BEFORE INSERT ON T FOR EACH ROW BEGIN select S.nextval into "
                        ":new.NOSUCH from dual; END;",
                        904},
                       {"CREATE TRIGGER TR AFTER UPDATE ON T FOR EACH ROW BEGIN NULL; END;", 4079},
                       {"DROP TRIGGER NOSUCH", 4080},
                   });
  ASSERT_EQ(OCI_SUCCESS, s.exec("CREATE TRIGGER TR BEFORE INSERT ON T FOR EACH ROW WHEN (new.ID IS NULL) BEGIN "
                                "select S.nextval into :new.ID from dual; END;"))
      << s.error_text();
  ASSERT_EQ(OCI_SUCCESS, s.exec("CREATE TABLE U (ID NUMBER)"));
  expect_errors(s, {{"CREATE TRIGGER TR BEFORE INSERT ON T FOR EACH ROW BEGIN select S.nextval into :new.ID from "
                     "dual; END;",
                     4081},
                    // Replacing takes no trigger away from another table.
                    {"CREATE OR REPLACE TRIGGER TR BEFORE INSERT ON U FOR EACH ROW BEGIN select S.nextval into "
                     ":new.ID from dual; END;",
                     4095}});
  EXPECT_EQ((rows_t{{"TR", "T"}}), s.query("SELECT TRIGGER_NAME, TABLE_NAME FROM USER_TRIGGERS"));
  ASSERT_EQ(OCI_SUCCESS, s.exec("CREATE OR REPLACE TRIGGER TR BEFORE INSERT ON T FOR EACH ROW WHEN (new.ID IS NULL) "
                                "BEGIN select S.nextval into :new.ID from dual; END;"))
      << s.error_text();
  ASSERT_EQ(OCI_SUCCESS, s.exec("INSERT INTO T VALUES (NULL)"));
  ASSERT_EQ(OCI_SUCCESS, s.exec("INSERT INTO T VALUES (NULL)"));
  // Past MAXVALUE the insert fails with the sequence's error.
  EXPECT_EQ(OCI_ERROR, s.exec("INSERT INTO T VALUES (NULL)"));
  EXPECT_EQ(8004, s.error_code());
  EXPECT_EQ("ORA-08004: sequence S.NEXTVAL exceeds MAXVALUE and cannot be instantiated\n", s.error_text());
  EXPECT_EQ((rows_t{{"1"}, {"2"}}), s.query("SELECT ID FROM T ORDER BY ID"));
  ASSERT_EQ(OCI_SUCCESS, s.exec("DROP TRIGGER TR"));
  ASSERT_EQ(OCI_SUCCESS, s.exec("INSERT INTO T VALUES (NULL)"));
  EXPECT_EQ("<null>", s.query("SELECT MIN(ID) FROM T WHERE ID IS NULL").at(0).at(0));
}

TEST(ocilite_ddl, keys_added_to_a_table_with_rows) {
  temp_db db(
      "CREATE TABLE \"P\" (\"ID\" NUMBER(10,0) NOT NULL, \"CODE\" VARCHAR2(5), \"NAME\" NVARCHAR2(20));"
      "CREATE INDEX \"P_NAME\" ON \"P\" (\"NAME\");"
      "INSERT INTO \"P\" VALUES (1, 'a', 'one'); INSERT INTO \"P\" VALUES (2, 'b', 'two');"
      "CREATE TABLE \"C\" (\"K\" NUMBER(10,0), \"PID\" NUMBER(10,0), \"PCODE\" VARCHAR2(5));"
      "INSERT INTO \"C\" VALUES (10, 1, 'a'); INSERT INTO \"C\" VALUES (11, NULL, NULL);"
      "CREATE VIEW \"PV\" AS SELECT \"ID\" FROM \"P\";");
  oci_session s;
  s.connect(db.path);
  std::string rowid = s.query("SELECT ROWID FROM \"P\" WHERE \"ID\" = 2").at(0).at(0);
  ASSERT_EQ(OCI_SUCCESS, s.exec("ALTER TABLE \"P\" ADD CONSTRAINT \"P_PK\" PRIMARY KEY (\"ID\")")) << s.error_text();
  ASSERT_EQ(OCI_SUCCESS, s.exec("ALTER TABLE \"P\" ADD CONSTRAINT \"P_UI\" UNIQUE(\"CODE\")")) << s.error_text();
  ASSERT_EQ(OCI_SUCCESS, s.exec("ALTER TABLE \"C\" ADD FOREIGN KEY (\"PID\") REFERENCES \"P\"(\"ID\") ON DELETE "
                                "CASCADE"))
      << s.error_text();
  ASSERT_EQ(OCI_SUCCESS, s.exec("ALTER TABLE \"C\" ADD CONSTRAINT \"C_FK2\" FOREIGN KEY (\"PCODE\") REFERENCES "
                                "\"P\"(\"CODE\")"))
      << s.error_text();
  // Rows, their row numbers, the index and the view survive.
  EXPECT_EQ("two", s.query("SELECT \"NAME\" FROM \"P\" WHERE ROWID = '" + rowid + "'").at(0).at(0));
  EXPECT_EQ(2u, s.query("SELECT * FROM \"PV\"").size());
  EXPECT_EQ((rows_t{{"P_NAME", "NONUNIQUE"}, {"P_PK", "UNIQUE"}, {"P_UI", "UNIQUE"}}),
            s.query("SELECT INDEX_NAME, UNIQUENESS FROM USER_INDEXES WHERE TABLE_NAME = 'P' ORDER BY INDEX_NAME"));
  EXPECT_EQ((rows_t{{"C_FK2", "R", "P_UI", "NO ACTION"}, {"P_PK", "P", "<null>", "<null>"}}),
            s.query("SELECT CONSTRAINT_NAME, CONSTRAINT_TYPE, R_CONSTRAINT_NAME, DELETE_RULE FROM "
                    "USER_CONSTRAINTS WHERE CONSTRAINT_TYPE IN ('P', 'R') AND CONSTRAINT_NAME NOT LIKE 'SYS%' "
                    "ORDER BY CONSTRAINT_NAME"));
  EXPECT_EQ((rows_t{{"CASCADE"}}), s.query("SELECT DELETE_RULE FROM USER_CONSTRAINTS WHERE CONSTRAINT_TYPE = 'R' "
                                           "AND CONSTRAINT_NAME LIKE 'SYS%'"));
  EXPECT_EQ("N", s.query("SELECT NULLABLE FROM USER_TAB_COLUMNS WHERE TABLE_NAME = 'P' AND COLUMN_NAME = "
                         "'ID'")
                     .at(0)
                     .at(0));
  // The keys hold from now on.
  expect_errors(s, {
                       {"INSERT INTO \"P\" VALUES (1, 'z', 'dup')", 1},
                       {"INSERT INTO \"C\" VALUES (12, 9, NULL)", 2291},
                   });
  ASSERT_EQ(OCI_SUCCESS, s.exec("DELETE FROM \"P\" WHERE \"ID\" = 2"));
  ASSERT_EQ(OCI_SUCCESS, s.exec("DELETE FROM \"C\" WHERE \"PCODE\" = 'a'"));
  ASSERT_EQ(OCI_SUCCESS, s.exec("DELETE FROM \"P\" WHERE \"ID\" = 1"));

  expect_errors(s, {
                       {"ALTER TABLE \"P\" ADD CONSTRAINT \"X\" PRIMARY KEY (\"CODE\")", 2260},
                       {"ALTER TABLE \"P\" ADD CONSTRAINT \"X\" UNIQUE (\"ID\")", 2261},
                       {"ALTER TABLE \"P\" ADD CONSTRAINT \"P_UI\" UNIQUE (\"NAME\")", 2264},
                       {"ALTER TABLE \"P\" ADD UNIQUE (\"NOSUCH\")", 904},
                       {"ALTER TABLE \"NOSUCH\" ADD UNIQUE (\"ID\")", 942},
                       {"ALTER TABLE \"C\" ADD FOREIGN KEY (\"K\") REFERENCES \"P\"(\"NAME\")", 2270},
                       {"ALTER TABLE \"C\" ADD FOREIGN KEY (\"K\", \"PID\") REFERENCES \"P\"(\"ID\")", 2256},
                       {"CREATE INDEX \"P_NAME2\" ON \"P\" (\"NAME\")", 1408},
                       {"CREATE INDEX \"P_NAME\" ON \"P\" (\"CODE\", \"NAME\")", 955},
                       {"CREATE UNIQUE INDEX \"P_CODE\" ON \"P\" (\"CODE\")", 1408},
                   });
}

TEST(ocilite_ddl, keys_that_the_rows_break_are_refused) {
  temp_db db(
      "CREATE TABLE \"T\" (\"A\" NUMBER(10,0), \"B\" NUMBER(10,0));"
      "INSERT INTO \"T\" VALUES (1, 1); INSERT INTO \"T\" VALUES (1, NULL);"
      "CREATE TABLE \"U\" (\"A\" NUMBER(10,0), CONSTRAINT \"U_PK\" PRIMARY KEY (\"A\"));"
      "INSERT INTO \"U\" VALUES (5);");
  oci_session s;
  s.connect(db.path);
  expect_errors(s, {
                       {"ALTER TABLE \"T\" ADD CONSTRAINT \"T_PK\" PRIMARY KEY (\"A\")", 2437},
                       {"ALTER TABLE \"T\" ADD CONSTRAINT \"T_U\" UNIQUE (\"A\")", 2299},
                       {"ALTER TABLE \"T\" ADD PRIMARY KEY (\"B\")", 1449},
                       {"ALTER TABLE \"T\" ADD FOREIGN KEY (\"A\") REFERENCES \"U\"", 2298},
                   });
  // Nothing changed.
  EXPECT_EQ(2u, s.query("SELECT * FROM \"T\"").size());
  EXPECT_TRUE(s.query("SELECT * FROM USER_CONSTRAINTS WHERE TABLE_NAME = 'T' AND CONSTRAINT_TYPE <> 'C'").empty());
  ASSERT_EQ(OCI_SUCCESS, s.exec("UPDATE \"T\" SET \"A\" = 5"));
  ASSERT_EQ(OCI_SUCCESS, s.exec("ALTER TABLE \"T\" ADD FOREIGN KEY (\"A\") REFERENCES \"U\"")) << s.error_text();
}

TEST(ocilite_ddl, a_column_made_nullable_keeps_its_rows) {
  temp_db db(
      "CREATE TABLE \"T\" (\"ID\" NUMBER(10,0) NOT NULL, \"COL\" NVARCHAR2(50) NOT NULL, \"PIC\" BLOB NOT NULL,"
      " CONSTRAINT \"T_PK\" PRIMARY KEY (\"ID\"));"
      "INSERT INTO \"T\" VALUES (1, 'x', x'00');");
  oci_session s;
  s.connect(db.path);
  ASSERT_EQ(OCI_SUCCESS, s.exec("ALTER TABLE \"T\" MODIFY \"COL\" NVARCHAR2(50)  DEFAULT 'x' NULL"))
      << s.error_text();
  ASSERT_EQ(OCI_SUCCESS, s.exec("ALTER TABLE \"T\" MODIFY \"PIC\" BLOB NULL")) << s.error_text();
  EXPECT_EQ((rows_t{{"ID", "N", "<null>"}, {"COL", "Y", "'x'"}, {"PIC", "Y", "<null>"}}),
            s.query("SELECT COLUMN_NAME, NULLABLE, DATA_DEFAULT FROM USER_TAB_COLUMNS WHERE TABLE_NAME = 'T'"));
  ASSERT_EQ(OCI_SUCCESS, s.exec("INSERT INTO \"T\" (\"ID\") VALUES (2)"));
  EXPECT_EQ((rows_t{{"1", "x"}, {"2", "x"}}), s.query("SELECT \"ID\", \"COL\" FROM \"T\" ORDER BY \"ID\""));
  EXPECT_EQ("T_PK", s.query("SELECT CONSTRAINT_NAME FROM USER_CONSTRAINTS WHERE CONSTRAINT_TYPE = 'P'").at(0).at(0));
  expect_errors(s, {
                       {"ALTER TABLE \"T\" MODIFY \"COL\" NVARCHAR2(50) NULL", 1451},
                       {"ALTER TABLE \"T\" MODIFY \"ID\" NUMBER(10,0) NULL", 1451},
                       {"ALTER TABLE \"T\" MODIFY \"NOSUCH\" NULL", 904},
                       {"ALTER TABLE \"T\" MODIFY \"PIC\" NOT NULL", 2296},
                   });
}

TEST(ocilite_ddl, views_are_replaced_and_savepoints_roll_back) {
  temp_db db("CREATE TABLE \"T\" (\"A\" NUMBER(10,0)); INSERT INTO \"T\" VALUES (1); INSERT INTO \"T\" VALUES (2);");
  oci_session s;
  s.connect(db.path);
  ASSERT_EQ(OCI_SUCCESS, s.exec("CREATE OR REPLACE VIEW \"My View\" AS select \"A\" from \"T\" where \"A\" = 1"))
      << s.error_text();
  ASSERT_EQ(OCI_SUCCESS, s.exec("CREATE OR REPLACE VIEW \"My View\" AS select \"A\" from \"T\""));
  EXPECT_EQ(2u, s.query("SELECT * FROM \"My View\"").size());
  // The query as it was written.
  EXPECT_EQ("select \"A\" from \"T\"", s.query("SELECT TEXT FROM USER_VIEWS").at(0).at(0));
  expect_errors(s, {
                       {"CREATE OR REPLACE VIEW \"T\" AS select 1 from dual", 955},
                       {"CREATE OR REPLACE VIEW \"My View\" AS select nosuch from \"T\"", 904},
                       {"ROLLBACK TO SAVEPOINT nosuch", 1086},
                   });
  EXPECT_EQ(2u, s.query("SELECT * FROM \"My View\"").size());

  ASSERT_EQ(OCI_SUCCESS, s.exec("INSERT INTO \"T\" VALUES (3)"));
  ASSERT_EQ(OCI_SUCCESS, s.exec("SAVEPOINT batch"));
  ASSERT_EQ(OCI_SUCCESS, s.exec("INSERT INTO \"T\" VALUES (4)"));
  ASSERT_EQ(OCI_SUCCESS, s.exec("ROLLBACK TO SAVEPOINT batch"));
  ASSERT_EQ(OCI_SUCCESS, s.exec("COMMIT"));
  EXPECT_EQ((rows_t{{"1"}, {"2"}, {"3"}}), s.query("SELECT \"A\" FROM \"T\" ORDER BY \"A\""));
}

TEST(ocilite_ddl, written_values_follow_the_storage_of_their_columns) {
  temp_db db("CREATE TABLE \"N\" (\"ID\" NUMBER(10,0), \"BIG\" NUMBER(38), \"R\" RAW(8), \"S\" VARCHAR2(40));");
  oci_session s;
  s.connect(db.path);
  const std::string big = "12345678901234567890123456789012345678";
  const std::string fraction = "-1234567890.1234567890123";
  // Literals.
  ASSERT_EQ(OCI_SUCCESS, s.exec("INSERT INTO \"N\" VALUES (1, " + big + ", '0aFF', '" + big + "')"))
      << s.error_text();
  ASSERT_EQ(OCI_SUCCESS, s.exec("INSERT INTO \"N\" (\"ID\", \"BIG\", \"R\") VALUES (2, " + fraction + ", NULL)"));
  // Texts bound for the columns.
  OCIStmt* st = s.statement();
  ASSERT_EQ(OCI_SUCCESS, s.prepare(st, "INSERT INTO \"N\" (\"ID\", \"BIG\", \"R\") VALUES (:1, :2, :3)"));
  sb4 id = 3;
  std::u16string number = u16("-" + big), hex = u16("abc");
  number.push_back(0);
  hex.push_back(0);
  OCIBind* b[3] = {};
  s.f.OCIBindByPos(st, &b[0], s.err, 1, &id, 4, SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr, 0);
  s.f.OCIBindByPos(st, &b[1], s.err, 2, number.data(), static_cast<sb4>(number.size() * 2), SQLT_STR, nullptr,
                   nullptr, nullptr, 0, nullptr, 0);
  s.f.OCIBindByPos(st, &b[2], s.err, 3, hex.data(), static_cast<sb4>(hex.size() * 2), SQLT_STR, nullptr, nullptr,
                   nullptr, 0, nullptr, 0);
  ASSERT_EQ(OCI_SUCCESS, s.f.OCIStmtExecute(s.svc, st, s.err, 1, 0, nullptr, nullptr, 0)) << s.error_text();
  s.f.OCIHandleFree(st, OCI_HTYPE_STMT);
  EXPECT_EQ((rows_t{{"1", big, "0AFF", big}, {"2", fraction, "<null>", "<null>"}, {"3", "-" + big, "0ABC", "<null>"}}),
            s.query("SELECT * FROM \"N\" ORDER BY \"ID\""));
  // The kept texts are found again by their numbers.
  ASSERT_EQ(OCI_SUCCESS, s.exec("UPDATE \"N\" SET \"S\" = 'found', \"BIG\" = " + big + "0 WHERE \"BIG\" = " + big));
  EXPECT_EQ((rows_t{{"1", big + "0"}}), s.query("SELECT \"ID\", \"BIG\" FROM \"N\" WHERE \"S\" = 'found'"));
  ASSERT_EQ(OCI_SUCCESS, s.exec("DELETE FROM \"N\" WHERE \"R\" = '0abc'"));
  EXPECT_EQ(2u, s.query("SELECT * FROM \"N\"").size());
  expect_errors(s, {{"INSERT INTO \"N\" (\"R\") VALUES ('xyz')", 1465}});
}

TEST(ocilite_ddl, the_type_spellings_of_the_server) {
  temp_db db("");
  oci_session s;
  s.connect(db.path);
  ASSERT_EQ(OCI_SUCCESS,
            s.exec("CREATE TABLE \"K\" (\"TZ\" TIMESTAMP(3) WITH TIME ZONE, \"LTZ\" timestamp(0) with local time zone, "
                   "\"DS\" INTERVAL DAY(3) TO SECOND(2) NOT NULL, \"YM\" INTERVAL YEAR(4) TO MONTH, "
                   "\"VC\" VARCHAR2(10 CHAR) DEFAULT 'x', \"VB\" VARCHAR2(10 BYTE), \"CC\" CHAR(2 CHAR), "
                   "\"N\" NUMBER(*,0), \"T\" TIMESTAMP(9))"))
      << s.error_text();
  EXPECT_EQ((rows_t{{"TZ", "TIMESTAMP(3) WITH TIME ZONE", "<null>", "3", "Y", "<null>"},
                    {"LTZ", "TIMESTAMP(0) WITH LOCAL TIME ZONE", "<null>", "0", "Y", "<null>"},
                    {"DS", "INTERVAL DAY(3) TO SECOND(2)", "3", "2", "N", "<null>"},
                    {"YM", "INTERVAL YEAR(4) TO MONTH", "4", "0", "Y", "<null>"},
                    {"VC", "VARCHAR2", "<null>", "<null>", "Y", "C"},
                    {"VB", "VARCHAR2", "<null>", "<null>", "Y", "B"},
                    {"CC", "CHAR", "<null>", "<null>", "Y", "C"},
                    {"N", "NUMBER", "<null>", "0", "Y", "<null>"},
                    {"T", "TIMESTAMP(9)", "<null>", "9", "Y", "<null>"}}),
            s.query("SELECT COLUMN_NAME, DATA_TYPE, DATA_PRECISION, DATA_SCALE, NULLABLE, CHAR_USED FROM "
                    "USER_TAB_COLUMNS WHERE TABLE_NAME = 'K' ORDER BY COLUMN_ID"));
  ASSERT_EQ(OCI_SUCCESS, s.exec("INSERT INTO \"K\" (\"TZ\", \"DS\", \"VB\", \"N\") VALUES ('2010-05-31 "
                                "13:45:07.125 +02:00', '+001 10:30:00.50', 'Grüße', 42)"))
      << s.error_text();
  EXPECT_EQ((rows_t{{"2010-05-31 13:45:07.125 +02:00", "x", "Grüße", "42"}}),
            s.query("SELECT \"TZ\", \"VC\", \"VB\", \"N\" FROM \"K\""));
  // A column changed to such a type keeps its rows.
  ASSERT_EQ(OCI_SUCCESS, s.exec("ALTER TABLE \"K\" MODIFY \"VB\" VARCHAR2(20 CHAR)")) << s.error_text();
  EXPECT_EQ((rows_t{{"VARCHAR2", "C", "Grüße"}}),
            s.query("SELECT DATA_TYPE, CHAR_USED, (SELECT \"VB\" FROM \"K\") FROM USER_TAB_COLUMNS WHERE "
                    "COLUMN_NAME = 'VB'"));
}

TEST(ocilite_ddl, a_value_longer_than_its_column_is_refused) {
  temp_db db("");
  oci_session s;
  s.connect(db.path);
  ASSERT_EQ(OCI_SUCCESS, s.exec("CREATE TABLE \"L\" (\"B\" VARCHAR2(4), \"C\" VARCHAR2(4 CHAR), \"N\" NVARCHAR2(3), "
                                "\"F\" CHAR(2), \"R\" RAW(2), \"X\" VARCHAR2(4000))"));
  // Bytes of UTF-8, characters, UTF-16 units, bytes of RAW.
  ASSERT_EQ(OCI_SUCCESS, s.exec("INSERT INTO \"L\" VALUES ('Grü', 'Grüß', 'a😀', 'ab', 'ABCD', NULL)"))
      << s.error_text();
  expect_errors(s, {{"INSERT INTO \"L\" (\"B\") VALUES ('Grüß')", 12899},
                    {"INSERT INTO \"L\" (\"C\") VALUES ('Grüße')", 12899},
                    {"INSERT INTO \"L\" (\"N\") VALUES ('a😀b')", 12899},
                    {"INSERT INTO \"L\" (\"F\") VALUES ('abc')", 12899},
                    {"INSERT INTO \"L\" (\"R\") VALUES ('ABCDEF')", 12899},
                    {"INSERT INTO \"L\" (\"B\") VALUES (12345)", 12899},
                    {"UPDATE \"L\" SET \"B\" = 'abcde'", 12899}});
  s.exec("INSERT INTO \"L\" (\"B\") VALUES ('Grüß')");
  EXPECT_EQ("ORA-12899: value too large for column \"SCOTT\".\"L\".\"B\" (actual: 6, maximum: 4)\n", s.error_text());
  // A bound value, as the row cache binds it; the batch stops at the row.
  OCIStmt* st = s.statement();
  ASSERT_EQ(OCI_SUCCESS, s.prepare(st, "INSERT INTO \"L\" (\"N\") VALUES (:1)"));
  char16_t texts[2][8] = {u"abc", u"abcd"};
  OCIBind* b = nullptr;
  s.f.OCIBindByPos(st, &b, s.err, 1, texts, sizeof texts[0], SQLT_STR, nullptr, nullptr, nullptr, 0, nullptr, 0);
  EXPECT_EQ(OCI_ERROR, s.f.OCIStmtExecute(s.svc, st, s.err, 2, 0, nullptr, nullptr, 0));
  EXPECT_EQ(12899, s.error_code());
  s.f.OCIHandleFree(st, OCI_HTYPE_STMT);
  EXPECT_EQ((rows_t{{"Grü", "Grüß", "a😀", "ab", "ABCD"}}),
            s.query("SELECT \"B\", \"C\", \"N\", \"F\", \"R\" FROM \"L\" WHERE \"R\" IS NOT NULL"));
}

}  // namespace
