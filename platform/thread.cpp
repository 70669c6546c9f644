#include "platform/handle.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cxxabi.h>
#include <mutex>
#include <pthread.h>

namespace {

struct thread_object : qm_handle {
  pthread_t id{};
  LPTHREAD_START_ROUTINE start = nullptr;
  LPVOID parameter = nullptr;
  std::mutex lock;
  std::condition_variable ended_signal;
  bool ended = false;
  bool joined = false;
  bool cancelled = false;
  DWORD exit_code = STILL_ACTIVE;

  void mark_ended(DWORD code) {
    std::lock_guard<std::mutex> guard(lock);
    if (!ended && !cancelled) exit_code = code;
    ended = true;
    ended_signal.notify_all();
  }

  DWORD wait(DWORD milliseconds) override {
    std::unique_lock<std::mutex> guard(lock);
    if (milliseconds == INFINITE) {
      ended_signal.wait(guard, [this] { return ended; });
      return WAIT_OBJECT_0;
    }
    return ended_signal.wait_for(guard, std::chrono::milliseconds(milliseconds),
                                 [this] { return ended; })
               ? WAIT_OBJECT_0
               : WAIT_TIMEOUT;
  }

  ~thread_object() override {
    if (joined) return;
    bool done;
    {
      std::lock_guard<std::mutex> guard(lock);
      done = ended;
    }
    // A thread that still runs when its handle closes goes on alone.
    if (done)
      pthread_join(id, nullptr);
    else
      pthread_detach(id);
  }
};

// Marks the thread ended however it leaves: by returning or by unwinding
// after a cancellation.
struct end_marker {
  thread_object* self;
  DWORD code = 0;
  ~end_marker() { self->mark_ended(code); }
};

void* thread_main(void* arg) {
  auto* self = static_cast<thread_object*>(arg);
  end_marker marker{self};
  marker.code = self->start(self->parameter);
  return nullptr;
}

}  // namespace

HANDLE CreateThread(void*, std::size_t stack_size, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                    DWORD, LPDWORD thread_id) {
  auto* self = new thread_object;
  self->start = start;
  self->parameter = parameter;
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  if (stack_size) pthread_attr_setstacksize(&attr, stack_size);
  int rc = pthread_create(&self->id, &attr, thread_main, self);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    self->joined = true;  // nothing to join
    delete self;
    SetLastError(static_cast<DWORD>(rc));
    return nullptr;
  }
  if (thread_id) *thread_id = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(self));
  return self;
}

BOOL TerminateThread(HANDLE thread, DWORD exit_code) {
  auto* self = dynamic_cast<thread_object*>(thread);
  if (!self) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  {
    std::lock_guard<std::mutex> guard(self->lock);
    if (self->ended) return TRUE;
    self->exit_code = exit_code;
    self->cancelled = true;
  }
  int rc = pthread_cancel(self->id);
  if (rc != 0) {
    SetLastError(static_cast<DWORD>(rc));
    return FALSE;
  }
  return TRUE;
}

BOOL GetExitCodeThread(HANDLE thread, LPDWORD exit_code) {
  auto* self = dynamic_cast<thread_object*>(thread);
  if (!self || !exit_code) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(self->lock);
  *exit_code = self->ended ? self->exit_code : STILL_ACTIVE;
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  if (!handle || handle == INVALID_HANDLE_VALUE) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return handle->wait(milliseconds);
}

BOOL CloseHandle(HANDLE handle) {
  if (!handle || handle == INVALID_HANDLE_VALUE) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  delete handle;
  return TRUE;
}

// The cancellation's unwinding is a foreign exception without an object,
// which the undefined-behaviour checker takes for a null reference.
__attribute__((no_sanitize("undefined"))) void qm_rethrow_if_cancelled() {
  try {
    throw;
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (...) {
  }
}
