#include "platform/win32.h"

#include <cerrno>
#include <ctime>

void GetLocalTime(LPSYSTEMTIME st) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm local{};
  localtime_r(&now.tv_sec, &local);
  st->wYear = static_cast<WORD>(local.tm_year + 1900);
  st->wMonth = static_cast<WORD>(local.tm_mon + 1);
  st->wDayOfWeek = static_cast<WORD>(local.tm_wday);
  st->wDay = static_cast<WORD>(local.tm_mday);
  st->wHour = static_cast<WORD>(local.tm_hour);
  st->wMinute = static_cast<WORD>(local.tm_min);
  st->wSecond = static_cast<WORD>(local.tm_sec);
  st->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
}

void Sleep(DWORD milliseconds) {
  // nanosleep is a cancellation point, so a cancelled thread ends here.
  timespec left{static_cast<time_t>(milliseconds / 1000),
                static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&left, &left) == -1 && errno == EINTR) {
  }
}

DWORD GetTickCount() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<DWORD>(now.tv_sec * 1000ull + static_cast<unsigned long long>(now.tv_nsec) / 1000000ull);
}
