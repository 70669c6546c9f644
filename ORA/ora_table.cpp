#include "ORA/ora_table.h"

#include "ORA/ora_cache.h"
#include "ORA/ora_database.h"
#include "ORA/ora_engine.h"
#include "ORA/ora_text.h"
#include "ORA/ora_type_map.h"
#include "OLE/ole_exception.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "oci/oci_library.h"
#include "platform/utf8.h"

#include <algorithm>

namespace {

std::wstring quoted(const std::wstring& name) { return L"'" + ora_quote_literal(name) + L"'"; }

std::wstring text_of(udb_record& record, std::size_t i) { return i < record.size() ? record[i].to_wstring() : L""; }

bool both_index_bits(int mode) {
  return (mode & (ora_table::mode_no_fks | ora_table::mode_no_indexes)) ==
         (ora_table::mode_no_fks | ora_table::mode_no_indexes);
}

}  // namespace

ora_table::ora_table(ora_database* db, const std::wstring& table_name, udb_relationships& rels, int mode)
    : ora_query_results(table_name, std::wstring()), database(db), relationships(rels) {
  tk_log::write(2, L"ora_table::ora_table(%ls)", table_name.c_str());
  init_schema();
  if (schema.empty()) {
    tk_log::write(2, "Empty table");
  } else {
    if (!both_index_bits(mode)) {
      if (ora_engine::instance().conversion_mode)
        tk_log::write(2, "Indexes are OFF");
      else
        init_indexes(mode);
    }
    record_count = ora_engine::instance().get_records_cnt(name);
    tk_log::write(2, "Got %d records", record_count);
  }
}

ora_table::ora_table(ora_database* db, const std::wstring& result_name, const std::wstring& text,
                     udb_relationships& rels)
    : ora_query_results(result_name, text), database(db), relationships(rels) {
  tk_log::write(2, L"ora_table::ora_table(%ls)", result_name.c_str());
  init_schema();
  if (schema.empty()) {
    tk_log::write(2, "Empty table");
    return;
  }
  record_count = query_text.empty() ? ora_engine::instance().get_records_cnt(name)
                                    : ora_engine::instance().get_records_cnt(query_text, true);
  tk_log::write(2, "Got %d records", record_count);
}

ora_table::~ora_table() {
  tk_log::write(1, "ora_table::dtor");
  cache.reset();
}

void ora_table::init_schema() {
  tk_log::write(2, "ora_table::init_schema");
  ora_engine& engine = ora_engine::instance();
  int count = is_query() ? 0 : get_columns_cnt();
  tk_log::write(2, "Got %d columns", count);
  std::wstring text = is_query() ? query_text : get_safe_select_query(count);
  tk_log::write(1, "Right before extract DB structure");
  initialize(count, text);
  if (is_query()) return;

  ora_query_results dictionary(3, L"select COLUMN_NAME, DATA_DEFAULT, DATA_TYPE from " +
                                      engine.get_tab_columns_view() + L" where " + engine.get_table_filter(name));
  // Every row: a column left out of the select list must not hide the
  // columns after it.
  while (!dictionary.is_eof()) {
    udb_record* row = dictionary.get_item();
    if (!row) break;
    std::wstring column = text_of(*row, 0);
    tk_log::write(1, L"Got field '%ls'", column.c_str());
    int at = schema.get_field_idx(column);
    if (at < 0) {
      tk_log::write(2, "Field not found in schema");
      continue;
    }
    t_ftd& entry = schema[static_cast<std::size_t>(at)];
    tk_log::write(1, "field size=%d", entry.size);
    std::wstring def = text_of(*row, 1);
    if (!def.empty()) {
      tk_log::write(1, L"Got default string: %ls (eye=%d, type=%d)", def.c_str(), at, entry.vartype);
      entry.default_value = get_def_value(entry.vartype, def);
      tk_log::write(1, L"Got default variant: %ls", entry.default_value.to_wstring().c_str());
    }
    std::wstring type = text_of(*row, 2);
    if (type == L"NVARCHAR2" || type == L"NCHAR") {
      tk_log::write(1, "Tuning field size for NCHAR/NVARCHAR (eye=%d)", at);
      if (static_cast<std::size_t>(at) >= columns.size()) throw tk_mail_assertion("ora_tab", 594);
      ora_type& object = *columns[static_cast<std::size_t>(at)];
      ub4 size = object.size ? object.size : static_cast<ub4>(entry.size);
      size /= 2;
      entry.size = static_cast<std::int32_t>(size);
      object.size = size;
      tk_log::write(1, "New field size=%u", size);
    } else if (type == L"LONG") {
      entry.size = 0;
      entry.type_text = L"LONG";
    }
  }
}

int ora_table::get_columns_cnt() {
  tk_log::write(2, "ora_table::get_columns_cnt");
  ora_engine& engine = ora_engine::instance();
  std::wstring text =
      L"SELECT COUNT(*) FROM " + engine.get_tab_columns_view() + L" WHERE " + engine.get_table_filter(name);
  tk_log::write(1, L"Query=%ls", text.c_str());
  ora_stmt count_stmt;
  engine.check_err(count_stmt.prepare(text));
  int count = 0;
  OCIDefine* define = nullptr;
  engine.check_err(oci().OCIDefineByPos(count_stmt.handle, &define, engine.err, 1, &count, sizeof count, SQLT_INT,
                                        nullptr, nullptr, nullptr, OCI_DEFAULT));
  sword status = count_stmt.execute(1);
  engine.check_err(status);
  if (status == OCI_NO_DATA) throw tk_mail_assertion("ora_tab", 507);
  return count;
}

std::wstring ora_table::get_safe_select_query(int& column_count) {
  tk_log::write(2, "ora_table::get_safe_select_query");
  ora_engine& engine = ora_engine::instance();
  ora_query_results dictionary(2, L"SELECT COLUMN_NAME, DATA_TYPE FROM " + engine.get_tab_columns_view() +
                                      L" WHERE " + engine.get_table_filter(name));
  std::wstring list;
  bool left_out = false;
  while (!dictionary.is_eof()) {
    udb_record* row = dictionary.get_item();
    if (!row) break;
    std::wstring column = text_of(*row, 0);
    std::wstring type = text_of(*row, 1);
    tk_log::write(1, L"GOT field '%ls' with type '%ls'", column.c_str(), type.c_str());
    // The same rule as everywhere else: the type name up to its first "(",
    // so TIMESTAMP(9) WITH TIME ZONE stays in.
    if (engine.is_supported_type(type)) {
      if (!list.empty()) list += L",";
      list += L"\"" + column + L"\"";
    } else {
      tk_log::write(3, L"Table '%ls': column '%ls' has unsupported type '%ls', skip it", name.c_str(),
                    column.c_str(), type.c_str());
      left_out = true;
      if (column_count > 0) --column_count;
    }
  }
  if (!left_out) return L"SELECT * FROM " + engine.get_safe_name(name);
  return L"SELECT " + list + L" FROM " + engine.get_safe_name(name);
}

ole_variant ora_table::get_def_value(VARTYPE vartype, const std::wstring& source) {
  tk_log::write(1, L"ora_table::get_def_value(type=0x%08X, src=%ls)", vartype, source.c_str());
  // The dictionary keeps the text as written, with the blanks or line end
  // that followed it in CREATE TABLE.
  std::wstring text = source;
  std::size_t first = text.find_first_not_of(L" \t\r\n");
  std::size_t last = text.find_last_not_of(L" \t\r\n");
  text = first == std::wstring::npos ? std::wstring() : text.substr(first, last - first + 1);
  bool unquoted = false;
  if (text.size() > 1 && text.front() == L'\'' && text.back() == L'\'') {
    tk_log::write(1, "Removing quotes");
    text = text.substr(1, text.size() - 2);
    unquoted = true;
    tk_log::write(1, L"After removing quotes: %ls", text.c_str());
  }
  if (vartype == VT_BSTR && !unquoted) {
    tk_log::write(1, "Incorrect/empty/null default value for VT_BSTR");
    return ole_variant();
  }
  if (vartype == VT_DATE) return ole_variant();
  for (std::size_t at = text.find(L"''"); at != std::wstring::npos; at = text.find(L"''", at + 1))
    text.erase(at, 1);
  std::string narrow;
  if (!qm_platform::wide_to_utf8(text.data(), text.size(), narrow)) return ole_variant();
  try {
    return ole_variant::from_string(narrow, vartype);
  } catch (const ole_type_exception&) {
    return ole_variant();
  }
}

int ora_table::count_rows(const std::wstring& text) {
  ora_engine& engine = ora_engine::instance();
  ora_stmt count_stmt;
  engine.check_err(count_stmt.prepare(text));
  int count = 0;
  OCIDefine* define = nullptr;
  engine.check_err(oci().OCIDefineByPos(count_stmt.handle, &define, engine.err, 1, &count, sizeof count, SQLT_INT,
                                        nullptr, nullptr, nullptr, OCI_DEFAULT));
  count_stmt.execute(1);
  return count;
}

void ora_table::init_indexes(int mode) {
  tk_log::write(2, "ora_table::init_indexes(mode=%d)", mode);
  if (both_index_bits(mode)) {
    tk_log::write(2, "Indexes are OFF, nothing to do");
    return;
  }
  ora_engine& engine = ora_engine::instance();
  // Names go into literals with their quotes doubled.
  const std::wstring table = quoted(name);

  std::wstring pk_name;
  std::vector<std::wstring> pk_fields;
  if (count_rows(L"SELECT count(*) FROM user_constraints WHERE table_name=" + table +
                 L" AND constraint_type='P'") == 0) {
    tk_log::write(2, "No Primary Key found");
  } else {
    ora_query_results keys(2, L"SELECT a.constraint_name, a.column_name FROM user_cons_columns a, "
                              L"user_constraints b WHERE a.table_name=" +
                                  table +
                                  L" AND a.constraint_name=b.constraint_name AND b.constraint_type='P' "
                                  L"ORDER BY a.constraint_name, a.position");
    while (!keys.is_eof()) {
      udb_record* row = keys.get_item();
      if (!row) break;
      if (pk_name.empty()) {
        pk_name = text_of(*row, 0);
        tk_log::write(1, L"Got primary key '%ls'", pk_name.c_str());
      }
      std::wstring column = text_of(*row, 1);
      if (schema.find_field(column))
        pk_fields.push_back(column);
      else
        tk_log::write(1, L"PK field '%ls' not found - skip it", column.c_str());
    }
    if (!pk_fields.empty()) add_index(udb_index(pk_name, true, true, pk_fields));
  }

  std::wstring index_text =
      L"SELECT user_indexes.index_name, user_indexes.uniqueness, user_ind_columns.column_name FROM "
      L"user_ind_columns, user_indexes where user_ind_columns.table_name = " +
      table + L" AND ";
  if (engine.get_version() >= ora_engine::version_8) index_text += L"user_indexes.generated='N' AND ";
  index_text +=
      L"user_ind_columns.index_name = user_indexes.index_name AND user_ind_columns.table_name = "
      L"user_indexes.table_name ORDER BY user_indexes.index_name, user_ind_columns.column_position";
  {
    ora_query_results rows(3, index_text);
    while (!rows.is_eof()) {
      udb_record* row = rows.get_item();
      if (!row) break;
      std::wstring index_name = text_of(*row, 0);
      bool unique = tk_compare_no_case(text_of(*row, 1), std::wstring(L"UNIQUE")) == 0;
      std::wstring column = text_of(*row, 2);
      tk_log::write(1, L"Got index '%ls' (unique=%d)", index_name.c_str(), unique);
      if (!schema.find_field(column)) {
        tk_log::write(1, L"Index field '%ls' not found - skip it", column.c_str());
        continue;
      }
      if (indexes.is_acceptable_name(index_name)) {
        add_index(udb_index(index_name, unique, false, {column}));
        continue;
      }
      udb_index& existing = indexes.get_index(index_name);
      if (existing.primary)
        tk_log::write(1, "Skip Primary Key DoubleInitialization");
      else
        existing.fields.push_back(column);
    }
  }

  if (mode & mode_no_fks) {
    tk_log::write(2, "FKs are OFF, nothing to do");
    return;
  }
  if (pk_name.empty()) {
    tk_log::write(2, "pk_name is empty, cannot create FKs");
    return;
  }
  const std::wstring key = quoted(pk_name);
  if (count_rows(L"select count(*) from USER_CONSTRAINTS where R_CONSTRAINT_NAME=" + key +
                 L" and CONSTRAINT_TYPE='R'") == 0) {
    tk_log::write(2, "No foreign keys found");
    return;
  }
  ora_query_results fks(4, L"select a.TABLE_NAME,a.CONSTRAINT_NAME,a.DELETE_RULE,b.COLUMN_NAME FROM "
                           L"USER_CONSTRAINTS a, USER_CONS_COLUMNS b WHERE a.CONSTRAINT_NAME=b.CONSTRAINT_NAME "
                           L"and a.CONSTRAINT_TYPE='R' and a.R_CONSTRAINT_NAME=" +
                               key);
  while (!fks.is_eof()) {
    udb_record* row = fks.get_item();
    if (!row) break;
    std::wstring table_a = text_of(*row, 0);
    std::wstring constraint = text_of(*row, 1);
    std::wstring rule = text_of(*row, 2);
    std::wstring column = text_of(*row, 3);
    tk_log::write(1, L"GOT FK: %ls,%ls,%ls,%ls", table_a.c_str(), constraint.c_str(), rule.c_str(), column.c_str());
    if (relationships.is_acceptable_name(constraint)) {
      relationships.push_back(udb_relationship(constraint, pk_name, table_a, name, {column}, pk_fields,
                                               rule.empty() ? std::wstring() : L"ON DELETE " + rule));
      continue;
    }
    udb_relationship& existing = relationships.get_index(constraint);
    if (std::find(existing.fields_a.begin(), existing.fields_a.end(), column) == existing.fields_a.end())
      existing.fields_a.push_back(column);
  }
}

bool ora_table::is_eof() {
  tk_log::write(1, "ora_table::is_eof(%u,%d)", row_counter, record_count);
  if (!initialized) throw tk_mail_assertion("ora_tab", 516);
  // Read to the server's end: the count, taken apart from this read, tells
  // the progress only. Rows it missed (committed since, or a count that
  // answers fewer) are rows of the result all the same.
  return fetch_row() == OCI_NO_DATA;
}

void ora_table::next() {
  tk_log::write(1, "ora_table::next");
  ++row_counter;
}
