// The COM objects of the spreadsheet driver behind the DAO interfaces.
// Objects share the workbook they belong to and the error list of the
// DBEngine that opened it; once the database is closed, every object of it
// answers that it is no longer set.
#pragma once

#include "jet/dao_interfaces.h"
#include "jet/jet_com.h"
#include "jet/jet_workbook.h"
#include "jet/jet_workbook_cache.h"

#include <memory>
#include <string>
#include <vector>

// Where a recordset stands and the record it is adding.
struct jet_cursor {
  jet_workbook_ptr workbook;
  jet_table_ptr table;
  bool append_only = false;
  bool read_only = false;
  bool closed = false;
  std::size_t position = 0;  // among the records it shows
  bool before_first = false;
  bool adding = false;
  std::vector<biff_cell> pending;

  std::size_t shown() const { return append_only ? 0 : table->record_count(); }
  bool eof() const { return position >= shown(); }
  bool bof() const { return before_first || shown() == 0; }
};
using jet_cursor_ptr = std::shared_ptr<jet_cursor>;

class jet_engine final : public jet_com<_DAODBEngine, IID__DAODBEngine> {
 public:
  jet_engine();
  HRESULT get_Errors(DAOErrors** errors) override;
  HRESULT OpenDatabase(BSTR name, VARIANT options, VARIANT read_only, VARIANT connect,
                       DAODatabase** database) override;
  HRESULT CreateDatabase(BSTR name, BSTR locale, VARIANT option, DAODatabase** database) override;
  HRESULT Idle(VARIANT action) override;

 private:
  ~jet_engine() override;
  jet_session_ptr session;
  jet_workbook_cache_ptr cache;
};

class jet_database final : public jet_com<DAODatabase, IID_DAODatabase> {
 public:
  jet_database(jet_session_ptr session, jet_workbook_cache_ptr cache, jet_workbook_ptr workbook);
  HRESULT get_TableDefs(DAOTableDefs** tables) override;
  HRESULT get_QueryDefs(DAOQueryDefs** queries) override;
  HRESULT CreateTableDef(VARIANT name, VARIANT attributes, VARIANT source_table_name, VARIANT connect,
                         _DAOTableDef** table) override;
  HRESULT CreateQueryDef(VARIANT name, VARIANT sql_text, _DAOQueryDef** query) override;
  HRESULT OpenRecordset(BSTR name, VARIANT type, VARIANT options, VARIANT lock_edit,
                        DAORecordset** recordset) override;
  HRESULT Close() override;

 private:
  ~jet_database() override;
  jet_session_ptr session;
  jet_workbook_cache_ptr cache;
  jet_workbook_ptr workbook;
};

class jet_tabledef final : public jet_com<_DAOTableDef, IID__DAOTableDef> {
 public:
  jet_tabledef(jet_session_ptr session, jet_workbook_ptr workbook, jet_table_ptr table);
  HRESULT get_Name(BSTR* name) override;
  HRESULT get_Attributes(LONG* attributes) override;
  HRESULT get_RecordCount(LONG* count) override;
  HRESULT get_Fields(DAOFields** fields) override;
  HRESULT get_Indexes(DAOIndexes** indexes) override;
  HRESULT CreateField(VARIANT name, VARIANT type, VARIANT size, _DAOField** field) override;
  HRESULT CreateIndex(VARIANT name, _DAOIndex** index) override;

  jet_session_ptr session;
  jet_workbook_ptr workbook;
  jet_table_ptr table;
};

// A new field of a definition or an index from CreateField's arguments,
// handed out; a failure is recorded in the session.
HRESULT jet_new_field(const jet_session_ptr& session, const VARIANT& name, const VARIANT& type, const VARIANT& size,
                      _DAOField** field);

// Opens a recordset over a statement or a table name; the DAO methods that
// call it keep its exceptions in.
HRESULT jet_open_recordset(jet_session_ptr session, jet_workbook_ptr workbook, const std::wstring& source,
                           const VARIANT& type, const VARIANT& options, DAORecordset** recordset);
// The result table of a statement: the sheet's own table, or a table made for it.
HRESULT jet_query_table(jet_session& session, jet_workbook& workbook, const std::wstring& sql,
                        jet_table_ptr& table);

// Field collections of a definition, an index, a recordset's current record
// or a query's result.
class jet_fields final : public jet_com<DAOFields, IID_DAOFields> {
 public:
  jet_fields(jet_session_ptr session, jet_workbook_ptr workbook, jet_table_ptr table, jet_cursor_ptr cursor);
  HRESULT get_Count(SHORT* count) override;
  HRESULT get_Item(VARIANT item, _DAOField** field) override;
  HRESULT Append(IUnknown* field) override;

 private:
  jet_session_ptr session;
  jet_workbook_ptr workbook;
  jet_table_ptr table;
  jet_cursor_ptr cursor;
};

class jet_field final : public jet_com<_DAOField, IID__DAOField> {
 public:
  jet_field(jet_session_ptr session, jet_column_ptr column, jet_cursor_ptr cursor, int position);
  HRESULT get_Name(BSTR* name) override;
  HRESULT get_Type(SHORT* type) override;
  HRESULT get_Size(LONG* size) override;
  HRESULT get_Attributes(LONG* attributes) override;
  HRESULT put_Attributes(LONG attributes) override;
  HRESULT get_Required(VARIANT_BOOL* required) override;
  HRESULT put_Required(VARIANT_BOOL required) override;
  HRESULT put_AllowZeroLength(VARIANT_BOOL allow) override;
  HRESULT get_DefaultValue(VARIANT* value) override;
  HRESULT put_DefaultValue(VARIANT value) override;
  HRESULT get_Value(VARIANT* value) override;
  HRESULT get_Properties(DAOProperties** properties) override;

  jet_session_ptr session;
  jet_column_ptr column;

 private:
  // Set for a field of a recordset's record.
  jet_cursor_ptr cursor;
  int position;
};

class jet_indexes final : public jet_com<DAOIndexes, IID_DAOIndexes> {
 public:
  jet_indexes(jet_session_ptr session, jet_table_ptr table);
  HRESULT get_Count(SHORT* count) override;
  HRESULT get_Item(VARIANT item, _DAOIndex** index) override;
  HRESULT Append(IUnknown* index) override;

 private:
  jet_session_ptr session;
  jet_table_ptr table;
};

class jet_index_object final : public jet_com<_DAOIndex, IID__DAOIndex> {
 public:
  jet_index_object(jet_session_ptr session, jet_index_ptr index);
  HRESULT get_Name(BSTR* name) override;
  HRESULT get_Primary(VARIANT_BOOL* primary) override;
  HRESULT put_Primary(VARIANT_BOOL primary) override;
  HRESULT get_Unique(VARIANT_BOOL* unique) override;
  HRESULT put_Unique(VARIANT_BOOL unique) override;
  HRESULT get_Fields(DAOIndexFields** fields) override;
  HRESULT CreateField(VARIANT name, VARIANT type, VARIANT size, _DAOField** field) override;

  jet_session_ptr session;
  jet_index_ptr index;
};

class jet_recordset final : public jet_com<DAORecordset, IID_DAORecordset> {
 public:
  jet_recordset(jet_session_ptr session, jet_cursor_ptr cursor);
  HRESULT get_EOF(VARIANT_BOOL* eof) override;
  HRESULT get_BOF(VARIANT_BOOL* bof) override;
  HRESULT get_RecordCount(LONG* count) override;
  HRESULT get_Fields(DAOFields** fields) override;
  HRESULT AddNew() override;
  HRESULT put_Collect(VARIANT item, VARIANT value) override;
  HRESULT Update(LONG update_type, VARIANT_BOOL force) override;
  HRESULT MoveFirst() override;
  HRESULT MoveNext() override;
  HRESULT MovePrevious() override;
  HRESULT Close() override;

 private:
  // The recordset and its database are usable; records the error when not.
  HRESULT usable();
  jet_session_ptr session;
  jet_cursor_ptr cursor;
};

// The column of a collection item given by position or name; -1 when none.
int jet_item_position(const VARIANT& item, const std::vector<jet_column_ptr>& columns);
