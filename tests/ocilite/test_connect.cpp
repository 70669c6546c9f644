#include "oci_session.h"

namespace {

const char* const schema = "CREATE TABLE \"T\" (\"A\" NUMBER(4));";

TEST(ocilite_connect, by_path_by_name_and_by_easy_connect) {
  temp_db db(schema, "Sales");
  setenv("OCILITE_PATH", ("/nonexistent:" + db.folder).c_str(), 1);
  for (const std::string& where : {db.path, std::string("Sales"), std::string("SALES"),
                                  std::string("//db1:1521/sales"), std::string("db1/Sales")}) {
    oci_session s;
    EXPECT_EQ(OCI_SUCCESS, s.attach(where)) << where << ": " << s.error_text();
    EXPECT_EQ(OCI_SUCCESS, s.login()) << where << ": " << s.error_text();
    EXPECT_EQ(1u, s.query("SELECT COUNT(*) FROM DUAL").size());
  }
  unsetenv("OCILITE_PATH");
}

TEST(ocilite_connect, the_bundled_demo_is_found_by_name) {
  unsetenv("OCILITE_PATH");
  oci_session s;
  s.connect("demo");
  EXPECT_EQ("11", s.query("SELECT COUNT(*) FROM \"EMP\"").at(0).at(0));
}

TEST(ocilite_connect, unknown_names_and_files_that_are_no_database) {
  temp_db db(schema);
  std::string not_a_db = db.folder + "/junk.db";
  FILE* f = std::fopen(not_a_db.c_str(), "w");
  std::fputs("this is not a database file, only text that is long enough to be read", f);
  std::fclose(f);
  setenv("OCILITE_PATH", db.folder.c_str(), 1);
  struct row {
    std::string where;
    sb4 code;
  } rows[] = {{"nosuchname", 12154}, {"//host:1521/nosuch", 12154}, {"", 12154}, {"junk", 1034}};
  for (const row& r : rows) {
    oci_session s;
    EXPECT_EQ(OCI_ERROR, s.attach(r.where)) << r.where;
    EXPECT_EQ(r.code, s.error_code()) << r.where;
  }
  oci_session s;
  s.attach("nosuchname");
  EXPECT_EQ("ORA-12154: TNS:could not resolve the connect identifier specified\n",
            s.error_text());
  unsetenv("OCILITE_PATH");
}

TEST(ocilite_connect, users_table_checks_the_login) {
  temp_db db(
      "CREATE TABLE OCILITE_USERS (USERNAME TEXT, PASSWORD TEXT);"
      "INSERT INTO OCILITE_USERS VALUES ('SCOTT', 'Tiger');");
  struct row {
    std::string user, password;
    sword status;
    sb4 code;
  } rows[] = {{"scott", "Tiger", OCI_SUCCESS, 0},
              {"SCOTT", "Tiger", OCI_SUCCESS, 0},
              {"scott", "tiger", OCI_ERROR, 1017},
              {"adams", "Tiger", OCI_ERROR, 1017},
              {"scott", "", OCI_ERROR, 1005}};
  for (const row& r : rows) {
    oci_session s;
    ASSERT_EQ(OCI_SUCCESS, s.attach(db.path));
    EXPECT_EQ(r.status, s.login(r.user, r.password)) << r.user << "/" << r.password;
    if (r.code) {
      EXPECT_EQ(r.code, s.error_code());
    }
  }
  // The bookkeeping table is not listed.
  oci_session s;
  ASSERT_EQ(OCI_SUCCESS, s.attach(db.path));
  ASSERT_EQ(OCI_SUCCESS, s.login("scott", "Tiger"));
  EXPECT_TRUE(s.query("select TABLE_NAME from user_tables").empty());
}

TEST(ocilite_connect, a_second_attach_needs_a_detach_first) {
  temp_db db(schema);
  oci_session s;
  s.connect(db.path);
  EXPECT_EQ(OCI_ERROR, s.attach(db.path));
  EXPECT_EQ(24309, s.error_code());
  EXPECT_EQ(OCI_SUCCESS, s.f.OCIServerDetach(s.srv, s.err, OCI_DEFAULT));
  // A statement on the detached server fails cleanly.
  EXPECT_EQ(OCI_ERROR, s.exec("SELECT * FROM DUAL"));
  EXPECT_EQ(3114, s.error_code());
  EXPECT_EQ(OCI_SUCCESS, s.attach(db.path));
}

TEST(ocilite_connect, stale_handles_are_refused) {
  oci_session s;
  OCIStmt* st = s.statement();
  ASSERT_EQ(OCI_SUCCESS, s.f.OCIHandleFree(st, OCI_HTYPE_STMT));
  EXPECT_EQ(OCI_INVALID_HANDLE, s.prepare(st, "SELECT 1 FROM DUAL"));
  EXPECT_EQ(OCI_INVALID_HANDLE, s.f.OCIHandleFree(st, OCI_HTYPE_STMT));
  EXPECT_EQ(OCI_INVALID_HANDLE, s.f.OCIHandleFree(s.err, OCI_HTYPE_SERVER));
}

}  // namespace
