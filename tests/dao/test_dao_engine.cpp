#include "dao/dao_engine.h"

#include "TK/tk_exception.h"
#include "platform/com_runtime.h"

#include <gtest/gtest.h>

namespace {

int created = 0;

struct fake_engine final : IUnknown {
  ULONG refs = 1;
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override {
    ULONG left = --refs;
    if (!left) delete this;
    return left;
  }
};

HRESULT make_engine(REFIID, void** object) {
  ++created;
  *object = static_cast<IUnknown*>(new fake_engine);
  return S_OK;
}

TEST(DaoEngine, WithoutDaoNoVersionLoads) {
  dao_engine engine(false);
  EXPECT_FALSE(engine.set_version_if(0));
  EXPECT_FALSE(engine.is_loaded());
  EXPECT_THROW(engine.set_version_if(5), tk_mail_assertion);
  EXPECT_THROW(engine.create_dao_src(L"/tmp/x.xls", L"Excel 8.0;"), tk_mail_assertion);
  EXPECT_THROW(dao_engine(true), tk_mail_assertion);  // one engine per process
}

TEST(DaoEngine, ARegisteredEngineIsCreatedAgainForEachCall) {
  qm_register_class(dao_engine_versions[2].clsid, make_engine);
  {
    dao_engine engine(false);
    created = 0;
    EXPECT_TRUE(engine.set_version_if(0));
    EXPECT_TRUE(engine.set_version_if(0));
    EXPECT_EQ(created, 2);
    EXPECT_FALSE(engine.set_version_if(1));  // a version without a class
  }
  qm_register_class(dao_engine_versions[2].clsid, nullptr);
}

}  // namespace
