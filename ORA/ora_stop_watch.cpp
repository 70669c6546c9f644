#include "ORA/ora_stop_watch.h"

#include "ORA/ora_engine.h"
#include "TK/tk_log.h"
#include "oci/oci_library.h"

#include <chrono>

ora_stop_watch::ora_stop_watch(ora_engine& e, std::function<bool()> stop_requested) : engine(e) {
  if (engine.env)
    oci().OCIHandleAlloc(engine.env, reinterpret_cast<void**>(&error), OCI_HTYPE_ERROR, 0, nullptr);
  engine.stop = std::move(stop_requested);
  thread = std::thread([this] { watch(); });
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
