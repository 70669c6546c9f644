#include "ocilite/ol_statement.h"

#include "ocilite/ol_convert.h"
#include "ocilite/ol_database.h"
#include "ocilite/ol_ddl.h"
#include "ocilite/ol_text.h"

#include <cmath>
#include <cstring>
#include <optional>

namespace ocilite {

namespace {

std::shared_ptr<database> session_db(svcctx_handle& svc) {
  if (!svc.server || !is_live(svc.server) || !svc.server->db || !svc.server->db->is_open())
    fail(3114);
  if (!svc.session || !is_live(svc.session) || !svc.session->db ||
      svc.session->db != svc.server->db)
    fail(1012);
  return svc.server->db;
}

void prepare_sqlite(stmt_handle& stmt, sqlite3_stmt** out) {
  sqlite3* db = stmt.db->handle();
  int rc = sqlite3_prepare_v2(db, stmt.plan.sqlite_sql.c_str(),
                              static_cast<int>(stmt.plan.sqlite_sql.size()), out, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(*out);
    *out = nullptr;
    throw ora_failure{map_sqlite_error(db, rc, stmt.plan.first_word)};
  }
  if (!*out) fail(900);  // only a comment or blanks
}

bool is_rowid_name(const char* name) {
  return name && (std::strcmp(name, "rowid") == 0 || std::strcmp(name, "oid") == 0 ||
                  std::strcmp(name, "_rowid_") == 0);
}

int visible_columns(const stmt_handle& stmt) {
  int n = sqlite3_column_count(stmt.st);
  return stmt.plan.for_update && n > 0 ? n - 1 : n;
}

void describe(stmt_handle& stmt) {
  stmt.columns.clear();
  sqlite3* db = stmt.db->handle();
  int n = visible_columns(stmt);
  for (int i = 0; i < n; ++i) {
    column_desc c;
    const char* name = sqlite3_column_name(stmt.st, i);
    c.name = name ? name : "";
    const char* decl = sqlite3_column_decltype(stmt.st, i);
    const char* table = sqlite3_column_table_name(stmt.st, i);
    const char* origin = sqlite3_column_origin_name(stmt.st, i);
    const char* schema = sqlite3_column_database_name(stmt.st, i);
    if (static_cast<std::size_t>(i) < stmt.plan.columns.size()) {
      // The static type of the select list's column at this position.
      c.name = stmt.plan.columns[static_cast<std::size_t>(i)].name;
      c.type = stmt.plan.columns[static_cast<std::size_t>(i)].type;
    } else if (decl) {
      c.type = parse_declared_type(decl);
    }
    if (table && origin) {
      const char* type = nullptr;
      const char* collation = nullptr;
      int not_null = 0, pk = 0, autoinc = 0;
      if (sqlite3_table_column_metadata(db, schema, table, origin, &type, &collation, &not_null,
                                        &pk, &autoinc) == SQLITE_OK)
        c.is_null = (not_null || pk) ? 0 : 1;
      if (stmt.plan.columns.empty() && is_rowid_name(origin) && decl && std::strcmp(decl, "INTEGER") == 0) {
        c.type = rowid_type();
        c.is_null = 0;
        if (is_rowid_name(c.name.c_str())) c.name = "ROWID";
      }
      c.table = table;
      c.column = origin;
    }
    stmt.columns.push_back(c);
  }
  stmt.described = true;
}

// A text bound for a column is stored as the column stores it: a number
// by the storage convention of NUMBER columns, hexadecimal digits as the
// bytes of a RAW or BLOB column; a NaN bound for a binary column as "Nan".
cell for_column(col_kind target, cell v) {
  if (v.type == SQLITE_FLOAT && std::isnan(v.d) &&
      (target == col_kind::binary_float || target == col_kind::binary_double))
    return cell::text("Nan");
  if (v.type != SQLITE_TEXT) return v;
  if (target == col_kind::number) return number_cell(v.bytes);
  if (target == col_kind::raw || target == col_kind::blob) return cell::blob(hex_to_bytes(v.bytes));
  return v;
}

void bind_row(stmt_handle& stmt, sqlite3_stmt* st, ub4 row) {
  for (std::size_t k = 0; k < stmt.plan.placeholders.size(); ++k) {
    const placeholder& p = stmt.plan.placeholders[k];
    auto it = stmt.binds.find(static_cast<ub4>(k + 1));
    if (it == stmt.binds.end()) fail(1008);
    if (p.out) continue;
    cell v = for_column(p.target, bind_value(*it->second, row));
    v.bind_to(st, p.index);
  }
}

out_slot slot_of(void* valuep, sb4 value_sz, ub2 dty, sb2* ind, ub2* len, ub2* rcode, ub2 csid,
                 const env_handle* env, ub4 row) {
  out_slot s;
  s.data = static_cast<char*>(valuep) + element_stride(dty, value_sz) * row;
  s.size = value_sz;
  s.dty = dty;
  s.csid = csid ? csid : env_charset(env);
  s.ind = ind ? ind + row : nullptr;
  s.rlen = len ? len + row : nullptr;
  s.rcode = rcode ? rcode + row : nullptr;
  return s;
}

// The row just returned by RETURNING, into the INTO targets of this row.
bool put_returning(stmt_handle& stmt, sqlite3_stmt* st, ub4 row) {
  bool cut = false;
  for (std::size_t k = 0; k < stmt.plan.placeholders.size(); ++k) {
    const placeholder& p = stmt.plan.placeholders[k];
    if (!p.out) continue;
    bind_handle* b = stmt.binds[static_cast<ub4>(k + 1)];
    column_desc c;
    const char* decl = sqlite3_column_decltype(st, p.index);
    if (decl) c.type = parse_declared_type(decl);
    cell v = cell::from_column(st, p.index);
    ub2* alen = b->alenp;
    out_slot s = slot_of(b->valuep, b->value_sz, b->dty, b->indp, alen, b->rcodep, b->csid,
                         b->env, row);
    sb2 ignored = 0;
    if (!s.ind) s.ind = &ignored;
    cut |= put_value(c, v, s, row_source{});
  }
  return cut;
}

// The savepoint of SAVEPOINT name and ROLLBACK [WORK] TO [SAVEPOINT] name.
std::optional<std::string> savepoint_of(const std::string& sql) {
  std::vector<token> t;
  for (token& k : lex(sql))
    if (k.kind != tok::space && k.kind != tok::comment) t.push_back(std::move(k));
  auto is = [&](std::size_t i, const char* w) { return i < t.size() && t[i].kind == tok::word && t[i].value == w; };
  auto name = [&](std::size_t i) -> std::optional<std::string> {
    if (i + 1 != t.size() || (t[i].kind != tok::word && t[i].kind != tok::quoted)) fail(933);
    return object_name(t[i]);
  };
  if (is(0, "SAVEPOINT")) return name(1);
  if (!is(0, "ROLLBACK")) return std::nullopt;
  std::size_t i = is(1, "WORK") ? 2 : 1;
  if (!is(i, "TO")) return std::nullopt;
  ++i;
  if (is(i, "SAVEPOINT")) ++i;
  return name(i);
}

}  // namespace

void stmt_prepare(stmt_handle& stmt, const std::string& sql) {
  stmt.finalize();
  for (auto& [pos, d] : stmt.defines) destroy_handle(d);
  stmt.defines.clear();
  for (auto& [pos, b] : stmt.binds) destroy_handle(b);
  stmt.binds.clear();
  stmt.sql = sql;
  stmt.plan = classify(sql);
  stmt.prepared = true;
  stmt.row_count = 0;
  stmt.rows_fetched = 0;
}

sword stmt_execute(svcctx_handle& svc, stmt_handle& stmt, ub4 iters, ub4 rowoff, ub4 mode,
                   ora_error& info) {
  if (!stmt.prepared) fail(24337);
  std::shared_ptr<database> db = session_db(svc);
  stmt.finalize();
  stmt.db = db;
  stmt.row_count = 0;
  stmt.rows_fetched = 0;
  db->refresh_dictionary();
  bool parse_only = (mode & (OCI_DESCRIBE_ONLY | OCI_PARSE_ONLY)) != 0;
  sql_plan classified = classify(stmt.sql);
  if (classified.kind == stmt_kind::ddl && run_modelled_ddl(*db, stmt.sql, parse_only)) {
    stmt.plan = classified;
    db->refresh_dictionary();
    return OCI_SUCCESS;
  }
  if (auto name = savepoint_of(stmt.sql)) {
    stmt.plan = classified;
    if (parse_only) return OCI_SUCCESS;
    if (classified.kind == stmt_kind::rollback) {
      db->exec("ROLLBACK TO " + sql_name(*name));
    } else {
      db->begin();
      db->exec("SAVEPOINT " + sql_name(*name));
    }
    return OCI_SUCCESS;
  }
  stmt.plan = translate(stmt.sql, db->user(), &db->schema());
  const sql_plan& plan = stmt.plan;

  switch (plan.kind) {
    case stmt_kind::commit:
      if (!parse_only) db->commit();
      return OCI_SUCCESS;
    case stmt_kind::rollback:
      if (!parse_only) db->rollback();
      return OCI_SUCCESS;
    case stmt_kind::plsql:
    case stmt_kind::unknown:
      fail(900);
    case stmt_kind::ddl: {
      prepare_sqlite(stmt, &stmt.st);
      if (parse_only) return OCI_SUCCESS;
      // The server commits before and after a definition.
      db->commit();
      int rc = sqlite3_step(stmt.st);
      if (rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw ora_failure{map_sqlite_error(db->handle(), rc, plan.first_word)};
      stmt.finalize();
      db->commit();
      db->refresh_dictionary();
      return OCI_SUCCESS;
    }
    case stmt_kind::query: {
      prepare_sqlite(stmt, &stmt.st);
      // A WITH clause that SQLite reads differently may still lead a write.
      if (!sqlite3_stmt_readonly(stmt.st)) {
        stmt.finalize();
        fail(928);
      }
      if (parse_only) {
        describe(stmt);
        return OCI_SUCCESS;
      }
      bind_row(stmt, stmt.st, rowoff);
      if (plan.for_update) db->begin();
      describe(stmt);
      stmt.executed = true;
      sword status = OCI_SUCCESS;
      if (iters > 0) status = stmt_fetch(stmt, iters, OCI_FETCH_NEXT, info);
      if ((mode & OCI_COMMIT_ON_SUCCESS) && !plan.for_update) db->commit();
      return status;
    }
    case stmt_kind::dml: {
      if (iters == 0 && !parse_only) fail(24333);
      prepare_sqlite(stmt, &stmt.st);
      if (parse_only) return OCI_SUCCESS;
      db->begin();
      bool cut = false;
      for (ub4 r = rowoff; r < rowoff + iters; ++r) {
        sqlite3_clear_bindings(stmt.st);
        bind_row(stmt, stmt.st, r);
        int rc;
        while ((rc = sqlite3_step(stmt.st)) == SQLITE_ROW)
          if (plan.returning) cut |= put_returning(stmt, stmt.st, r);
        if (rc != SQLITE_DONE) {
          ora_error e = map_sqlite_error(db->handle(), rc, plan.first_word);
          sqlite3_reset(stmt.st);
          throw ora_failure{e};
        }
        stmt.row_count += static_cast<ub4>(sqlite3_changes(db->handle()));
        sqlite3_reset(stmt.st);
      }
      stmt.finalize();
      if (mode & OCI_COMMIT_ON_SUCCESS) db->commit();
      if (cut) {
        info = make_error(24345);
        return OCI_SUCCESS_WITH_INFO;
      }
      return OCI_SUCCESS;
    }
  }
  fail(900);
}

sword stmt_fetch(stmt_handle& stmt, ub4 nrows, ub2 orientation, ora_error& info) {
  if (!stmt.executed || !stmt.st) fail(1002);
  if (orientation != OCI_FETCH_NEXT && orientation != OCI_DEFAULT) fail(24391);
  stmt.rows_fetched = 0;
  if (nrows == 0) {
    stmt.end_of_fetch = true;
    return OCI_SUCCESS;
  }
  if (stmt.defines.empty()) fail(24374);
  for (auto& [pos, d] : stmt.defines)
    if (pos < 1 || pos > stmt.columns.size()) fail(1007);
  if (!stmt.db || !stmt.db->is_open()) fail(3114);
  bool cut = false;
  ub4 row = 0;
  int hidden = visible_columns(stmt);
  while (row < nrows && !stmt.end_of_fetch) {
    int rc = sqlite3_step(stmt.st);
    if (rc == SQLITE_DONE) {
      stmt.end_of_fetch = true;
      break;
    }
    if (rc != SQLITE_ROW) throw ora_failure{map_sqlite_error(stmt.db->handle(), rc, "SELECT")};
    row_source src;
    src.db = stmt.db;
    if (stmt.plan.for_update) {
      src.rowid = sqlite3_column_int64(stmt.st, hidden);
      src.locked = true;
    }
    for (auto& [pos, d] : stmt.defines) {
      const column_desc& col = stmt.columns[pos - 1];
      if (!src.locked && !col.table.empty() &&
          (col.type.kind == col_kind::clob || col.type.kind == col_kind::blob))
        src.rowid = 0;
      cell v = cell::from_column(stmt.st, static_cast<int>(pos - 1));
      out_slot s = slot_of(d->valuep, d->value_sz, d->dty, d->indp, d->rlenp, d->rcodep, d->csid,
                           d->env, row);
      cut |= put_value(col, v, s, src);
    }
    ++row;
  }
  stmt.rows_fetched = row;
  stmt.row_count += row;
  if (row < nrows) return OCI_NO_DATA;
  if (cut) {
    info = make_error(24345);
    return OCI_SUCCESS_WITH_INFO;
  }
  return OCI_SUCCESS;
}

const column_desc& stmt_column(stmt_handle& stmt, ub4 position) {
  if (!stmt.described) fail(24338);
  if (position < 1 || position > stmt.columns.size()) fail(24334);
  return stmt.columns[position - 1];
}

}  // namespace ocilite
