// The writing operations of an Oracle table.
#include "ORA/ora_cache.h"
#include "ORA/ora_database.h"
#include "ORA/ora_engine.h"
#include "ORA/ora_stmt.h"
#include "ORA/ora_table.h"
#include "ORA/ora_util.h"
#include "ORA/ora_validator.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"

#include <algorithm>

void ora_table::append_record(udb_record& record) { fast_append(record); }

void ora_table::fast_append(udb_record& record) {
  tk_log::write(1, "ora_table::fast_append");
  // A query result is not written.
  if (is_query()) throw tk_mail_assertion("ora_qres", 52);
  // Every database of the program batches its appends.
  if (!database || !database->fast_append) throw tk_mail_assertion("ora_tab", 1012);
  if (!cache) cache = std::make_unique<ora_cache>(name, this);
  cache->append_record(record);
  ++record_count;
}

bool ora_table::save() {
  tk_log::write(1, "ora_table::save");
  if (cache) cache->commit();
  return true;
}

void ora_table::update(udb_record& record) {
  tk_log::write(1, "ora_table::update");
  ora_fn_validator validator(record);
  if (key_index == -1) return;
  if (key_index < 0 || static_cast<std::size_t>(key_index) >= indexes.size()) throw tk_mail_assertion("ora_tab", 1060);
  const udb_index& key = indexes[static_cast<std::size_t>(key_index)];
  const std::wstring start = L"UPDATE \"" + name + L"\" SET ";
  std::wstring set, where;
  for (const auto& field : record.fields) {
    std::wstring column = validator.is_acceptable(field->name) ? field->name : validator.get_safe_name(field->name);
    tk_log::write(1, L"Got mappend fn: %ls", column.c_str());
    if (!schema.find_field(column)) {
      tk_log::write(1, L"Field '%ls' is not found in schema", column.c_str());
      continue;
    }
    std::wstring item = L"\"" + column + L"\"=" + to_oracle_str(field.get(), true);
    if (std::find(key.fields.begin(), key.fields.end(), column) == key.fields.end()) {
      tk_log::write(1, L"Field %ls is NOT a part of UKey", column.c_str());
      set += (set.empty() ? L"" : L", ") + item;
    } else {
      tk_log::write(1, L"Field %ls is a part of UKey", column.c_str());
      where += (where.empty() ? L"" : L" AND ") + item;
    }
  }
  std::wstring sql = start + set + L" WHERE " + where;
  tk_log::write(1, L"UPDATE QUERY: %ls", sql.c_str());
  if (where.empty()) {
    tk_log::write(1, "Missing primary/unique key");
    return;
  }
  database->query(sql);
}

void ora_table::reset_not_null_flag(std::uint32_t index) {
  tk_log::write(2, "ora_table::reset_not_null_flag(%u)", index);
  if (index >= schema.size()) throw tk_mail_assertion("ora_tab", 971);
  t_ftd& column = schema[index];
  // Only the nullability changes. The column's type and default as this
  // schema describes them are not its own (a DATE reads as a time stamp, a
  // VARCHAR2 as national text), and restating them would change the
  // column, or be refused for a LOB or a column with rows.
  std::wstring sql = L"ALTER TABLE \"" + name + L"\" MODIFY \"" + column.name + L"\" NULL";
  tk_log::write(3, L"Run SQL query: %ls\n", sql.c_str());
  ora_engine& engine = ora_engine::instance();
  ora_stmt stmt;
  engine.check_err(stmt.prepare(sql));
  engine.check_err(stmt.execute(1, OCI_COMMIT_ON_SUCCESS));
  column.b_not_null = false;
}
