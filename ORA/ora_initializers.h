// What create_table runs to make a table on the server from a UDB table
// description: the columns with acceptable names, CREATE TABLE, and for a
// counter column a sequence with an insert trigger; then the keys and
// indexes of the source as constraints and indexes.
#pragma once

#include "ORA/ora_validator.h"
#include "UDB/udb_index.h"
#include "UDB/udb_names_map.h"
#include "UDB/udb_schema.h"

#include <string>

class ora_database;

class ora_schema_initializer {
 public:
  ora_schema_initializer(const std::wstring& table, const udb_schema& source_schema, const udb_indexes& indexes);

  // CREATE TABLE; the sequence and trigger when there is a counter column.
  // Columns of a type the server cannot take are left out, of the table and
  // of the destination description.
  void build_schema(ora_database& database);
  // The sequence's name; it ends in "_0".
  std::wstring create_sequence(ora_database& database);
  // Table name + "__TRIGGER", the table name cut so that the whole keeps to
  // the server's 30 characters.
  std::wstring trigger_name() const;

  std::wstring table;
  udb_schema schema;
  // The column a sequence numbers: the last source column with its flag set.
  std::wstring counter;
  ora_fn_validator validator;
  // Source column name to destination name, for the names that changed.
  t_names_map names;
  const udb_indexes& source_indexes;
  const udb_schema& source_schema;
};

class ora_indexes_initializer {
 public:
  // Needs the program-wide index-name validator.
  ora_indexes_initializer(const std::wstring& table, const t_names_map& columns, const udb_indexes& indexes,
                          const udb_schema& destination);

  // Primary keys and unique indexes as constraints, the others as indexes.
  // An index the table already has (ORA-01408, ORA-02261) is skipped.
  void build_indexes();
  // Not a LOB.
  bool can_be_part_of_index(const t_ftd& column) const;

  int primary = -1;
  std::wstring table;
  udb_indexes indexes;
  const t_names_map& columns;
  const udb_schema& schema;
};

// A column the table writer may use as a key column: anything but a CLOB or
// BLOB.
bool ora_can_be_indexed(const t_ftd& column);
