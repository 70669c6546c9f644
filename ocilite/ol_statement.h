// Statements: prepare, execute (queries, DML with array binds, DDL, the
// definitions ocilite carries out itself, savepoints),
// describe and fetch.
#pragma once

#include "ocilite/ol_handles.h"

namespace ocilite {

void stmt_prepare(stmt_handle& stmt, const std::string& sql);
// Returns OCI_SUCCESS, OCI_SUCCESS_WITH_INFO (with `info` set) or OCI_NO_DATA.
sword stmt_execute(svcctx_handle& svc, stmt_handle& stmt, ub4 iters, ub4 rowoff, ub4 mode,
                   ora_error& info);
sword stmt_fetch(stmt_handle& stmt, ub4 nrows, ub2 orientation, ora_error& info);
// The described column at 1-based `position`.
const column_desc& stmt_column(stmt_handle& stmt, ub4 position);

}  // namespace ocilite
