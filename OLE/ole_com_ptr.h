// An owning holder of one reference to a COM interface.
#pragma once

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "platform/com.h"

template <class T>
class ole_com_ptr {
 public:
  ole_com_ptr() = default;
  ole_com_ptr(const ole_com_ptr&) = delete;
  ole_com_ptr& operator=(const ole_com_ptr&) = delete;

  virtual ~ole_com_ptr() {
    if (!p) return;
    ULONG left = p->Release();
    tk_log::write(1, "ole_com_ptr<T>::~ole_com_ptr() - %d refs left", static_cast<int>(left));
  }

  T* operator->() const {
    if (!p) throw tk_mail_assertion("ole_ptr", 94);
    return p;
  }

  // Filled by the call that creates or opens the object: hand it &p.
  T* p = nullptr;
};
