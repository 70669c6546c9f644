// Oracle column types from SQLite declared types: how a column is described,
// listed in the data dictionary and converted when fetched.
#pragma once

#include "oci/oci_types.h"

#include <optional>
#include <string>

namespace ocilite {

enum class col_kind {
  number,
  binary_float,
  binary_double,
  varchar,     // VARCHAR2, NVARCHAR2, VARCHAR, LONG, ROWID, XMLTYPE, intervals
  fixed_char,  // CHAR, NCHAR: blank-padded
  date,
  timestamp,
  timestamp_tz,
  timestamp_ltz,
  raw,  // RAW, LONG RAW
  clob,
  blob,  // BLOB, BFILE
  rowid,  // the row number of a table
  by_value,  // no Oracle type: typed by the values
};

struct col_type {
  col_kind kind = col_kind::by_value;
  ub2 code = SQLT_CHR;  // as described (OCI_ATTR_DATA_TYPE)
  ub2 data_size = 0;    // OCI_ATTR_DATA_SIZE, bytes
  sb2 precision = 0;    // OCI_ATTR_PRECISION
  sb1 scale = 0;        // OCI_ATTR_SCALE
  ub1 charset_form = SQLCS_IMPLICIT;
  ub4 char_length = 0;  // characters of a text column (padding of CHAR)
  // The data dictionary's view of it (USER_TAB_COLUMNS).
  std::string dict_type;
  ub4 dict_length = 0;
  std::optional<int> dict_precision;
  std::optional<int> dict_scale;
  char char_used = 0;  // 'B', 'C' or none
  // The longest value a column of the type takes, 0 for no limit, counted
  // in `length_unit`: 'B' bytes (UTF-8 for text), 'C' characters, 'U'
  // UTF-16 units (the national types).
  ub4 max_length = 0;
  char length_unit = 0;
};

// The type of a declared type text, as Oracle would hold a column declared
// so; an unknown or empty text is typed by its values.
col_type parse_declared_type(const std::string& declared);

// The type of an expression result, from the values it produced.
col_type number_expression_type();
col_type text_expression_type(ub4 max_bytes);
col_type raw_expression_type(ub4 max_bytes);
col_type rowid_type();

}  // namespace ocilite
