// Fields and records read from DAO, and the type maps between DAO field
// types and variant types.
#pragma once

#include "OLE/ole_com_ptr.h"
#include "UDB/udb_field.h"
#include "UDB/udb_record.h"
#include "UDB/udb_schema.h"
#include "jet/dao_interfaces.h"

#include <string>

class dao_field : public udb_field {
 public:
  // Reads the field's name, size, type, flags and, when it has one, value.
  explicit dao_field(_DAOField* field);
  ~dao_field() override = default;

  // The value's type, or for a field without a value that of its DAO type.
  VARTYPE get_type() const override;
  // DAO's zero date, 1899-12-30, reads as 0000-00-00, or alone as 00:00:00.
  std::string to_string() const override;
  std::wstring to_wstring() const override;

  static VARTYPE get_vartype(int dao_type);
  // Throws ole_type_exception for a type no DAO field holds.
  static int get_native_type(const t_ftd& column);

  ole_com_ptr<_DAOField> field;
};

class dao_record : public udb_record {
 public:
  explicit dao_record(DAOFields* fields);
  ~dao_record() override = default;

  ole_com_ptr<DAOFields> fields;
};

// A value of a type DAO does not take, as one it takes: 64-bit and unsigned
// 32-bit integers as doubles, unsigned 16-bit as 32-bit, signed 8-bit as
// 16-bit; any other type gives an empty value.
ole_variant dao_get_valid_variant(const udb_field& field);
