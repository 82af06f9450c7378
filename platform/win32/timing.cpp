#include <windows.h>

#include "platform/timing.h"

void SleepMilliseconds(uint32_t milliseconds) { Sleep(milliseconds); }

TimeOfDay LocalTimeOfDay() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return TimeOfDay{now.wHour, now.wMinute, now.wSecond};
}

uint64_t MonotonicMilliseconds() { return GetTickCount64(); }

uint64_t ArrivalClockNow() {
  static const uint64_t frequency = [] {
    LARGE_INTEGER ticks;
    QueryPerformanceFrequency(&ticks);
    return static_cast<uint64_t>(ticks.QuadPart);
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  const uint64_t ticks = static_cast<uint64_t>(now.QuadPart);
  return ticks / frequency * 1000000000u + ticks % frequency * 1000000000u / frequency;
}
