#include "ocilite/ol_database.h"

#include "ocilite/ol_dictionary.h"
#include "ocilite/ol_error.h"
#include "ocilite/ol_text.h"

#include <cstdlib>
#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>
#include <vector>

namespace ocilite {

namespace {

bool is_file(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// "<name>.db" in a folder, with the name's case as given first.
std::string find_in_folder(const std::string& folder, const std::string& name) {
  std::string exact = folder + "/" + name + ".db";
  if (is_file(exact)) return exact;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return std::string();
  std::string found;
  std::string wanted = name + ".db";
  while (dirent* e = readdir(dir)) {
    std::string entry = e->d_name;
    if (equal_no_case(entry, wanted) && is_file(folder + "/" + entry)) {
      found = folder + "/" + entry;
      break;
    }
  }
  closedir(dir);
  return found;
}

// The service of an Easy Connect string, or the text itself.
std::string service_name(const std::string& text) {
  std::string s = text;
  if (s.rfind("//", 0) == 0) s = s.substr(2);
  std::size_t slash = s.find('/');
  if (slash == std::string::npos) return text;
  s = s.substr(slash + 1);
  std::size_t colon = s.find(':');
  if (colon != std::string::npos) s = s.substr(0, colon);
  return s;
}

void no_op_free(void*) {}

void empty_clob(sqlite3_context* ctx, int, sqlite3_value**) {
  sqlite3_result_text(ctx, "", 0, no_op_free);
}

void empty_blob(sqlite3_context* ctx, int, sqlite3_value**) { sqlite3_result_zeroblob(ctx, 0); }

}  // namespace

std::string bundled_demo_folder() {
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&bundled_demo_folder), &info) == 0 || !info.dli_fname)
    return std::string();
  std::string lib = info.dli_fname;
  std::size_t slash = lib.rfind('/');
  std::string folder = slash == std::string::npos ? std::string(".") : lib.substr(0, slash);
  return folder + "/../share/ocilite";
}

std::string resolve_connect_string(const std::string& text) {
  if (is_file(text)) return text;
  std::string name = service_name(text);
  if (name.empty() || name.find('/') != std::string::npos) fail(12154);
  std::vector<std::string> folders;
  if (const char* path = std::getenv("OCILITE_PATH")) {
    std::string list = path;
    std::size_t start = 0;
    for (;;) {
      std::size_t colon = list.find(':', start);
      std::string folder = list.substr(start, colon - start);
      if (!folder.empty()) folders.push_back(folder);
      if (colon == std::string::npos) break;
      start = colon + 1;
    }
  }
  std::string demo = bundled_demo_folder();
  if (!demo.empty()) folders.push_back(demo);
  for (const std::string& folder : folders) {
    std::string found = find_in_folder(folder, name);
    if (!found.empty()) return found;
  }
  fail(12154);
}

std::shared_ptr<database> database::open(const std::string& path) {
  std::shared_ptr<database> d(new database);
  d->path_ = path;
  int rc = sqlite3_open_v2(path.c_str(), &d->db_, SQLITE_OPEN_READWRITE, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close(d->db_);
    d->db_ = nullptr;
    rc = sqlite3_open_v2(path.c_str(), &d->db_, SQLITE_OPEN_READONLY, nullptr);
  }
  std::string why;
  if (rc == SQLITE_OK) {
    sqlite3_busy_timeout(d->db_, 5000);
    // "X" names a column, never a text, as on the server.
    sqlite3_db_config(d->db_, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(d->db_, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    sqlite3_extended_result_codes(d->db_, 1);
    rc = sqlite3_exec(d->db_, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr);
  }
  if (rc != SQLITE_OK) {
    why = d->db_ ? sqlite3_errmsg(d->db_) : sqlite3_errstr(rc);
    sqlite3_close(d->db_);
    d->db_ = nullptr;
    ora_error e = make_error(1034);
    e.text += "ocilite: " + path + ": " + why + "\n";
    throw ora_failure{e};
  }
  sqlite3_exec(d->db_, "PRAGMA foreign_keys=ON", nullptr, nullptr, nullptr);
  sqlite3_create_function(d->db_, "EMPTY_CLOB", 0, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                          empty_clob, nullptr, nullptr);
  sqlite3_create_function(d->db_, "EMPTY_BLOB", 0, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                          empty_blob, nullptr, nullptr);
  return d;
}

database::~database() { close(false); }

void database::close(bool commit_work) {
  if (!db_) return;
  if (!sqlite3_get_autocommit(db_))
    sqlite3_exec(db_, commit_work ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close_v2(db_);
  db_ = nullptr;
}

void database::exec(const std::string& sql) {
  if (!db_) fail(3114);
  int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) throw ora_failure{map_sqlite_error(db_, rc, "")};
}

void database::login(const std::string& user, const std::string& password) {
  if (!db_) fail(3114);
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(db_,
                              "SELECT name FROM sqlite_schema WHERE type='table' AND "
                              "upper(name)='OCILITE_USERS'",
                              -1, &st, nullptr);
  bool checked = rc == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW;
  sqlite3_finalize(st);
  std::string folded = to_upper_ascii(user);
  if (checked) {
    if (password.empty()) fail(1005);
    rc = sqlite3_prepare_v2(db_,
                            "SELECT PASSWORD FROM OCILITE_USERS WHERE upper(USERNAME)=?1",
                            -1, &st, nullptr);
    if (rc != SQLITE_OK) throw ora_failure{map_sqlite_error(db_, rc, "")};
    sqlite3_bind_text(st, 1, folded.c_str(), -1, SQLITE_TRANSIENT);
    bool ok = false;
    while (sqlite3_step(st) == SQLITE_ROW) {
      const unsigned char* stored = sqlite3_column_text(st, 0);
      if (stored && password == reinterpret_cast<const char*>(stored)) ok = true;
    }
    sqlite3_finalize(st);
    if (!ok) fail(1017);
  }
  user_ = folded;
  dictionary_made_ = false;
  schema_seen_ = -1;
  refresh_dictionary();
}

void database::refresh_dictionary() {
  if (!db_) fail(3114);
  sqlite3_stmt* st = nullptr;
  int version = 0;
  if (sqlite3_prepare_v2(db_, "PRAGMA main.schema_version", -1, &st, nullptr) == SQLITE_OK &&
      sqlite3_step(st) == SQLITE_ROW)
    version = sqlite3_column_int(st, 0);
  sqlite3_finalize(st);
  if (dictionary_made_ && version == schema_seen_) return;
  build_dictionary(db_, user_, !dictionary_made_);
  dictionary_made_ = true;
  schema_seen_ = version;
}

void database::begin() {
  if (db_ && sqlite3_get_autocommit(db_)) exec("BEGIN");
}

void database::commit() {
  if (db_ && !sqlite3_get_autocommit(db_)) exec("COMMIT");
}

void database::rollback() {
  if (db_ && !sqlite3_get_autocommit(db_)) exec("ROLLBACK");
}

}  // namespace ocilite
