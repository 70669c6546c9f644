#include "UDB/udb_recordset.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"

udb_recordset::udb_recordset(const std::wstring& name, bool schema_flag) : name(name), schema(schema_flag) {}

udb_recordset::udb_recordset(const std::wstring& name, const std::wstring& query_text, bool schema_flag)
    : query_text(query_text), name(name), schema(schema_flag) {}

void udb_recordset::update() { tk_log::write(1, "udb_recordset::update"); }

bool udb_recordset::save() { return true; }

udb_record* udb_recordset::get_item() { return nullptr; }

bool udb_recordset::is_eof() { return true; }

bool udb_recordset::is_query() { return !query_text.empty(); }

void udb_recordset::next() {}

void udb_recordset::prev() {}

void udb_recordset::first() {}

void udb_recordset::add_index(const udb_index& index) {
  tk_log::write(2, L"udb_recordset::add_index(%ls)", index.name.c_str());
  if (!indexes.is_acceptable_name(index.name)) {
    tk_log::write(3, L"Index '%ls' cannot be processed", index.name.c_str());
    return;
  }
  if (key_index == -1 && (index.primary || index.unique)) {
    tk_log::write(1, "Store primary/unique key");
    key_index = static_cast<std::int32_t>(indexes.size());
  }
  indexes.push_back(index);
}

void udb_recordset::convert_record(udb_record& record) {
  tk_log::write(1, "udb_recordset::convert_record");
  for (auto& field : record.fields) {
    if (!schema.find_field(field->name))
      throw tk_exception(std::wstring(L"The structure of data source does not conform to the destination table."), 1);
    const t_ftd& column = schema.get_field1(field->name);
    tk_log::write(1, L"from=%ls, to=%ls", field->name.c_str(), column.name.c_str());
    field->change_type(column.vartype);
  }
}
