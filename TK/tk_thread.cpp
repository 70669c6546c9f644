#include "TK/tk_thread.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"

namespace {

std::atomic<bool> stop_all{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from signal handlers");

// The functor that tk_thread runs on this thread.
thread_local const tk_thread_functor* running_here = nullptr;

}  // namespace

void tk_request_stop_all() { stop_all.store(true); }

bool tk_stop_requested_here() { return running_here && running_here->stop_requested(); }

bool tk_thread_functor::stop_requested() const { return stop_flag.load() || stop_all.load(); }

int tk_thread_functor::operator()() {
  while (!is_done() && !stop_requested()) idle();
  return on_done();
}

bool tk_thread_functor::is_done() { return false; }

void tk_thread_functor::idle() { Sleep(100); }

int tk_thread_functor::on_done() { return 0; }

namespace {

DWORD thread_procedure(LPVOID parameter) {
  auto* functor = static_cast<tk_thread_functor*>(parameter);
  if (!functor) {
    tk_log_internal_error(tk_mail_assertion("tk_threa", 149));
    return 1;
  }
  running_here = functor;
  try {
    (*functor)();
  } catch (const std::exception& e) {
    // Nothing above this frame could handle it: report instead of ending the process.
    tk_log::write(3, "Error:\n%s", e.what());
  } catch (...) {
    qm_rethrow_if_cancelled();
    tk_log::write(3, "Error:\n%s", "Unknown exception");
  }
  return 1;
}

}  // namespace

tk_thread::tk_thread(bool owns) : owns_functor(owns) {}

tk_thread::~tk_thread() {
  try {
    if (is_running())
      stop(stop_wait_ms);
    else
      cleanup();
  } catch (const tk_exception& e) {
    tk_log_internal_error(e);
  }
}

bool tk_thread::is_running() const { return handle && WaitForSingleObject(handle, 10) == WAIT_TIMEOUT; }

HANDLE tk_thread::start() {
  if (is_running()) throw tk_mail_assertion("tk_threa", 92);
  cleanup();
  if (functor) throw tk_mail_assertion("tk_threa", 100);
  functor = create_functor();
  if (!functor) throw tk_mail_assertion("tk_threa", 105);
  handle = CreateThread(nullptr, 0, thread_procedure, functor, 0, nullptr);
  return handle;
}

int tk_thread::kill() {
  if (!is_running()) throw tk_mail_assertion("tk_threa", 55);
  TerminateThread(handle, 0);
  WaitForSingleObject(handle, INFINITE);
  cleanup();
  return 0;
}

void tk_thread::request_stop() {
  if (functor) functor->request_stop();
}

bool tk_thread::stop(DWORD milliseconds) {
  request_stop();
  if (handle && WaitForSingleObject(handle, milliseconds) == WAIT_TIMEOUT && is_running()) {
    tk_log::write(3, "The thread did not stop within %u ms: it is cancelled", static_cast<unsigned>(milliseconds));
    kill();
    return false;
  }
  cleanup();
  return true;
}

void tk_thread::cleanup() {
  if (is_running()) throw tk_mail_assertion("tk_threa", 71);
  if (handle) {
    CloseHandle(handle);
    handle = nullptr;
  }
  if (functor && owns_functor) delete functor;
  functor = nullptr;
}

tk_thread_functor* tk_thread::create_functor() {
  owns_functor = true;
  return new tk_thread_functor;
}
