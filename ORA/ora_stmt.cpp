#include "ORA/ora_stmt.h"

#include "ORA/ora_engine.h"
#include "ORA/ora_text.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "oci/oci_library.h"

ora_stmt::ora_stmt() {
  tk_log::write(1, "ora_stmt::ctor");
  ora_engine& engine = ora_engine::instance();
  engine.check_err(oci().OCIHandleAlloc(engine.env, reinterpret_cast<void**>(&handle), OCI_HTYPE_STMT, 0, nullptr));
}

ora_stmt::~ora_stmt() {
  tk_log::write(1, "ora_stmt::dtor");
  if (handle) oci().OCIHandleFree(handle, OCI_HTYPE_STMT);
  tk_log::write(1, "ora_stmt::dtor - END");
}

sword ora_stmt::prepare(const std::wstring& text) {
  std::u16string sql = ora_to_utf16(text);
  return oci().OCIStmtPrepare(handle, ora_engine::instance().err, reinterpret_cast<const OraText*>(sql.c_str()),
                              static_cast<ub4>(sql.size() * sizeof(char16_t)), OCI_NTV_SYNTAX, OCI_DEFAULT);
}

void ora_stmt::require_query() {
  ora_engine& engine = ora_engine::instance();
  ub2 type = 0;
  engine.check_err(oci().OCIAttrGet(handle, OCI_HTYPE_STMT, &type, nullptr, OCI_ATTR_STMT_TYPE, engine.err));
  if (type == OCI_STMT_SELECT) return;
  tk_log::write(2, "Statement type %d is no query: not run", type);
  throw tk_exception(std::string("The query is not a SELECT statement; it was not run."), 0);
}

void ora_stmt::prepare_query(const std::wstring& text) {
  ora_engine::instance().check_err(prepare(text));
  require_query();
}

sword ora_stmt::execute(ub4 iterations, ub4 mode) {
  ora_engine& engine = ora_engine::instance();
  engine.end_if_stopped();
  ora_engine::server_call call(engine);
  return oci().OCIStmtExecute(engine.svc, handle, engine.err, iterations, 0, nullptr, nullptr, mode);
}

sword ora_stmt::fetch() {
  ora_engine& engine = ora_engine::instance();
  engine.end_if_stopped();
  ora_engine::server_call call(engine);
  return oci().OCIStmtFetch(handle, engine.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
}
