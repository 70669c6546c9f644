// A client session driven through the oci() function table, the way the
// engine drives it: UTF-16 environment, explicit handles, checked statuses.
#pragma once

#include "oci/oci_library.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

// Binds the library built beside the tests, unless the caller chose one.
inline const oci_functions& test_oci() {
  setenv("QUILLMARK_OCI_LIBRARY", QM_BINARY_DIR "/lib/libocilite.so", 0);
  return oci();
}

inline std::u16string u16(const std::string& s) {
  std::u16string out;
  for (std::size_t i = 0; i < s.size();) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    char32_t c;
    int n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    c = n == 1 ? b : b & (0x7F >> n);
    for (int k = 1; k < n; ++k) c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    i += static_cast<std::size_t>(n);
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

inline std::string u8(const std::u16string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size()) c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// An SQLite file made from a script, removed at the end.
class temp_db {
 public:
  explicit temp_db(const std::string& script, const std::string& name = "test")
      : made("qm_ocilite_"), folder(made.path), path(folder + "/" + name + ".db") {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) ADD_FAILURE() << "cannot open " << path;
    char* error = nullptr;
    if (sqlite3_exec(db, script.c_str(), nullptr, nullptr, &error) != SQLITE_OK)
      ADD_FAILURE() << "fixture script: " << (error ? error : "?");
    sqlite3_free(error);
    sqlite3_close(db);
  }

 private:
  qm_test::temp_folder made;  // before the names below, which are made from it

 public:
  std::string folder, path;
};

class oci_session {
 public:
  explicit oci_session(ub2 charset = OCI_UTF16ID) : f(test_oci()), charset(charset) {
    EXPECT_EQ(OCI_SUCCESS, f.OCIEnvNlsCreate(&env, OCI_DEFAULT, nullptr, nullptr, nullptr,
                                             nullptr, 0, nullptr, charset, charset));
    f.OCIHandleAlloc(env, reinterpret_cast<void**>(&err), OCI_HTYPE_ERROR, 52, nullptr);
    f.OCIHandleAlloc(env, reinterpret_cast<void**>(&srv), OCI_HTYPE_SERVER, 52, nullptr);
    f.OCIHandleAlloc(env, reinterpret_cast<void**>(&ses), OCI_HTYPE_SESSION, 0, nullptr);
    f.OCIHandleAlloc(env, reinterpret_cast<void**>(&svc), OCI_HTYPE_SVCCTX, 0, nullptr);
  }
  ~oci_session() {
    if (logged_in) f.OCISessionEnd(svc, err, ses, OCI_DEFAULT);
    if (attached) f.OCIServerDetach(srv, err, OCI_DEFAULT);
    f.OCIHandleFree(srv, OCI_HTYPE_SERVER);
    f.OCIHandleFree(svc, OCI_HTYPE_SVCCTX);
    f.OCIHandleFree(err, OCI_HTYPE_ERROR);
    f.OCIHandleFree(ses, OCI_HTYPE_SESSION);
    f.OCIHandleFree(env, OCI_HTYPE_ENV);
  }

  // Text in the environment's character set, as the engine passes it.
  std::string enc(const std::string& s) const {
    if (charset != OCI_UTF16ID) return s;
    std::u16string w = u16(s);
    return std::string(reinterpret_cast<const char*>(w.data()), w.size() * 2);
  }

  sword attach(const std::string& connect) {
    std::string c = enc(connect);
    sword s = f.OCIServerAttach(srv, err, reinterpret_cast<const OraText*>(c.data()),
                                static_cast<sb4>(c.size()), OCI_DEFAULT);
    if (s == OCI_SUCCESS) attached = true;
    return s;
  }

  sword login(const std::string& user = "scott", const std::string& password = "secret") {
    sword s = f.OCIAttrSet(svc, OCI_HTYPE_SVCCTX, srv, 0, OCI_ATTR_SERVER, err);
    std::string u = enc(user), p = enc(password);
    if (s == OCI_SUCCESS)
      s = f.OCIAttrSet(ses, OCI_HTYPE_SESSION, u.data(), static_cast<ub4>(u.size()),
                       OCI_ATTR_USERNAME, err);
    if (s == OCI_SUCCESS)
      s = f.OCIAttrSet(ses, OCI_HTYPE_SESSION, p.data(), static_cast<ub4>(p.size()),
                       OCI_ATTR_PASSWORD, err);
    if (s == OCI_SUCCESS) s = f.OCISessionBegin(svc, err, ses, OCI_CRED_RDBMS, OCI_DEFAULT);
    if (s == OCI_SUCCESS) s = f.OCIAttrSet(svc, OCI_HTYPE_SVCCTX, ses, 0, OCI_ATTR_SESSION, err);
    if (s == OCI_SUCCESS) logged_in = true;
    return s;
  }

  void connect(const std::string& where) {
    ASSERT_EQ(OCI_SUCCESS, attach(where)) << error_text();
    ASSERT_EQ(OCI_SUCCESS, login()) << error_text();
  }

  sb4 error_code() {
    sb4 code = 0;
    char16_t buffer[256] = {};
    f.OCIErrorGet(err, 1, nullptr, &code, reinterpret_cast<OraText*>(buffer), sizeof buffer,
                  OCI_HTYPE_ERROR);
    return code;
  }

  std::string error_text() {
    sb4 code = 0;
    char buffer[1024] = {};
    if (f.OCIErrorGet(err, 1, nullptr, &code, reinterpret_cast<OraText*>(buffer), sizeof buffer,
                      OCI_HTYPE_ERROR) != OCI_SUCCESS)
      return "(no error)";
    if (charset == OCI_UTF16ID) return u8(reinterpret_cast<const char16_t*>(buffer));
    return buffer;
  }

  OCIStmt* statement() {
    OCIStmt* st = nullptr;
    f.OCIHandleAlloc(env, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
    return st;
  }

  sword prepare(OCIStmt* st, const std::string& sql) {
    std::string t = enc(sql);
    return f.OCIStmtPrepare(st, err, reinterpret_cast<const OraText*>(t.data()),
                            static_cast<ub4>(t.size()), OCI_NTV_SYNTAX, OCI_DEFAULT);
  }

  // Prepares and executes; the status of the execute.
  sword run(OCIStmt* st, const std::string& sql, ub4 iters, ub4 mode = OCI_DEFAULT) {
    sword s = prepare(st, sql);
    if (s != OCI_SUCCESS) return s;
    return f.OCIStmtExecute(svc, st, err, iters, 0, nullptr, nullptr, mode);
  }

  sword exec(const std::string& sql, ub4 mode = OCI_DEFAULT) {
    OCIStmt* st = statement();
    sword s = run(st, sql, 1, mode);
    f.OCIHandleFree(st, OCI_HTYPE_STMT);
    return s;
  }

  // Every column of every row as SQLT_STR text ("<null>" for NULL).
  std::vector<std::vector<std::string>> query(const std::string& sql) {
    std::vector<std::vector<std::string>> rows;
    OCIStmt* st = statement();
    sword s = run(st, sql, 0);
    EXPECT_EQ(OCI_SUCCESS, s) << sql << ": " << error_text();
    ub4 count = 0;
    f.OCIAttrGet(st, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_PARAM_COUNT, err);
    const ub4 width = 16384;
    std::vector<char16_t> buffers(count * width);
    std::vector<sb2> ind(count);
    for (ub4 i = 0; i < count; ++i) {
      OCIDefine* d = nullptr;
      f.OCIDefineByPos(st, &d, err, i + 1, &buffers[i * width], width * 2, SQLT_STR, &ind[i],
                       nullptr, nullptr, OCI_DEFAULT);
    }
    while (s == OCI_SUCCESS && ((s = f.OCIStmtFetch(st, err, 1, OCI_FETCH_NEXT, OCI_DEFAULT)) ==
                                    OCI_SUCCESS || s == OCI_SUCCESS_WITH_INFO)) {
      s = OCI_SUCCESS;
      std::vector<std::string> row;
      for (ub4 i = 0; i < count; ++i)
        row.push_back(ind[i] == -1 ? "<null>" : u8(&buffers[i * width]));
      rows.push_back(row);
    }
    EXPECT_EQ(OCI_NO_DATA, s) << sql << ": " << error_text();
    f.OCIHandleFree(st, OCI_HTYPE_STMT);
    return rows;
  }

  // The error of a query at its execute or at the fetch of its rows; 0
  // when it has none.
  sb4 query_error(const std::string& sql) {
    OCIStmt* st = statement();
    sword status = run(st, sql, 0);
    char16_t buffer[64];
    OCIDefine* define = nullptr;
    sb2 ind = 0;
    if (status == OCI_SUCCESS)
      status = f.OCIDefineByPos(st, &define, err, 1, buffer, sizeof buffer, SQLT_STR, &ind, nullptr, nullptr,
                                OCI_DEFAULT);
    while (status == OCI_SUCCESS) status = f.OCIStmtFetch(st, err, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
    f.OCIHandleFree(st, OCI_HTYPE_STMT);
    return status == OCI_ERROR ? error_code() : 0;
  }

  const oci_functions& f;
  ub2 charset;
  OCIEnv* env = nullptr;
  OCIError* err = nullptr;
  OCIServer* srv = nullptr;
  OCISvcCtx* svc = nullptr;
  OCISession* ses = nullptr;
  bool attached = false;
  bool logged_in = false;
};

// Statements that each fail with the server's error number.
struct error_case {
  const char* sql;
  sb4 code;
};

inline void expect_errors(oci_session& s, const std::vector<error_case>& cases) {
  for (const error_case& c : cases) {
    EXPECT_EQ(OCI_ERROR, s.exec(c.sql)) << c.sql;
    EXPECT_EQ(c.code, s.error_code()) << c.sql << ": " << s.error_text();
  }
}
