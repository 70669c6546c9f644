#include "oci_session.h"

namespace {

const char* const schema =
    "CREATE TABLE \"T\" (\"ID\" NUMBER(10) NOT NULL, \"NOTE\" CLOB, \"NAME\" NVARCHAR2(40), "
    "\"PIC\" BLOB, CONSTRAINT \"PK_T\" PRIMARY KEY (\"ID\"));";

// The batched insert of the row cache: arrays bound by position, one
// element size as the skip, LOBs as empty locators, ROWIDs returned.
std::vector<std::u16string> insert_three(oci_session& s, ub4 mode = OCI_DEFAULT) {
  OCIStmt* st = s.statement();
  EXPECT_EQ(OCI_SUCCESS,
            s.prepare(st, "INSERT /*+ APPEND */ INTO \"T\" (\"ID\", \"NOTE\", \"NAME\", \"PIC\") "
                          "VALUES(:1, EMPTY_CLOB() , :2, EMPTY_BLOB() ) RETURNING ROWID INTO :3"));
  sb4 ids[3] = {1, 2, 3};
  sb2 id_ind[3] = {0, 0, 0};
  char16_t names[3][41] = {};
  std::u16string n0 = u"Ærø", n2 = u"O'Neil";
  std::copy(n0.begin(), n0.end(), names[0]);
  std::copy(n2.begin(), n2.end(), names[2]);
  sb2 name_ind[3] = {0, -1, 0};
  char16_t rowids[3][32] = {};
  sb2 rowid_ind[3] = {};
  OCIBind* b1 = nullptr;
  OCIBind* b2 = nullptr;
  OCIBind* b3 = nullptr;
  EXPECT_EQ(OCI_SUCCESS, s.f.OCIBindByPos(st, &b1, s.err, 1, ids, 4, SQLT_INT, id_ind, nullptr,
                                          nullptr, 0, nullptr, OCI_DEFAULT));
  EXPECT_EQ(OCI_SUCCESS, s.f.OCIBindByPos(st, &b2, s.err, 2, names, 82, SQLT_STR, name_ind,
                                          nullptr, nullptr, 0, nullptr, OCI_DEFAULT));
  EXPECT_EQ(OCI_SUCCESS, s.f.OCIBindByPos(st, &b3, s.err, 3, rowids, 64, SQLT_STR, rowid_ind,
                                          nullptr, nullptr, 0, nullptr, OCI_DEFAULT));
  EXPECT_EQ(OCI_SUCCESS, s.f.OCIStmtExecute(s.svc, st, s.err, 3, 0, nullptr, nullptr, mode))
      << s.error_text();
  ub4 count = 0;
  s.f.OCIAttrGet(st, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_ROW_COUNT, s.err);
  EXPECT_EQ(3u, count);
  s.f.OCIHandleFree(st, OCI_HTYPE_STMT);
  return {rowids[0], rowids[1], rowids[2]};
}

TEST(ocilite_write, array_insert_with_nulls_and_returned_rowids) {
  temp_db db(schema);
  oci_session s;
  s.connect(db.path);
  std::vector<std::u16string> rowids = insert_three(s);
  for (const std::u16string& r : rowids) EXPECT_FALSE(r.empty());
  EXPECT_NE(rowids[0], rowids[1]);
  auto rows = s.query("SELECT \"ID\", \"NAME\", \"NOTE\" FROM \"T\" ORDER BY \"ID\"");
  ASSERT_EQ(3u, rows.size());
  EXPECT_EQ((std::vector<std::string>{"1", "Ærø", ""}), rows[0]);
  EXPECT_EQ("<null>", rows[1][1]);
  EXPECT_EQ("O'Neil", rows[2][1]);
  auto by_rowid =
      s.query("SELECT \"ID\" FROM \"T\" WHERE ROWID='" + u8(rowids[2]) + "'");
  ASSERT_EQ(1u, by_rowid.size());
  EXPECT_EQ("3", by_rowid[0][0]);
}

TEST(ocilite_write, lobs_are_written_through_locked_locators) {
  temp_db db(schema);
  {
    oci_session s;
    s.connect(db.path);
    std::vector<std::u16string> rowids = insert_three(s);
    OCILobLocator* locs[2] = {};
    for (auto& l : locs)
      s.f.OCIDescriptorAlloc(s.env, reinterpret_cast<void**>(&l), OCI_DTYPE_LOB, 0, nullptr);
    OCIStmt* st = s.statement();
    sb2 ind = 0;
    auto select = [&](const std::u16string& rowid, bool lock) {
      std::string sql = "SELECT \"NOTE\", \"PIC\" FROM \"T\" WHERE ROWID='" + u8(rowid) + "'";
      if (lock) sql += " FOR UPDATE";
      ASSERT_EQ(OCI_SUCCESS, s.prepare(st, sql));
      OCIDefine* d1 = nullptr;
      OCIDefine* d2 = nullptr;
      s.f.OCIDefineByPos(st, &d1, s.err, 1, &locs[0], -1, SQLT_CLOB, &ind, nullptr, nullptr,
                         OCI_DEFAULT);
      s.f.OCIDefineByPos(st, &d2, s.err, 2, &locs[1], -1, SQLT_BLOB, &ind, nullptr, nullptr,
                         OCI_DEFAULT);
      ASSERT_EQ(OCI_SUCCESS,
                s.f.OCIStmtExecute(s.svc, st, s.err, 1, 0, nullptr, nullptr, OCI_DEFAULT))
          << s.error_text();
    };
    std::string text = "héllo wörld";
    ub4 amount = static_cast<ub4>(text.size());
    select(rowids[0], false);
    EXPECT_EQ(OCI_ERROR, s.f.OCILobWrite(s.svc, s.err, locs[0], &amount, 1, text.data(), amount,
                                         OCI_ONE_PIECE, nullptr, nullptr, OCI_UTF8ID,
                                         SQLCS_IMPLICIT));
    EXPECT_EQ(22920, s.error_code());

    select(rowids[0], true);
    amount = static_cast<ub4>(text.size());
    EXPECT_EQ(OCI_SUCCESS, s.f.OCILobWrite(s.svc, s.err, locs[0], &amount, 1, text.data(), amount,
                                           OCI_ONE_PIECE, nullptr, nullptr, OCI_UTF8ID,
                                           SQLCS_IMPLICIT))
        << s.error_text();
    EXPECT_EQ(11u, amount);  // characters written
    unsigned char bytes[3] = {0x01, 0x00, 0xFE};
    amount = 3;
    EXPECT_EQ(OCI_SUCCESS, s.f.OCILobWrite(s.svc, s.err, locs[1], &amount, 1, bytes, 3,
                                           OCI_ONE_PIECE, nullptr, nullptr, 0, SQLCS_IMPLICIT));

    // In pieces: first, next, last.
    select(rowids[1], true);
    const char* pieces[] = {"abc", "def", "gh"};
    ub1 kinds[] = {OCI_FIRST_PIECE, OCI_NEXT_PIECE, OCI_LAST_PIECE};
    sword expected[] = {OCI_NEED_DATA, OCI_NEED_DATA, OCI_SUCCESS};
    for (int k = 0; k < 3; ++k) {
      amount = k == 0 ? 8 : 0;
      EXPECT_EQ(expected[k],
                s.f.OCILobWrite(s.svc, s.err, locs[1], &amount, 1, const_cast<char*>(pieces[k]),
                                static_cast<ub4>(std::strlen(pieces[k])), kinds[k], nullptr,
                                nullptr, 0, SQLCS_IMPLICIT));
    }
    s.f.OCIHandleFree(st, OCI_HTYPE_STMT);
    for (auto& l : locs) s.f.OCIDescriptorFree(l, OCI_DTYPE_LOB);
  }
  // Ending the session committed the work.
  oci_session t;
  t.connect(db.path);
  auto rows = t.query("SELECT \"NOTE\", \"PIC\" FROM \"T\" ORDER BY \"ID\"");
  ASSERT_EQ(3u, rows.size());
  EXPECT_EQ((std::vector<std::string>{"héllo wörld", "0100FE"}), rows[0]);
  EXPECT_EQ("6162636465666768", rows[1][1]);
  EXPECT_EQ("", rows[2][1]);
}

TEST(ocilite_write, commit_on_success_and_constraint_errors) {
  temp_db db(schema);
  oci_session s;
  s.connect(db.path);
  insert_three(s, OCI_COMMIT_ON_SUCCESS);
  oci_session other;
  other.connect(db.path);
  EXPECT_EQ("3", other.query("SELECT COUNT(*) FROM \"T\"").at(0).at(0));
  EXPECT_EQ(OCI_ERROR, s.exec("INSERT INTO \"T\" (\"ID\") VALUES (1)"));
  EXPECT_EQ(1, s.error_code());
  EXPECT_EQ(OCI_ERROR, s.exec("INSERT INTO \"T\" (\"NAME\") VALUES ('x')"));
  EXPECT_EQ(1400, s.error_code());
  OCIStmt* st = s.statement();
  EXPECT_EQ(OCI_ERROR, s.run(st, "INSERT INTO \"T\" (\"ID\") VALUES (:1)", 1));
  EXPECT_EQ(1008, s.error_code());
  s.f.OCIHandleFree(st, OCI_HTYPE_STMT);
}

TEST(ocilite_write, definitions_change_the_dictionary_at_once) {
  temp_db db(schema);
  oci_session s;
  s.connect(db.path);
  ASSERT_EQ(OCI_SUCCESS, s.exec("CREATE TABLE \"U\" (\"A\" NUMBER(5,0) NOT NULL, "
                                "\"B\" NVARCHAR2(20) )"))
      << s.error_text();
  auto rows = s.query("select TABLE_NAME from user_tables");
  EXPECT_EQ((std::vector<std::vector<std::string>>{{"T"}, {"U"}}), rows);
  EXPECT_EQ(OCI_ERROR, s.exec("CREATE TABLE \"U\" (\"A\" NUMBER)"));
  EXPECT_EQ(955, s.error_code());
}

}  // namespace

namespace {

// The bind types of the row cache: 32-bit integers, floats, doubles, OCI
// dates and UTF-16 texts.
TEST(ocilite_write, every_bind_type_of_the_row_cache) {
  temp_db db(
      "CREATE TABLE \"V\" (\"I\" NUMBER(10,0), \"F\" NUMBER, \"D\" NUMBER, \"W\" TIMESTAMP, "
      "\"S\" NVARCHAR2(4));");
  oci_session s;
  s.connect(db.path);
  OCIStmt* st = s.statement();
  ASSERT_EQ(OCI_SUCCESS, s.prepare(st, "INSERT INTO \"V\" VALUES(:1, :2, :3, :4, :5)"));
  sb4 ints[2] = {-5, 0};
  float floats[2] = {0.5f, 0};
  double doubles[2] = {1e10, 0};
  OCIDate dates[2] = {};
  dates[0].OCIDateYYYY = 2010;
  dates[0].OCIDateMM = 5;
  dates[0].OCIDateDD = 31;
  dates[0].OCIDateTime.OCITimeHH = 13;
  dates[0].OCIDateTime.OCITimeMI = 45;
  dates[0].OCIDateTime.OCITimeSS = 7;
  char16_t texts[2][5] = {u"abcd", u""};
  sb2 nulls[2] = {0, -1};
  OCIBind* b[5] = {};
  s.f.OCIBindByPos(st, &b[0], s.err, 1, ints, 4, SQLT_INT, nulls, nullptr, nullptr, 0, nullptr, 0);
  s.f.OCIBindByPos(st, &b[1], s.err, 2, floats, 4, SQLT_FLT, nulls, nullptr, nullptr, 0, nullptr,
                   0);
  s.f.OCIBindByPos(st, &b[2], s.err, 3, doubles, 8, SQLT_BDOUBLE, nulls, nullptr, nullptr, 0,
                   nullptr, 0);
  s.f.OCIBindByPos(st, &b[3], s.err, 4, dates, sizeof(OCIDate), SQLT_ODT, nulls, nullptr, nullptr,
                   0, nullptr, 0);
  s.f.OCIBindByPos(st, &b[4], s.err, 5, texts, 10, SQLT_STR, nulls, nullptr, nullptr, 0, nullptr,
                   0);
  ASSERT_EQ(OCI_SUCCESS, s.f.OCIStmtExecute(s.svc, st, s.err, 2, 0, nullptr, nullptr, 0))
      << s.error_text();
  EXPECT_EQ((std::vector<std::vector<std::string>>{
                {"-5", ".5", "10000000000", "2010-05-31 13:45:07.000000", "abcd"},
                {"<null>", "<null>", "<null>", "<null>", "<null>"}}),
            s.query("SELECT * FROM \"V\""));
  // A text that fills its element has no terminator: the server refuses it.
  char16_t full[2] = {u'a', u'b'};
  s.f.OCIBindByPos(st, &b[4], s.err, 5, full, 4, SQLT_STR, nullptr, nullptr, nullptr, 0, nullptr,
                   0);
  EXPECT_EQ(OCI_ERROR, s.f.OCIStmtExecute(s.svc, st, s.err, 1, 0, nullptr, nullptr, 0));
  EXPECT_EQ(1480, s.error_code());
  s.f.OCIHandleFree(st, OCI_HTYPE_STMT);
}

}  // namespace
