#include "ORA/ora_stop_watch.h"

#include "ORA/ora_engine.h"
#include "TK/tk_log.h"
#include "oci/oci_library.h"

#include <chrono>
#include <csignal>
#include <pthread.h>

ora_stop_watch::ora_stop_watch(ora_engine& e, std::function<bool()> stop_requested) : engine(e) {
  if (engine.env)
    oci().OCIHandleAlloc(engine.env, reinterpret_cast<void**>(&error), OCI_HTYPE_ERROR, 0, nullptr);
  engine.stop = std::move(stop_requested);
  // The watch takes none of the signals that stop a run: they go to the
  // threads whose waits they must cut short. It starts with them blocked.
  sigset_t stops, before;
  sigemptyset(&stops);
  for (int number : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stops, number);
  pthread_sigmask(SIG_BLOCK, &stops, &before);
  thread = std::thread([this] { watch(); });
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

ora_stop_watch::~ora_stop_watch() {
  {
    std::lock_guard<std::mutex> lock(mutex);
    ending = true;
  }
  wake.notify_all();
  thread.join();
  engine.stop = nullptr;
  engine.broke = false;
  if (error) oci().OCIHandleFree(error, OCI_HTYPE_ERROR);
}

void ora_stop_watch::watch() {
  std::unique_lock<std::mutex> lock(mutex);
  while (!wake.wait_for(lock, std::chrono::milliseconds(100), [this] { return ending; })) {
    if (engine.calls_under_way.load() == 0 || !engine.svc || !engine.stop()) continue;
    // Again at each turn while the call lasts: a break that came between
    // two statements of one call stops nothing.
    if (!engine.broke.exchange(true)) tk_log::write(2, "The stop breaks off the call under way");
    oci().OCIBreak(engine.svc, error);
  }
}
