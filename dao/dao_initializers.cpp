#include "dao/dao_initializers.h"

#include "OLE/ole_com_ptr.h"
#include "OLE/ole_date.h"
#include "TK/tk_log.h"
#include "dao/dao_bstr.h"
#include "dao/dao_field.h"

dao_schema_initializer::dao_schema_initializer(_DAOTableDef* t, const udb_schema& source)
    : udb_schema(source.flag), table(t), validator(source) {
  tk_log::write(2, "dao_schema_initializer::ctor");
  for (const auto& column : source.fields) {
    const bool kept = validator.is_acceptable(column->name);
    std::wstring name = kept ? column->name : validator.get_safe_name(column->name);
    push_back(std::make_unique<t_ftd>(column->size, name, column->vartype, column->b_not_null, column->flag,
                                      column->default_value, column->reserved, column->type_text));
    if (!kept) {
      tk_log::write(2, L"Store generated column name '%ls'", name.c_str());
      validator.add_used_name(name);
      tk_log::write(1, L"udb_validator::add_mapped_pair(%ls,%ls)", column->name.c_str(), name.c_str());
      validator.mapped_names.add(column->name, name);
    }
    validator.add_restricted_name(name);
  }
}

std::wstring dao_schema_initializer::quote_def_value(const std::wstring& text) {
  tk_log::write(1, L"dao_schema_initializer::quote_def_value(%ls)", text.c_str());
  if (text.find(L'"') == std::wstring::npos) return L"\"" + text + L"\"";
  if (text.find(L'\'') == std::wstring::npos) return L"'" + text + L"'";
  std::wstring out = text;
  for (wchar_t& c : out)
    if (c == L'"') c = L'\'';
  return L"\"" + out + L"\"";
}

void dao_schema_initializer::initialize() {
  tk_log::write(2, "dao_schema_initializer::initialize");
  ole_com_ptr<DAOFields> fields;
  dao_check(table->get_Fields(&fields.p));
  dao_not_null(fields.p);
  long total = 0;
  for (std::size_t i = 0; i < size(); ++i) {
    const t_ftd& column = (*this)[i];
    const int type = dao_field::get_native_type(column);
    total += column.size;
    tk_log::write(1, "Field #%d, type=%d, size=%d, total size=%ld", static_cast<int>(i), column.vartype, column.size,
                  total);
    dao_bstr name(column.name);
    ole_com_ptr<_DAOField> field;
    dao_check(table->CreateField(dao_arg_text(name), dao_arg_i4(type), dao_arg_i4(column.size), &field.p));
    dao_not_null(field.p);
    dao_check(fields->Append(field.p));
    dao_check(field->put_Required(column.b_not_null ? 1 : 0));
    dao_check(field->put_AllowZeroLength(1));
    std::wstring def = column.default_value.to_wstring();
    if (!def.empty()) {
      const VARTYPE def_type = column.default_value.var.vt;
      tk_log::write(1, L"Putting default value: (%d, %ls)", def_type, def.c_str());
      if (def_type == VT_I1 || def_type == VT_UI2 || def_type == VT_UI4 || def_type == VT_I8 || def_type == VT_UI8) {
        dao_check(field->put_DefaultValue(dao_get_valid_variant(udb_field(column.name, column.size,
                                                                          column.default_value, false, 0))
                                              .var));
      } else if (column.vartype == VT_BSTR || column.vartype == VT_DATE) {
        if (column.vartype == VT_DATE) {
          tk_log::write(1, "Got DATE def value");
          ole_date date(def);
          def = date.is_valid() ? date.to_wstring(false) : std::wstring();
          tk_log::write(1, L"After canonization: %ls", def.c_str());
        }
        if (!def.empty()) {
          dao_bstr quoted(quote_def_value(def));
          dao_check(field->put_DefaultValue(dao_arg_text(quoted)));
        }
      } else {
        dao_check(field->put_DefaultValue(column.default_value.var));
      }
    }
    if (type == dbLong && column.flag) {
      LONG attributes = 0;
      dao_check(field->get_Attributes(&attributes));
      dao_check(field->put_Attributes(attributes | dbAutoIncrField));
    }
  }
}

dao_indexes_initializer::dao_indexes_initializer(_DAOTableDef* t, dao_schema_initializer& c, const udb_indexes& source)
    : validator(source), table(t), columns(c) {
  tk_log::write(2, "dao_indexes_initializer::ctor");
  for (const udb_index& index : source) {
    if (index.fields.size() > max_columns) continue;
    std::vector<std::wstring> names;
    bool usable = true;
    for (const std::wstring& field : index.fields) {
      std::wstring name = columns.validator.mapped_names.get_mapped_name(field, false);
      int at = columns.get_field_idx(name);
      // A column the table lacks cannot be indexed either.
      if (at < 0) {
        usable = false;
        break;
      }
      const t_ftd& column = columns[static_cast<std::size_t>(at)];
      if (column.vartype == VT_BLOB || (column.vartype == VT_BSTR && column.size > 255)) {
        tk_log::write(2, L"Field '%ls' cannot be part of index", column.name.c_str());
        usable = false;
        break;
      }
      names.push_back(column.name);
    }
    if (!usable) continue;
    std::wstring name = index.name;
    if (!validator.is_acceptable(name)) {
      name = validator.get_safe_name(name);
      tk_log::write(2, L"Store generated index name '%ls'", name.c_str());
      validator.add_used_name(name);
    }
    indexes.emplace_back(name, index.unique, index.primary, names);
  }
}

void dao_indexes_initializer::initialize() {
  tk_log::write(2, "dao_indexes_initializer::initialize");
  ole_com_ptr<DAOIndexes> list;
  std::size_t appended = 0;
  for (const udb_index& index : indexes) {
    if (appended == max_indexes) break;
    if (!list.p) {
      dao_check(table->get_Indexes(&list.p));
      dao_not_null(list.p);
    }
    tk_log::write(2, L"Process index %ls", index.name.c_str());
    dao_bstr name(index.name);
    ole_com_ptr<_DAOIndex> made;
    dao_check(table->CreateIndex(dao_arg_text(name), &made.p));
    dao_not_null(made.p);
    ole_com_ptr<DAOIndexFields> fields;
    dao_check(made->get_Fields(&fields.p));
    dao_not_null(fields.p);
    for (const std::wstring& column_name : index.fields) {
      const t_ftd& column = columns.get_field2(column_name);
      dao_bstr field_name(column_name);
      ole_com_ptr<_DAOField> field;
      dao_check(made->CreateField(dao_arg_text(field_name), dao_arg_i4(dao_field::get_native_type(column)),
                                  dao_arg_i4(column.size), &field.p));
      dao_not_null(field.p);
      dao_check(fields->Append(field.p));
    }
    dao_check(made->put_Primary(index.primary ? VARIANT_TRUE : VARIANT_FALSE));
    dao_check(made->put_Unique(index.unique ? VARIANT_TRUE : VARIANT_FALSE));
    dao_check(list->Append(made.p));
    ++appended;
  }
}
