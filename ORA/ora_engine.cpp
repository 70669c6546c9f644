#include "ORA/ora_engine.h"

#include "ORA/ora_database.h"
#include "ORA/ora_exception.h"
#include "ORA/ora_stmt.h"
#include "ORA/ora_text.h"
#include "ORA/ora_type_map.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "oci/oci_library.h"
#include "platform/utf8.h"

#include <cwchar>
#include <vector>

namespace {
const wchar_t k_loopback_host[] = L"localhost";
const wchar_t k_default_port[] = L"1521";
const wchar_t k_hidden_password[] = L"***";
}  // namespace

ora_engine::ora_engine() {
  tk_log::write(2, "ora_engine::ctor");
  try {
    initialize();
  } catch (...) {
    qm_rethrow_if_cancelled();
    clean();
    throw;
  }
}

ora_engine::~ora_engine() {
  tk_log::write(2, "ora_engine::dtor");
  clean();
}

void ora_engine::initialize() {
  tk_log::write(2, "ora_engine::initialize");
  // Binding the client is the presence test: it throws the missing-client
  // message before any OCI call.
  const oci_functions& f = oci();
  // Threaded: the stop watch breaks off a call from a thread of its own.
  check_err(f.OCIEnvNlsCreate(&env, OCI_THREADED, nullptr, nullptr, nullptr, nullptr, 0, nullptr, OCI_UTF16ID,
                              OCI_UTF16ID));
  check_err(f.OCIHandleAlloc(env, reinterpret_cast<void**>(&err), OCI_HTYPE_ERROR, 0, nullptr));
  check_err(f.OCIHandleAlloc(env, reinterpret_cast<void**>(&srv), OCI_HTYPE_SERVER, 0, nullptr));
  check_err(f.OCIHandleAlloc(env, reinterpret_cast<void**>(&session), OCI_HTYPE_SESSION, 0, nullptr));
  check_err(f.OCIHandleAlloc(env, reinterpret_cast<void**>(&svc), OCI_HTYPE_SVCCTX, 0, nullptr));
}

std::wstring ora_engine::make_connect_string(const std::wstring& host, const std::wstring& port,
                                             const std::wstring& service) {
  if (host.empty() && port.empty()) return service;
  return L"//" + (host.empty() ? std::wstring(k_loopback_host) : host) + L":" +
         (port.empty() ? std::wstring(k_default_port) : port) + L"/" + service;
}

std::unique_ptr<ora_database> ora_engine::open_db(const std::wstring& host, const std::wstring& user_name,
                                                  const std::wstring& pwd, const std::wstring& port,
                                                  const std::wstring& service) {
  tk_log::write(2, L"ora_engine::open_db (%ls,%ls,%ls,%ls,%ls)", host.c_str(), user_name.c_str(), k_hidden_password,
                port.c_str(), service.c_str());
  return open_db(make_connect_string(host, port, service), user_name, pwd);
}

std::unique_ptr<ora_database> ora_engine::open_db(const std::wstring& connect, const std::wstring& user_name,
                                                  const std::wstring& pwd) {
  tk_log::write(2, L"ora_engine::open_db( %ls, %ls, %ls )", connect.c_str(), user_name.c_str(), k_hidden_password);
  tk_log::write(3, L"Connecting to Oracle data source '%ls'", connect.c_str());
  const oci_functions& f = oci();
  if (attached) {
    // The earlier session goes with its server; the session handle is
    // reused for the new login.
    if (logged_in) f.OCISessionEnd(svc, err, session, OCI_DEFAULT);
    logged_in = false;
    f.OCIServerDetach(srv, err, OCI_DEFAULT);
    attached = false;
  }
  std::u16string text = ora_to_utf16(connect);
  check_err(f.OCIServerAttach(srv, err, reinterpret_cast<const OraText*>(text.c_str()),
                              static_cast<sb4>(text.size() * sizeof(char16_t)), OCI_DEFAULT));
  attached = true;
  check_err(f.OCIAttrSet(svc, OCI_HTYPE_SVCCTX, srv, 0, OCI_ATTR_SERVER, err));
  std::u16string u = ora_to_utf16(user_name);
  std::u16string p = ora_to_utf16(pwd);
  check_err(f.OCIAttrSet(session, OCI_HTYPE_SESSION, u.data(), static_cast<ub4>(u.size() * sizeof(char16_t)),
                         OCI_ATTR_USERNAME, err));
  check_err(f.OCIAttrSet(session, OCI_HTYPE_SESSION, p.data(), static_cast<ub4>(p.size() * sizeof(char16_t)),
                         OCI_ATTR_PASSWORD, err));
  check_err(f.OCISessionBegin(svc, err, session, OCI_CRED_RDBMS, OCI_DEFAULT));
  logged_in = true;
  tk_log::write(2, "The connection has been established");
  check_err(f.OCIAttrSet(svc, OCI_HTYPE_SVCCTX, session, 0, OCI_ATTR_SESSION, err));
  connect_string = connect;
  user = user_name;
  password = pwd;
  return std::make_unique<ora_database>(connect, 1);
}

void ora_engine::clean() {
  tk_log::write(2, "ora_engine::clean");
  if (!env) return;  // nothing was allocated
  const oci_functions& f = oci();
  if (logged_in) f.OCISessionEnd(svc, err, session, OCI_DEFAULT);
  if (attached) f.OCIServerDetach(srv, err, OCI_DEFAULT);
  logged_in = false;
  attached = false;
  if (srv) f.OCIHandleFree(srv, OCI_HTYPE_SERVER);
  if (svc) f.OCIHandleFree(svc, OCI_HTYPE_SVCCTX);
  if (err) f.OCIHandleFree(err, OCI_HTYPE_ERROR);
  if (session) f.OCIHandleFree(session, OCI_HTYPE_SESSION);
  f.OCIHandleFree(env, OCI_HTYPE_ENV);
  srv = nullptr;
  svc = nullptr;
  err = nullptr;
  session = nullptr;
  env = nullptr;
}

void ora_engine::check_err(sword status) {
  tk_log::write(1, "ora_engine::check_err(status=%08X)", static_cast<unsigned>(status));
  if (status == OCI_ERROR) {
    tk_log::write(2, "status == OCI_ERROR");
    char16_t buffer[256] = {};
    sb4 number = 0;
    // Before the error handle exists the environment holds the record.
    void* handle = err ? static_cast<void*>(err) : static_cast<void*>(env);
    ub4 type = err ? OCI_HTYPE_ERROR : OCI_HTYPE_ENV;
    if (handle)
      oci().OCIErrorGet(handle, 1, nullptr, &number, reinterpret_cast<OraText*>(buffer), sizeof buffer, type);
    std::wstring text = ora_from_utf16(buffer, sizeof buffer / sizeof buffer[0]);
    std::string message;
    qm_platform::wide_to_utf8(text.data(), text.size(), message);
    // A call the stop broke off (ORA-01013, or whatever the client says
    // then) ends the run as the stop does.
    if (broke.load()) {
      tk_log::write(2, "Stopped: %s", message.c_str());
      throw tk_final_exception();
    }
    throw ora_exception(message, number);
  }
  if (status == OCI_INVALID_HANDLE) tk_log::write(2, "ERROR: Invalid handle");
}

void ora_engine::end_if_stopped() const {
  if (stop && stop()) throw tk_final_exception();
}

ora_engine::server_call::server_call(ora_engine& e) : engine(e) { ++engine.calls_under_way; }

ora_engine::server_call::~server_call() { --engine.calls_under_way; }

sb4 ora_engine::error_number() {
  sb4 number = 0;
  char16_t text[256] = {};
  if (err &&
      oci().OCIErrorGet(err, 1, nullptr, &number, reinterpret_cast<OraText*>(text), sizeof text, OCI_HTYPE_ERROR) !=
          OCI_SUCCESS)
    number = 0;
  return number;
}

int ora_engine::get_records_cnt(const std::wstring& name_or_query, bool is_query) {
  tk_log::write(2, L"ora_engine::get_records_cnt(%ls)", name_or_query.c_str());
  if (!svc) throw tk_mail_assertion("ora_engi", 447);
  // The line break ends a "--" comment on the query's last line before it
  // can swallow the closing parenthesis.
  std::wstring text = is_query ? L"SELECT COUNT(*) FROM (" + name_or_query + L"\n)"
                               : L"SELECT COUNT(*) FROM " + get_safe_name(name_or_query);
  ora_stmt stmt;
  check_err(stmt.prepare(text));
  int count = 0;
  OCIDefine* define = nullptr;
  check_err(oci().OCIDefineByPos(stmt.handle, &define, err, 1, &count, sizeof count, SQLT_INT, nullptr, nullptr,
                                 nullptr, OCI_DEFAULT));
  sword status = stmt.execute(1);
  check_err(status);
  if (status == OCI_NO_DATA) throw tk_mail_assertion("ora_engi", 469);
  return count;
}

unsigned int ora_engine::parse_version(const std::wstring& banner) {
  for (const std::wstring& word : tk_split(banner, L' ')) {
    if (word.empty() || !std::iswdigit(word[0])) continue;
    int major = 0, minor = 0, third = 0;
    if (std::swscanf(word.c_str(), L"%d.%d.%d", &major, &minor, &third) == 3) {
      tk_log::write(1, "Got Oracle version: %d,%d,%d", major, minor, third);
      return static_cast<unsigned>(major) << 16 | static_cast<unsigned>(minor) << 8 | static_cast<unsigned>(third);
    }
  }
  return 0;
}

unsigned int ora_engine::get_version() {
  tk_log::write(2, "ora_engine::get_version");
  if (!svc) throw tk_mail_assertion("ora_engi", 193);
  ora_stmt stmt;
  check_err(stmt.prepare(L"select * from v$version"));
  std::vector<char16_t> buffer(131072 / sizeof(char16_t));
  OCIDefine* define = nullptr;
  check_err(oci().OCIDefineByPos(stmt.handle, &define, err, 1, buffer.data(),
                                 static_cast<sb4>(buffer.size() * sizeof(char16_t)), SQLT_STR, nullptr, nullptr,
                                 nullptr, OCI_DEFAULT));
  sword status = stmt.execute(1);
  check_err(status);
  if (status == OCI_NO_DATA) throw tk_mail_assertion("ora_engi", 210);
  std::wstring banner = ora_from_utf16(buffer.data(), buffer.size());
  tk_log::write(1, L"Got versioned string:\n%ls", banner.c_str());
  return parse_version(banner);
}

std::wstring ora_engine::get_safe_name(const std::wstring& name) {
  tk_log::write(1, L"ora_engine::get_safe_name(%ls)", name.c_str());
  return L"\"" + name + L"\"";
}

std::wstring ora_engine::get_tab_columns_view() { return L"USER_TAB_COLUMNS"; }

std::wstring ora_engine::get_table_filter(const std::wstring& name) {
  return L"table_name = '" + ora_quote_literal(name) + L"'";
}

bool ora_engine::is_supported_type(const std::wstring& type_name) { return ora_is_supported_type(type_name); }
