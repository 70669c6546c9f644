// Oracle errors as the server reports them: a number and its message line.
#pragma once

#include "oci/oci_types.h"

#include <sqlite3.h>

#include <string>

namespace ocilite {

struct ora_error {
  sb4 code = 0;
  std::string text;  // "ORA-00942: table or view does not exist\n", UTF-8
};

// Thrown inside the library; the exported functions turn it into OCI_ERROR
// and an error record.
struct ora_failure {
  ora_error error;
};

// The message of a number, with %s in the catalog text replaced by `arg`.
ora_error make_error(sb4 code, const std::string& arg = std::string());
[[noreturn]] void fail(sb4 code, const std::string& arg = std::string());

// An SQL function's failure with the server's error: map_sqlite_error
// reads the number back.
void result_error(sqlite3_context* ctx, sb4 code, const std::string& arg = std::string());
void result_error(sqlite3_context* ctx, const ora_error& e);

// The Oracle error that best matches a failed SQLite call on `db`.
ora_error map_sqlite_error(sqlite3* db, int rc, const std::string& first_word);

}  // namespace ocilite
