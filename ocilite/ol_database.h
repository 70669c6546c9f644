// One SQLite file opened as one Oracle schema: the connection, the login,
// transactions and the data dictionary kept in step with the schema.
#pragma once

#include "oci/oci_types.h"
#include "ocilite/ol_sql.h"

#include <sqlite3.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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
  // The rows of a statement with its parameters bound as texts; a NULL is
  // an empty optional. Throws the mapped error.
  std::vector<std::vector<std::optional<std::string>>> rows(const std::string& sql,
                                                           const std::vector<std::string>& args = {});
  bool has_table(const std::string& name);

  // The schema as statement translation sees it.
  schema_lookup& schema();

  // Sequences, kept in the hidden table OCILITE_SEQUENCES. CURRVAL is the
  // value NEXTVAL last gave in this connection.
  std::int64_t next_value(const std::string& sequence);
  std::int64_t current_value(const std::string& sequence);

 private:
  database() = default;
  sqlite3* db_ = nullptr;
  std::string path_;
  std::string user_;
  int schema_seen_ = -1;
  bool dictionary_made_ = false;
  std::map<std::string, std::int64_t> current_;
  std::unique_ptr<schema_lookup> schema_;
};

}  // namespace ocilite
