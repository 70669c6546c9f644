// A scoped OCI statement handle of the engine's environment.
#pragma once

#include "oci/oci_types.h"

#include <string>
#include <utility>

class ora_stmt {
 public:
  // Allocates the handle; a failure throws through the status check.
  ora_stmt();
  ~ora_stmt();
  ora_stmt(const ora_stmt&) = delete;
  ora_stmt& operator=(const ora_stmt&) = delete;

  // OCIStmtPrepare of the text in UTF-16, native syntax; the status is
  // returned unchecked.
  sword prepare(const std::wstring& text);
  // A prepared statement that the server does not report as a SELECT (a
  // WITH query is one) raises tk_exception (level 0) before anything can
  // run it: a query of the user's must never change the source.
  void require_query();
  // prepare, checked, then require_query.
  void prepare_query(const std::wstring& text);
  // OCIStmtExecute on the engine's service context; unchecked.
  sword execute(ub4 iterations, ub4 mode = OCI_DEFAULT);
  // One row with OCI_FETCH_NEXT; unchecked.
  sword fetch();
  void swap(ora_stmt& other) noexcept { std::swap(handle, other.handle); }

  OCIStmt* handle = nullptr;
};
