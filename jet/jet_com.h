// The reference counting and interface answer shared by the driver's COM
// objects: each object implements one DAO interface.
#pragma once

#include "platform/com.h"

template <class Interface, const IID& interface_id>
class jet_com : public Interface {
 public:
  jet_com(const jet_com&) = delete;
  jet_com& operator=(const jet_com&) = delete;

  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, interface_id)) {
      *object = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override {
    ULONG left = --refs;
    if (left == 0) delete this;
    return left;
  }

 protected:
  jet_com() = default;
  virtual ~jet_com() = default;

 private:
  ULONG refs = 1;
};

// Holds one reference, released also when an exception leaves the scope.
template <class T>
struct jet_held {
  jet_held() = default;
  explicit jet_held(T* p) : p(p) {}
  jet_held(const jet_held&) = delete;
  jet_held& operator=(const jet_held&) = delete;
  ~jet_held() { reset(); }
  void reset() {
    if (p) p->Release();
    p = nullptr;
  }
  // For a call that hands out a new reference.
  T** out() {
    reset();
    return &p;
  }
  T* operator->() const { return p; }
  T* p = nullptr;
};

// The driver's own object behind an interface a caller hands in (to an
// Append), held in `held` for the call; null for anything else.
template <class Object, class Interface>
Object* jet_own_object(IUnknown* object, REFIID iid, jet_held<Interface>& held) {
  if (!object || FAILED(object->QueryInterface(iid, reinterpret_cast<void**>(held.out())))) return nullptr;
  return dynamic_cast<Object*>(held.p);
}

// Hands a new object's one reference to the caller.
template <class Interface, class Object>
HRESULT jet_hand_out(Object* object, Interface** out) {
  if (!out) {
    object->Release();
    return E_POINTER;
  }
  *out = object;
  return S_OK;
}
