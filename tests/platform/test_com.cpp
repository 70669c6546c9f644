#include "platform/com_runtime.h"

#include <gtest/gtest.h>

namespace {

const CLSID clsid_thing = {0x12345678, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};

struct thing final : IUnknown {
  ULONG refs = 1;
  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (!IsEqualGUID(iid, IID_IUnknown)) return E_NOINTERFACE;
    AddRef();
    *object = this;
    return S_OK;
  }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override {
    ULONG left = --refs;
    if (!left) delete this;
    return left;
  }
};

HRESULT make_thing(REFIID iid, void** object) {
  auto* t = new thing;
  HRESULT hr = t->QueryInterface(iid, object);
  t->Release();
  return hr;
}

TEST(Com, CreatesOnlyRegisteredClassesOnInitialisedThreads) {
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoCreateInstance(clsid_thing, nullptr, CLSCTX_ALL, IID_IUnknown, &object), CO_E_NOTINITIALIZED);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
  EXPECT_EQ(CoCreateInstance(clsid_thing, nullptr, CLSCTX_ALL, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
  qm_register_class(clsid_thing, make_thing);
  ASSERT_EQ(CoCreateInstance(clsid_thing, nullptr, CLSCTX_ALL, IID_IUnknown, &object), S_OK);
  EXPECT_EQ(static_cast<IUnknown*>(object)->Release(), 0u);
  const IID other = {9, 9, 9, {9}};
  EXPECT_EQ(CoCreateInstance(clsid_thing, nullptr, CLSCTX_ALL, other, &object), E_NOINTERFACE);
  qm_register_class(clsid_thing, nullptr);
  EXPECT_EQ(CoCreateInstance(clsid_thing, nullptr, CLSCTX_ALL, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
  CoUninitialize();
  CoUninitialize();
}

}  // namespace
