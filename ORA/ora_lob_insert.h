// The CLOB and BLOB values of an inserted row, written through LOB
// locators of that row, which a SELECT ... FOR UPDATE locks.
#pragma once

#include "UDB/udb_record.h"
#include "oci/oci_types.h"
#include "platform/oleauto.h"

#include <cstdint>
#include <string>
#include <vector>

// A column whose value is written through a locator: text of no size or
// above 2000 characters (CLOB), bytes of no size or above 2000 (BLOB).
bool is_lob_type(VARTYPE vartype, std::uint32_t size);

struct ora_lob_item {
  // The column's position in the table.
  std::uint32_t idx = 0;
  // The position of its field in the record written.
  std::uint32_t idx_in = 0;
  // VT_BSTR for a CLOB, anything else for a BLOB.
  VARTYPE vt = VT_EMPTY;
  std::wstring name;
};

class ora_lob_insert {
 public:
  // One locator per item; a failure frees those already made.
  ora_lob_insert(const std::wstring& table_name, const std::vector<ora_lob_item>& items);
  ~ora_lob_insert();
  ora_lob_insert(const ora_lob_insert&) = delete;
  ora_lob_insert& operator=(const ora_lob_insert&) = delete;

  // Locks the row and writes every item's value; empty values leave the
  // row's empty LOB as it is.
  void insert(const std::wstring& rowid, udb_record& record);
  void write_clob(std::size_t i, udb_record& record);
  void write_blob(std::size_t i, udb_record& record);

  std::wstring table_name;
  std::vector<OCIDefine*> defines;
  std::vector<ora_lob_item> items;
  std::vector<OCILobLocator*> locators;

 private:
  void init();
  void free_locators();
};
