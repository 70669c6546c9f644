#include "common/init_conversion.h"

#include "TK/tk_log.h"
#include "common/front_end.h"
#include "platform/com_runtime.h"

namespace {
void log_time(const char* format) {
  SYSTEMTIME t;
  GetLocalTime(&t);
  tk_log::write(3, format, t.wDay, t.wMonth, t.wYear, t.wHour, t.wMinute, t.wSecond);
}
}  // namespace

init_conversion::init_conversion(std::atomic<bool>* done, bool com_initialised, conversion_front_end& front)
    : com_already_initialised(com_initialised), finished(done) {
  log_time("Conversion started on %02d/%02d/%04d at %02d:%02d:%02d\n");
  if (!com_already_initialised) CoInitialize(nullptr);
  front.start_timer();
}

init_conversion::~init_conversion() {
  if (!com_already_initialised) CoUninitialize();
  log_time("Conversion ended on %02d/%02d/%04d at %02d:%02d:%02d\n");
  *finished = true;
}
