#include "TK/tk_exception.h"
#include "TK/tk_utils.h"
#include "UDB/udb_database.h"
#include "UDB/udb_engine.h"
#include "udb_test_support.h"
#include "tests/support/wide_text.h"

#include <gtest/gtest.h>

namespace {

class test_db : public udb_database {
 public:
  explicit test_db(bool case_sensitive) : udb_database(L"db", 0, case_sensitive) {
    table_names = {L"EMP", L"DEPT", L"emp"};
  }
  std::unique_ptr<udb_recordset> create_table(const std::wstring&, const udb_schema&, const udb_indexes&) override {
    return nullptr;
  }
  std::unique_ptr<udb_recordset> get_query(const std::wstring&, const std::wstring&, int) override { return nullptr; }
  std::unique_ptr<udb_recordset> get_table(const std::wstring&, int) override { return nullptr; }
  bool test_query(const std::wstring&) override { return true; }
  void create_index(const std::wstring& table, const udb_index& index) override {
    created.push_back(table + L"." + index.name);
  }
  std::vector<std::wstring> created;
};

TEST(Database, TableLookupFollowsCaseSensitivity) {
  test_db loose(false);
  EXPECT_TRUE(loose.is_table_exist(L"dept"));
  EXPECT_TRUE(loose.delete_tab(L"emp"));
  // The first match goes.
  EXPECT_EQ(loose.get_tables(), (std::vector<std::wstring>{L"DEPT", L"emp"}));

  test_db exact(true);
  EXPECT_FALSE(exact.is_table_exist(L"dept"));
  EXPECT_TRUE(exact.is_table_exist(L"DEPT"));
  EXPECT_TRUE(exact.delete_tab(L"emp"));
  EXPECT_EQ(exact.table_names, (std::vector<std::wstring>{L"EMP", L"DEPT"}));
  EXPECT_FALSE(exact.delete_tab(L"SALGRADE"));
  EXPECT_EQ(exact.table_names.size(), 2u);
}

TEST(Database, BaseBehaviour) {
  test_db db(false);
  udb_indexes indexes;
  indexes.push_back({L"PK", false, true, {L"ID"}});
  indexes.push_back({L"IX", false, false, {L"NAME"}});
  db.create_indexes(L"EMP", indexes);
  EXPECT_EQ(db.created, (std::vector<std::wstring>{L"EMP.PK", L"EMP.IX"}));

  std::vector<std::wstring> names{L"a", L"b", L"c"};
  db.get_name_list(names);
  EXPECT_TRUE(names.empty());
  EXPECT_THROW(db.query(L"DROP TABLE EMP"), tk_mail_assertion);
}

class test_engine : public udb_engine {
 public:
  std::unique_ptr<udb_database> create_db(const std::wstring&) override { return nullptr; }
  std::unique_ptr<udb_database> open_db(const std::wstring&, int, const std::wstring&) override { return nullptr; }
};

TEST(Engine, FileOperations) {
  temp_folder folder;
  std::string file = folder.path + "/book.xls";
  write_file(file, "x");
  test_engine engine;
  EXPECT_TRUE(engine.is_db_exist(qm_test::wide(file)));
  engine.delete_db(qm_test::wide(file));
  EXPECT_FALSE(engine.is_db_exist(qm_test::wide(file)));
  try {
    engine.delete_db(qm_test::wide(file));
    FAIL() << "no exception";
  } catch (const tk_exception_ex& e) {
    EXPECT_EQ(e.level, 1);
    EXPECT_NE(std::string(e.what()).find(file), std::string::npos) << e.what();
  }
  EXPECT_EQ(engine.set_param(7), 7);
  EXPECT_EQ(engine.param, 7);
}

}  // namespace
