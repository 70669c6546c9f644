// One SELECT run on the engine's session and read one row per step.
#pragma once

#include "ORA/ora_stmt.h"
#include "ORA/ora_types.h"
#include "UDB/udb_recordset.h"

#include <memory>
#include <string>
#include <vector>

class ora_query_results : public udb_recordset {
 public:
  // Named, for a table or a user's query; the owner calls initialize.
  ora_query_results(const std::wstring& name, const std::wstring& query_text);
  // A dictionary query, run at once; a column count of 0 takes the count
  // OCI describes.
  ora_query_results(int column_count, const std::wstring& select_text);
  ~ora_query_results() override;

  // Describe, create the column objects and the schema, define, execute.
  void initialize(int column_count, const std::wstring& select_text);
  static std::unique_ptr<ora_type> gen_co_by_type(OCIParam* param, ub2 data_type);

  // A query result is read only.
  void append_record(udb_record& record) override;
  // Fetches the next row; true at the end of the data.
  bool is_eof() override;
  udb_record* get_item() override;
  void next() override {}

 protected:
  // One row with OCI_FETCH_NEXT, checked; sets the fetched flag. A value
  // the client cut short of what the reader needs is read again whole.
  sword fetch_row();

  bool fetched = false;
  // The last fetch found no row.
  bool at_end = false;
  ub4 column_count = 0;
  bool initialized = false;
  ora_stmt stmt;
  std::vector<std::unique_ptr<ora_type>> columns;
  std::unique_ptr<ora_record> current;

 private:
  // Runs the SELECT again on a statement of its own, its columns defined
  // anew (a widened one takes a longer value), up to the row now read;
  // that statement then takes the place of the first. The status of the
  // row's fetch.
  sword read_row_again();

  std::wstring select_text;
  // Rows fetched so far.
  std::size_t rows_read = 0;
};

// The first column of each row of a dictionary query, as text: the names
// the schema has of some kind.
std::vector<std::wstring> ora_dictionary_names(const std::wstring& select_text);
