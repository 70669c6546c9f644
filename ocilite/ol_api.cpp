// The exported C functions. Each call runs under one library-wide lock,
// checks its handles against the registry, and turns the errors raised
// inside into OCI_ERROR with a record on the caller's error handle.
#include "ocilite/ol_database.h"
#include "ocilite/ol_handles.h"
#include "ocilite/ol_lob.h"
#include "ocilite/ol_statement.h"
#include "ocilite/ol_text.h"

#pragma GCC visibility push(default)
#include "oci/oci_prototypes.h"
#pragma GCC visibility pop

#include <cstring>
#include <cxxabi.h>
#include <mutex>
#include <new>

using namespace ocilite;

namespace {

std::recursive_mutex& api_mutex() {
  static auto* m = new std::recursive_mutex;
  return *m;
}

// OCIBreak comes from another thread while a call holds the api lock: it
// takes this one alone, which guards the server's connection and the
// service context's server while they change.
std::mutex& break_mutex() {
  static auto* m = new std::mutex;
  return *m;
}

void record(error_handle* err, const ora_error& e) {
  if (!err) return;
  err->has_error = true;
  err->error = e;
}

struct invalid_handle {};

// Runs a call: the error handle, when the call takes one, must be valid.
template <typename F>
sword guarded(const void* errhp, bool needs_error, F&& body) {
  std::lock_guard<std::recursive_mutex> lock(api_mutex());
  error_handle* err = as<error_handle>(errhp, OCI_HTYPE_ERROR);
  if (needs_error && !err) return OCI_INVALID_HANDLE;
  if (err) err->has_error = false;
  try {
    return body(err);
  } catch (const invalid_handle&) {
    return OCI_INVALID_HANDLE;
  } catch (const ora_failure& f) {
    record(err, f.error);
    return OCI_ERROR;
  } catch (const std::bad_alloc&) {
    record(err, make_error(4030, "?"));
    return OCI_ERROR;
  } catch (abi::__forced_unwind&) {
    // A cancelled thread unwinds through here: swallowing that aborts.
    throw;
  } catch (...) {
    record(err, make_error(600, "unexpected failure"));
    return OCI_ERROR;
  }
}

template <typename T>
T& need(const void* p, ub4 kind) {
  T* h = as<T>(p, kind);
  if (!h) throw invalid_handle{};
  return *h;
}

handle* live_handle(const void* p) {
  return p && is_live(p) ? static_cast<handle*>(const_cast<void*>(p)) : nullptr;
}

template <typename T>
void put_attr(void* attributep, ub4* sizep, T value) {
  if (attributep) std::memcpy(attributep, &value, sizeof value);
  if (sizep) *sizep = sizeof value;
}

void give_user_memory(handle* h, size_t extra, void** usrmempp) {
  if (extra > 0) h->user_memory.assign(extra, 0);
  if (usrmempp) *usrmempp = extra > 0 ? h->user_memory.data() : nullptr;
}

template <typename T, typename... A>
T* create(A&&... args) {
  T* h = new T(std::forward<A>(args)...);
  register_handle(h);
  return h;
}

std::string text_in(const void* data, ub4 bytes, const env_handle* env) {
  return decode_text(data, bytes, env_charset(env));
}

void free_handle(handle* h);

void free_children(env_handle* env);

void free_handle(handle* h) {
  std::unique_lock<std::mutex> breaks(break_mutex(), std::defer_lock);
  if (h->kind == OCI_HTYPE_SERVER || h->kind == OCI_HTYPE_SVCCTX) breaks.lock();
  switch (h->kind) {
    case OCI_HTYPE_ENV:
      free_children(static_cast<env_handle*>(h));
      break;
    case OCI_HTYPE_SERVER: {
      auto* s = static_cast<server_handle*>(h);
      if (s->db) s->db->close(false);
      break;
    }
    case OCI_HTYPE_DEFINE: {
      auto* d = static_cast<define_handle*>(h);
      if (d->stmt && is_live(d->stmt)) {
        auto it = d->stmt->defines.find(d->position);
        if (it != d->stmt->defines.end() && it->second == d) d->stmt->defines.erase(it);
      }
      break;
    }
    case OCI_HTYPE_BIND: {
      auto* b = static_cast<bind_handle*>(h);
      if (b->stmt && is_live(b->stmt)) {
        auto it = b->stmt->binds.find(b->position);
        if (it != b->stmt->binds.end() && it->second == b) b->stmt->binds.erase(it);
      }
      break;
    }
    case OCI_DTYPE_PARAM: {
      auto* p = static_cast<param_desc*>(h);
      if (p->stmt && is_live(p->stmt)) {
        auto& list = p->stmt->params;
        for (auto it = list.begin(); it != list.end(); ++it)
          if (*it == p) {
            list.erase(it);
            break;
          }
      }
      break;
    }
    default:
      break;
  }
  destroy_handle(h);
}

}  // namespace

namespace ocilite {
std::vector<handle*> handles_of(env_handle* env);
}

namespace {
void free_children(env_handle* env) {
  // Statements first: they own defines, binds and parameters.
  for (int pass = 0; pass < 2; ++pass)
    for (handle* h : handles_of(env)) {
      if (h == env || !is_live(h)) continue;
      bool stmt = h->kind == OCI_HTYPE_STMT;
      if ((pass == 0) == stmt) free_handle(h);
    }
}
}  // namespace

extern "C" {

sword OCIEnvNlsCreate(OCIEnv** envhpp, ub4 mode, void*, void* (*)(void*, size_t),
                      void* (*)(void*, void*, size_t), void (*)(void*, void*), size_t xtramem_sz,
                      void** usrmempp, ub2 charset, ub2 ncharset) {
  std::lock_guard<std::recursive_mutex> lock(api_mutex());
  if (!envhpp) return OCI_INVALID_HANDLE;
  try {
    env_handle* env = create<env_handle>();
    env->mode = mode;
    env->charset = charset;
    env->ncharset = ncharset;
    give_user_memory(env, xtramem_sz, usrmempp);
    *envhpp = reinterpret_cast<OCIEnv*>(env);
    if (!is_known_charset(charset) || !is_known_charset(ncharset)) {
      env->has_error = true;
      env->last = make_error(12715);
      return OCI_ERROR;
    }
    return OCI_SUCCESS;
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (...) {
    *envhpp = nullptr;
    return OCI_ERROR;
  }
}

sword OCIHandleAlloc(const void* parenth, void** hndlpp, ub4 type, size_t xtramem_sz,
                     void** usrmempp) {
  std::lock_guard<std::recursive_mutex> lock(api_mutex());
  env_handle* env = as<env_handle>(parenth, OCI_HTYPE_ENV);
  if (!env || !hndlpp) return OCI_INVALID_HANDLE;
  try {
    handle* h = nullptr;
    switch (type) {
      case OCI_HTYPE_ERROR: h = create<error_handle>(env); break;
      case OCI_HTYPE_SERVER: h = create<server_handle>(env); break;
      case OCI_HTYPE_SVCCTX: h = create<svcctx_handle>(env); break;
      case OCI_HTYPE_SESSION: h = create<session_handle>(env); break;
      case OCI_HTYPE_STMT: h = create<stmt_handle>(env); break;
      default: return OCI_INVALID_HANDLE;
    }
    give_user_memory(h, xtramem_sz, usrmempp);
    *hndlpp = h;
    return OCI_SUCCESS;
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (...) {
    return OCI_ERROR;
  }
}

sword OCIHandleFree(void* hndlp, ub4 type) {
  std::lock_guard<std::recursive_mutex> lock(api_mutex());
  handle* h = as<handle>(hndlp, type);
  if (!h || type == OCI_DTYPE_LOB || type == OCI_DTYPE_PARAM || is_datetime_kind(type))
    return OCI_INVALID_HANDLE;
  free_handle(h);
  return OCI_SUCCESS;
}

sword OCIDescriptorAlloc(const void* parenth, void** descpp, ub4 type, size_t xtramem_sz,
                         void** usrmempp) {
  std::lock_guard<std::recursive_mutex> lock(api_mutex());
  env_handle* env = as<env_handle>(parenth, OCI_HTYPE_ENV);
  if (!env || !descpp) return OCI_INVALID_HANDLE;
  try {
    handle* h = nullptr;
    if (type == OCI_DTYPE_LOB)
      h = create<lob_locator>(env);
    else if (is_datetime_kind(type))
      h = create<datetime_desc>(type, env);
    else
      return OCI_INVALID_HANDLE;
    give_user_memory(h, xtramem_sz, usrmempp);
    *descpp = h;
    return OCI_SUCCESS;
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (...) {
    return OCI_ERROR;
  }
}

sword OCIDescriptorFree(void* descp, ub4 type) {
  std::lock_guard<std::recursive_mutex> lock(api_mutex());
  handle* h = as<handle>(descp, type);
  if (!h || !(type == OCI_DTYPE_LOB || type == OCI_DTYPE_PARAM || is_datetime_kind(type)))
    return OCI_INVALID_HANDLE;
  free_handle(h);
  return OCI_SUCCESS;
}

sword OCIServerAttach(OCIServer* srvhp, OCIError* errhp, const OraText* dblink, sb4 dblink_len,
                      ub4) {
  return guarded(errhp, true, [&](error_handle*) {
    auto& srv = need<server_handle>(srvhp, OCI_HTYPE_SERVER);
    if (srv.db) fail(24309);
    std::string name = dblink && dblink_len > 0
                           ? text_in(dblink, static_cast<ub4>(dblink_len), srv.env)
                           : std::string();
    std::shared_ptr<database> db = database::open(resolve_connect_string(name));
    std::lock_guard<std::mutex> breaks(break_mutex());
    srv.db = std::move(db);
    return OCI_SUCCESS;
  });
}

sword OCIServerDetach(OCIServer* srvhp, OCIError* errhp, ub4) {
  return guarded(errhp, true, [&](error_handle*) {
    auto& srv = need<server_handle>(srvhp, OCI_HTYPE_SERVER);
    std::lock_guard<std::mutex> breaks(break_mutex());
    if (srv.db) srv.db->close(false);
    srv.db.reset();
    return OCI_SUCCESS;
  });
}

sword OCISessionBegin(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4 credt, ub4) {
  return guarded(errhp, true, [&](error_handle*) {
    auto& svc = need<svcctx_handle>(svchp, OCI_HTYPE_SVCCTX);
    auto& usr = need<session_handle>(usrhp, OCI_HTYPE_SESSION);
    if (!svc.server || !is_live(svc.server) || !svc.server->db || !svc.server->db->is_open())
      fail(24327);
    if (usr.db && usr.db->is_open()) fail(24313);
    if (credt != OCI_CRED_RDBMS) fail(1017);
    svc.server->db->login(usr.user, usr.password);
    usr.db = svc.server->db;
    svc.session = &usr;
    return OCI_SUCCESS;
  });
}

sword OCISessionEnd(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4) {
  return guarded(errhp, true, [&](error_handle*) {
    auto& svc = need<svcctx_handle>(svchp, OCI_HTYPE_SVCCTX);
    session_handle* usr = usrhp ? &need<session_handle>(usrhp, OCI_HTYPE_SESSION)
                                : (svc.session && is_live(svc.session) ? svc.session : nullptr);
    if (!usr || !usr->db) fail(1012);
    // Work left open when the session ends normally is committed.
    if (usr->db->is_open()) usr->db->commit();
    usr->db.reset();
    return OCI_SUCCESS;
  });
}

sword OCIAttrSet(void* trgthndlp, ub4 trghndltyp, void* attributep, ub4 size, ub4 attrtype,
                 OCIError* errhp) {
  return guarded(errhp, true, [&](error_handle*) {
    switch (trghndltyp) {
      case OCI_HTYPE_SVCCTX: {
        auto& svc = need<svcctx_handle>(trgthndlp, trghndltyp);
        if (attrtype == OCI_ATTR_SERVER) {
          server_handle* server = attributep ? &need<server_handle>(attributep, OCI_HTYPE_SERVER) : nullptr;
          std::lock_guard<std::mutex> breaks(break_mutex());
          svc.server = server;
        } else if (attrtype == OCI_ATTR_SESSION) {
          svc.session =
              attributep ? &need<session_handle>(attributep, OCI_HTYPE_SESSION) : nullptr;
        } else {
          fail(24315);
        }
        return OCI_SUCCESS;
      }
      case OCI_HTYPE_SESSION: {
        auto& usr = need<session_handle>(trgthndlp, trghndltyp);
        std::string text = attributep ? text_in(attributep, size, usr.env) : std::string();
        if (attrtype == OCI_ATTR_USERNAME)
          usr.user = text;
        else if (attrtype == OCI_ATTR_PASSWORD)
          usr.password = text;
        else
          fail(24315);
        return OCI_SUCCESS;
      }
      case OCI_HTYPE_DEFINE:
      case OCI_HTYPE_BIND: {
        ub2* csid = nullptr;
        ub1* csfrm = nullptr;
        if (trghndltyp == OCI_HTYPE_DEFINE) {
          auto& d = need<define_handle>(trgthndlp, trghndltyp);
          csid = &d.csid;
          csfrm = &d.csfrm;
        } else {
          auto& b = need<bind_handle>(trgthndlp, trghndltyp);
          csid = &b.csid;
          csfrm = &b.csfrm;
        }
        if (!attributep) fail(24315);
        if (attrtype == OCI_ATTR_CHARSET_ID) {
          ub2 v;
          std::memcpy(&v, attributep, sizeof v);
          if (!is_known_charset(v)) fail(12715);
          *csid = v;
        } else if (attrtype == OCI_ATTR_CHARSET_FORM) {
          std::memcpy(csfrm, attributep, 1);
        } else {
          fail(24315);
        }
        return OCI_SUCCESS;
      }
      case OCI_HTYPE_STMT:
        need<stmt_handle>(trgthndlp, trghndltyp);
        if (attrtype != OCI_ATTR_PREFETCH_ROWS) fail(24315);
        return OCI_SUCCESS;  // rows are read from the file as they are fetched
      default:
        fail(24315);
    }
  });
}

sword OCIAttrGet(const void* trgthndlp, ub4 trghndltyp, void* attributep, ub4* sizep,
                 ub4 attrtype, OCIError* errhp) {
  return guarded(errhp, true, [&](error_handle*) {
    switch (trghndltyp) {
      case OCI_HTYPE_STMT: {
        auto& stmt = need<stmt_handle>(trgthndlp, trghndltyp);
        switch (attrtype) {
          case OCI_ATTR_PARAM_COUNT:
            if (!stmt.described && stmt.plan.kind == stmt_kind::query) fail(24338);
            put_attr<ub4>(attributep, sizep, static_cast<ub4>(stmt.columns.size()));
            return OCI_SUCCESS;
          case OCI_ATTR_ROW_COUNT:
            put_attr<ub4>(attributep, sizep, stmt.row_count);
            return OCI_SUCCESS;
          case OCI_ATTR_ROWS_FETCHED:
            put_attr<ub4>(attributep, sizep, stmt.rows_fetched);
            return OCI_SUCCESS;
          case OCI_ATTR_STMT_TYPE:
            put_attr<ub2>(attributep, sizep, stmt.plan.stmt_type);
            return OCI_SUCCESS;
          default:
            fail(24315);
        }
      }
      case OCI_DTYPE_PARAM: {
        auto& p = need<param_desc>(trgthndlp, trghndltyp);
        const col_type& t = p.column.type;
        switch (attrtype) {
          case OCI_ATTR_DATA_TYPE:
            put_attr<ub2>(attributep, sizep, t.code);
            return OCI_SUCCESS;
          case OCI_ATTR_DATA_SIZE:
            put_attr<ub2>(attributep, sizep, t.data_size);
            return OCI_SUCCESS;
          case OCI_ATTR_PRECISION:
            put_attr<sb2>(attributep, sizep, t.precision);
            return OCI_SUCCESS;
          case OCI_ATTR_SCALE:
            put_attr<sb1>(attributep, sizep, t.scale);
            return OCI_SUCCESS;
          case OCI_ATTR_IS_NULL:
            put_attr<ub1>(attributep, sizep, p.column.is_null);
            return OCI_SUCCESS;
          case OCI_ATTR_CHARSET_FORM:
            put_attr<ub1>(attributep, sizep, t.charset_form);
            return OCI_SUCCESS;
          case OCI_ATTR_NAME: {
            OraText* name = reinterpret_cast<OraText*>(p.encoded_name.data());
            if (attributep) std::memcpy(attributep, &name, sizeof name);
            if (sizep) *sizep = static_cast<ub4>(p.encoded_name.size());
            return OCI_SUCCESS;
          }
          default:
            fail(24315);
        }
      }
      case OCI_HTYPE_SVCCTX: {
        auto& svc = need<svcctx_handle>(trgthndlp, trghndltyp);
        void* value = attrtype == OCI_ATTR_SERVER    ? static_cast<void*>(svc.server)
                      : attrtype == OCI_ATTR_SESSION ? static_cast<void*>(svc.session)
                                                     : nullptr;
        if (attrtype != OCI_ATTR_SERVER && attrtype != OCI_ATTR_SESSION) fail(24315);
        put_attr<void*>(attributep, sizep, value);
        return OCI_SUCCESS;
      }
      default:
        fail(24315);
    }
  });
}

sword OCIParamGet(const void* hndlp, ub4 htype, OCIError* errhp, void** parmdpp, ub4 pos) {
  return guarded(errhp, true, [&](error_handle*) {
    if (htype != OCI_HTYPE_STMT || !parmdpp) fail(24315);
    auto& stmt = need<stmt_handle>(hndlp, htype);
    const column_desc& c = stmt_column(stmt, pos);
    param_desc* p = create<param_desc>(stmt.env);
    p->stmt = &stmt;
    p->column = c;
    p->encoded_name = encode_text(c.name, env_charset(stmt.env));
    stmt.params.push_back(p);
    *parmdpp = p;
    return OCI_SUCCESS;
  });
}

sword OCIStmtPrepare(OCIStmt* stmtp, OCIError* errhp, const OraText* stmt, ub4 stmt_len, ub4,
                     ub4) {
  return guarded(errhp, true, [&](error_handle*) {
    auto& s = need<stmt_handle>(stmtp, OCI_HTYPE_STMT);
    stmt_prepare(s, stmt ? text_in(stmt, stmt_len, s.env) : std::string());
    return OCI_SUCCESS;
  });
}

sword OCIStmtExecute(OCISvcCtx* svchp, OCIStmt* stmtp, OCIError* errhp, ub4 iters, ub4 rowoff,
                     const OCISnapshot*, OCISnapshot*, ub4 mode) {
  return guarded(errhp, true, [&](error_handle* err) {
    auto& svc = need<svcctx_handle>(svchp, OCI_HTYPE_SVCCTX);
    auto& s = need<stmt_handle>(stmtp, OCI_HTYPE_STMT);
    ora_error info;
    sword status = stmt_execute(svc, s, iters, rowoff, mode, info);
    if (status == OCI_SUCCESS_WITH_INFO) record(err, info);
    return status;
  });
}

sword OCIStmtFetch(OCIStmt* stmtp, OCIError* errhp, ub4 nrows, ub2 orientation, ub4) {
  return guarded(errhp, true, [&](error_handle* err) {
    auto& s = need<stmt_handle>(stmtp, OCI_HTYPE_STMT);
    ora_error info;
    sword status = stmt_fetch(s, nrows, orientation, info);
    if (status == OCI_SUCCESS_WITH_INFO) record(err, info);
    return status;
  });
}

sword OCIDefineByPos(OCIStmt* stmtp, OCIDefine** defnp, OCIError* errhp, ub4 position,
                     void* valuep, sb4 value_sz, ub2 dty, void* indp, ub2* rlenp, ub2* rcodep,
                     ub4) {
  return guarded(errhp, true, [&](error_handle*) {
    auto& s = need<stmt_handle>(stmtp, OCI_HTYPE_STMT);
    if (!defnp || position == 0) fail(1007);
    auto it = s.defines.find(position);
    define_handle* d = it != s.defines.end() ? it->second : nullptr;
    if (!d) {
      d = create<define_handle>(s.env);
      d->stmt = &s;
    }
    d->position = position;
    d->valuep = valuep;
    d->value_sz = value_sz;
    d->dty = dty;
    d->indp = static_cast<sb2*>(indp);
    d->rlenp = rlenp;
    d->rcodep = rcodep;
    s.defines[position] = d;
    *defnp = reinterpret_cast<OCIDefine*>(d);
    return OCI_SUCCESS;
  });
}

sword OCIBindByPos(OCIStmt* stmtp, OCIBind** bindp, OCIError* errhp, ub4 position, void* valuep,
                   sb4 value_sz, ub2 dty, void* indp, ub2* alenp, ub2* rcodep, ub4, ub4*, ub4) {
  return guarded(errhp, true, [&](error_handle*) {
    auto& s = need<stmt_handle>(stmtp, OCI_HTYPE_STMT);
    if (!bindp || position == 0) fail(1036);
    auto it = s.binds.find(position);
    bind_handle* b = it != s.binds.end() ? it->second : nullptr;
    if (!b) {
      b = create<bind_handle>(s.env);
      b->stmt = &s;
      s.binds[position] = b;
    }
    b->position = position;
    b->valuep = valuep;
    b->value_sz = value_sz;
    b->dty = dty;
    b->indp = static_cast<sb2*>(indp);
    b->alenp = alenp;
    b->rcodep = rcodep;
    *bindp = reinterpret_cast<OCIBind*>(b);
    return OCI_SUCCESS;
  });
}

sword OCIErrorGet(void* hndlp, ub4 recordno, OraText*, sb4* errcodep, OraText* bufp, ub4 bufsiz,
                  ub4 type) {
  std::lock_guard<std::recursive_mutex> lock(api_mutex());
  const ora_error* e = nullptr;
  const env_handle* env = nullptr;
  if (type == OCI_HTYPE_ERROR) {
    error_handle* err = as<error_handle>(hndlp, OCI_HTYPE_ERROR);
    if (!err) return OCI_INVALID_HANDLE;
    if (err->has_error) e = &err->error;
    env = err->env;
  } else if (type == OCI_HTYPE_ENV) {
    env_handle* en = as<env_handle>(hndlp, OCI_HTYPE_ENV);
    if (!en) return OCI_INVALID_HANDLE;
    if (en->has_error) e = &en->last;
    env = en;
  } else {
    return OCI_INVALID_HANDLE;
  }
  if (!e || recordno != 1) return OCI_NO_DATA;
  if (errcodep) *errcodep = e->code;
  if (bufp && bufsiz > 0) {
    ub2 cs = env_charset(env);
    std::string enc = encode_text(e->text, cs);
    std::size_t nul = nul_size(cs);
    std::size_t room = bufsiz > nul ? bufsiz - nul : 0;
    std::size_t n = fit_prefix(enc, room, cs);
    std::memcpy(bufp, enc.data(), n);
    if (bufsiz >= nul) std::memset(bufp + n, 0, nul);
  }
  return OCI_SUCCESS;
}

sword OCILobRead(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub4* amtp, ub4 offset,
                 void* bufp, ub4 bufl, void* ctxp, OCICallbackLobRead cbfp, ub2 csid, ub1) {
  return guarded(errhp, true, [&](error_handle*) {
    need<svcctx_handle>(svchp, OCI_HTYPE_SVCCTX);
    lob_locator* loc = as<lob_locator>(locp, OCI_DTYPE_LOB);
    if (!loc) fail(22275);
    return lob_read(*loc, amtp, offset, bufp, bufl, ctxp, cbfp, csid);
  });
}

sword OCILobWrite(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub4* amtp, ub4 offset,
                  void* bufp, ub4 buflen, ub1 piece, void* ctxp, OCICallbackLobWrite cbfp,
                  ub2 csid, ub1) {
  return guarded(errhp, true, [&](error_handle*) {
    need<svcctx_handle>(svchp, OCI_HTYPE_SVCCTX);
    lob_locator* loc = as<lob_locator>(locp, OCI_DTYPE_LOB);
    if (!loc) fail(22275);
    return lob_write(*loc, amtp, offset, bufp, buflen, piece, ctxp, cbfp, csid);
  });
}

sword OCILobCharSetForm(OCIEnv* envhp, OCIError* errhp, const OCILobLocator* locp, ub1* csfrm) {
  return guarded(errhp, true, [&](error_handle*) {
    need<env_handle>(envhp, OCI_HTYPE_ENV);
    lob_locator* loc = as<lob_locator>(locp, OCI_DTYPE_LOB);
    if (!loc || !loc->initialized) fail(22275);
    if (csfrm) *csfrm = loc->clob ? loc->charset_form : 0;
    return OCI_SUCCESS;
  });
}

sword OCIBreak(void* hndlp, OCIError* errhp) {
  // Not under the api lock: the call to break off holds it.
  std::lock_guard<std::mutex> breaks(break_mutex());
  if (errhp && !as<error_handle>(errhp, OCI_HTYPE_ERROR)) return OCI_INVALID_HANDLE;
  server_handle* srv = as<server_handle>(hndlp, OCI_HTYPE_SERVER);
  if (svcctx_handle* svc = as<svcctx_handle>(hndlp, OCI_HTYPE_SVCCTX))
    srv = svc->server && is_live(svc->server) ? svc->server : nullptr;
  if (!srv) return OCI_INVALID_HANDLE;
  // The statement that runs fails with SQLITE_INTERRUPT, that is ORA-01013.
  if (srv->db && srv->db->is_open()) sqlite3_interrupt(srv->db->handle());
  return OCI_SUCCESS;
}

sword OCIDateTimeGetDate(void*, OCIError* err, const OCIDateTime* date, sb2* yr, ub1* mnth,
                         ub1* dy) {
  return guarded(err, true, [&](error_handle*) {
    handle* h = live_handle(date);
    if (!h || !is_datetime_kind(h->kind)) fail(1891);
    auto* d = static_cast<datetime_desc*>(h);
    if (!d->initialized) fail(1891);
    if (yr) *yr = static_cast<sb2>(d->value.year);
    if (mnth) *mnth = static_cast<ub1>(d->value.month);
    if (dy) *dy = static_cast<ub1>(d->value.day);
    return OCI_SUCCESS;
  });
}

sword OCIDateTimeGetTime(void*, OCIError* err, OCIDateTime* datetime, ub1* hr, ub1* mm, ub1* ss,
                         ub4* fsec) {
  return guarded(err, true, [&](error_handle*) {
    handle* h = live_handle(datetime);
    if (!h || !is_datetime_kind(h->kind)) fail(1891);
    auto* d = static_cast<datetime_desc*>(h);
    if (!d->initialized) fail(1891);
    if (hr) *hr = static_cast<ub1>(d->value.hour);
    if (mm) *mm = static_cast<ub1>(d->value.minute);
    if (ss) *ss = static_cast<ub1>(d->value.second);
    if (fsec) *fsec = d->value.nanos;
    return OCI_SUCCESS;
  });
}

}  // extern "C"

// Not an OCI function: the file a connect string names, found as
// OCIServerAttach finds it, for a program that must not write over its own
// source. The length of the path (written with its NUL when it fits), or
// -1 when the string names no file.
extern "C" __attribute__((visibility("default"))) long ocilite_source_file(const char* connect_string, char* path,
                                                                           size_t size) {
  try {
    std::string found = resolve_connect_string(connect_string ? connect_string : "");
    if (path && found.size() < size) std::memcpy(path, found.c_str(), found.size() + 1);
    return static_cast<long>(found.size());
  } catch (...) {
    return -1;
  }
}
