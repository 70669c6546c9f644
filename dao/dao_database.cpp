#include "dao/dao_database.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "common/error_handler.h"
#include "dao/acc_query_parser.h"
#include "dao/dao_bstr.h"
#include "dao/dao_exception.h"
#include "dao/dao_initializers.h"
#include "dao/dao_field.h"
#include "dao/dao_recordset.h"
#include "platform/win32.h"

#include <cwctype>

namespace {

constexpr LONG attached = 0x40000000;
constexpr LONG system_object = static_cast<LONG>(0x80000002u);

bool same_ignoring_case(const wchar_t* a, const wchar_t* b, std::size_t n) {
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a, static_cast<int>(n), b, static_cast<int>(n)) ==
         CSTR_EQUAL;
}

// Every occurrence of `from`, ignoring case, becomes `to`.
std::wstring replace_every(const std::wstring& text, const std::wstring& from, const std::wstring& to) {
  std::wstring out;
  std::size_t i = 0;
  while (i < text.size()) {
    if (i + from.size() <= text.size() && same_ignoring_case(text.c_str() + i, from.c_str(), from.size())) {
      out += to;
      i += from.size();
    } else {
      out.push_back(text[i++]);
    }
  }
  return out;
}

// A whole word: at the start or after a character that is no letter or
// digit, and at the end or before a blank, a tab, a line break or "(".
std::wstring replace_word(const std::wstring& text, const std::wstring& from, const std::wstring& to) {
  std::wstring out;
  std::size_t i = 0;
  while (i < text.size()) {
    bool starts = i == 0 || !IsCharAlphaNumericW(text[i - 1]);
    std::size_t end = i + from.size();
    bool ends = end == text.size() ||
                (end < text.size() && (text[end] == L' ' || text[end] == L'(' || text[end] == L'\t' ||
                                       text[end] == L'\r' || text[end] == L'\n'));
    if (starts && end <= text.size() && ends && same_ignoring_case(text.c_str() + i, from.c_str(), from.size())) {
      out += to;
      i = end;
    } else {
      out.push_back(text[i++]);
    }
  }
  return out;
}

std::string narrow(const std::wstring& text) {
  std::string out;
  if (!tk_w2a(text.c_str(), out)) out.assign(1, '?');
  return out;
}

}  // namespace

std::wstring dao_rewrite_access_sql(const std::wstring& sql) {
  static const wchar_t* const names[][2] = {
      {L"alike", L"like"},   {L"asc", L"ascii"},   {L"chr", L"char"},      {L"clng", L"round"},
      {L"iif", L"if"},       {L"lcase", L"lower"}, {L"left$", L"left"},    {L"len", L"length"},
      {L"mid$", L"mid"},     {L"nz", L"ifnull"},   {L"right$", L"right"},  {L"sqr", L"sqrt"},
      {L"stdev", L"stddev"}, {L"strcomp", L"strcmp"}, {L"ucase", L"upper"},
  };
  std::wstring text = replace_every(sql, L"]![", L"].[");
  for (const auto& pair : names) text = replace_word(text, pair[0], pair[1]);
  return replace_every(text, L"<>", L"!=");
}

dao_database::dao_database(const std::wstring& path, DAODatabase* db, int mode_word)
    : udb_database(path, mode_word, false) {
  if (!db) throw tk_mail_assertion("dao_db", 59);
  db->AddRef();
  database.p = db;
  tk_log::write(2, L"dao_database::dao_database( %ls, mode=%d )", path.c_str(), mode);
  dao_check(database->get_TableDefs(&table_defs.p));
  dao_not_null(table_defs.p);
  tk_log::write(2, "Right before extracting queries/vews");
  if (!(mode & dao_mode::no_queries)) {
    try {
      init_views();
    } catch (const dao_exception& e) {
      tk_log::write(2, "ERROR1:\n%s", e.message.c_str());
    }
  }
  tk_log::write(2, "Right before extracting FKs");
  if (!(mode & dao_mode::no_fkeys)) {
    try {
      init_fkeys();
    } catch (const dao_exception& e) {
      tk_log::write(2, "ERROR2:\n%s", e.message.c_str());
      error_handler::prefix_scope reset;
      error_handler::instance().set_prefix(path);
      error_handler::instance().handle(e, false);
    }
  }
  tk_log::write(2, "dao_database::ctor - END");
}

// Listed when first wanted, not at every opening: the run opens the
// workbook once per sheet it adds, and asks only whether a name is taken.
void dao_database::list_tables() {
  if (listed) return;
  SHORT count = 0;
  dao_check(table_defs->get_Count(&count));
  std::vector<std::wstring> names;
  for (SHORT i = 0; i < count; ++i) {
    ole_com_ptr<_DAOTableDef> table;
    dao_check(table_defs->get_Item(dao_arg_i4(i), &table.p));
    dao_not_null(table.p);
    dao_bstr table_name;
    dao_check(table->get_Name(table_name.address()));
    LONG attributes = 0;
    dao_check(table->get_Attributes(&attributes));
    std::wstring name_text = table_name.str();
    if (attributes & attached) {
      tk_log::write(2, L"Skip linked table '%ls'", name_text.c_str());
    } else if (attributes & system_object) {
      tk_log::write(2, L"Skip system table '%ls'", name_text.c_str());
    } else {
      tk_log::write(2, L"Got table: '%ls'", name_text.c_str());
      names.push_back(name_text);
    }
  }
  table_names = std::move(names);
  listed = true;
}

std::vector<std::wstring>& dao_database::get_tables() {
  list_tables();
  return table_names;
}

bool dao_database::is_table_exist(const std::wstring& table_name) {
  if (listed) return udb_database::is_table_exist(table_name);
  tk_log::write(2, L"dao_database::is_table_exist(%ls)", table_name.c_str());
  dao_bstr name_text(table_name);
  ole_com_ptr<_DAOTableDef> table;
  HRESULT hr = table_defs->get_Item(dao_arg_text(name_text), &table.p);
  bool found = false;
  if (hr != dao_hresult(3265)) {
    dao_check(hr);
    dao_not_null(table.p);
    LONG attributes = 0;
    dao_check(table->get_Attributes(&attributes));
    found = !(attributes & attached) && !(attributes & system_object);
  }
  tk_log::write(2, found ? "table exists" : "table not found");
  return found;
}

dao_database::~dao_database() {
  tk_log::write(2, "dao_database::~dao_database");
  if (!closed && database.p) {
    HRESULT hr = database.p->Close();
    if (FAILED(hr)) tk_log::write(3, L"The database '%ls' was not closed: hr=%08X", name.c_str(), static_cast<unsigned>(hr));
  }
}

void dao_database::close() {
  tk_log::write(2, L"dao_database::close(%ls)", name.c_str());
  if (closed) return;
  closed = true;
  dao_check(database->Close());
}

std::unique_ptr<udb_recordset> dao_database::create_table(const std::wstring& table_name, const udb_schema& schema,
                                                          const udb_indexes& indexes) {
  tk_log::write(2, L"dao_database::create_table (%ls)", table_name.c_str());
  if (mode & dao_mode::read_only) throw tk_mail_assertion("dao_db", 150);
  bool exists = is_table_exist(table_name);
  if (!(mode & dao_mode::reuse_table) && exists) throw tk_mail_assertion("dao_db", 156);
  if (exists) return get_table(table_name, 8);
  dao_bstr name_text(table_name), empty{std::wstring()};
  ole_com_ptr<_DAOTableDef> table;
  dao_check(database->CreateTableDef(dao_arg_text(name_text), dao_arg_i4(0), dao_arg_text(empty), dao_arg_text(empty),
                                     &table.p));
  dao_not_null(table.p);
  dao_schema_initializer fields(table.p, schema);
  fields.initialize();
  dao_indexes_initializer keys(table.p, fields, indexes);
  keys.initialize();
  tk_log::write(1, "Right before Append");
  dao_check(table_defs->Append(table.p));
  if (listed) table_names.push_back(table_name);
  return get_table(table_name, 2);
}

bool dao_database::delete_tab(const std::wstring& table_name) {
  tk_log::write(1, L"dao_database::delete_tab(%ls)", table_name.c_str());
  if (mode & dao_mode::read_only) throw tk_mail_assertion("dao_db", 196);
  if (!is_table_exist(table_name)) throw tk_mail_assertion("dao_db", 197);
  dao_bstr name_text(table_name);
  list_tables();
  dao_check(table_defs->Delete(name_text));
  return udb_database::delete_tab(table_name);
}

std::unique_ptr<udb_recordset> dao_database::get_table(const std::wstring& table_name, int table_mode) {
  tk_log::write(2, L"dao_database::get_table(%ls, %d)", table_name.c_str(), table_mode);
  if (!is_table_exist(table_name)) throw tk_mail_assertion("dao_db", 288);
  dao_bstr text(L"SELECT * FROM [" + table_name + L"]");
  if (!table_defs.p) throw tk_mail_assertion("dao_db", 298);
  dao_bstr name_text(table_name);
  ole_com_ptr<_DAOTableDef> table;
  dao_check(table_defs->get_Item(dao_arg_text(name_text), &table.p));
  dao_not_null(table.p);
  tk_log::write(1, "Right after tdfs->getItem");
  LONG attributes = 0;
  dao_check(table->get_Attributes(&attributes));
  if ((attributes & attached) || (attributes & system_object)) return nullptr;
  dao_bstr empty{std::wstring()};
  ole_com_ptr<_DAOQueryDef> query;
  dao_check(database->CreateQueryDef(dao_arg_text(empty), dao_arg_text(text), &query.p));
  dao_not_null(query.p);
  tk_log::write(1, "Right after src->CreateQueryDef");
  ole_com_ptr<DAORecordset> records;
  dao_check(query->OpenRecordset(dao_arg_i2(2), dao_arg_i2(table_mode & dao_mode::read_only ? 4 : 8),
                                 dao_arg_missing(), &records.p));
  dao_not_null(records.p);
  return std::make_unique<dao_recordset>(table_name, records.p, table.p);
}

bool dao_database::test_query(const std::wstring& sql_text) {
  tk_log::write(2, L"dao_database::test_query(%ls)", sql_text.c_str());
  try {
    dao_bstr empty{std::wstring()}, text(sql_text);
    ole_com_ptr<_DAOQueryDef> query;
    if (FAILED(database->CreateQueryDef(dao_arg_text(empty), dao_arg_text(text), &query.p)) || !query.p) return false;
    ole_com_ptr<DAORecordset> records;
    if (FAILED(query->OpenRecordset(dao_arg_i2(2), dao_arg_i4(1), dao_arg_missing(), &records.p)) || !records.p)
      return false;
    records->Close();
    return true;
  } catch (...) {
    qm_rethrow_if_cancelled();
    return false;
  }
}

std::unique_ptr<udb_recordset> dao_database::get_query(const std::wstring& query_name, const std::wstring& query_text,
                                                       int query_mode) {
  tk_log::write(2, L"dao_database::get_query(%ls, %ls, %d)", query_name.c_str(), query_text.c_str(), query_mode);
  dao_bstr empty{std::wstring()}, text(query_text);
  ole_com_ptr<_DAOQueryDef> query;
  dao_check(database->CreateQueryDef(dao_arg_text(empty), dao_arg_text(text), &query.p));
  dao_not_null(query.p);
  ole_com_ptr<DAORecordset> records;
  dao_check(query->OpenRecordset(dao_arg_i2(2), dao_arg_i2(query_mode & dao_mode::read_only ? 4 : 8),
                                 dao_arg_missing(), &records.p));
  dao_not_null(records.p);
  int count = get_record_count(query_text);
  return std::make_unique<dao_recordset>(query_name, query_text, records.p, query.p, count);
}

int dao_database::get_record_count(const std::wstring& query_text) {
  // A line comment at the end of the text must not swallow the parenthesis.
  dao_bstr empty{std::wstring()}, text(L"select count(*) from (" + query_text + L"\n)");
  ole_com_ptr<_DAOQueryDef> query;
  dao_check(database->CreateQueryDef(dao_arg_text(empty), dao_arg_text(text), &query.p));
  dao_not_null(query.p);
  ole_com_ptr<DAORecordset> records;
  dao_check(query->OpenRecordset(dao_arg_i2(2), dao_arg_i2(4), dao_arg_missing(), &records.p));
  dao_not_null(records.p);
  ole_com_ptr<DAOFields> fields;
  dao_check(records->get_Fields(&fields.p));
  dao_not_null(fields.p);
  ole_com_ptr<_DAOField> first;
  dao_check(fields->get_Item(dao_arg_i4(0), &first.p));
  dao_not_null(first.p);
  dao_variant value;
  dao_check(first->get_Value(&value.v));
  LONG count = 0;
  VARIANT as_long;
  VariantInit(&as_long);
  if (SUCCEEDED(VariantChangeType(&as_long, &value.v, 0, VT_I4))) count = as_long.lVal;
  records->Close();
  return static_cast<int>(count);
}

void dao_database::init_views() {
  tk_log::write(2, "dao_database::init_views");
  dao_check(database->get_QueryDefs(&query_defs.p));
  dao_not_null(query_defs.p);
  SHORT count = 0;
  dao_check(query_defs->get_Count(&count));
  tk_log::write(2, "Got %d queries", static_cast<int>(count));
  for (SHORT i = 0; i < count; ++i) {
    ole_com_ptr<_DAOQueryDef> query;
    dao_check(query_defs->get_Item(dao_arg_i4(i), &query.p));
    dao_not_null(query.p);
    dao_bstr query_name, sql;
    dao_check(query->get_Name(query_name.address()));
    tk_log::write(2, L"Got query name: '%ls'", query_name.str().c_str());
    dao_check(query->get_SQL(sql.address()));
    tk_log::write(2, L"Got query SQL: '%ls'", sql.str().c_str());
    acc_query_parser parser(dao_rewrite_access_sql(sql.str()));
    if (!parser.is_parsed()) {
      // Left out rather than kept as a different statement.
      tk_log::write(2, L"Query '%ls' cannot be rebuilt: it is left out", query_name.str().c_str());
      continue;
    }
    parser.make_ansi();
    views[query_name.str()] = parser.get_query();
  }
}

void dao_database::init_fkeys() {
  tk_log::write(2, "dao_database::init_fkeys");
  static const wchar_t* const navigation[] = {L"MSysNavPaneGroups", L"MSysNavPaneGroupCategories",
                                              L"MSysNavPaneGroupToObjects"};
  auto is_navigation = [](const std::wstring& table) {
    for (const wchar_t* n : navigation)
      if (CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, table.c_str(), -1, n, -1) == CSTR_EQUAL) {
        tk_log::write(2, L"%ls is a system/internal tables", table.c_str());
        return true;
      }
    return false;
  };
  dao_bstr query(std::string("SELECT szRelationship, szColumn, szObject, szReferencedObject, szReferencedColumn, "
                             "grbit FROM MSysRelationships ORDER BY szRelationship"));
  ole_com_ptr<DAORecordset> records;
  dao_check(database->OpenRecordset(query, dao_arg_i2(2), dao_arg_i4(4), dao_arg_missing(), &records.p));
  dao_not_null(records.p);
  struct pending_relationship {
    std::wstring name, table, referenced;
    std::vector<std::wstring> columns, referenced_columns;
    long grbit = 0;
  };
  std::vector<pending_relationship> found;
  VARIANT_BOOL eof = VARIANT_FALSE;
  dao_check(records->get_EOF(&eof));
  while (!eof) {
    tk_log::write(1, "Reading next record from MSysRelationships");
    ole_com_ptr<DAOFields> fields;
    dao_check(records->get_Fields(&fields.p));
    dao_record row(dao_not_null(fields.p));
    if (row.size() != 6) throw tk_mail_assertion("dao_db", 408);
    std::wstring name_text = row[0].to_wstring();
    if (!found.empty() && found.back().name == name_text) {
      tk_log::write(2, L"'%ls' is a multi-column FK", name_text.c_str());
    } else {
      found.push_back({name_text, row[2].to_wstring(), row[3].to_wstring(), {}, {}, row[5].to_long()});
    }
    found.back().columns.push_back(row[1].to_wstring());
    found.back().referenced_columns.push_back(row[4].to_wstring());
    dao_check(records->MoveNext());
    dao_check(records->get_EOF(&eof));
  }
  records->Close();
  for (const auto& r : found) {
    if (is_navigation(r.table) || is_navigation(r.referenced)) continue;
    tk_log::write(2, "rels_name=%s, src=%s.%s, dest=%s.%s", narrow(r.name).c_str(), narrow(r.table).c_str(),
                  narrow(r.columns.front()).c_str(), narrow(r.referenced).c_str(),
                  narrow(r.referenced_columns.front()).c_str());
    std::wstring rule = (r.grbit & 1) ? L" ON DELETE CASCADE ON UPDATE CASCADE" : L"";
    relationships.push_back(
        udb_relationship(r.name, std::wstring(), r.table, r.referenced, r.columns, r.referenced_columns, rule));
  }
}
