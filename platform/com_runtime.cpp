#include "platform/com_runtime.h"

#include <cstdlib>
#include <mutex>
#include <vector>

namespace {

struct registration {
  CLSID clsid;
  qm_class_factory factory;
};

std::mutex& registry_lock() {
  static std::mutex lock;
  return lock;
}

std::vector<registration>& classes() {
  static std::vector<registration> list;
  return list;
}

thread_local int init_count = 0;

}  // namespace

HRESULT CoInitialize(LPVOID) { return init_count++ == 0 ? S_OK : S_FALSE; }

void CoUninitialize() {
  if (init_count > 0) --init_count;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  if (init_count == 0) return CO_E_NOTINITIALIZED;
  qm_class_factory factory = nullptr;
  {
    std::lock_guard<std::mutex> guard(registry_lock());
    for (const auto& r : classes())
      if (IsEqualGUID(r.clsid, clsid)) factory = r.factory;
  }
  if (!factory) return REGDB_E_CLASSNOTREG;
  return factory(iid, object);
}

void qm_register_class(REFCLSID clsid, qm_class_factory factory) {
  std::lock_guard<std::mutex> guard(registry_lock());
  auto& list = classes();
  for (auto it = list.begin(); it != list.end(); ++it) {
    if (IsEqualGUID(it->clsid, clsid)) {
      if (factory)
        it->factory = factory;
      else
        list.erase(it);
      return;
    }
  }
  if (factory) list.push_back({clsid, factory});
}

LPVOID CoTaskMemAlloc(std::size_t size) { return std::malloc(size ? size : 1); }

void CoTaskMemFree(LPVOID memory) { std::free(memory); }
