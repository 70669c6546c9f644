// The builders of a new DAO table: its fields, with DAO-safe unique names,
// types, sizes, flags and defaults, and its indexes.
#pragma once

#include "UDB/udb_index.h"
#include "UDB/udb_schema.h"
#include "dao/dao_validator.h"
#include "jet/dao_interfaces.h"

#include <string>
#include <vector>

class dao_schema_initializer : public udb_schema {
 public:
  // The destination columns, in source order.
  dao_schema_initializer(_DAOTableDef* table, const udb_schema& source);
  // Creates and appends the DAO fields.
  void initialize();

  static std::wstring quote_def_value(const std::wstring& text);

  _DAOTableDef* table;
  // Its name map pairs each renamed source column with its new name.
  dao_fn_validator validator;
};

class dao_indexes_initializer {
 public:
  static constexpr std::size_t max_columns = 10;
  static constexpr std::size_t max_indexes = 32;

  dao_indexes_initializer(_DAOTableDef* table, dao_schema_initializer& columns, const udb_indexes& source);
  void initialize();

  dao_in_validator validator;
  _DAOTableDef* table;
  dao_schema_initializer& columns;
  std::vector<udb_index> indexes;
};
