// A program-wide single instance of T, checked on construction, destruction
// and every access. T derives from tk_singleton<T>.
#pragma once

#include "TK/tk_exception.h"
#include "TK/tk_log_fwd.h"

#include <atomic>

template <class T>
class tk_singleton {
 public:
  tk_singleton() {
    tk_singleton* expected = nullptr;
    if (!instance_ptr.compare_exchange_strong(expected, this))
      throw tk_mail_assertion("..\\TK/tk_singl", 35);
  }

  virtual ~tk_singleton() {
    // Never throw from a destructor: a missing instance is only reported.
    if (!instance_ptr.exchange(nullptr)) tk_log_internal_error(tk_mail_assertion("..\\TK/tk_singl", 46));
  }

  tk_singleton(const tk_singleton&) = delete;
  tk_singleton& operator=(const tk_singleton&) = delete;

  static T& instance() {
    tk_singleton* p = instance_ptr.load();
    if (!p) throw tk_mail_assertion("..\\TK/tk_singl", 59);
    return *static_cast<T*>(p);
  }

  static T* get() {
    tk_singleton* p = instance_ptr.load();
    if (!p) throw tk_mail_assertion("..\\TK/tk_singl", 66);
    return static_cast<T*>(p);
  }

  static bool exists() { return instance_ptr.load() != nullptr; }

 private:
  // The base part is registered: the derived object is not complete yet.
  inline static std::atomic<tk_singleton*> instance_ptr{nullptr};
};
