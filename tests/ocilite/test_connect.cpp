#include "oci_session.h"
#include "tests/support/wait_for.h"

#include <atomic>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

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

namespace {

// AddressSanitizer cannot follow the unwinding of a cancelled thread.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool cancel_supported = false;
#else
constexpr bool cancel_supported = true;
#endif

struct blocked_call {
  oci_session* session;
  std::atomic<pid_t> thread_id{0};
};

void* count_rows(void* argument) {
  auto* call = static_cast<blocked_call*>(argument);
  call->thread_id = gettid();
  call->session->query("SELECT COUNT(*) FROM \"T\"");
  return nullptr;
}

}  // namespace

TEST(ocilite_api, a_thread_cancelled_inside_a_call_unwinds_through_the_entry_guard) {
  if (!cancel_supported) GTEST_SKIP() << "thread cancellation under AddressSanitizer";
  temp_db db(schema);
  // Left alone after the cancellation: SQLite's own locks of the cancelled
  // call stay held.
  auto* session = new oci_session;
  session->connect(db.path);
  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open(db.path.c_str(), &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  blocked_call call{session};
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, nullptr, count_rows, &call), 0);
  // The query waits in SQLite's busy handler, which sleeps.
  auto sleeping = [&] {
    long call_number = call.thread_id ? qm_test::system_call_of(call.thread_id) : -1;
    return call_number == SYS_nanosleep || call_number == SYS_clock_nanosleep;
  };
  EXPECT_TRUE(qm_test::wait_for(sleeping, std::chrono::seconds(10))) << "the query never waited for the lock";
  ASSERT_EQ(pthread_cancel(thread), 0);
  void* result = nullptr;
  ASSERT_EQ(pthread_join(thread, &result), 0);
  EXPECT_EQ(result, PTHREAD_CANCELED);
  sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(holder);
}
