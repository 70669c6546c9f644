// Small SQLite schemas built by the tests and read through the bundled
// client library, the way the engine meets a server.
#pragma once

#include "ORA/ora_database.h"
#include "ORA/ora_engine.h"
#include "TK/tk_log.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wide_text.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

// A folder of schema files, removed with them at the end.
class ora_schema_folder : public qm_test::temp_folder {
 public:
  ora_schema_folder() : temp_folder("qm_ora_") {}
  // Runs the script in a new schema file `<name>.db`; returns its path.
  std::string make(const std::string& name, const std::string& script) const {
    std::string file = path + "/" + name + ".db";
    run(file, script);
    return file;
  }
  static void run(const std::string& file, const std::string& script) {
    sqlite3* db = nullptr;
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) throw std::runtime_error("cannot open " + file);
    char* error = nullptr;
    int rc = sqlite3_exec(db, script.c_str(), nullptr, nullptr, &error);
    std::string why = error ? error : "";
    sqlite3_free(error);
    sqlite3_close(db);
    if (rc != SQLITE_OK) throw std::runtime_error("script failed: " + why);
  }
};

using qm_test::wide;

inline std::vector<unsigned char> bytes_of(const ole_variant& v) {
  unsigned char* data = nullptr;
  std::size_t n = v.get_bytes(&data);
  return n ? std::vector<unsigned char>(data, data + n) : std::vector<unsigned char>();
}

// Every row of a recordset, read as the conversion run reads: is_eof,
// get_item, next.
inline std::vector<std::vector<udb_field>> read_rows(udb_recordset& rs) {
  std::vector<std::vector<udb_field>> rows;
  for (; !rs.is_eof(); rs.next()) {
    udb_record* record = rs.get_item();
    if (!record) break;
    std::vector<udb_field> row;
    for (std::size_t i = 0; i < record->size(); ++i) row.push_back((*record)[i]);
    rows.push_back(row);
  }
  return rows;
}

// One engine per test, over the bundled client library.
class ora_test : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QUILLMARK_OCI_LIBRARY", QM_BINARY_DIR "/lib/libocilite.so", 1);
    setenv("OCILITE_PATH", folder.path.c_str(), 1);
    // QM_TEST_LOG=<file> traces the engine while a test is looked into.
    if (const char* trace = std::getenv("QM_TEST_LOG")) {
      log = std::make_unique<tk_log>();
      log->set_file_name(trace);
      log->enabled = true;
    }
    engine = std::make_unique<ora_engine>();
  }
  void TearDown() override {
    db.reset();
    engine.reset();
    log.reset();
  }
  // A schema from the script, connected by its file path.
  ora_database& open(const std::string& script, const std::string& name = "s") {
    std::string file = folder.make(name, script);
    db = engine->open_db(wide(file), L"scott", L"tiger");
    return *db;
  }

  ora_schema_folder folder;
  std::unique_ptr<ora_engine> engine;
  std::unique_ptr<ora_database> db;
  std::unique_ptr<tk_log> log;
};
