// The row cache of a table: appended records become array inserts of up to
// 200 rows, one execute per batch. CLOB and BLOB columns are inserted empty
// and filled afterwards through the ROWIDs the INSERT returns. A batch is
// all or nothing: it is committed with its LOBs, or rolled back to where it
// began and dropped.
#pragma once

#include "ORA/ora_stmt.h"
#include "UDB/udb_record.h"
#include "UDB/udb_schema.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class ora_table;

class ora_cache {
 public:
  ora_cache(const std::wstring& table_name, ora_table* table);
  // Writes the rows still pending; a failure is only logged (commit first
  // to see it).
  ~ora_cache();
  ora_cache(const ora_cache&) = delete;
  ora_cache& operator=(const ora_cache&) = delete;

  // Buffers, INSERT text, prepare and binds; once.
  void init(const std::wstring& table_name);
  void bind();
  // Each column takes the record's field of its name (through the names
  // the table was made with); a record whose names do not all match is
  // taken in the table's column order.
  void append_record(udb_record& fields);
  void copy_field(const udb_field& field, unsigned key);
  // Executes the rows buffered so far.
  void commit();
  // The record's LOB values; `at` is the record position of each column's.
  void lob_data_copy(udb_record& fields, const std::vector<std::size_t>& at);
  void lob_data_insert();
  void lob_data_clear();

  static constexpr unsigned batch_size = 200;
  static constexpr ub4 rowid_size = 64;

  struct row_buffer {
    ub4 element = 0;  // bytes per row
    ub2 type = 0;     // OCI bind type
    std::vector<unsigned char> data;
    std::vector<sb2> indicators;
    // LONG columns: the texts of the batch, bound when it is executed with
    // an element as long as the longest of them.
    bool long_text = false;
    std::vector<std::wstring> texts;
    ub4 position = 0;
    OCIBind* bind = nullptr;
  };
  struct lob_desc {
    unsigned column = 0;
    unsigned position = 0;  // among the LOB columns
    VARTYPE vt = VT_EMPTY;
    std::wstring name;
  };

  unsigned row_count = 0;
  // Column position to its buffer; the key equal to the column count is the
  // ROWID buffer.
  std::map<unsigned, row_buffer> buffers;
  ora_stmt stmt;
  ora_table* table;
  std::vector<udb_record> lob_rows;
  std::vector<lob_desc> v_blob_desc;
  std::wstring sql;

 private:
  void bind_buffer(row_buffer& buffer);
  // The record position of each column's value.
  const std::vector<std::size_t>& positions(const udb_record& fields);
  std::vector<std::wstring> layout_names_;
  std::vector<std::size_t> layout_;
  void fill_long_buffers();
  std::wstring table_name_;
};
