#include "TK/tk_utils.h"
#include "dao/dao_bstr.h"
#include "dao/dao_database.h"
#include "dao/dao_engine.h"
#include "dao/dao_exception.h"
#include "dao_test_support.h"
#include "jet/jet_engine.h"
#include "platform/com_runtime.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wide_text.h"

#include <gtest/gtest.h>

namespace {

// A DBEngine that records how it was called and fails with a set error.
struct fake_errors final : DAOErrors {
  struct fake_error final : DAOError {
    LONG number;
    std::wstring text;
    fake_error(LONG n, std::wstring t) : number(n), text(std::move(t)) {}
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 2; }
    ULONG Release() override {
      delete this;
      return 0;
    }
    HRESULT get_Number(LONG* n) override {
      *n = number;
      return S_OK;
    }
    HRESULT get_Description(BSTR* d) override {
      *d = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
      return S_OK;
    }
  };
  LONG number = 0;
  std::wstring text;
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT get_Count(SHORT* count) override {
    *count = number ? 1 : 0;
    return S_OK;
  }
  HRESULT get_Item(VARIANT, DAOError** error) override {
    if (!number) return E_INVALIDARG;
    *error = new fake_error(number, text);
    return S_OK;
  }
};

struct fake_engine final : _DAODBEngine {
  static inline int created = 0;
  static inline fake_engine* last = nullptr;
  ULONG refs = 1;
  fake_errors errors;
  HRESULT result = S_OK;
  bool options = false, read_only = false;
  std::wstring connect;

  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override {
    ULONG left = --refs;
    if (!left) {
      if (last == this) last = nullptr;
      delete this;
    }
    return left;
  }
  HRESULT get_Errors(DAOErrors** out) override {
    *out = &errors;
    return S_OK;
  }
  HRESULT OpenDatabase(BSTR, VARIANT o, VARIANT r, VARIANT c, DAODatabase** db) override {
    options = o.boolVal != 0;
    read_only = r.boolVal != 0;
    connect = c.bstrVal ? c.bstrVal : L"";
    *db = nullptr;
    return result;
  }
  HRESULT CreateDatabase(BSTR, BSTR, VARIANT, DAODatabase** db) override {
    *db = nullptr;
    return result;
  }
  LONG idle_action = 0;
  HRESULT Idle(VARIANT action) override {
    idle_action = action.lVal;
    return result;
  }
};

HRESULT make_fake(REFIID, void** object) {
  ++fake_engine::created;
  fake_engine::last = new fake_engine;
  *object = static_cast<_DAODBEngine*>(fake_engine::last);
  return S_OK;
}

const CLSID& dao36() { return dao_engine_versions[2].clsid; }

class DaoEngine : public ::testing::Test {
 protected:
  void SetUp() override { jet_register_dbengine(); }
  void TearDown() override { jet_register_dbengine(); }
};

TEST_F(DaoEngine, WithoutDaoNoVersionLoads) {
  jet_register_dbengine(false);
  dao_engine engine(false);
  EXPECT_FALSE(engine.set_version_if(0));
  EXPECT_FALSE(engine.is_loaded());
  EXPECT_NO_THROW(engine.refresh_cache()) << "nothing kept without a DBEngine";
  EXPECT_THROW(engine.set_version_if(5), tk_mail_assertion);
  EXPECT_THROW(engine.create_dao_src(L"/tmp/x.xls", L"Excel 8.0;"), tk_mail_assertion);
  EXPECT_THROW(engine.open_db(L"/tmp/x.mdb", 0), tk_mail_assertion);
  EXPECT_THROW(dao_engine(true), tk_mail_assertion);  // one engine per process
}

TEST_F(DaoEngine, EachSelectionMakesTheDbEngineAgain) {
  qm_register_class(dao36(), make_fake);
  dao_engine engine(false);
  fake_engine::created = 0;
  EXPECT_TRUE(engine.set_version_if(0));
  EXPECT_TRUE(engine.set_version_if(0));
  EXPECT_EQ(fake_engine::created, 2);
  EXPECT_EQ(engine.get_version(), 0);
  EXPECT_FALSE(engine.set_version_if(1)) << "a version without its class";
  EXPECT_FALSE(engine.is_loaded());
}

TEST_F(DaoEngine, ModesAndConnectTextsReachOpenDatabase) {
  qm_register_class(dao36(), make_fake);
  dao_engine engine(false);
  ASSERT_TRUE(engine.set_version_if(0));
  fake_engine& fake = *fake_engine::last;
  fake.result = dao_hresult(3022);
  fake.errors.number = 3022;
  fake.errors.text = L"Duplicate \u00e9";
  struct {
    int mode;
    bool options, read_only;
  } modes[] = {{8, false, false}, {17, true, true}};
  for (const auto& m : modes) {
    try {
      engine.open_dao_src(L"/tmp/x.xls", L"Excel 8.0;", m.mode);
      ADD_FAILURE();
    } catch (const dao_exception& e) {
      EXPECT_EQ(e.code, 0x10BCE);
      EXPECT_EQ(e.message, "Duplicate \xc3\xa9");
      EXPECT_EQ(e.level, 0);
    }
    EXPECT_EQ(fake.options, m.options) << m.mode;
    EXPECT_EQ(fake.read_only, m.read_only) << m.mode;
    EXPECT_EQ(fake.connect, L"Excel 8.0;");
  }
  // What the DBEngine kept back cannot be written.
  EXPECT_THROW(engine.refresh_cache(), dao_exception);
  EXPECT_EQ(fake.idle_action, 8) << "dbRefreshCache";

  // Access files: an engine that cannot open them is the DAO-missing message.
  fake.result = static_cast<HRESULT>(0x800A0E31u);
  const std::string missing =
      "Failed to load Data Access Objects (DAO) support library.\nMicrosoft Access 2000 installation is required to "
      "proceed\nwith the application.\n";
  struct {
    const wchar_t* password;
    const wchar_t* connect;
  } passwords[] = {{L"", L""}, {L"secret", L";pwd=secret"}};
  for (const auto& p : passwords) {
    try {
      engine.open_db(L"/tmp/x.mdb", 16, p.password);
      ADD_FAILURE();
    } catch (const tk_exception& e) {
      EXPECT_EQ(e.message, missing);
      EXPECT_EQ(e.level, 1);
    }
    EXPECT_EQ(fake.connect, p.connect);
    EXPECT_TRUE(fake.options);
  }
  try {
    engine.create_db(L"/tmp/x.mdb");
    ADD_FAILURE();
  } catch (const tk_exception& e) {
    EXPECT_EQ(e.message, missing);
  }
}

TEST_F(DaoEngine, AnEmptyErrorCollectionCannotMakeTheException) {
  qm_register_class(dao36(), make_fake);
  dao_engine engine(false);
  EXPECT_THROW(dao_exception(), tk_exception) << "no DBEngine";
  ASSERT_TRUE(engine.set_version_if(0));
  try {
    dao_exception e;
    ADD_FAILURE();
  } catch (const dao_exception&) {
    ADD_FAILURE();
  } catch (const tk_exception& e) {
    EXPECT_EQ(e.level, 1);
  }
}

TEST_F(DaoEngine, TheDriverOpensAndMakesWorkbooks) {
  qm_test::temp_folder folder("qm_dao_");
  dao_engine engine(false);
  ASSERT_TRUE(engine.set_version_if(0));
  auto made = engine.create_dao_src(qm_test::wide(folder.file("never_written.xls")), L"Excel 8.0;");
  EXPECT_EQ(made->mode, 114);
  auto opened = engine.open_dao_src(qm_test::wide(folder.file("never_written2.xls")), L"Excel 5.0;", 8);
  EXPECT_EQ(opened->mode, 40);
  EXPECT_THROW(engine.open_dao_src(L"/tmp/x.xls", L"Excel 12.0;", 8), dao_exception);
  try {
    engine.create_db(L"/tmp/x.mdb");
    ADD_FAILURE();
  } catch (const tk_exception& e) {
    EXPECT_EQ(e.level, 1);
    EXPECT_NE(e.message.find("Microsoft Access 2000"), std::string::npos);
  }
}

TEST(DaoBstr, TextsKeepTheirLength) {
  dao_bstr narrow(std::string("\xd0\x96x"));  // two bytes, then one
  EXPECT_EQ(narrow.str(), L"\u0416x");
  dao_bstr wide(std::wstring(L"a\0b", 3));
  EXPECT_EQ(wide.str().size(), 3u);
  dao_bstr empty;
  EXPECT_EQ(static_cast<BSTR>(empty), nullptr);
  *empty.address() = SysAllocString(L"filled");
  EXPECT_EQ(empty.str(), L"filled");
}

}  // namespace
