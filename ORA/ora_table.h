// An Oracle table, or a user's query given with a name, read as a
// recordset: its columns from the data dictionary (unreadable types left
// out), defaults, NCHAR sizes, keys, indexes and the foreign keys that point
// at it, and a row count taken before reading, for the progress.
#pragma once

#include "ORA/ora_query_results.h"
#include "UDB/udb_relationship.h"

#include <memory>
#include <string>

class ora_cache;
class ora_database;

class ora_table : public ora_query_results {
 public:
  // Mode bits: 0x20 skips foreign keys; 0x20 | 0x40 skips keys and indexes
  // too.
  ora_table(ora_database* database, const std::wstring& name, udb_relationships& relationships, int mode);
  ora_table(ora_database* database, const std::wstring& name, const std::wstring& query_text,
            udb_relationships& relationships);
  ~ora_table() override;

  void init_schema();
  int get_columns_cnt();
  // SELECT * when every column can be read, else the list of the readable
  // ones; `column_count` drops by the columns left out.
  std::wstring get_safe_select_query(int& column_count);
  // The value of a DATA_DEFAULT text for a column of type `vartype`.
  static ole_variant get_def_value(VARTYPE vartype, const std::wstring& text);
  void init_indexes(int mode);

  // True at the server's end of data; `record_count` does not bound it.
  bool is_eof() override;
  void next() override;

  // Writing. Appends go through the row cache in batches; save writes the
  // rows still pending, which the destructor otherwise writes without
  // reporting a failure.
  void append_record(udb_record& record) override;
  void fast_append(udb_record& record);
  bool save() override;
  using udb_recordset::update;
  // The row whose key fields equal the record's gets its other fields.
  void update(udb_record& record);
  // Makes the column nullable on the server and in the schema.
  void reset_not_null_flag(std::uint32_t index);

  static constexpr int mode_no_fks = 0x20;
  static constexpr int mode_no_indexes = 0x40;

  unsigned row_counter = 0;
  ora_database* database;
  udb_relationships& relationships;
  // The row cache, made by the first append, so that a table that is only
  // read holds no buffers of 200 rows per column; never for a query.
  std::unique_ptr<ora_cache> cache;

 private:
  // SELECT COUNT(*) text run for one integer; the execute is not checked,
  // so a failed count stays 0.
  int count_rows(const std::wstring& text);
};
