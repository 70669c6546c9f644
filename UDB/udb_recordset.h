// One table or query result, read row by row or written: the recordset of
// every source and destination.
#pragma once

#include "UDB/udb_index.h"
#include "UDB/udb_record.h"
#include "UDB/udb_schema.h"

#include <cstdint>
#include <string>

class udb_recordset {
 public:
  udb_recordset(const std::wstring& name, bool schema_flag);
  udb_recordset(const std::wstring& name, const std::wstring& query_text, bool schema_flag);
  udb_recordset(const udb_recordset&) = delete;
  udb_recordset& operator=(const udb_recordset&) = delete;
  virtual ~udb_recordset() = default;

  // Writes one row. A destination may change the record's values to its
  // column types (convert_record) on the way.
  virtual void append_record(udb_record& record) = 0;
  virtual void update();
  virtual bool save();
  // The current row, owned by the recordset and valid until the next
  // get_item or the recordset's end; null when no row is there.
  virtual udb_record* get_item();
  virtual bool is_eof();
  virtual bool is_query();
  virtual void next();
  virtual void prev();
  virtual void first();

  // Refuses an index whose name is taken; the first primary or unique
  // index accepted becomes the key.
  void add_index(const udb_index& index);
  // Changes each value of the record, in place, to the type of this
  // recordset's column of the same name. A field this recordset lacks raises
  // tk_exception before any later field changes.
  void convert_record(udb_record& record);

  // Empty for a table.
  std::wstring query_text;
  std::wstring name;
  udb_schema schema;
  udb_indexes indexes;
  std::int32_t record_count = 0;
  // Position in `indexes` of the primary or unique key; -1 when none.
  std::int32_t key_index = -1;
};
