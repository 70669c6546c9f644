// The recordset over one open DAO Recordset: in this product the
// append-only recordset over a worksheet into which a run adds its rows.
#pragma once

#include "OLE/ole_com_ptr.h"
#include "UDB/udb_recordset.h"
#include "dao/dao_field.h"
#include "jet/dao_interfaces.h"

#include <memory>
#include <string>

class dao_recordset : public udb_recordset {
 public:
  // A table's recordset; its layout and indexes come from the definition.
  dao_recordset(const std::wstring& name, DAORecordset* recordset, _DAOTableDef* table);
  // A query's recordset, with its row count.
  dao_recordset(const std::wstring& name, const std::wstring& query_text, DAORecordset* recordset,
                _DAOQueryDef* query, int record_count);
  ~dao_recordset() override;

  void append_record(udb_record& record) override;
  udb_record* get_item() override;
  bool is_eof() override;
  void next() override;
  void prev() override;
  void first() override;

  void init_schema(_DAOTableDef* table);
  void init_schema(_DAOQueryDef* query);
  void init_indexes(_DAOTableDef* table);

 private:
  void store(const std::wstring& column, const VARIANT& value);
  // A value the driver refuses as too large: the longest head of a text
  // that it takes, else nothing.
  void store_what_fits(const std::wstring& column, const VARIANT& value);

  VARIANT_BOOL eof = VARIANT_TRUE;
  std::unique_ptr<dao_record> current;
  ole_com_ptr<DAORecordset> recordset;
  ole_com_ptr<_DAOTableDef> table_def;
  ole_com_ptr<_DAOQueryDef> query_def;
};
