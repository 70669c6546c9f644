// The Data Access Objects interfaces that the DAO engine calls, as COM
// interfaces over IUnknown: the DBEngine, its databases with their table
// and query definitions, recordsets, fields, indexes, properties and the
// error collection. Every method returns an HRESULT; a failure also leaves
// its DAO error (number and description) in the DBEngine's Errors.
//
// Conventions: an [in] BSTR or VARIANT stays the caller's; an [out] BSTR or
// VARIANT becomes the caller's, who frees or clears it; an [out] interface
// carries one reference for the caller. Collections take an item by its
// VT_I2/VT_I4 position or by its VT_BSTR name (compared ignoring case).
#pragma once

#include "platform/com.h"
#include "platform/oleauto.h"

struct DAOErrors;
struct DAOError;
struct DAODatabase;
struct DAOTableDefs;
struct _DAOTableDef;
struct DAOQueryDefs;
struct _DAOQueryDef;
struct DAORecordset;
struct DAOFields;
struct _DAOField;
struct DAOIndexes;
struct _DAOIndex;
struct DAOIndexFields;
struct DAOProperties;
struct DAOProperty;

// The DBEngine of DAO 3.6.
// {00000021-0000-0010-8000-00AA006D2EA4}
inline constexpr IID IID__DAODBEngine = {0x00000021, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
inline constexpr IID IID_DAOErrors = {0x92EDE374, 0xDD85, 0x41C1, {0x80, 0x97, 0x73, 0x4D, 0x7F, 0x23, 0xC3, 0xB0}};
inline constexpr IID IID_DAOError = {0x861FFD68, 0x50F9, 0x43E0, {0xBD, 0xF3, 0xD5, 0xA5, 0x18, 0xE1, 0x4A, 0x1E}};
inline constexpr IID IID_DAODatabase = {0xCBD0351C, 0x04C9, 0x4377, {0x83, 0xF7, 0xE7, 0x41, 0xAB, 0x94, 0x52, 0xF1}};
inline constexpr IID IID_DAOTableDefs = {0xEA2AFD36, 0x8A7A, 0x4522, {0x81, 0xA9, 0xBF, 0x5C, 0x3D, 0x04, 0xE9, 0xDF}};
inline constexpr IID IID__DAOTableDef = {0x74F78585, 0x1EA4, 0x48BA, {0xBC, 0xF3, 0x3B, 0xF3, 0xFE, 0xCA, 0x9E, 0x34}};
inline constexpr IID IID_DAOQueryDefs = {0x80D9D696, 0xC6E1, 0x4B76, {0xB4, 0xB8, 0x14, 0xE3, 0x2A, 0xD2, 0x90, 0x2E}};
inline constexpr IID IID__DAOQueryDef = {0xDD630B83, 0x06A8, 0x4616, {0xB9, 0xFE, 0xC7, 0xE0, 0x97, 0x24, 0x1C, 0x90}};
inline constexpr IID IID_DAORecordset = {0x94B5E30E, 0xEE2E, 0x4530, {0xBC, 0xED, 0x70, 0x87, 0xFB, 0xE6, 0x86, 0x3E}};
inline constexpr IID IID_DAOFields = {0x79EECE24, 0xA1F6, 0x4642, {0xBF, 0xA2, 0xC9, 0xEC, 0x78, 0xB3, 0x1A, 0xE3}};
inline constexpr IID IID__DAOField = {0x44FCF8CB, 0x2AE0, 0x4A21, {0x8A, 0xC9, 0xF1, 0x19, 0xF8, 0xEB, 0x0B, 0xA0}};
inline constexpr IID IID_DAOIndexes = {0x64726FB4, 0x6689, 0x4038, {0x83, 0xD9, 0xD1, 0x3E, 0x67, 0xAD, 0xD1, 0x54}};
inline constexpr IID IID__DAOIndex = {0xAB2682BD, 0x71BD, 0x491C, {0x90, 0x76, 0x16, 0x28, 0xAA, 0x75, 0xCE, 0xBD}};
inline constexpr IID IID_DAOIndexFields = {0x8BC20378, 0x1BDF, 0x4EA0, {0xAB, 0x2F, 0x6C, 0xC9, 0x1C, 0xAC, 0x05, 0x33}};
inline constexpr IID IID_DAOProperties = {0xD58D9D84, 0x332E, 0x4A74, {0x92, 0x09, 0xE5, 0x64, 0x6D, 0x2E, 0x26, 0xFB}};
inline constexpr IID IID_DAOProperty = {0x6D7D44AF, 0x576A, 0x4EB9, {0xB2, 0x40, 0xC8, 0x87, 0xE1, 0xBD, 0x5E, 0x14}};

// A DAO error number as the HRESULT of the failing call.
constexpr HRESULT dao_hresult(LONG number) { return static_cast<HRESULT>(0x800A0000u | (number & 0xFFFF)); }

// Field types.
enum : SHORT {
  dbBoolean = 1,
  dbByte = 2,
  dbInteger = 3,
  dbLong = 4,
  dbCurrency = 5,
  dbSingle = 6,
  dbDouble = 7,
  dbDate = 8,
  dbBinary = 9,
  dbText = 10,
  dbLongBinary = 11,
  dbMemo = 12,
  dbGUID = 15,
  dbBigInt = 16,
  dbNumeric = 19,
  dbDecimal = 20,
  dbFloat = 21,
  dbTime = 22,
  dbAttachment = 101,
};
// Recordset types and options, update types, and attribute bits.
enum : LONG {
  dbOpenDynaset = 2,
  dbDenyWrite = 1,
  dbReadOnly = 4,
  dbAppendOnly = 8,
  dbUpdateRegular = 1,
  dbAutoIncrField = 0x10,
  dbAttachedTable = 0x40000000,
  dbFreeLocks = 1,
  dbRefreshCache = 8,
  dbSystemObject = static_cast<LONG>(0x80000002u),
};

struct _DAODBEngine : IUnknown {
  virtual HRESULT get_Errors(DAOErrors** errors) = 0;
  // Options: exclusive; ReadOnly; Connect: "Excel 5.0;", "Excel 8.0;" or, for
  // a database file, empty or ";pwd=...".
  virtual HRESULT OpenDatabase(BSTR name, VARIANT options, VARIANT read_only, VARIANT connect,
                               DAODatabase** database) = 0;
  virtual HRESULT CreateDatabase(BSTR name, BSTR locale, VARIANT option, DAODatabase** database) = 0;
  // Action dbRefreshCache: writes what the engine holds back and lets it go.
  virtual HRESULT Idle(VARIANT action) = 0;

 protected:
  ~_DAODBEngine() = default;
};

struct DAOErrors : IUnknown {
  virtual HRESULT get_Count(SHORT* count) = 0;
  virtual HRESULT get_Item(VARIANT item, DAOError** error) = 0;

 protected:
  ~DAOErrors() = default;
};

struct DAOError : IUnknown {
  virtual HRESULT get_Number(LONG* number) = 0;
  virtual HRESULT get_Description(BSTR* description) = 0;

 protected:
  ~DAOError() = default;
};

struct DAODatabase : IUnknown {
  virtual HRESULT get_TableDefs(DAOTableDefs** tables) = 0;
  virtual HRESULT get_QueryDefs(DAOQueryDefs** queries) = 0;
  virtual HRESULT CreateTableDef(VARIANT name, VARIANT attributes, VARIANT source_table_name, VARIANT connect,
                                 _DAOTableDef** table) = 0;
  // An empty Name makes a temporary query definition, kept by nobody.
  virtual HRESULT CreateQueryDef(VARIANT name, VARIANT sql_text, _DAOQueryDef** query) = 0;
  // Name: a table name or a SELECT statement.
  virtual HRESULT OpenRecordset(BSTR name, VARIANT type, VARIANT options, VARIANT lock_edit,
                                DAORecordset** recordset) = 0;
  // Writes what changed; afterwards every object of the database answers
  // that it is no longer set.
  virtual HRESULT Close() = 0;

 protected:
  ~DAODatabase() = default;
};

struct DAOTableDefs : IUnknown {
  virtual HRESULT get_Count(SHORT* count) = 0;
  virtual HRESULT get_Item(VARIANT item, _DAOTableDef** table) = 0;
  // A definition made by CreateTableDef, with its fields appended.
  virtual HRESULT Append(IUnknown* table) = 0;
  virtual HRESULT Delete(BSTR name) = 0;

 protected:
  ~DAOTableDefs() = default;
};

struct _DAOTableDef : IUnknown {
  virtual HRESULT get_Name(BSTR* name) = 0;
  virtual HRESULT get_Attributes(LONG* attributes) = 0;
  virtual HRESULT get_RecordCount(LONG* count) = 0;
  virtual HRESULT get_Fields(DAOFields** fields) = 0;
  virtual HRESULT get_Indexes(DAOIndexes** indexes) = 0;
  virtual HRESULT CreateField(VARIANT name, VARIANT type, VARIANT size, _DAOField** field) = 0;
  virtual HRESULT CreateIndex(VARIANT name, _DAOIndex** index) = 0;

 protected:
  ~_DAOTableDef() = default;
};

struct DAOQueryDefs : IUnknown {
  virtual HRESULT get_Count(SHORT* count) = 0;
  virtual HRESULT get_Item(VARIANT item, _DAOQueryDef** query) = 0;

 protected:
  ~DAOQueryDefs() = default;
};

struct _DAOQueryDef : IUnknown {
  virtual HRESULT get_Name(BSTR* name) = 0;
  virtual HRESULT get_SQL(BSTR* sql) = 0;
  virtual HRESULT get_Fields(DAOFields** fields) = 0;
  virtual HRESULT OpenRecordset(VARIANT type, VARIANT options, VARIANT lock_edit, DAORecordset** recordset) = 0;

 protected:
  ~_DAOQueryDef() = default;
};

struct DAORecordset : IUnknown {
  virtual HRESULT get_EOF(VARIANT_BOOL* eof) = 0;
  virtual HRESULT get_BOF(VARIANT_BOOL* bof) = 0;
  virtual HRESULT get_RecordCount(LONG* count) = 0;
  // The fields of the current record, their values read when asked.
  virtual HRESULT get_Fields(DAOFields** fields) = 0;
  virtual HRESULT AddNew() = 0;
  // Sets a field of the record being added; Item is its name or position.
  virtual HRESULT put_Collect(VARIANT item, VARIANT value) = 0;
  virtual HRESULT Update(LONG update_type, VARIANT_BOOL force) = 0;
  virtual HRESULT MoveFirst() = 0;
  virtual HRESULT MoveNext() = 0;
  virtual HRESULT MovePrevious() = 0;
  virtual HRESULT Close() = 0;

 protected:
  ~DAORecordset() = default;
};

struct DAOFields : IUnknown {
  virtual HRESULT get_Count(SHORT* count) = 0;
  virtual HRESULT get_Item(VARIANT item, _DAOField** field) = 0;
  virtual HRESULT Append(IUnknown* field) = 0;

 protected:
  ~DAOFields() = default;
};

struct _DAOField : IUnknown {
  virtual HRESULT get_Name(BSTR* name) = 0;
  virtual HRESULT get_Type(SHORT* type) = 0;
  virtual HRESULT get_Size(LONG* size) = 0;
  virtual HRESULT get_Attributes(LONG* attributes) = 0;
  virtual HRESULT put_Attributes(LONG attributes) = 0;
  virtual HRESULT get_Required(VARIANT_BOOL* required) = 0;
  virtual HRESULT put_Required(VARIANT_BOOL required) = 0;
  virtual HRESULT put_AllowZeroLength(VARIANT_BOOL allow) = 0;
  virtual HRESULT get_DefaultValue(VARIANT* value) = 0;
  virtual HRESULT put_DefaultValue(VARIANT value) = 0;
  // A field of a definition has no value: the call fails.
  virtual HRESULT get_Value(VARIANT* value) = 0;
  virtual HRESULT get_Properties(DAOProperties** properties) = 0;

 protected:
  ~_DAOField() = default;
};

struct DAOIndexes : IUnknown {
  virtual HRESULT get_Count(SHORT* count) = 0;
  virtual HRESULT get_Item(VARIANT item, _DAOIndex** index) = 0;
  virtual HRESULT Append(IUnknown* index) = 0;

 protected:
  ~DAOIndexes() = default;
};

struct _DAOIndex : IUnknown {
  virtual HRESULT get_Name(BSTR* name) = 0;
  virtual HRESULT get_Primary(VARIANT_BOOL* primary) = 0;
  virtual HRESULT put_Primary(VARIANT_BOOL primary) = 0;
  virtual HRESULT get_Unique(VARIANT_BOOL* unique) = 0;
  virtual HRESULT put_Unique(VARIANT_BOOL unique) = 0;
  virtual HRESULT get_Fields(DAOIndexFields** fields) = 0;
  virtual HRESULT CreateField(VARIANT name, VARIANT type, VARIANT size, _DAOField** field) = 0;

 protected:
  ~_DAOIndex() = default;
};

struct DAOIndexFields : IUnknown {
  virtual HRESULT get_Count(SHORT* count) = 0;
  virtual HRESULT get_Item(VARIANT item, _DAOField** field) = 0;
  virtual HRESULT Append(IUnknown* field) = 0;

 protected:
  ~DAOIndexFields() = default;
};

struct DAOProperties : IUnknown {
  virtual HRESULT get_Count(SHORT* count) = 0;
  virtual HRESULT get_Item(VARIANT item, DAOProperty** property) = 0;

 protected:
  ~DAOProperties() = default;
};

struct DAOProperty : IUnknown {
  virtual HRESULT get_Value(VARIANT* value) = 0;

 protected:
  ~DAOProperty() = default;
};
