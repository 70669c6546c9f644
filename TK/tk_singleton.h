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
    T* expected = nullptr;
    if (!instance_ptr.compare_exchange_strong(expected, static_cast<T*>(this)))
      throw tk_mail_assertion("..\\TK/tk_singl", 35);
  }

  virtual ~tk_singleton() {
    // Never throw from a destructor: a missing instance is only reported.
    if (!instance_ptr.exchange(nullptr)) tk_log_internal_error(tk_mail_assertion("..\\TK/tk_singl", 46));
  }

  tk_singleton(const tk_singleton&) = delete;
  tk_singleton& operator=(const tk_singleton&) = delete;

  static T& instance() {
    T* p = instance_ptr.load();
    if (!p) throw tk_mail_assertion("..\\TK/tk_singl", 59);
    return *p;
  }

  static T* get() {
    T* p = instance_ptr.load();
    if (!p) throw tk_mail_assertion("..\\TK/tk_singl", 66);
    return p;
  }

  static bool exists() { return instance_ptr.load() != nullptr; }

 private:
  inline static std::atomic<T*> instance_ptr{nullptr};
};
