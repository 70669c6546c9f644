#include "ORA/ora_lob_insert.h"

#include "ORA/ora_engine.h"
#include "ORA/ora_stmt.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "oci/oci_library.h"
#include "platform/utf8.h"
#include "platform/win32.h"

bool is_lob_type(VARTYPE vartype, std::uint32_t size) {
  if (size >= 1 && size <= 2000) return false;
  return vartype == VT_BLOB || vartype == (VT_ARRAY | VT_UI1) || vartype == VT_BSTR;
}

ora_lob_insert::ora_lob_insert(const std::wstring& name, const std::vector<ora_lob_item>& lob_items)
    : table_name(name), items(lob_items) {
  tk_log::write(1, "ora_lob_insert::ctor(1)");
  try {
    init();
  } catch (...) {
    qm_rethrow_if_cancelled();
    free_locators();
    throw;
  }
  tk_log::write(1, "ora_lob_insert::ctor(1) - at the END");
}

ora_lob_insert::~ora_lob_insert() {
  tk_log::write(1, "ora_lob_insert::~ora_lob_insert");
  free_locators();
}

void ora_lob_insert::init() {
  tk_log::write(1, "ora_lob_insert::init(ld.size()=%zu)", items.size());
  ora_engine& engine = ora_engine::instance();
  defines.assign(items.size(), nullptr);
  locators.assign(items.size(), nullptr);
  for (std::size_t i = 0; i < items.size(); ++i) {
    tk_log::write(1, "ld[%zu].idx=%u, ld[%zu].idx_in=%u, ld[%zu].vt=%d", i, items[i].idx, i, items[i].idx_in, i,
                  items[i].vt);
    engine.check_err(oci().OCIDescriptorAlloc(engine.env, reinterpret_cast<void**>(&locators[i]), OCI_DTYPE_LOB, 0,
                                              nullptr));
  }
}

void ora_lob_insert::free_locators() {
  for (OCILobLocator*& locator : locators) {
    if (locator) oci().OCIDescriptorFree(locator, OCI_DTYPE_LOB);
    locator = nullptr;
  }
}

void ora_lob_insert::insert(const std::wstring& rowid, udb_record& record) {
  tk_log::write(1, L"ora_lob_insert::insert(%ls)", rowid.c_str());
  tk_log::write(1, "ld.size()=%zu", items.size());
  if (items.empty()) {
    tk_log::write(1, "Record has no LOBs - skip it");
    return;
  }
  std::wstring sql = L"SELECT ";
  for (std::size_t i = 0; i < items.size(); ++i) sql += (i ? L", \"" : L"\"") + items[i].name + L"\"";
  sql += L" FROM \"" + table_name + L"\" WHERE ROWID='" + rowid + L"' FOR UPDATE";
  tk_log::write(3, L"Run SQL query: %ls\n", sql.c_str());
  ora_engine& engine = ora_engine::instance();
  ora_stmt stmt;
  engine.check_err(stmt.prepare(sql));
  sb2 indicator = 0;
  for (std::size_t i = 0; i < items.size(); ++i)
    engine.check_err(oci().OCIDefineByPos(stmt.handle, &defines[i], engine.err, static_cast<ub4>(i + 1), &locators[i],
                                          -1, items[i].vt == VT_BSTR ? SQLT_CLOB : SQLT_BLOB, &indicator, nullptr,
                                          nullptr, OCI_DEFAULT));
  engine.check_err(stmt.execute(1));
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].vt == VT_BSTR)
      write_clob(i, record);
    else
      write_blob(i, record);
  }
  tk_log::write(1, "ora_insert::insert - at the END");
}

void ora_lob_insert::write_clob(std::size_t i, udb_record& record) {
  tk_log::write(1, "ora_lob_insert::write_clob");
  if (items[i].idx_in >= record.size()) throw tk_mail_assertion("ora_lob", __LINE__);
  std::wstring text = record[items[i].idx_in].to_wstring();
  std::string bytes;
  qm_platform::wide_to_utf8(text.data(), text.size(), bytes);
  if (bytes.empty()) {
    tk_log::write(1, "Got empty CLOB - skip it");
    return;
  }
  tk_log::write(1, "CLOB size=%zu", bytes.size());
  tk_log::write(1, "CLOB data='%s'", bytes.c_str());
  ora_engine& engine = ora_engine::instance();
  auto amount = static_cast<ub4>(bytes.size());
  // The bytes are UTF-8: the client is told so, since the environment's
  // own character set is UTF-16.
  engine.check_err(oci().OCILobWrite(engine.svc, engine.err, locators[i], &amount, 1, bytes.data(), amount,
                                     OCI_ONE_PIECE, nullptr, nullptr, OCI_UTF8ID, SQLCS_IMPLICIT));
}

void ora_lob_insert::write_blob(std::size_t i, udb_record& record) {
  tk_log::write(1, "ora_lob_insert::write_blob(i=%zu)", i);
  tk_log::write(1, "r.size()=%zu", record.size());
  tk_log::write(1, "ld[i].idx=%u", items[i].idx);
  if (items[i].idx_in >= record.size()) throw tk_mail_assertion("ora_lob", __LINE__);
  udb_field& field = record[items[i].idx_in];
  tk_log::write(1, "r[ld[i].idx_in]->type=%d", field.get_type());
  unsigned char* data = nullptr;
  std::size_t count = field.get_bytes(&data);
  if (count == 0) {
    tk_log::write(1, "Got empty BLOB - skip it");
    return;
  }
  tk_log::write(1, "BLOB size=%zu", count);
  ora_engine& engine = ora_engine::instance();
  auto amount = static_cast<ub4>(count);
  engine.check_err(oci().OCILobWrite(engine.svc, engine.err, locators[i], &amount, 1, data, amount, OCI_ONE_PIECE,
                                     nullptr, nullptr, 0, SQLCS_IMPLICIT));
  tk_log::write(1, "ora_lob_insert::write_blob - at the end");
}
