#include "ORA/ora_initializers.h"

#include "ORA/ora_database.h"
#include "ORA/ora_engine.h"
#include "ORA/ora_exception.h"
#include "ORA/ora_query_results.h"
#include "ORA/ora_stmt.h"
#include "ORA/ora_type_map.h"
#include "ORA/ora_util.h"
#include "TK/tk_log.h"
#include "UDB/udb_custom_conversion.h"

#include <cwchar>

namespace {

std::wstring quoted(const std::wstring& name) { return L"\"" + name + L"\""; }

bool is_large(VARTYPE vt, std::int32_t size) { return (size == 0 || size > 2000) && (vt == VT_BSTR || vt == VT_BLOB); }

// `wanted`, or when the schema has that name already (as the dictionary
// query lists them) a safe name the validator makes unique: two tables
// alike in the characters a derived name keeps must not share it.
std::wstring unused_name(const std::wstring& wanted, const std::wstring& names_in_use) {
  ora_validator names;
  for (const std::wstring& name : ora_dictionary_names(names_in_use)) names.add_used_name(name);
  if (!names.is_duplicated(wanted)) return wanted;
  std::wstring name = names.get_safe_name(wanted);
  tk_log::write(2, L"Store generated name '%ls'", name.c_str());
  return name;
}

}  // namespace

// ---------------------------------------------------------------- schema

ora_schema_initializer::ora_schema_initializer(const std::wstring& table_name, const udb_schema& source,
                                               const udb_indexes& indexes)
    : table(table_name), schema(source.flag), validator(source), source_indexes(indexes), source_schema(source) {
  tk_log::write(1, "ora_schema_initializer::ctor");
  for (const auto& column : source.fields) {
    std::wstring name = validator.is_acceptable(column->name) ? column->name : validator.get_safe_name(column->name);
    bool is_counter = column->flag != 0;
    schema.push_back(std::make_unique<t_ftd>(column->size, name, column->vartype, column->b_not_null && !is_counter,
                                             column->flag, is_counter ? ole_variant() : column->default_value,
                                             column->reserved, column->type_text));
    if (name != column->name) {
      tk_log::write(2, L"Store generated column name '%ls'", name.c_str());
      validator.add_used_name(name);
      tk_log::write(1, L"udb_validator::add_mapped_pair(%ls,%ls)", column->name.c_str(), name.c_str());
      names.add(column->name, name);
    }
    if (is_counter) counter = name;
  }
}

void ora_schema_initializer::build_schema(ora_database& database) {
  tk_log::write(1, "ora_schema_initializer::build_schema( n_columns=%zu )", schema.size());
  std::wstring sql = L"CREATE TABLE " + quoted(table) + L" (";
  for (std::size_t i = 0; i < schema.size();) {
    t_ftd& column = schema[i];
    tk_log::write(1, L"schema[eye]->native_type=%ls", column.type_text.c_str());
    std::wstring type;
    if (udb_custom_conversion::is_acceptable1(column))
      type = udb_custom_conversion::handle1(column);
    else if (!column.type_text.empty())
      type = column.type_text;
    else
      type = get_ora_native_type(&column, false);
    if (!ora_engine::instance().is_supported_type(type)) {
      tk_log::write(3, L"Table '%ls': column '%ls' has unsupported type '%ls', skip it", table.c_str(),
                    column.name.c_str(), type.c_str());
      // Not in the table, so not in its description either: no key or
      // index may name it.
      schema.fields.erase(schema.fields.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    }
    if (sql.back() != L'(') sql += L", ";
    sql += quoted(column.name) + L" " + type;
    std::wstring def = make_ora_def_val(&column);
    tk_log::write(1, L"got def value: %ls", def.c_str());
    if (!def.empty() && !is_large(column.vartype, column.size)) sql += L" DEFAULT " + def;
    tk_log::write(1, L"OraField name='%ls', type=%d, size=%d", column.name.c_str(), column.vartype, column.size);
    if (!ora_is_large_object(column.vartype, column.size) && column.b_not_null) sql += L" NOT NULL";
    ++i;
  }
  sql += L")";
  tk_log::write(3, L"Run SQL query: %ls\n", sql.c_str());
  database.query(sql);

  if (counter.empty()) return;
  std::wstring sequence = create_sequence(database);
  if (sequence.empty()) {
    tk_log::write(2, "Failed to create a sequence");
    return;
  }
  // The names quoted, as everywhere else: the table and the counter keep
  // their spelling, blanks and case.
  // Replacing a trigger of another table would take its counter away.
  std::wstring trigger = unused_name(trigger_name(), L"select TRIGGER_NAME from USER_TRIGGERS");
  database.query(L"CREATE OR REPLACE TRIGGER " + quoted(trigger) + L" BEFORE INSERT ON " + quoted(table) +
                 L" FOR EACH ROW " + L"WHEN (new." + quoted(counter) + L" IS NULL) " + L"BEGIN " + L"select " +
                 quoted(sequence) + L".nextval into :new." + quoted(counter) + L" from dual; " + L"END;");
}

std::wstring ora_schema_initializer::create_sequence(ora_database& database) {
  tk_log::write(1, "ora_schema_initializer::create_sequence");
  std::wstring base = table;
  if (base.size() > ora_validator::max_name_length - 2) base.resize(base.size() - 2);
  wchar_t text[64];
  std::swprintf(text, 64, L"%ls_%d", base.c_str(), 0);
  // Sequences share their names with tables and views.
  std::wstring name = unused_name(text, L"select TABLE_NAME from USER_TABLES union select VIEW_NAME from "
                                        L"USER_VIEWS union select SEQUENCE_NAME from USER_SEQUENCES");
  database.query(L"CREATE SEQUENCE " + quoted(name) +
                 L" INCREMENT BY 1 START WITH 1 MAXVALUE 1.0E28 MINVALUE 1 NOCYCLE NOCACHE ORDER");
  return name;
}

std::wstring ora_schema_initializer::trigger_name() const {
  const std::wstring suffix = L"__TRIGGER";
  std::wstring base = table;
  if (base.size() + suffix.size() > ora_validator::max_name_length)
    base.resize(ora_validator::max_name_length - suffix.size());
  return base + suffix;
}

// --------------------------------------------------------------- indexes

namespace {

// The column of that name: spelt alike, else alike but for case.
const t_ftd* column_named(const udb_schema& schema, const std::wstring& name) {
  for (const auto& column : schema.fields)
    if (column->name == name) return column.get();
  return schema.find_field(name) ? &schema.get_field2(name) : nullptr;
}

}  // namespace

bool ora_can_be_indexed(const t_ftd& column) {
  if (column.vartype != VT_BLOB && column.vartype != VT_BSTR) return true;
  return column.size >= 1 && column.size <= 2000;
}

ora_indexes_initializer::ora_indexes_initializer(const std::wstring& table_name, const t_names_map& column_map,
                                                 const udb_indexes& source, const udb_schema& destination)
    : table(table_name), columns(column_map), schema(destination) {
  ora_in_validator& names = ora_in_validator::instance();
  names.load(source);
  ora_validator& validator = names.names;
  for (const udb_index& index : source) {
    std::wstring name = index.name;
    if (!validator.is_acceptable(name)) {
      name = validator.get_safe_name(name);
      tk_log::write(2, L"Store generated index name '%ls'", name.c_str());
      validator.add_used_name(name);
    }
    validator.add_restricted_name(name);

    std::vector<std::wstring> fields;
    bool usable = true;
    for (const std::wstring& field : index.fields) {
      std::wstring mapped = columns.get_mapped_name(field, true);
      const t_ftd* column = column_named(schema, mapped);
      if (!column) {
        // The index may spell the column in another case than the table.
        mapped = columns.get_mapped_name(field, false);
        column = column_named(schema, mapped);
      }
      if (!column) {
        tk_log::write(2, L"Field '%ls' is not in the table", mapped.c_str());
        usable = false;
        break;
      }
      if (!can_be_part_of_index(*column)) {
        tk_log::write(2, L"Field '%ls' cannot be part of index", mapped.c_str());
        usable = false;
        break;
      }
      // The server compares quoted names exactly: the column's own spelling.
      fields.push_back(column->name);
    }
    if (!usable) continue;
    indexes.push_back(udb_index(name, index.unique, index.primary, fields));
    if (index.primary) {
      for (std::size_t k = 0; k < indexes.size(); ++k)
        if (indexes[k].name == name) primary = static_cast<int>(k);
    }
  }
}

bool ora_indexes_initializer::can_be_part_of_index(const t_ftd& column) const {
  tk_log::write(1, "ora_indexes_initializer::can_be_part_of_index");
  tk_log::write(1, "GOT FIELD: vt=%d, size=%d", column.vartype, column.size);
  bool lob_type = column.vartype == VT_BSTR || column.vartype == VT_BLOB_OBJECT ||
                  column.vartype == (VT_ARRAY | VT_UI1) || column.vartype == VT_BLOB;
  return !(lob_type && (column.size == 0 || column.size > 2000));
}

void ora_indexes_initializer::build_indexes() {
  tk_log::write(2, "ora_indexes_initializer::build_indexes(n_indexes=%zu)", indexes.size());
  ora_engine& engine = ora_engine::instance();
  for (std::size_t k = 0; k < indexes.size(); ++k) {
    const udb_index& index = indexes[k];
    if (index.fields.empty()) {
      tk_log::write(1, L"Skip index '%ls' as it is built on empty fields list", index.name.c_str());
      continue;
    }
    std::wstring sql;
    if (index.primary) {
      sql = L"ALTER TABLE " + quoted(table) + L" ADD CONSTRAINT " + quoted(index.name) + L" PRIMARY KEY (";
    } else if (primary >= 0 && index.consists_of_fields(indexes[static_cast<std::size_t>(primary)].fields)) {
      tk_log::write(2, L"Skip index '%ls', it is equal to PK", index.name.c_str());
      continue;
    } else if (index.unique) {
      sql = L"ALTER TABLE " + quoted(table) + L" ADD CONSTRAINT " + quoted(index.name) + L" UNIQUE (";
    } else {
      sql = L"CREATE INDEX " + quoted(index.name) + L" ON " + quoted(table) + L" (";
    }
    for (std::size_t f = 0; f < index.fields.size(); ++f) {
      tk_log::write(1, L"Process idx.field %ls", index.fields[f].c_str());
      if (f) sql += L", ";
      sql += quoted(index.fields[f]);
    }
    sql += L")";
    tk_log::write(3, L"Run SQL query: %ls\n", sql.c_str());
    try {
      ora_stmt stmt;
      engine.check_err(stmt.prepare(sql));
      engine.check_err(stmt.execute(1));
    } catch (const ora_exception& e) {
      int number = e.code & 0xFFFF;
      tk_log::write(2, "Got error: %08X", static_cast<unsigned>(number));
      // The table has that index already.
      if (number != 1408 && number != 2261) throw;
    }
  }
}
