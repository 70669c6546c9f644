#include "ORA/ora_stmt.h"

#include "ORA/ora_engine.h"
#include "ORA/ora_text.h"
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

sword ora_stmt::execute(ub4 iterations, ub4 mode) {
  ora_engine& engine = ora_engine::instance();
  return oci().OCIStmtExecute(engine.svc, handle, engine.err, iterations, 0, nullptr, nullptr, mode);
}

sword ora_stmt::fetch() {
  return oci().OCIStmtFetch(handle, ora_engine::instance().err, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
}
