#include "ORA/ora_database.h"

#include "ORA/ora_engine.h"
#include "ORA/ora_query_results.h"
#include "ORA/ora_stmt.h"
#include "ORA/ora_table.h"
#include "ORA/ora_text.h"
#include "ORA/ora_validator.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "oci/oci_library.h"

ora_database::ora_database(const std::wstring& db_name, std::uint8_t db_mode) : udb_database(db_name, db_mode, true) {
  tk_log::write(2, L"ora_database::ctor(%ls)", db_name.c_str());
  try {
    init_views();
  } catch (const std::exception& e) {
    tk_log::write(3, "Error while extracting views:\n%s\n", e.what());
  }
}

ora_database::~ora_database() = default;

void ora_database::init_views() {
  tk_log::write(2, "ora_database::init_views");
  ora_query_results rows(2, L"select VIEW_NAME, TEXT from SYS.USER_VIEWS");
  while (!rows.is_eof()) {
    udb_record* row = rows.get_item();
    if (!row || row->size() < 2) break;
    std::wstring view = (*row)[0].to_wstring();
    std::wstring text = (*row)[1].to_wstring();
    tk_log::write(1, L"GOT VIEW: %ls|%ls", view.c_str(), text.c_str());
    views.emplace(view, text);
  }
}

std::vector<std::wstring>& ora_database::get_tables() {
  tk_log::write(2, "ora_database::get_tables");
  table_names.clear();
  init_tables();
  return table_names;
}

void ora_database::init_tables() {
  tk_log::write(2, "ora_database::init_tables(b_owned_by_user=%d)", 1);
  ora_engine& engine = ora_engine::instance();
  ora_stmt stmt;
  // The text is sent as it stands: AND binds before OR.
  const wchar_t* text = engine.get_version() >= ora_engine::version_8
                            ? L"select TABLE_NAME, IOT_TYPE from user_tables where TEMPORARY='N' and "
                              L"NESTED='NO' and IOT_TYPE IS NULL OR IOT_TYPE='IOT'"
                            : L"select TABLE_NAME from user_tables";
  engine.check_err(stmt.prepare(text));
  char16_t buffer[256] = {};
  OCIDefine* define = nullptr;
  engine.check_err(oci().OCIDefineByPos(stmt.handle, &define, engine.err, 1, buffer, sizeof buffer, SQLT_STR,
                                        nullptr, nullptr, nullptr, OCI_DEFAULT));
  sword status = stmt.execute(1);
  engine.check_err(status);
  if (status != OCI_NO_DATA) {
    do {
      std::wstring table = ora_from_utf16(buffer, sizeof buffer / sizeof buffer[0]);
      tk_log::write(1, L"Find table '%ls'", table.c_str());
      table_names.push_back(table);
      status = stmt.fetch();
    } while (status == OCI_SUCCESS || status == OCI_SUCCESS_WITH_INFO);
  }
  tk_log::write(2, "Tables count: %zu", table_names.size());
}

std::unique_ptr<udb_recordset> ora_database::get_table(const std::wstring& table, int table_mode) {
  tk_log::write(2, L"ora_database::get_table(%ls)", table.c_str());
  if (!is_table_exist(table)) throw tk_mail_assertion("ora_db", 241);
  return std::make_unique<ora_table>(this, table, relationships, table_mode);
}

std::unique_ptr<udb_recordset> ora_database::get_query(const std::wstring& query_name,
                                                       const std::wstring& query_text, int) {
  tk_log::write(2, L"ora_database::get_table(%ls)", query_name.c_str());
  return std::make_unique<ora_table>(this, query_name, query_text, relationships);
}

void ora_database::query(const std::wstring& sql_text) {
  tk_log::write(2, L"ora_database::query(%ls)", sql_text.c_str());
  ora_engine& engine = ora_engine::instance();
  ora_stmt stmt;
  engine.check_err(stmt.prepare(sql_text));
  engine.check_err(stmt.execute(1));
}

bool ora_database::test_query(const std::wstring& sql_text) {
  tk_log::write(2, L"ora_database::test_query(%ls)", sql_text.c_str());
  ora_engine& engine = ora_engine::instance();
  ora_stmt stmt;
  sword prepared = stmt.prepare(sql_text);
  // Even a describe runs a definition on the server.
  if (prepared != OCI_ERROR) stmt.require_query();
  engine.check_err(stmt.execute(0, OCI_DESCRIBE_ONLY));
  return prepared != OCI_ERROR;
}

