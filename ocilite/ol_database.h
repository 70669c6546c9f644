// One SQLite file opened as one Oracle schema: the connection, the login,
// transactions and the data dictionary kept in step with the schema.
#pragma once

#include "oci/oci_types.h"

#include <sqlite3.h>

#include <memory>
#include <string>

namespace ocilite {

// The file a connect string names: an existing file as given; else the
// name (or the service of "//host:port/service") as <name>.db in the
// folders of OCILITE_PATH, then in the bundled demo folder. Throws
// ORA-12154 when there is none.
std::string resolve_connect_string(const std::string& text);
// The bundled demo folder: share/ocilite beside this library's folder.
std::string bundled_demo_folder();

class database {
 public:
  static std::shared_ptr<database> open(const std::string& path);
  ~database();
  database(const database&) = delete;
  database& operator=(const database&) = delete;

  sqlite3* handle() const { return db_; }
  bool is_open() const { return db_ != nullptr; }
  const std::string& path() const { return path_; }
  // Ends the connection; open work is committed or rolled back.
  void close(bool commit);

  // Checks the user against OCILITE_USERS when the file has that table.
  void login(const std::string& user, const std::string& password);
  const std::string& user() const { return user_; }

  // Rebuilds the dictionary tables when the schema changed since last time.
  void refresh_dictionary();

  void begin();  // a transaction, unless one is open
  void commit();
  void rollback();

  // Runs a statement that returns nothing; throws the mapped error.
  void exec(const std::string& sql);

 private:
  database() = default;
  sqlite3* db_ = nullptr;
  std::string path_;
  std::string user_;
  int schema_seen_ = -1;
  bool dictionary_made_ = false;
};

}  // namespace ocilite
