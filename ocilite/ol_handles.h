// The handles and descriptors of the interface. Every one carries its kind
// and is registered while alive, so that a stale or foreign pointer is
// answered with OCI_INVALID_HANDLE instead of being followed.
#pragma once

#include "oci/oci_types.h"
#include "ocilite/ol_error.h"
#include "ocilite/ol_sql.h"
#include "ocilite/ol_types.h"
#include "ocilite/ol_values.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace ocilite {

class database;
struct env_handle;

struct handle {
  explicit handle(ub4 kind, env_handle* env) : kind(kind), env(env) {}
  virtual ~handle() = default;
  ub4 kind;  // OCI_HTYPE_* or OCI_DTYPE_*
  env_handle* env;
  std::vector<char> user_memory;
};

struct env_handle : handle {
  env_handle() : handle(OCI_HTYPE_ENV, this) {}
  ub4 mode = 0;
  ub2 charset = 0;   // 0: UTF-8 here
  ub2 ncharset = 0;
  ora_error last;  // errors raised on the environment itself
  bool has_error = false;
};

struct error_handle : handle {
  explicit error_handle(env_handle* e) : handle(OCI_HTYPE_ERROR, e) {}
  bool has_error = false;
  ora_error error;
};

struct server_handle : handle {
  explicit server_handle(env_handle* e) : handle(OCI_HTYPE_SERVER, e) {}
  std::shared_ptr<database> db;
};

struct session_handle : handle {
  explicit session_handle(env_handle* e) : handle(OCI_HTYPE_SESSION, e) {}
  std::string user, password;
  std::shared_ptr<database> db;  // set while the session is open
};

struct svcctx_handle : handle {
  explicit svcctx_handle(env_handle* e) : handle(OCI_HTYPE_SVCCTX, e) {}
  server_handle* server = nullptr;
  session_handle* session = nullptr;
};

struct stmt_handle;

struct define_handle : handle {
  explicit define_handle(env_handle* e) : handle(OCI_HTYPE_DEFINE, e) {}
  stmt_handle* stmt = nullptr;
  ub4 position = 0;
  void* valuep = nullptr;
  sb4 value_sz = 0;
  ub2 dty = 0;
  sb2* indp = nullptr;
  ub2* rlenp = nullptr;
  ub2* rcodep = nullptr;
  ub2 csid = 0;  // 0: the environment's
  ub1 csfrm = SQLCS_IMPLICIT;
};

struct bind_handle : handle {
  explicit bind_handle(env_handle* e) : handle(OCI_HTYPE_BIND, e) {}
  stmt_handle* stmt = nullptr;
  ub4 position = 0;
  void* valuep = nullptr;
  sb4 value_sz = 0;
  ub2 dty = 0;
  sb2* indp = nullptr;
  ub2* alenp = nullptr;
  ub2* rcodep = nullptr;
  ub2 csid = 0;
  ub1 csfrm = SQLCS_IMPLICIT;
};

// One select-list column as described.
struct column_desc {
  std::string name;  // UTF-8
  col_type type;
  ub1 is_null = 1;
  std::string table;  // the table the value comes from, when it is a column
  std::string column;
};

struct param_desc : handle {
  explicit param_desc(env_handle* e) : handle(OCI_DTYPE_PARAM, e) {}
  stmt_handle* stmt = nullptr;
  column_desc column;
  std::string encoded_name;  // the name in the environment's character set
};

struct lob_locator : handle {
  explicit lob_locator(env_handle* e) : handle(OCI_DTYPE_LOB, e) {}
  bool initialized = false;
  bool clob = false;
  ub1 charset_form = SQLCS_IMPLICIT;
  std::u16string chars;  // CLOB content, counted in UTF-16 units as the server counts
  std::string bytes;     // BLOB content
  // Where the value lives, for writes through the locator.
  std::weak_ptr<database> db;
  std::string table, column;
  std::int64_t rowid = 0;
  bool locked = false;  // selected FOR UPDATE
  // A read or write in pieces under way.
  bool reading = false;
  std::size_t read_pos = 0, read_end = 0;
  bool writing = false;
  std::size_t write_pos = 0;
};

struct datetime_desc : handle {
  explicit datetime_desc(ub4 kind, env_handle* e) : handle(kind, e) {}
  bool initialized = false;
  datetime value;
};

struct stmt_handle : handle {
  explicit stmt_handle(env_handle* e) : handle(OCI_HTYPE_STMT, e) {}
  ~stmt_handle() override;
  bool prepared = false;
  std::string sql;  // UTF-8
  sql_plan plan;    // classification at prepare, full translation at execute
  std::shared_ptr<database> db;
  sqlite3_stmt* st = nullptr;
  bool executed = false;  // a query that can be fetched
  bool described = false;
  bool end_of_fetch = false;
  ub4 row_count = 0;
  ub4 rows_fetched = 0;
  std::vector<column_desc> columns;
  std::map<ub4, define_handle*> defines;
  std::map<ub4, bind_handle*> binds;
  std::vector<param_desc*> params;
  void finalize();
};

// The registry of live handles.
void register_handle(handle* h);
void unregister_handle(handle* h);
bool is_live(const void* p);
void destroy_handle(handle* h);  // with what it owns

template <typename T>
T* as(const void* p, ub4 kind) {
  if (!p || !is_live(p)) return nullptr;
  auto* h = static_cast<handle*>(const_cast<void*>(p));
  return h->kind == kind ? static_cast<T*>(h) : nullptr;
}

inline bool is_datetime_kind(ub4 kind) {
  return kind == OCI_DTYPE_DATE || kind == OCI_DTYPE_TIMESTAMP || kind == OCI_DTYPE_TIMESTAMP_TZ ||
         kind == OCI_DTYPE_TIMESTAMP_LTZ;
}

// The character set of text crossing the interface for this environment.
inline ub2 env_charset(const env_handle* e) { return e && e->charset ? e->charset : 873; }

}  // namespace ocilite
