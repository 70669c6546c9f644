#include "fake_access_database.h"

#include "dao/dao_engine.h"
#include "jet/jet_com.h"
#include "jet/jet_engine.h"
#include "jet/jet_variant.h"
#include "platform/com_runtime.h"

namespace {

using state_ptr = std::shared_ptr<fake_access>;
using rows_ptr = std::shared_ptr<const fake_rows>;

// The DAO error of the last failed call, as the DBEngine's Errors hold it.
struct dao_error_text {
  LONG number = 0;
  std::wstring text;
};
dao_error_text last_error;

HRESULT failed(LONG number, const std::wstring& text) {
  last_error.number = number;
  last_error.text = text;
  return dao_hresult(number);
}

std::wstring arg_text(const VARIANT& v) {
  return v.vt == VT_BSTR && v.bstrVal ? std::wstring(v.bstrVal, SysStringLen(v.bstrVal)) : std::wstring();
}

LONG arg_long(const VARIANT& v) { return v.vt == VT_I2 ? v.iVal : v.vt == VT_I4 ? v.lVal : -1; }

// A collection item by position or by name.
template <class Names>
int position_of(const VARIANT& item, std::size_t count, Names name_at) {
  if (item.vt == VT_BSTR) {
    std::wstring wanted = arg_text(item);
    for (std::size_t i = 0; i < count; ++i)
      if (jet_same_name(name_at(i), wanted)) return static_cast<int>(i);
    return -1;
  }
  LONG at = arg_long(item);
  return at >= 0 && static_cast<std::size_t>(at) < count ? static_cast<int>(at) : -1;
}

HRESULT no_item() { return failed(3265, L"Item not found in this collection."); }
HRESULT not_here() { return failed(3251, L"Operation is not supported for this type of object."); }

class fake_error final : public jet_com<DAOError, IID_DAOError> {
 public:
  HRESULT get_Number(LONG* n) override {
    *n = last_error.number;
    return S_OK;
  }
  HRESULT get_Description(BSTR* d) override { return jet_bstr_out(last_error.text, d); }
};

class fake_errors final : public jet_com<DAOErrors, IID_DAOErrors> {
 public:
  HRESULT get_Count(SHORT* count) override {
    *count = last_error.number ? 1 : 0;
    return S_OK;
  }
  HRESULT get_Item(VARIANT, DAOError** error) override {
    if (!last_error.number) return E_INVALIDARG;
    return jet_hand_out(new fake_error, error);
  }
};

class fake_property final : public jet_com<DAOProperty, IID_DAOProperty> {
 public:
  HRESULT get_Value(VARIANT* value) override {
    VariantInit(value);
    return S_OK;
  }
};

class fake_properties final : public jet_com<DAOProperties, IID_DAOProperties> {
 public:
  HRESULT get_Count(SHORT* count) override {
    *count = 1;
    return S_OK;
  }
  HRESULT get_Item(VARIANT, DAOProperty** property) override { return jet_hand_out(new fake_property, property); }
};

// A column of a definition (row -1: no value) or of a recordset's record.
class fake_field final : public jet_com<_DAOField, IID__DAOField> {
 public:
  fake_field(rows_ptr data, std::size_t column, long row) : data(std::move(data)), column(column), row(row) {}
  HRESULT get_Name(BSTR* name) override { return jet_bstr_out(info().name, name); }
  HRESULT get_Type(SHORT* type) override {
    *type = info().type;
    return S_OK;
  }
  HRESULT get_Size(LONG* size) override {
    *size = info().size;
    return S_OK;
  }
  HRESULT get_Attributes(LONG* attributes) override {
    *attributes = 0;
    return S_OK;
  }
  HRESULT put_Attributes(LONG) override { return not_here(); }
  HRESULT get_Required(VARIANT_BOOL* required) override {
    *required = VARIANT_FALSE;
    return S_OK;
  }
  HRESULT put_Required(VARIANT_BOOL) override { return not_here(); }
  HRESULT put_AllowZeroLength(VARIANT_BOOL) override { return not_here(); }
  HRESULT get_DefaultValue(VARIANT* value) override {
    VariantInit(value);
    return VariantCopy(value, &info().default_value.var);
  }
  HRESULT put_DefaultValue(VARIANT) override { return not_here(); }
  HRESULT get_Value(VARIANT* value) override {
    VariantInit(value);
    if (row < 0) return not_here();
    if (static_cast<std::size_t>(row) >= data->rows.size()) return failed(3021, L"No current record.");
    return VariantCopy(value, &data->rows[static_cast<std::size_t>(row)][column].var);
  }
  HRESULT get_Properties(DAOProperties** properties) override { return jet_hand_out(new fake_properties, properties); }

 private:
  const fake_column& info() const { return data->columns[column]; }
  rows_ptr data;
  std::size_t column;
  long row;
};

class fake_fields final : public jet_com<DAOFields, IID_DAOFields> {
 public:
  fake_fields(rows_ptr data, long row) : data(std::move(data)), row(row) {}
  HRESULT get_Count(SHORT* count) override {
    *count = static_cast<SHORT>(data->columns.size());
    return S_OK;
  }
  HRESULT get_Item(VARIANT item, _DAOField** field) override {
    int at = position_of(item, data->columns.size(), [&](std::size_t i) { return data->columns[i].name; });
    if (at < 0) return no_item();
    return jet_hand_out(new fake_field(data, static_cast<std::size_t>(at), row), field);
  }
  HRESULT Append(IUnknown*) override { return not_here(); }

 private:
  rows_ptr data;
  long row;
};

class fake_indexes final : public jet_com<DAOIndexes, IID_DAOIndexes> {
 public:
  HRESULT get_Count(SHORT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT get_Item(VARIANT, _DAOIndex**) override { return no_item(); }
  HRESULT Append(IUnknown*) override { return not_here(); }
};

class fake_recordset final : public jet_com<DAORecordset, IID_DAORecordset> {
 public:
  // Opened to append, it shows none of the rows there are.
  fake_recordset(state_ptr state, rows_ptr rows, bool append_only) : state(std::move(state)), data(std::move(rows)) {
    ++this->state->live_recordsets;
    if (append_only) data = std::make_shared<fake_rows>(fake_rows{data->columns, {}});
  }
  HRESULT get_EOF(VARIANT_BOOL* eof) override {
    *eof = position >= data->rows.size() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT get_BOF(VARIANT_BOOL* bof) override {
    *bof = before_first || data->rows.empty() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT get_RecordCount(LONG* count) override {
    *count = static_cast<LONG>(data->rows.size());
    return S_OK;
  }
  HRESULT get_Fields(DAOFields** fields) override {
    return jet_hand_out(new fake_fields(data, static_cast<long>(position)), fields);
  }
  HRESULT AddNew() override { return not_here(); }
  HRESULT put_Collect(VARIANT, VARIANT) override { return not_here(); }
  HRESULT Update(LONG, VARIANT_BOOL) override { return not_here(); }
  HRESULT MoveFirst() override {
    if (data->rows.empty()) return failed(3021, L"No current record.");
    position = 0;
    before_first = false;
    return S_OK;
  }
  HRESULT MoveNext() override {
    if (position >= data->rows.size()) return failed(3021, L"No current record.");
    ++position;
    before_first = false;
    return S_OK;
  }
  HRESULT MovePrevious() override {
    if (position == 0) {
      before_first = true;
      return S_OK;
    }
    --position;
    return S_OK;
  }
  HRESULT Close() override { return S_OK; }

 private:
  ~fake_recordset() override { --state->live_recordsets; }
  state_ptr state;
  rows_ptr data;
  std::size_t position = 0;
  bool before_first = false;
};

// A recordset over a table of the database or the result of a statement.
HRESULT open_recordset(const state_ptr& state, const std::wstring& source, const VARIANT& options,
                       DAORecordset** out) {
  state->recordsets.push_back({source, arg_long(options)});
  bool append_only = arg_long(options) > 0 && (arg_long(options) & dbAppendOnly);
  for (const fake_table& t : state->tables)
    if (jet_same_name(t.name, source))
      return jet_hand_out(new fake_recordset(state, std::make_shared<fake_rows>(t.data), append_only), out);
  auto it = state->results.find(source);
  if (it == state->results.end()) return failed(3078, L"Cannot find the input table or query '" + source + L"'.");
  return jet_hand_out(new fake_recordset(state, std::make_shared<fake_rows>(it->second), append_only), out);
}

class fake_querydef final : public jet_com<_DAOQueryDef, IID__DAOQueryDef> {
 public:
  fake_querydef(state_ptr state, std::wstring name, std::wstring sql)
      : state(std::move(state)), name(std::move(name)), sql(std::move(sql)) {}
  HRESULT get_Name(BSTR* out) override { return jet_bstr_out(name, out); }
  HRESULT get_SQL(BSTR* out) override { return jet_bstr_out(sql, out); }
  // The layout of its result, without values.
  HRESULT get_Fields(DAOFields** fields) override {
    auto it = state->results.find(sql);
    auto layout = std::make_shared<fake_rows>();
    if (it != state->results.end()) layout->columns = it->second.columns;
    return jet_hand_out(new fake_fields(layout, -1), fields);
  }
  HRESULT OpenRecordset(VARIANT, VARIANT options, VARIANT, DAORecordset** recordset) override {
    return open_recordset(state, sql, options, recordset);
  }

 private:
  state_ptr state;
  std::wstring name, sql;
};

class fake_querydefs final : public jet_com<DAOQueryDefs, IID_DAOQueryDefs> {
 public:
  explicit fake_querydefs(state_ptr state) : state(std::move(state)) {}
  HRESULT get_Count(SHORT* count) override {
    *count = static_cast<SHORT>(state->queries.size());
    return S_OK;
  }
  HRESULT get_Item(VARIANT item, _DAOQueryDef** query) override {
    int at = position_of(item, state->queries.size(), [&](std::size_t i) { return state->queries[i].name; });
    if (at < 0) return no_item();
    const fake_saved_query& q = state->queries[static_cast<std::size_t>(at)];
    return jet_hand_out(new fake_querydef(state, q.name, q.sql), query);
  }

 private:
  state_ptr state;
};

class fake_tabledef final : public jet_com<_DAOTableDef, IID__DAOTableDef> {
 public:
  fake_tabledef(const fake_table& table) : table(table), layout(std::make_shared<fake_rows>(table.data)) {}
  HRESULT get_Name(BSTR* name) override { return jet_bstr_out(table.name, name); }
  HRESULT get_Attributes(LONG* attributes) override {
    *attributes = table.attributes;
    return S_OK;
  }
  HRESULT get_RecordCount(LONG* count) override {
    *count = static_cast<LONG>(table.data.rows.size());
    return S_OK;
  }
  HRESULT get_Fields(DAOFields** fields) override { return jet_hand_out(new fake_fields(layout, -1), fields); }
  HRESULT get_Indexes(DAOIndexes** indexes) override { return jet_hand_out(new fake_indexes, indexes); }
  HRESULT CreateField(VARIANT, VARIANT, VARIANT, _DAOField**) override { return not_here(); }
  HRESULT CreateIndex(VARIANT, _DAOIndex**) override { return not_here(); }

 private:
  fake_table table;
  rows_ptr layout;
};

class fake_tabledefs final : public jet_com<DAOTableDefs, IID_DAOTableDefs> {
 public:
  explicit fake_tabledefs(state_ptr state) : state(std::move(state)) {}
  HRESULT get_Count(SHORT* count) override {
    *count = static_cast<SHORT>(state->tables.size());
    return S_OK;
  }
  HRESULT get_Item(VARIANT item, _DAOTableDef** table) override {
    int at = position_of(item, state->tables.size(), [&](std::size_t i) { return state->tables[i].name; });
    if (at < 0) return no_item();
    return jet_hand_out(new fake_tabledef(state->tables[static_cast<std::size_t>(at)]), table);
  }
  HRESULT Append(IUnknown*) override { return not_here(); }
  HRESULT Delete(BSTR) override { return not_here(); }

 private:
  state_ptr state;
};

class fake_database final : public jet_com<DAODatabase, IID_DAODatabase> {
 public:
  explicit fake_database(state_ptr state) : state(std::move(state)) {}
  HRESULT get_TableDefs(DAOTableDefs** tables) override { return jet_hand_out(new fake_tabledefs(state), tables); }
  HRESULT get_QueryDefs(DAOQueryDefs** queries) override { return jet_hand_out(new fake_querydefs(state), queries); }
  HRESULT CreateTableDef(VARIANT, VARIANT, VARIANT, VARIANT, _DAOTableDef**) override { return not_here(); }
  HRESULT CreateQueryDef(VARIANT name, VARIANT sql_text, _DAOQueryDef** query) override {
    return jet_hand_out(new fake_querydef(state, arg_text(name), arg_text(sql_text)), query);
  }
  HRESULT OpenRecordset(BSTR name, VARIANT, VARIANT options, VARIANT, DAORecordset** recordset) override {
    return open_recordset(state, name ? std::wstring(name, SysStringLen(name)) : std::wstring(), options, recordset);
  }
  HRESULT Close() override {
    state->closed = true;
    return S_OK;
  }

 private:
  state_ptr state;
};

state_ptr installed;

class fake_engine final : public jet_com<_DAODBEngine, IID__DAODBEngine> {
 public:
  HRESULT get_Errors(DAOErrors** errors) override { return jet_hand_out(new fake_errors, errors); }
  HRESULT OpenDatabase(BSTR name, VARIANT options, VARIANT read_only, VARIANT connect, DAODatabase** db) override {
    installed->path = name ? name : L"";
    installed->exclusive = options.vt == VT_BOOL && options.boolVal;
    installed->read_only = read_only.vt == VT_BOOL && read_only.boolVal;
    installed->connect = arg_text(connect);
    return jet_hand_out(new fake_database(installed), db);
  }
  HRESULT CreateDatabase(BSTR name, BSTR locale, VARIANT, DAODatabase** db) override {
    installed->path = name ? name : L"";
    installed->locale = locale ? locale : L"";
    installed->created = true;
    return jet_hand_out(new fake_database(installed), db);
  }
  // Database files keep nothing back.
  HRESULT Idle(VARIANT) override { return S_OK; }
};

HRESULT make_engine(REFIID, void** object) {
  *object = static_cast<_DAODBEngine*>(new fake_engine);
  return S_OK;
}

}  // namespace

void fake_access_install(std::shared_ptr<fake_access> database) {
  installed = std::move(database);
  last_error = dao_error_text();
  qm_register_class(dao_engine_versions[2].clsid, make_engine);
}

void fake_access_uninstall() {
  jet_register_dbengine();
  installed.reset();
}
