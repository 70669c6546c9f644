// Calls of the driver's DAO interfaces for the tests: one DBEngine made
// through COM, arguments, and the last DAO error.
#pragma once

#include "dao_args.h"
#include "jet/jet_engine.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>
#include <string>

class jet_fixture : public ::testing::Test {
 protected:
  void SetUp() override {
    jet_register_dbengine();
    CoInitialize(nullptr);
    ASSERT_EQ(new_dbengine(engine), S_OK);
  }
  void TearDown() override {
    engine.reset();
    CoUninitialize();
  }
  // The number of the DBEngine's current error, 0 when there is none.
  LONG last_error(std::wstring* description = nullptr) {
    ref<DAOErrors> errors;
    EXPECT_EQ(engine->get_Errors(errors.out()), S_OK);
    ref<DAOError> error;
    if (FAILED(errors->get_Item(arg(0), error.out()))) return 0;
    LONG number = 0;
    error->get_Number(&number);
    if (description) {
      bstr text;
      error->get_Description(text.out());
      *description = text.str();
    }
    return number;
  }
  HRESULT open(const std::wstring& path, const wchar_t* connect, ref<DAODatabase>& database, bool read_only = false) {
    bstr name(path);
    return engine->OpenDatabase(name.b, arg::boolean(false), arg::boolean(read_only), arg(connect), database.out());
  }
  // A table of the given fields (name and DAO type) appended to the database.
  HRESULT create(DAODatabase* database, const std::wstring& table,
                 std::initializer_list<std::pair<const wchar_t*, int>> fields) {
    ref<_DAOTableDef> definition;
    HRESULT hr = database->CreateTableDef(arg(table), arg(0), arg(L""), arg(L""), definition.out());
    if (FAILED(hr)) return hr;
    ref<DAOFields> list;
    definition->get_Fields(list.out());
    for (const auto& [name, type] : fields) {
      ref<_DAOField> field;
      hr = definition->CreateField(arg(name), arg(type), arg(type == dbText ? 50 : 0), field.out());
      if (FAILED(hr)) return hr;
      hr = list->Append(field.p);
      if (FAILED(hr)) return hr;
    }
    ref<DAOTableDefs> tables;
    database->get_TableDefs(tables.out());
    return tables->Append(definition.p);
  }
  HRESULT recordset(DAODatabase* database, const std::wstring& source, int options, ref<DAORecordset>& out) {
    bstr text(source);
    return database->OpenRecordset(text.b, arg(2), arg(options), arg(), out.out());
  }
  // Adds one record of these values, in field order.
  HRESULT add(DAORecordset* records, std::initializer_list<arg> values) {
    HRESULT hr = records->AddNew();
    int i = 0;
    for (const arg& value : values) {
      if (FAILED(hr)) return hr;
      hr = records->put_Collect(arg(i++), value);
    }
    if (FAILED(hr)) return hr;
    return records->Update(dbUpdateRegular, VARIANT_FALSE);
  }
  ref<_DAODBEngine> engine;
};

// A folder of its own for each test.
class temp_dir : public qm_test::temp_folder {
 public:
  temp_dir() : temp_folder("qm_jet_") {}
  std::wstring file(const std::wstring& name) const;
};
