// Table definitions with their fields, indexes and field properties.
#include "jet/jet_objects.h"

#include "TK/tk_utils.h"

#include <algorithm>

namespace {

// A field's properties: its Description.
class jet_property final : public jet_com<DAOProperty, IID_DAOProperty> {
 public:
  explicit jet_property(jet_column_ptr c) : column(std::move(c)) {}
  HRESULT get_Value(VARIANT* value) override {
    if (!value) return E_POINTER;
    VariantInit(value);
    value->vt = VT_BSTR;
    value->bstrVal = SysAllocStringLen(column->description.data(), static_cast<UINT>(column->description.size()));
    return value->bstrVal ? S_OK : E_OUTOFMEMORY;
  }

 private:
  jet_column_ptr column;
};

class jet_properties final : public jet_com<DAOProperties, IID_DAOProperties> {
 public:
  jet_properties(jet_session_ptr s, jet_column_ptr c) : session(std::move(s)), column(std::move(c)) {}
  HRESULT get_Count(SHORT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT get_Item(VARIANT item, DAOProperty** property) override {
    return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
      if (!property) return E_POINTER;
      *property = nullptr;
      std::wstring name;
      LONG n;
      bool found = (jet_to_text(item, name) && jet_same_name(name, L"Description")) || (jet_to_long(item, n) && n == 0);
      if (!found) return jet_fail(*session, jet_error::not_found);
      return jet_hand_out(new jet_property(column), property);
    });
  }

 private:
  jet_session_ptr session;
  jet_column_ptr column;
};

class jet_index_fields final : public jet_com<DAOIndexFields, IID_DAOIndexFields> {
 public:
  jet_index_fields(jet_session_ptr s, jet_index_ptr i, bool open) : session(std::move(s)), index(std::move(i)), open(open) {}
  HRESULT get_Count(SHORT* count) override {
    if (!count) return E_POINTER;
    *count = static_cast<SHORT>(index->fields.size());
    return S_OK;
  }
  HRESULT get_Item(VARIANT item, _DAOField** field) override {
    return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
      if (!field) return E_POINTER;
      *field = nullptr;
      int n = jet_item_position(item, index->fields);
      if (n < 0) return jet_fail(*session, jet_error::not_found);
      return jet_hand_out(new jet_field(session, index->fields[static_cast<std::size_t>(n)], nullptr, n), field);
    });
  }
  HRESULT Append(IUnknown* object) override {
    return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
      jet_held<_DAOField> held;
      auto* field = jet_own_object<jet_field>(object, IID__DAOField, held);
      if (!field) return jet_fail(*session, jet_error::invalid_operation);
      if (!open) return jet_fail(*session, jet_error::not_supported);
      if (std::any_of(index->fields.begin(), index->fields.end(),
                      [&](const jet_column_ptr& c) { return jet_same_name(c->name, field->column->name); }))
        return jet_fail(*session, jet_error::already_in_collection);
      index->fields.push_back(field->column);
      return S_OK;
    });
  }

 private:
  jet_session_ptr session;
  jet_index_ptr index;
  bool open;
};

}  // namespace

int jet_item_position(const VARIANT& item, const std::vector<jet_column_ptr>& columns) {
  std::wstring name;
  LONG n;
  if (jet_to_text(item, name)) {
    for (std::size_t i = 0; i < columns.size(); ++i)
      if (jet_same_name(columns[i]->name, name)) return static_cast<int>(i);
    return -1;
  }
  if (jet_to_long(item, n) && n >= 0 && static_cast<std::size_t>(n) < columns.size()) return static_cast<int>(n);
  return -1;
}

HRESULT jet_new_field(const jet_session_ptr& session, const VARIANT& name, const VARIANT& type, const VARIANT& size,
                      _DAOField** field) {
  if (!field) return E_POINTER;
  *field = nullptr;
  auto column = std::make_shared<jet_column>();
  LONG number;
  if (!jet_missing(name) && !jet_to_text(name, column->name)) return jet_fail(*session, jet_error::invalid_operation);
  if (!jet_missing(type)) {
    if (!jet_to_long(type, number)) return jet_fail(*session, jet_error::invalid_operation);
    column->type = static_cast<SHORT>(number);
  }
  column->size = column->type == dbText ? 255 : 0;
  if (!jet_missing(size)) {
    if (!jet_to_long(size, number) || number < 0) return jet_fail(*session, jet_error::invalid_operation);
    column->size = number;
  }
  if (column->type == dbText && (column->size == 0 || column->size > 255)) column->size = 255;
  return jet_hand_out(new jet_field(session, column, nullptr, -1), field);
}

jet_tabledef::jet_tabledef(jet_session_ptr s, jet_workbook_ptr w, jet_table_ptr t)
    : session(std::move(s)), workbook(std::move(w)), table(std::move(t)) {}

HRESULT jet_tabledef::get_Name(BSTR* name) { return jet_bstr_out(table->name, name); }

HRESULT jet_tabledef::get_Attributes(LONG* attributes) {
  if (!attributes) return E_POINTER;
  *attributes = 0;
  return S_OK;
}

HRESULT jet_tabledef::get_RecordCount(LONG* count) {
  return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
    if (!count) return E_POINTER;
    if (!workbook->open) return jet_fail(*session, jet_error::no_longer_set);
    *count = static_cast<LONG>(table->record_count());
    return S_OK;
  });
}

HRESULT jet_tabledef::get_Fields(DAOFields** fields) {
  return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
    if (!workbook->open) return jet_fail(*session, jet_error::no_longer_set);
    return jet_hand_out(new jet_fields(session, workbook, table, nullptr), fields);
  });
}

HRESULT jet_tabledef::get_Indexes(DAOIndexes** indexes) {
  return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
    if (!workbook->open) return jet_fail(*session, jet_error::no_longer_set);
    return jet_hand_out(new jet_indexes(session, table), indexes);
  });
}

HRESULT jet_tabledef::CreateField(VARIANT name, VARIANT type, VARIANT size, _DAOField** field) {
  return jet_guard(*session, jet_error::unexpected, [&] { return jet_new_field(session, name, type, size, field); });
}

HRESULT jet_tabledef::CreateIndex(VARIANT name, _DAOIndex** index) {
  return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
    if (!index) return E_POINTER;
    *index = nullptr;
    auto made = std::make_shared<jet_index>();
    if (!jet_missing(name) && !jet_to_text(name, made->name)) return jet_fail(*session, jet_error::invalid_operation);
    return jet_hand_out(new jet_index_object(session, made), index);
  });
}

jet_fields::jet_fields(jet_session_ptr s, jet_workbook_ptr w, jet_table_ptr t, jet_cursor_ptr c)
    : session(std::move(s)), workbook(std::move(w)), table(std::move(t)), cursor(std::move(c)) {}

HRESULT jet_fields::get_Count(SHORT* count) {
  if (!count) return E_POINTER;
  *count = static_cast<SHORT>(table->columns.size());
  return S_OK;
}

HRESULT jet_fields::get_Item(VARIANT item, _DAOField** field) {
  return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
    if (!field) return E_POINTER;
    *field = nullptr;
    if (!workbook->open) return jet_fail(*session, jet_error::no_longer_set);
    int n = jet_item_position(item, table->columns);
    if (n < 0) return jet_fail(*session, jet_error::not_found);
    return jet_hand_out(new jet_field(session, table->columns[static_cast<std::size_t>(n)], cursor, n), field);
  });
}

HRESULT jet_fields::Append(IUnknown* object) {
  return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
    if (!workbook->open) return jet_fail(*session, jet_error::no_longer_set);
    jet_held<_DAOField> held;
    auto* field = jet_own_object<jet_field>(object, IID__DAOField, held);
    if (!field) return jet_fail(*session, jet_error::invalid_operation);
    // Fields go into a definition before it is appended.
    if (cursor || table->sheet) return jet_fail(*session, jet_error::not_supported);
    const std::wstring& name = field->column->name;
    if (name.empty() || tk_utf16_length(name) > jet_max_field_name || name.front() == L' ' ||
        name.find_first_of(L".![]`") != std::wstring::npos)
      return jet_fail(*session, jet_error::invalid_name, name);
    if (table->column_of(name) >= 0) return jet_fail(*session, jet_error::field_twice, name);
    if (table->columns.size() + 1 >= biff_max_columns) return jet_fail(*session, jet_error::too_many_fields);
    table->columns.push_back(field->column);
    return S_OK;
  });
}

jet_field::jet_field(jet_session_ptr s, jet_column_ptr c, jet_cursor_ptr k, int p)
    : session(std::move(s)), column(std::move(c)), cursor(std::move(k)), position(p) {}

HRESULT jet_field::get_Name(BSTR* name) { return jet_bstr_out(column->name, name); }

HRESULT jet_field::get_Type(SHORT* type) {
  if (!type) return E_POINTER;
  *type = column->type;
  return S_OK;
}

HRESULT jet_field::get_Size(LONG* size) {
  if (!size) return E_POINTER;
  *size = column->size;
  return S_OK;
}

HRESULT jet_field::get_Attributes(LONG* attributes) {
  if (!attributes) return E_POINTER;
  *attributes = column->attributes;
  return S_OK;
}

HRESULT jet_field::put_Attributes(LONG attributes) {
  return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
    if (cursor) return jet_fail(*session, jet_error::invalid_operation);
    column->attributes = attributes;
    return S_OK;
  });
}

HRESULT jet_field::get_Required(VARIANT_BOOL* required) {
  if (!required) return E_POINTER;
  *required = column->required ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT jet_field::put_Required(VARIANT_BOOL required) {
  return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
    if (cursor) return jet_fail(*session, jet_error::invalid_operation);
    column->required = required != 0;
    return S_OK;
  });
}

HRESULT jet_field::put_AllowZeroLength(VARIANT_BOOL allow) {
  return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
    if (cursor) return jet_fail(*session, jet_error::invalid_operation);
    column->allow_zero_length = allow != 0;
    return S_OK;
  });
}

HRESULT jet_field::get_DefaultValue(VARIANT* value) {
  if (!value) return E_POINTER;
  VariantInit(value);
  return VariantCopy(value, &column->default_value.v);
}

HRESULT jet_field::put_DefaultValue(VARIANT value) {
  return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
    if (cursor) return jet_fail(*session, jet_error::invalid_operation);
    return VariantCopy(&column->default_value.v, &value);
  });
}

HRESULT jet_field::get_Value(VARIANT* value) {
  return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
    if (!value) return E_POINTER;
    VariantInit(value);
    if (!cursor) return jet_fail(*session, jet_error::invalid_operation);
    if (cursor->closed || !cursor->workbook->open) return jet_fail(*session, jet_error::no_longer_set);
    if (cursor->eof() || cursor->before_first) return jet_fail(*session, jet_error::no_current_record);
    const biff_row& row = cursor->workbook->rows(*cursor->table).rows[cursor->position + 1];
    biff_cell cell =
        static_cast<std::size_t>(position) < row.size() ? row[static_cast<std::size_t>(position)] : biff_cell{};
    cursor->workbook->to_variant(*column, cell, *value);
    return S_OK;
  });
}

HRESULT jet_field::get_Properties(DAOProperties** properties) {
  return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
    return jet_hand_out(new jet_properties(session, column), properties);
  });
}

jet_indexes::jet_indexes(jet_session_ptr s, jet_table_ptr t) : session(std::move(s)), table(std::move(t)) {}

HRESULT jet_indexes::get_Count(SHORT* count) {
  if (!count) return E_POINTER;
  *count = static_cast<SHORT>(table->indexes.size());
  return S_OK;
}

HRESULT jet_indexes::get_Item(VARIANT item, _DAOIndex** index) {
  return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
    if (!index) return E_POINTER;
    *index = nullptr;
    std::wstring name;
    LONG n;
    for (std::size_t i = 0; i < table->indexes.size(); ++i) {
      bool match = jet_to_text(item, name) ? jet_same_name(name, table->indexes[i]->name)
                                            : jet_to_long(item, n) && n == static_cast<LONG>(i);
      if (match) return jet_hand_out(new jet_index_object(session, table->indexes[i]), index);
    }
    return jet_fail(*session, jet_error::not_found);
  });
}

HRESULT jet_indexes::Append(IUnknown* object) {
  return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
    jet_held<_DAOIndex> held;
    auto* index = jet_own_object<jet_index_object>(object, IID__DAOIndex, held);
    if (!index) return jet_fail(*session, jet_error::invalid_operation);
    if (index->index->fields.empty()) return jet_fail(*session, jet_error::no_fields);
    for (const auto& other : table->indexes)
      if (jet_same_name(other->name, index->index->name)) return jet_fail(*session, jet_error::already_in_collection);
    table->indexes.push_back(index->index);
    return S_OK;
  });
}

jet_index_object::jet_index_object(jet_session_ptr s, jet_index_ptr i) : session(std::move(s)), index(std::move(i)) {}

HRESULT jet_index_object::get_Name(BSTR* name) { return jet_bstr_out(index->name, name); }

HRESULT jet_index_object::get_Primary(VARIANT_BOOL* primary) {
  if (!primary) return E_POINTER;
  *primary = index->primary ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT jet_index_object::put_Primary(VARIANT_BOOL primary) {
  index->primary = primary != 0;
  return S_OK;
}

HRESULT jet_index_object::get_Unique(VARIANT_BOOL* unique) {
  if (!unique) return E_POINTER;
  *unique = index->unique ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT jet_index_object::put_Unique(VARIANT_BOOL unique) {
  index->unique = unique != 0;
  return S_OK;
}

HRESULT jet_index_object::get_Fields(DAOIndexFields** fields) {
  return jet_guard(*session, jet_error::unexpected, [&]() -> HRESULT {
    return jet_hand_out(new jet_index_fields(session, index, true), fields);
  });
}

HRESULT jet_index_object::CreateField(VARIANT name, VARIANT type, VARIANT size, _DAOField** field) {
  return jet_guard(*session, jet_error::unexpected, [&] { return jet_new_field(session, name, type, size, field); });
}
