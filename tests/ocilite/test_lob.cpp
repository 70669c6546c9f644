#include "oci_session.h"

namespace {

class lob_demo : public ::testing::Test {
 protected:
  void SetUp() override { s.connect("demo"); }
  void TearDown() override {
    if (st) s.f.OCIHandleFree(st, OCI_HTYPE_STMT);
    if (loc) s.f.OCIDescriptorFree(loc, OCI_DTYPE_LOB);
  }

  // The locator of one LOB column of ALL_TYPES row `id`.
  OCILobLocator* locate(const std::string& column, int id, ub2 dty) {
    s.f.OCIDescriptorAlloc(s.env, reinterpret_cast<void**>(&loc), OCI_DTYPE_LOB, 0, nullptr);
    st = s.statement();
    EXPECT_EQ(OCI_SUCCESS, s.run(st, "SELECT \"" + column + "\" FROM \"ALL_TYPES\" WHERE \"ID\" = " +
                                         std::to_string(id),
                                 0));
    OCIDefine* d = nullptr;
    s.f.OCIDefineByPos(st, &d, s.err, 1, &loc, -1, dty, &ind, nullptr, nullptr, OCI_DEFAULT);
    EXPECT_EQ(OCI_SUCCESS, s.f.OCIStmtFetch(st, s.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT))
        << s.error_text();
    return loc;
  }

  sword read(ub4& amount, ub4 offset, void* buffer, ub4 size, ub2 csid) {
    return s.f.OCILobRead(s.svc, s.err, loc, &amount, offset, buffer, size, nullptr, nullptr, csid,
                          SQLCS_IMPLICIT);
  }

  oci_session s;
  OCIStmt* st = nullptr;
  OCILobLocator* loc = nullptr;
  sb2 ind = 0;
};

TEST_F(lob_demo, a_blob_streams_in_pieces_as_the_engine_reads_it) {
  locate("C_BLOB", 3, SQLT_BLOB);
  std::string all;
  std::vector<sword> statuses;
  std::vector<ub4> amounts;
  char buffer[65536];
  ub4 offset = 1;
  for (;;) {
    ub4 amount = 0;
    sword r = read(amount, offset, buffer, 32768, 0);
    statuses.push_back(r);
    amounts.push_back(amount);
    if (amount == 0) break;
    all.append(buffer, amount);
    offset += amount;
  }
  EXPECT_EQ((std::vector<sword>{OCI_NEED_DATA, OCI_SUCCESS, OCI_NO_DATA}), statuses);
  EXPECT_EQ((std::vector<ub4>{32768, 7232, 0}), amounts);
  ASSERT_EQ(40000u, all.size());
  EXPECT_EQ("YzYz", all.substr(0, 4));
  EXPECT_EQ("Yz", all.substr(39998));
}

TEST_F(lob_demo, clob_amounts_and_offsets_count_characters) {
  locate("C_NCLOB", 3, SQLT_CLOB);
  ub1 form = 0;
  EXPECT_EQ(OCI_SUCCESS, s.f.OCILobCharSetForm(s.env, s.err, loc, &form));
  EXPECT_EQ(SQLCS_NCHAR, form);
  // "Ünïcödé NCLOB 😀": 16 characters as the server counts them (the emoji
  // takes two), 22 bytes in UTF-8.
  char buffer[256] = {};
  ub4 amount = 0;
  EXPECT_EQ(OCI_SUCCESS, read(amount, 1, buffer, sizeof buffer, OCI_UTF8ID));
  EXPECT_EQ(22u, amount);  // bytes back for a varying-width set
  EXPECT_EQ("Ünïcödé NCLOB 😀", std::string(buffer, amount));
  amount = 2;
  EXPECT_EQ(OCI_SUCCESS, read(amount, 15, buffer, sizeof buffer, OCI_UTF16ID));
  EXPECT_EQ(2u, amount);  // characters back for UTF-16
  EXPECT_EQ(u"😀", std::u16string(reinterpret_cast<char16_t*>(buffer), 2));
  amount = 0;
  EXPECT_EQ(OCI_NO_DATA, read(amount, 17, buffer, sizeof buffer, OCI_UTF8ID));
  EXPECT_EQ(0u, amount);
  // Pieces of whole characters only: 5 bytes of room hold "Ünï".
  amount = 0;
  EXPECT_EQ(OCI_NEED_DATA, read(amount, 1, buffer, 5, OCI_UTF8ID));
  EXPECT_EQ("Ünï", std::string(buffer, amount));
}

TEST_F(lob_demo, an_empty_clob_is_no_null) {
  temp_db db(
      "CREATE TABLE \"T\" (\"ID\" NUMBER(4), \"NOTE\" CLOB); INSERT INTO \"T\" VALUES (1, '');");
  oci_session t;
  t.connect(db.path);
  OCILobLocator* l = nullptr;
  t.f.OCIDescriptorAlloc(t.env, reinterpret_cast<void**>(&l), OCI_DTYPE_LOB, 0, nullptr);
  OCIStmt* q = t.statement();
  ASSERT_EQ(OCI_SUCCESS, t.run(q, "SELECT \"NOTE\" FROM \"T\"", 0));
  OCIDefine* d = nullptr;
  sb2 i = -5;
  t.f.OCIDefineByPos(q, &d, t.err, 1, &l, -1, SQLT_CLOB, &i, nullptr, nullptr, OCI_DEFAULT);
  ASSERT_EQ(OCI_SUCCESS, t.f.OCIStmtFetch(q, t.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT));
  EXPECT_EQ(0, i);
  char buffer[16];
  ub4 amount = 0;
  EXPECT_EQ(OCI_NO_DATA, t.f.OCILobRead(t.svc, t.err, l, &amount, 1, buffer, sizeof buffer,
                                        nullptr, nullptr, OCI_UTF8ID, SQLCS_IMPLICIT));
  EXPECT_EQ(0u, amount);
  t.f.OCIHandleFree(q, OCI_HTYPE_STMT);
  t.f.OCIDescriptorFree(l, OCI_DTYPE_LOB);
}

TEST_F(lob_demo, a_clob_column_cannot_be_read_as_a_blob) {
  s.f.OCIDescriptorAlloc(s.env, reinterpret_cast<void**>(&loc), OCI_DTYPE_LOB, 0, nullptr);
  st = s.statement();
  ASSERT_EQ(OCI_SUCCESS, s.run(st, "SELECT \"C_CLOB\" FROM \"ALL_TYPES\"", 0));
  OCIDefine* d = nullptr;
  s.f.OCIDefineByPos(st, &d, s.err, 1, &loc, -1, SQLT_BLOB, &ind, nullptr, nullptr, OCI_DEFAULT);
  EXPECT_EQ(OCI_ERROR, s.f.OCIStmtFetch(st, s.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT));
  EXPECT_EQ(932, s.error_code());
}

}  // namespace

namespace {

struct pieces {
  std::vector<std::pair<ub1, std::string>> got;
};

sb4 collect(void* ctx, const void* buffer, ub4 length, ub1 piece) {
  static_cast<pieces*>(ctx)->got.emplace_back(
      piece, std::string(static_cast<const char*>(buffer), length));
  return OCI_CONTINUE;
}

TEST_F(lob_demo, a_read_with_a_callback_gets_every_piece) {
  locate("C_CLOB", 3, SQLT_CLOB);
  pieces p;
  char buffer[2048];
  ub4 amount = 0;
  ASSERT_EQ(OCI_SUCCESS, s.f.OCILobRead(s.svc, s.err, loc, &amount, 1, buffer, sizeof buffer, &p,
                                        collect, OCI_UTF8ID, SQLCS_IMPLICIT));
  EXPECT_EQ(5000u, amount);
  ASSERT_EQ(3u, p.got.size());
  EXPECT_EQ(OCI_FIRST_PIECE, p.got[0].first);
  EXPECT_EQ(OCI_NEXT_PIECE, p.got[1].first);
  EXPECT_EQ(OCI_LAST_PIECE, p.got[2].first);
  EXPECT_EQ(904u, p.got[2].second.size());
  EXPECT_EQ("AbAb", p.got[0].second.substr(0, 4));
}

}  // namespace
