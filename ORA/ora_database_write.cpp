// The writing side of the Oracle database: tables, views and foreign keys.
#include "ORA/ora_database.h"

#include "ORA/ora_initializers.h"
#include "ORA/ora_query_results.h"
#include "ORA/ora_validator.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"

namespace {

std::wstring quoted(const std::wstring& name) { return L"\"" + name + L"\""; }

std::wstring quoted_list(const std::vector<std::wstring>& names) {
  std::wstring out;
  for (const std::wstring& n : names) out += (out.empty() ? L"" : L", ") + quoted(n);
  return out;
}

}  // namespace

ora_in_validator& ora_database::index_names() {
  if (ora_in_validator::exists()) return ora_in_validator::instance();
  auto names = std::make_unique<ora_in_validator>();
  // The names the schema has are taken: an index or constraint may not
  // repeat one.
  for (const std::wstring& name :
       ora_dictionary_names(L"select INDEX_NAME from USER_INDEXES union select CONSTRAINT_NAME from USER_CONSTRAINTS"))
    names->names.add_existing_name(name);
  own_index_names = std::move(names);
  return *own_index_names;
}

std::unique_ptr<udb_recordset> ora_database::create_table(const std::wstring& table, const udb_schema& schema,
                                                          const udb_indexes& indexes) {
  tk_log::write(2, L"ora_database::create_table(%ls)", table.c_str());
  if (!is_table_exist(table)) {
    ora_schema_initializer columns(table, schema, indexes);
    columns.build_schema(*this);
    if (!indexes.empty()) {
      index_names();
      ora_indexes_initializer keys(table, columns.names, indexes, columns.schema);
      keys.build_indexes();
    }
    table_names.push_back(table);
    names_map.add_fn_map(table, columns.names);
  }
  return get_table(table, 2);
}

std::wstring ora_database::refine_view_in(const std::wstring& source) {
  tk_log::write(1, L"sql_database::refine_view_in(%ls)", source.c_str());
  std::wstring text = source;
  for (wchar_t& c : text)
    if (c == L'[' || c == L']') c = L'"';
  text = tk_wstring::replace_all(text, L"DISTINCTROW", L"");
  static const char* const found[] = {"REPLACED!", "REPLACED #2!", "REPLACED #3!"};
  static const wchar_t* const said[] = {L"Last symbol: '%lc'", L"Pre-last symbol: '%lc'",
                                        L"Pre-pre-last symbol: '%lc'"};
  for (std::size_t k = 0; k < 3 && k < text.size(); ++k) {
    wchar_t& c = text[text.size() - 1 - k];
    tk_log::write(1, said[k], static_cast<wint_t>(c));
    if (c == L';') {
      c = L' ';
      tk_log::write(1, found[k]);
    }
  }
  return names_map.do_global_replace1(text, L"", L"");
}

void ora_database::create_views(const udb_views& source_views) {
  tk_log::write(2, "ora_database::create_views");
  std::vector<std::wstring> view_names;
  for (const auto& [view, text] : source_views) view_names.push_back(view);
  // Generated names avoid the tables too.
  ora_tn_validator validator(view_names, table_names);
  for (const auto& [view, text] : source_views) {
    tk_log::write(1, L"Processing '%ls'", view.c_str());
    tk_log::write(1, L"\t'%ls'", text.c_str());
    std::wstring start = tk_trim(text).substr(0, 6);
    if (tk_compare_no_case(start, std::wstring(L"select")) != 0) {
      tk_log::write(2, "Skip non-select query");
      continue;
    }
    std::wstring name = view;
    if (!validator.is_acceptable(name)) {
      name = validator.get_safe_name(view);
      names_map.add_tn_mapping(view, name);
      tk_log::write(1, L"Store generated column name '%ls'", name.c_str());
      validator.add_used_name(name);
    }
    try {
      // Quoted like every other name: blanks and case stay.
      query(L"CREATE OR REPLACE VIEW " + quoted(name) + L" AS " + refine_view_in(text));
    } catch (const std::exception& e) {
      tk_log::write(3, "Error while creating view:\n%s\n", e.what());
    }
  }
}

void ora_database::create_relationships(const udb_relationships& list) {
  tk_log::write(2, "ora_database::create_relationships");
  tk_log::write(3, "Converting foreign keys");
  for (const udb_relationship& r : list) {
    tk_log::write(3, L"Processing '%ls'", r.name.c_str());
    std::wstring table_b = get_tn_mapped_name_ex(r.table_b);
    if (!is_table_exist(table_b)) {
      tk_log::write(2, L"Table '%ls' does not exist", table_b.c_str());
      continue;
    }
    std::wstring table_a = get_tn_mapped_name_ex(r.table_a);
    if (!is_table_exist(table_a)) {
      tk_log::write(2, L"Table '%ls' does not exist", table_a.c_str());
      continue;
    }
    create_fk_index_if(table_b, r.fields_b);
    std::vector<std::wstring> fields_a, fields_b;
    for (const std::wstring& f : r.fields_a) fields_a.push_back(get_fn_mapped_name_ex(table_a, f));
    for (const std::wstring& f : r.fields_b) fields_b.push_back(get_fn_mapped_name_ex(table_b, f));
    std::wstring sql = L"ALTER TABLE " + quoted(table_a) + L" ADD FOREIGN KEY (" + quoted_list(fields_a) +
                       L") REFERENCES " + quoted(table_b) + L"(" + quoted_list(fields_b) + L")";
    if (!r.on_delete.empty()) {
      std::wstring rule = tk_trim(r.on_delete);
      if (tk_compare_no_case(rule, std::wstring(L"ON DELETE SET NULL")) == 0 ||
          tk_compare_no_case(rule, std::wstring(L"ON DELETE CASCADE")) == 0)
        sql += L" " + r.on_delete;
    }
    query(sql);
  }
}

void ora_database::create_fk_index_if(const std::wstring& table, const std::vector<std::wstring>& fields) {
  tk_log::write(2, L"ora_database::create_fk_index_if(%ls)", table.c_str());
  try {
    std::vector<std::wstring> mapped;
    for (const std::wstring& f : fields) mapped.push_back(names_map.get_fn_mapped_name(table, f, true));
    std::unique_ptr<udb_recordset> rs = get_table(table, 1);
    tk_log::write(1, "udb_indexes::has_index_on_fields");
    for (const udb_index& index : rs->indexes) {
      if (!index.starts_with_fields(mapped)) continue;
      // Only a key of exactly these columns makes them unique.
      if (index.unique && index.fields.size() == mapped.size()) {
        tk_log::write(2, L"FK index for table '%ls' exists", table.c_str());
        return;
      }
      break;
    }
    index_names();
    std::wstring constraint = udb_unique_index_name<ora_in_validator>(table);
    query(L"ALTER TABLE " + quoted(table) + L" ADD CONSTRAINT " + quoted(constraint) + L" UNIQUE(" +
          quoted_list(mapped) + L")");
    tk_log::write(2, L"FK index for table '%ls' has been created", table.c_str());
  } catch (const std::exception& e) {
    tk_log::write(3, "Error while creating index for FK:\n%s\n", e.what());
  }
}

std::wstring ora_database::get_tn_mapped_name_ex(const std::wstring& table) {
  tk_log::write(1, L"ora_database::get_tn_mapped_name_ex(%ls)", table.c_str());
  std::wstring mapped = names_map.get_tn_mapped_name(table, true);
  if (is_table_exist(mapped)) return mapped;
  tk_log::write(1, L"Cannot find table %ls", mapped.c_str());
  tk_log::write(1, "Try to search case insensitive...");
  return names_map.get_tn_mapped_name(table, false);
}

std::wstring ora_database::get_fn_mapped_name_ex(const std::wstring& table, const std::wstring& field) {
  tk_log::write(1, L"ora_database::get_fn_mapped_name_ex(%ls)", field.c_str());
  return names_map.get_fn_mapped_name(table, field, true);
}
