#include "dao/dao_recordset.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "dao/dao_bstr.h"
#include "dao/dao_exception.h"

namespace {

constexpr int record_too_large = 3047;

bool is_too_large(const dao_exception& e) {
  return e.code == 0x10000 + record_too_large || e.message == "Record is too large.";
}

bool strip_pair(std::wstring& text, wchar_t open, wchar_t close) {
  if (text.size() < 2 || text.front() != open || text.back() != close) return false;
  text = text.substr(1, text.size() - 2);
  return true;
}

bool is_now(const std::wstring& text) {
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, text.c_str(), -1, L"now()", -1) == CSTR_EQUAL;
}

std::string narrow(const std::wstring& text) {
  std::string out;
  if (!tk_w2a(text.c_str(), out)) out.assign(1, '?');
  return out;
}

std::wstring variant_text(const VARIANT& value) {
  if (value.vt == VT_BSTR) return value.bstrVal ? std::wstring(value.bstrVal, SysStringLen(value.bstrVal)) : L"";
  VARIANT text;
  VariantInit(&text);
  if (value.vt == VT_EMPTY || value.vt == VT_NULL || FAILED(VariantChangeType(&text, &value, 0, VT_BSTR))) return L"";
  std::wstring out(text.bstrVal, SysStringLen(text.bstrVal));
  VariantClear(&text);
  return out;
}

// Calls `each` (index, field, DAO type) for every field of a collection.
template <class Each>
void for_each_field(DAOFields* fields, Each each) {
  dao_not_null(fields);
  SHORT count = 0;
  dao_check(fields->get_Count(&count));
  for (SHORT i = 0; i < count; ++i) {
    ole_com_ptr<_DAOField> item;
    dao_check(fields->get_Item(dao_arg_i4(i), &item.p));
    dao_not_null(item.p);
    SHORT type = 0;
    dao_check(item->get_Type(&type));
    each(i, item.p, type);
  }
}

}  // namespace

dao_recordset::dao_recordset(const std::wstring& table_name, DAORecordset* rs, _DAOTableDef* table)
    : udb_recordset(table_name, true) {
  if (!rs) throw tk_mail_assertion("dao_recs", 45);
  rs->AddRef();
  recordset.p = rs;
  if (table) {
    table->AddRef();
    table_def.p = table;
  }
  tk_log::write(2, L"dao_recordset::dao_recordset(%ls)", table_name.c_str());
  if (table) {
    LONG count = 0;
    dao_check(table->get_RecordCount(&count));
    record_count = count;
    tk_log::write(2, "Got records count: %d", record_count);
    init_schema(table);
    init_indexes(table);
  }
  dao_check(recordset->get_EOF(&eof));
  tk_log::write(2, "dao_recordset::dao_recordset - END");
}

dao_recordset::dao_recordset(const std::wstring& query_name, const std::wstring& text, DAORecordset* rs,
                             _DAOQueryDef* query, int count)
    : udb_recordset(query_name, text, true) {
  if (!rs) throw tk_mail_assertion("dao_recs", 72);
  rs->AddRef();
  recordset.p = rs;
  if (query) {
    query->AddRef();
    query_def.p = query;
  }
  tk_log::write(2, L"dao_recordset::dao_recordset(%ls)", query_name.c_str());
  record_count = count;
  tk_log::write(2, "Got records count: %d", record_count);
  if (query) init_schema(query);
  dao_check(recordset->get_EOF(&eof));
}

dao_recordset::~dao_recordset() {
  tk_log::write(2, "dao_recordset::dtor");
  current.reset();
  // Closing a recordset writes nothing: a failure is only logged.
  HRESULT hr = recordset.p->Close();
  if (FAILED(hr)) tk_log::write(2, "Recordset.Close failed: hr=%08X", static_cast<unsigned>(hr));
}

void dao_recordset::store(const std::wstring& column, const VARIANT& value) {
  dao_bstr item(column);
  dao_check(recordset->put_Collect(dao_arg_text(item), value));
}

void dao_recordset::store_what_fits(const std::wstring& column, const VARIANT& value) {
  std::wstring text;
  if (value.vt == VT_BSTR && value.bstrVal) text.assign(value.bstrVal, SysStringLen(value.bstrVal));
  // A head of `fits` characters is taken, one of `refused` is not; a head
  // ends between two characters, so no surrogate pair is split.
  std::size_t fits = 0, refused = text.size();
  while (refused - fits > 1) {
    std::size_t middle = fits + (refused - fits) / 2;
    try {
      dao_bstr head(text.substr(0, middle));
      store(column, dao_arg_text(head));
      fits = middle;
    } catch (const dao_exception& e) {
      if (!is_too_large(e)) throw;
      refused = middle;
    }
  }
  if (fits == 0) {
    VARIANT empty;
    VariantInit(&empty);
    store(column, empty);
    return;
  }
  tk_log::write(2, "The text is cut to %d of its %d characters", static_cast<int>(fits), static_cast<int>(text.size()));
  dao_bstr head(text.substr(0, fits));
  store(column, dao_arg_text(head));
}

void dao_recordset::append_record(udb_record& record) {
  tk_log::write(1, "dao_recordset::append_record");
  // By position: the columns of the sheet may carry the safe names made
  // for the source's columns, so the record's names need not match them.
  for (std::size_t i = 0; i < record.size() && i < schema.size(); ++i) record[i].change_type(schema[i].vartype);
  dao_check(recordset->AddNew());
  tk_log::write(1, "\tAdd blank DAO record");
  if (record.size() != schema.size())
    throw tk_exception(std::string("The structures of data source does not conform to the destination table."), 0);
  for (std::size_t i = 0; i < record.size(); ++i) {
    const t_ftd& column = schema[i];
    udb_field& field = record[i];
    const VARTYPE type = field.get_type();
    tk_log::write(1, L"\tAdd field '%ls', type=%08X (value=%ls)", column.name.c_str(), static_cast<unsigned>(type),
                  field.to_wstring().c_str());
    try {
      if (column.b_not_null && (field.var.vt == VT_EMPTY || field.var.vt == VT_NULL)) {
        tk_log::write(1, "Got NULL value for not null field");
        store(column.name, ole_variant::from_string(std::string(), column.vartype).var);
      } else if (type == VT_DATE) {
        std::string text = field.to_string();
        std::size_t at = text.find("0000-00-00");
        if (at != std::string::npos) {
          tk_log::write(1, "Null date has been found");
          text.replace(at, 10, "1899-12-30");
        }
        store(column.name, ole_variant::from_string(text, VT_DATE).var);
      } else if (type == VT_I1 || type == VT_UI2 || type == VT_UI4 || type == VT_I8 || type == VT_UI8) {
        store(column.name, dao_get_valid_variant(field).var);
      } else {
        store(column.name, field.var);
      }
    } catch (const dao_exception& e) {
      if (!is_too_large(e)) throw;
      tk_log::write(2, "Record is too large.");
      store_what_fits(column.name, field.var);
    }
  }
  ++record_count;
  dao_check(recordset->Update(dbUpdateRegular, VARIANT_FALSE));
  tk_log::write(1, "Commit new record into database");
}

udb_record* dao_recordset::get_item() {
  tk_log::write(1, "dao_recordset::get_item");
  if (!recordset.p) throw tk_mail_assertion("dao_recs", 114);
  current.reset();
  ole_com_ptr<DAOFields> fields;
  dao_check(recordset->get_Fields(&fields.p));
  current = std::make_unique<dao_record>(dao_not_null(fields.p));
  return current.get();
}

bool dao_recordset::is_eof() { return eof != 0; }

void dao_recordset::next() {
  if (!recordset.p) throw tk_mail_assertion("dao_recs", 149);
  dao_check(recordset->MoveNext());
  dao_check(recordset->get_EOF(&eof));
}

void dao_recordset::prev() {
  if (!recordset.p) throw tk_mail_assertion("dao_recs", 160);
  VARIANT_BOOL bof = VARIANT_FALSE;
  dao_check(recordset->get_BOF(&bof));
  if (!bof) dao_check(recordset->MovePrevious());
}

void dao_recordset::first() {
  if (!recordset.p) throw tk_mail_assertion("dao_recs", 173);
  if (record_count != 0) dao_check(recordset->MoveFirst());
}

void dao_recordset::init_schema(_DAOTableDef* table) {
  tk_log::write(2, "dao_recordset::init_schema( DAOTableDef * )");
  if (!table) throw tk_mail_assertion("dao_recs", 190);
  ole_com_ptr<DAOFields> fields;
  dao_check(table->get_Fields(&fields.p));
  for_each_field(fields.p, [&](SHORT i, _DAOField* item, SHORT type) {
    std::uint32_t reserved = 0;
    if (type == dbDate) {
      tk_log::write(1, "Make date field more precise");
      reserved = 1;
    }
    LONG size = 0;
    dao_check(item->get_Size(&size));
    dao_variant default_value;
    dao_check(item->get_DefaultValue(&default_value.v));
    std::wstring def = variant_text(default_value.v);
    VARIANT_BOOL required = VARIANT_FALSE;
    dao_check(item->get_Required(&required));
    ole_com_ptr<DAOProperties> properties;
    dao_check(item->get_Properties(&properties.p));
    dao_not_null(properties.p);
    ole_com_ptr<DAOProperty> description;
    dao_bstr description_name(std::wstring(L"Description"));
    dao_check(properties->get_Item(dao_arg_text(description_name), &description.p));
    dao_not_null(description.p);
    dao_variant comment_value;
    dao_check(description->get_Value(&comment_value.v));
    std::wstring comment = variant_text(comment_value.v);
    tk_log::write(2, L"Column description='%ls'", comment.c_str());
    tk_log::write(2, L"DAO Field #%d: size=%d, DAO type=%d, def.value=%ls, comment=%ls", static_cast<int>(i),
                  static_cast<int>(size), static_cast<int>(type), def.c_str(), comment.c_str());
    if (!def.empty() && def.front() == L'=') {
      tk_log::write(2, "Got def.value of form ='...'");
      def.erase(0, 1);
      if (def.size() > 1 && !strip_pair(def, L'"', L'"')) strip_pair(def, L'\'', L'\'');
      tk_log::write(2, L"After all processing: %ls", def.c_str());
    } else if (type == dbDate) {
      tk_log::write(2, "Got date/time def.value");
      strip_pair(def, L'#', L'#');
      if (is_now(def)) {
        tk_log::write(2, "Got NOW()");
        reserved = 9;
      }
    } else if (type == dbText) {
      tk_log::write(2, "Got string def.value");
      strip_pair(def, L'"', L'"');
    }
    if (type == dbText && static_cast<LONG>(tk_utf16_length(def)) > size) {
      tk_log::write(3, L"Skip incorrect default value [%ls] for field #%d", def.c_str(), static_cast<int>(i));
      def.clear();
    }
    const VARTYPE vartype = dao_field::get_vartype(type);
    ole_variant parsed;
    if (reserved != 9) parsed = ole_variant::from_string(narrow(def), vartype);
    dao_field column(item);
    if (type == dbGUID) reserved = 1;
    if (type == dbAttachment) {
      tk_log::write(2, "Special processing for dbAttachment");
      reserved = 101;
      column.size = 0;
    }
    auto ftd = std::make_unique<t_ftd>(column, parsed, reserved);
    ftd->extra_text = comment;
    schema.push_back(std::move(ftd));
  });
  tk_log::write(2, "End of dao_recordset::init_schema");
}

void dao_recordset::init_schema(_DAOQueryDef* query) {
  tk_log::write(2, "dao_recordset::init_schema( DAOQueryDef * )");
  ole_com_ptr<DAOFields> fields;
  dao_check(query->get_Fields(&fields.p));
  for_each_field(fields.p, [&](SHORT i, _DAOField* item, SHORT type) {
    dao_variant default_value;
    dao_check(item->get_DefaultValue(&default_value.v));
    std::wstring def = variant_text(default_value.v);
    tk_log::write(2, L"Field #%d: DAO type=%d, default value=%ls", static_cast<int>(i), static_cast<int>(type),
                  def.c_str());
    if (type == dbDate && strip_pair(def, L'#', L'#')) tk_log::write(2, "Got date/time def.value");
    if (type == dbText && strip_pair(def, L'"', L'"')) tk_log::write(2, "Got string def.value");
    dao_field column(item);
    schema.push_back(std::make_unique<t_ftd>(column, ole_variant::from_string(narrow(def), dao_field::get_vartype(type)), 0));
  });
  tk_log::write(2, "End of dao_recordset::init_schema");
}

void dao_recordset::init_indexes(_DAOTableDef* table) {
  tk_log::write(2, "dao_recordset::init_indexes");
  ole_com_ptr<DAOIndexes> list;
  dao_check(table->get_Indexes(&list.p));
  dao_not_null(list.p);
  SHORT count = 0;
  dao_check(list->get_Count(&count));
  tk_log::write(2, "Got %d indexes", static_cast<int>(count));
  for (SHORT i = 0; i < count; ++i) {
    tk_log::write(2, "Processing index %d", static_cast<int>(i));
    ole_com_ptr<_DAOIndex> index;
    dao_check(list->get_Item(dao_arg_i4(i), &index.p));
    dao_not_null(index.p);
    dao_bstr index_name;
    dao_check(index->get_Name(index_name.address()));
    VARIANT_BOOL primary = VARIANT_FALSE, unique = VARIANT_FALSE;
    dao_check(index->get_Primary(&primary));
    dao_check(index->get_Unique(&unique));
    ole_com_ptr<DAOIndexFields> fields;
    dao_check(index->get_Fields(&fields.p));
    dao_not_null(fields.p);
    SHORT n = 0;
    dao_check(fields->get_Count(&n));
    std::vector<std::wstring> columns;
    for (SHORT k = 0; k < n; ++k) {
      ole_com_ptr<_DAOField> field;
      dao_check(fields->get_Item(dao_arg_i4(k), &field.p));
      dao_not_null(field.p);
      dao_bstr field_name;
      dao_check(field->get_Name(field_name.address()));
      tk_log::write(2, L"got index field: %ls", field_name.str().c_str());
      columns.push_back(field_name.str());
    }
    add_index(udb_index(index_name.str(), unique != 0, primary != 0, columns));
  }
  tk_log::write(2, "End of dao_recordset::init_indexes");
}
