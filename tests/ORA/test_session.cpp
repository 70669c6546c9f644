// The session: connect strings, login, errors, version, row counts.
#include "ORA/ora_exception.h"
#include "ORA/ora_stop_watch.h"
#include "TK/tk_log.h"
#include "oci/oci_fault.h"
#include "ora_test_support.h"

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

const char k_users[] =
    "CREATE TABLE OCILITE_USERS (USERNAME TEXT, PASSWORD TEXT);"
    "INSERT INTO OCILITE_USERS VALUES ('SCOTT', 'tiger');"
    "CREATE TABLE \"T\" (\"ID\" NUMBER(4));"
    "INSERT INTO \"T\" VALUES (1); INSERT INTO \"T\" VALUES (2);";

TEST(ora_session_text, connect_strings) {
  EXPECT_EQ(ora_engine::make_connect_string(L"", L"", L"ORCL"), L"ORCL");
  EXPECT_EQ(ora_engine::make_connect_string(L"db1", L"", L"XE"), L"//db1:1521/XE");
  EXPECT_EQ(ora_engine::make_connect_string(L"", L"1600", L"XE"), L"//localhost:1600/XE");
  EXPECT_EQ(ora_engine::make_connect_string(L"db1", L"1600", L""), L"//db1:1600/");
}

TEST(ora_session_text, version_from_banner) {
  EXPECT_EQ(ora_engine::parse_version(
                L"Oracle Database 11g Enterprise Edition Release 11.2.0.1.0 - Production"),
            11u << 16 | 2u << 8 | 0u);
  EXPECT_EQ(ora_engine::parse_version(L"Oracle  Database 19c  19.3.0.0.0"), 19u << 16 | 3u << 8);
  EXPECT_EQ(ora_engine::parse_version(L"Oracle Database 11g Release"), 0u);
}

using ora_session = ora_test;

TEST_F(ora_session, connects_by_path_alias_and_easy_connect) {
  std::string file = folder.make("sales", k_users);
  for (const std::wstring& connect : {wide(file), std::wstring(L"sales"), std::wstring(L"//db1:1521/sales")}) {
    db = engine->open_db(connect, L"scott", L"tiger");
    EXPECT_EQ(db->name, connect);
    EXPECT_EQ(engine->connect_string, connect);
    EXPECT_EQ(db->get_tables(), std::vector<std::wstring>{L"T"});
  }
  db = engine->open_db(L"", L"scott", L"tiger", L"", L"sales");
  EXPECT_EQ(db->name, L"sales");
  db = engine->open_db(L"", L"scott", L"tiger", L"1600", L"sales");
  EXPECT_EQ(db->name, L"//localhost:1600/sales");
}

TEST_F(ora_session, a_second_login_detaches_the_first_server) {
  folder.make("one", k_users);
  folder.make("two", "CREATE TABLE \"OTHER\" (\"X\" NUMBER);");
  oci_fault_injector counter;
  db = engine->open_db(L"one", L"scott", L"tiger");
  EXPECT_EQ(counter.calls(oci_fn::OCIServerDetach), 0u);
  db = engine->open_db(L"two", L"scott", L"tiger");
  EXPECT_EQ(counter.calls(oci_fn::OCIServerDetach), 1u);
  EXPECT_EQ(db->get_tables(), std::vector<std::wstring>{L"OTHER"});
  // A failed login leaves the server attached for the next one to detach.
  EXPECT_THROW(engine->open_db(L"one", L"scott", L"wrong"), ora_exception);
  db = engine->open_db(L"one", L"scott", L"tiger");
  EXPECT_EQ(counter.calls(oci_fn::OCIServerDetach), 3u);
  EXPECT_EQ(db->get_tables(), std::vector<std::wstring>{L"T"});
}

TEST_F(ora_session, oracle_errors_carry_their_number_in_the_code) {
  folder.make("sales", k_users);
  struct error_case {
    const wchar_t* connect;
    const wchar_t* password;
    int code;
    const char* prefix;
  };
  const error_case cases[] = {
      {L"sales", L"wrong", 0x1003F9, "ORA-01017"},
      {L"nowhere", L"tiger", 0x102F7A, "ORA-12154"},
  };
  for (const error_case& c : cases) {
    try {
      engine->open_db(c.connect, L"scott", c.password);
      ADD_FAILURE() << c.prefix;
    } catch (const ora_exception& e) {
      EXPECT_EQ(e.code, c.code);
      EXPECT_EQ(e.level, 0);
      EXPECT_EQ(std::string(e.what()).rfind(c.prefix, 0), 0u) << e.what();
    }
  }
  db = engine->open_db(L"sales", L"scott", L"tiger");
  try {
    engine->get_records_cnt(L"MISSING");
    ADD_FAILURE();
  } catch (const ora_exception& e) {
    EXPECT_EQ(e.code, 0x100000 | 942);
  }
  // Numbers above 65535 keep their low 16 bits.
  EXPECT_EQ(ora_exception("x", 0x12345).code, 0x102345);
}

TEST_F(ora_session, a_failing_client_call_becomes_an_ora_exception) {
  open(k_users);
  oci_fault_injector faults;
  oci_fault fault;
  fault.function = oci_fn::OCIStmtExecute;
  fault.error_code = 3113;
  fault.message = "ORA-03113: end-of-file on communication channel";
  faults.fail(fault);
  try {
    engine->get_records_cnt(L"T");
    ADD_FAILURE();
  } catch (const ora_exception& e) {
    EXPECT_EQ(e.code, 0x100000 | 3113);
    EXPECT_STREQ(e.what(), fault.message.c_str());
  }
  EXPECT_EQ(engine->get_records_cnt(L"T"), 2);
}

TEST_F(ora_session, version_and_row_counts) {
  open(k_users);
  EXPECT_EQ(engine->get_version(), 11u << 16 | 2u << 8);
  EXPECT_EQ(engine->get_records_cnt(L"T"), 2);
  EXPECT_EQ(engine->get_records_cnt(L"SELECT * FROM \"T\" WHERE \"ID\" > 1", true), 1);
  EXPECT_EQ(engine->get_safe_name(L"A\"B"), L"\"A\"B\"");
  EXPECT_EQ(engine->get_table_filter(L"O'HARE"), L"table_name = 'O''HARE'");
}

TEST_F(ora_session, a_stop_breaks_off_the_statement_under_way_and_starts_no_other) {
  open("CREATE TABLE \"CUBE\" (\"ID\" NUMBER(6)); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
       "FROM n WHERE i < 2000) INSERT INTO \"CUBE\" SELECT i FROM n;");
  const std::wstring minutes = L"SELECT COUNT(*) FROM \"CUBE\" a, \"CUBE\" b, \"CUBE\" c";
  {
    // Asked by the watch, which asks only while a call is under way: the
    // stop comes in the middle of the count.
    const std::thread::id run = std::this_thread::get_id();
    ora_stop_watch watch(*engine, [run] { return std::this_thread::get_id() != run; });
    auto started = std::chrono::steady_clock::now();
    EXPECT_THROW(engine->get_records_cnt(minutes, true), tk_final_exception);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  }
  {
    // Asked for before: nothing is sent.
    ora_stop_watch watch(*engine, [] { return true; });
    oci_fault_injector counter;
    EXPECT_THROW(engine->get_records_cnt(L"CUBE"), tk_final_exception);
    EXPECT_EQ(counter.calls(oci_fn::OCIStmtExecute), 0u);
  }
  // Without a watch the session is as before.
  EXPECT_EQ(engine->get_records_cnt(L"CUBE"), 2000);
}

TEST_F(ora_session, the_log_never_shows_the_password) {
  ora_schema_folder logs;
  std::string file = folder.make("sales", k_users);
  {
    tk_log log;
    log.set_file_name((logs.path + "/trace.log").c_str());
    log.threshold = 1;
    log.enabled = true;
    db = engine->open_db(L"", L"scott", L"tiger", L"", L"sales");
  }
  std::ifstream in(logs.path + "/trace.log");
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("ora_engine::open_db( sales, scott, *** )"), std::string::npos) << text.str();
  EXPECT_EQ(text.str().find("tiger"), std::string::npos);
}

}  // namespace
