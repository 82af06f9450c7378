#include <windows.h>

#include "platform/timing.h"

void SleepMilliseconds(uint32_t milliseconds) { Sleep(milliseconds); }

TimeOfDay LocalTimeOfDay() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return TimeOfDay{now.wHour, now.wMinute, now.wSecond};
}

uint64_t MonotonicMilliseconds() { return GetTickCount64(); }
