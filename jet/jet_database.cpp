// The database of a workbook and its collections of table and query
// definitions.
#include "TK/tk_log.h"
#include "jet/jet_file.h"
#include "jet/jet_objects.h"
#include "jet/jet_sql.h"
#include "platform/win32.h"

namespace {

class jet_tabledefs final : public jet_com<DAOTableDefs, IID_DAOTableDefs> {
 public:
  jet_tabledefs(jet_session_ptr s, jet_workbook_ptr w) : session(std::move(s)), workbook(std::move(w)) {}

  HRESULT get_Count(SHORT* count) override {
    return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
      if (!count) return E_POINTER;
      if (!workbook->open) return jet_fail(*session, jet_error::no_longer_set);
      *count = static_cast<SHORT>(workbook->tables.size());
      return S_OK;
    });
  }

  HRESULT get_Item(VARIANT item, _DAOTableDef** table) override {
    return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
      if (!table) return E_POINTER;
      *table = nullptr;
      if (!workbook->open) return jet_fail(*session, jet_error::no_longer_set);
      std::wstring name;
      LONG n;
      jet_table_ptr found;
      if (jet_to_text(item, name)) {
        found = workbook->table_named(name);
      } else if (jet_to_long(item, n) && n >= 0 && static_cast<std::size_t>(n) < workbook->tables.size()) {
        found = workbook->tables[static_cast<std::size_t>(n)];
      }
      if (!found) return jet_fail(*session, jet_error::not_found);
      return jet_hand_out(new jet_tabledef(session, workbook, found), table);
    });
  }

  HRESULT Append(IUnknown* object) override {
    return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
      if (!workbook->open) return jet_fail(*session, jet_error::no_longer_set);
      jet_held<_DAOTableDef> held;
      auto* definition = jet_own_object<jet_tabledef>(object, IID__DAOTableDef, held);
      if (!definition) return jet_fail(*session, jet_error::invalid_operation);
      return definition->table->sheet ? jet_fail(*session, jet_error::already_in_collection)
                                      : workbook->append(*session, definition->table);
    });
  }

  HRESULT Delete(BSTR name) override {
    return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
      if (!workbook->open) return jet_fail(*session, jet_error::no_longer_set);
      return workbook->remove(*session, jet_from_bstr(name));
    });
  }

 private:
  jet_session_ptr session;
  jet_workbook_ptr workbook;
};

// A workbook keeps no saved queries.
class jet_querydefs final : public jet_com<DAOQueryDefs, IID_DAOQueryDefs> {
 public:
  explicit jet_querydefs(jet_session_ptr s) : session(std::move(s)) {}
  HRESULT get_Count(SHORT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT get_Item(VARIANT, _DAOQueryDef** query) override {
    return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
      if (query) *query = nullptr;
      return jet_fail(*session, jet_error::not_found);
    });
  }

 private:
  jet_session_ptr session;
};

class jet_querydef final : public jet_com<_DAOQueryDef, IID__DAOQueryDef> {
 public:
  jet_querydef(jet_session_ptr s, jet_workbook_ptr w, std::wstring text)
      : session(std::move(s)), workbook(std::move(w)), sql(std::move(text)) {}

  HRESULT get_Name(BSTR* name) override { return jet_bstr_out(std::wstring(), name); }
  HRESULT get_SQL(BSTR* text) override { return jet_bstr_out(sql, text); }

  HRESULT get_Fields(DAOFields** fields) override {
    return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
      if (!fields) return E_POINTER;
      *fields = nullptr;
      if (!workbook->open) return jet_fail(*session, jet_error::no_longer_set);
      jet_table_ptr table;
      HRESULT hr = jet_query_table(*session, *workbook, sql, table);
      if (FAILED(hr)) return hr;
      // The definitions of the result's fields, which carry no values.
      auto copy = std::make_shared<jet_table>();
      copy->name = table->name;
      copy->columns = table->columns;
      return jet_hand_out(new jet_fields(session, workbook, copy, nullptr), fields);
    });
  }

  HRESULT OpenRecordset(VARIANT type, VARIANT options, VARIANT, DAORecordset** recordset) override {
    return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
      return jet_open_recordset(session, workbook, sql, type, options, recordset);
    });
  }

 private:
  jet_session_ptr session;
  jet_workbook_ptr workbook;
  std::wstring sql;
};

bool is_statement(const std::wstring& text) {
  std::size_t start = text.find_first_not_of(L" \t\r\n");
  return start != std::wstring::npos && jet_same_name(text.substr(start, 6), L"SELECT");
}

}  // namespace

HRESULT jet_query_table(jet_session& session, jet_workbook& workbook, const std::wstring& sql, jet_table_ptr& table) {
  jet_query query;
  if (!jet_parse_query(sql, query))
    return jet_fail_text(session, jet_error::not_supported,
                    L"The workbook driver runs no such statement: only SELECT * FROM a sheet, and SELECT COUNT(*) "
                    L"of one.");
  table = workbook.table_named(query.table);
  if (!table) return jet_fail(session, jet_error::no_such_table, query.table);
  if (query.kind == jet_query::all) return S_OK;
  auto count = std::make_shared<jet_table>();
  count->name = table->name;
  auto column = std::make_shared<jet_column>();
  column->name = L"Expr1000";
  column->type = dbLong;
  column->size = 4;
  count->columns.push_back(column);
  count->result = std::make_unique<biff_sheet>();
  count->result->rows.resize(2);
  count->result->rows[1].push_back(biff_book::number_cell(static_cast<double>(table->record_count())));
  count->sheet = count->result.get();
  table = count;
  return S_OK;
}

HRESULT jet_open_recordset(jet_session_ptr session, jet_workbook_ptr workbook, const std::wstring& source,
                           const VARIANT& type, const VARIANT& options, DAORecordset** recordset) {
  if (!recordset) return E_POINTER;
  *recordset = nullptr;
  if (!workbook->open) return jet_fail(*session, jet_error::no_longer_set);
  LONG kind = dbOpenDynaset, flags = 0;
  if (!jet_missing(type) && !jet_to_long(type, kind)) return jet_fail(*session, jet_error::invalid_operation);
  if (!jet_missing(options) && !jet_to_long(options, flags)) return jet_fail(*session, jet_error::invalid_operation);
  jet_table_ptr table;
  if (is_statement(source)) {
    HRESULT hr = jet_query_table(*session, *workbook, source, table);
    if (FAILED(hr)) return hr;
  } else {
    table = workbook->table_named(source);
    if (!table) return jet_fail(*session, jet_error::no_such_table, source);
  }
  auto cursor = std::make_shared<jet_cursor>();
  cursor->workbook = workbook;
  cursor->table = table;
  cursor->append_only = flags & dbAppendOnly;
  cursor->read_only = (flags & dbReadOnly) || workbook->read_only || table->result != nullptr;
  tk_log::write(1, L"jet: recordset over '%ls' (type %d, options %d)", table->name.c_str(), static_cast<int>(kind),
                static_cast<int>(flags));
  return jet_hand_out(new jet_recordset(session, cursor), recordset);
}

jet_database::jet_database(jet_session_ptr s, jet_workbook_cache_ptr c, jet_workbook_ptr w)
    : session(std::move(s)), cache(std::move(c)), workbook(std::move(w)) {}

jet_database::~jet_database() {
  // Releasing an open database closes it; nobody is left to hear of a failure.
  if (workbook->open && FAILED(Close())) tk_log::write(3, L"jet: the workbook '%ls' was not written", workbook->path.c_str());
}

HRESULT jet_database::get_TableDefs(DAOTableDefs** tables) {
  return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
    if (!tables) return E_POINTER;
    if (!workbook->open) return jet_fail(*session, jet_error::no_longer_set);
    return jet_hand_out(new jet_tabledefs(session, workbook), tables);
  });
}

HRESULT jet_database::get_QueryDefs(DAOQueryDefs** queries) {
  return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
    if (!queries) return E_POINTER;
    if (!workbook->open) return jet_fail(*session, jet_error::no_longer_set);
    return jet_hand_out(new jet_querydefs(session), queries);
  });
}

HRESULT jet_database::CreateTableDef(VARIANT name, VARIANT, VARIANT, VARIANT, _DAOTableDef** table) {
  return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
    if (!table) return E_POINTER;
    *table = nullptr;
    if (!workbook->open) return jet_fail(*session, jet_error::no_longer_set);
    auto definition = std::make_shared<jet_table>();
    if (!jet_missing(name) && !jet_to_text(name, definition->name))
      return jet_fail(*session, jet_error::invalid_operation);
    return jet_hand_out(new jet_tabledef(session, workbook, definition), table);
  });
}

HRESULT jet_database::CreateQueryDef(VARIANT name, VARIANT sql_text, _DAOQueryDef** query) {
  return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
    if (!query) return E_POINTER;
    *query = nullptr;
    if (!workbook->open) return jet_fail(*session, jet_error::no_longer_set);
    std::wstring text, query_name;
    if (!jet_missing(name) && !jet_to_text(name, query_name)) return jet_fail(*session, jet_error::invalid_operation);
    // A workbook cannot keep a named query.
    if (!query_name.empty()) return jet_fail(*session, jet_error::not_supported);
    if (!jet_missing(sql_text) && !jet_to_text(sql_text, text)) return jet_fail(*session, jet_error::invalid_operation);
    jet_query parsed;
    if (!jet_parse_query(text, parsed))
      return jet_fail_text(*session, jet_error::not_supported,
                      L"The workbook driver runs no such statement: only SELECT * FROM a sheet, and SELECT COUNT(*) "
                      L"of one.");
    return jet_hand_out(new jet_querydef(session, workbook, text), query);
  });
}

HRESULT jet_database::OpenRecordset(BSTR name, VARIANT type, VARIANT options, VARIANT, DAORecordset** recordset) {
  return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
    return jet_open_recordset(session, workbook, jet_from_bstr(name), type, options, recordset);
  });
}

HRESULT jet_database::Close() {
  return jet_guard(*session, jet_error::write_failed, [&]() -> HRESULT {
    if (!workbook->open) return jet_fail(*session, jet_error::no_longer_set);
    workbook->open = false;
    tk_log::write(2, L"jet_database::Close(%ls)", workbook->path.c_str());
    // The engine keeps the workbook and writes what changed when it must.
    return cache->keep(*session, workbook);
  });
}
