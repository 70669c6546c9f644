// Column objects: one per select-list column of a query result. Each binds
// one fetch buffer, describes its column as a t_ftd and turns the fetched
// row into an ole_variant.
#pragma once

#include "OLE/ole_variant.h"
#include "UDB/udb_record.h"
#include "UDB/udb_schema.h"
#include "oci/oci_types.h"

#include <memory>
#include <string>
#include <vector>

class ora_type {
 public:
  // Reads the column's name and nullability from its parameter descriptor.
  ora_type(OCIParam* param, ub1 type);
  virtual ~ora_type();
  ora_type(const ora_type&) = delete;
  ora_type& operator=(const ora_type&) = delete;

  virtual VARTYPE get_vartype();
  virtual std::unique_ptr<t_ftd> get_ftd();
  // The value of the row now in the buffer (not called for a NULL).
  virtual void to_variant(ole_variant& value) = 0;
  virtual void define(OCIStmt* stmt, ub4 position) = 0;
  // After a fetch: true when the client cut the value short (an indicator
  // of -2 or of the whole length, return code 1406, a length past the
  // buffer, or a fetch that told of a cut while this value fills its
  // buffer) and the part it got holds less than the reader needs.
  virtual bool needs_more(bool fetch_told_cut);
  // Takes a longer value from its next define on; false when it cannot.
  virtual bool widen();

  // Released with its statement.
  OCIDefine* define_handle = nullptr;
  std::wstring name;
  ub1 nullable = 0;
  ub4 size = 0;
  ub1 type = 0;
  // -1 after a fetch of NULL; -2 or the whole length after a value cut.
  sb2 null_ind = 0;
  // 1406 after a fetch that cut the value.
  ub2 return_code = 0;
};

// NUMBER, FLOAT, BINARY_FLOAT and BINARY_DOUBLE, fetched as the server's
// text.
class ora_number : public ora_type {
 public:
  ora_number(OCIParam* param, ub2 code);
  VARTYPE get_vartype() override { return vartype; }
  std::unique_ptr<t_ftd> get_ftd() override;
  void to_variant(ole_variant& value) override;
  void define(OCIStmt* stmt, ub4 position) override;

  // The value of a number text as `vt`; text that the type cannot hold
  // exactly (a DECIMAL beyond 28 significant digits or decimal places)
  // stays text, with a zero before a leading point ("-0.5" for "-.5").
  static ole_variant number_value(const std::wstring& text, VARTYPE vt);

  ub4 precision = 0;
  ub4 scale = 0;
  VARTYPE vartype = VT_DECIMAL;
  char16_t buffer[255] = {};
};

// RAW.
class ora_binary : public ora_type {
 public:
  explicit ora_binary(OCIParam* param);
  void to_variant(ole_variant& value) override;
  void define(OCIStmt* stmt, ub4 position) override;

  std::vector<unsigned char> buffer;
  // Bytes of the fetched value.
  ub2 length = 0;
};

// CHAR, VARCHAR2, NCHAR, NVARCHAR2, fetched as UTF-16 with their length.
// A value longer than the described size is read again as LONG VARCHAR,
// whose length of four bytes tells what a ub2 cannot.
class ora_string : public ora_type {
 public:
  explicit ora_string(OCIParam* param);
  void to_variant(ole_variant& value) override;
  void define(OCIStmt* stmt, ub4 position) override;
  bool needs_more(bool fetch_told_cut) override;
  bool widen() override;

  std::vector<char16_t> buffer;
  // Bytes of the fetched value.
  ub2 length = 0;
  // Defined as LONG VARCHAR: the length in the buffer's first two units.
  bool long_varchar = false;
};

// CLOB, NCLOB and BLOB through a locator.
class ora_lob : public ora_type {
 public:
  ora_lob(OCIParam* param, ub2 code);
  ~ora_lob() override;
  void to_variant(ole_variant& value) override;
  void define(OCIStmt* stmt, ub4 position) override;
  // One piece from `offset` (1 for the first): up to `amount` characters
  // of a CLOB as UTF-16, or bytes of a BLOB; returns how many, 0 at the end.
  ub4 read_lob(ub4 offset, void* buffer, ub4 amount);

  OCILobLocator* locator = nullptr;
  static constexpr ub4 piece_size = 32768;
};

// DATE and the TIMESTAMP types through a timestamp descriptor.
class ora_date : public ora_type {
 public:
  ora_date(OCIParam* param, ub2 code);
  ~ora_date() override;
  void to_variant(ole_variant& value) override;
  void define(OCIStmt* stmt, ub4 position) override;

  OCIDateTime* descriptor = nullptr;
};

// Types read as the server's text: LONG (with its length in front), LONG
// RAW (as hexadecimal digits after "0x"), row ids, intervals.
class ora_str_repr : public ora_type {
 public:
  ora_str_repr(OCIParam* param, ub2 code, ub4 characters);
  void to_variant(ole_variant& value) override;
  void define(OCIStmt* stmt, ub4 position) override;
  // A LONG longer than the buffer is read again into a longer one.
  bool needs_more(bool fetch_told_cut) override;
  bool widen() override;

  std::vector<char16_t> buffer;
};

// A column this engine cannot read: every row gives "<unsupported type>".
class ora_dummy : public ora_type {
 public:
  explicit ora_dummy(OCIParam* param);
  void to_variant(ole_variant& value) override;
  void define(OCIStmt*, ub4) override {}
};

// The row now in the columns' buffers, one field per column.
class ora_record : public udb_record {
 public:
  explicit ora_record(const std::vector<std::unique_ptr<ora_type>>& columns);
};
