// Timing: sleeping and the local time of day.
#pragma once

#include <cstdint>

void SleepMilliseconds(uint32_t milliseconds);

struct TimeOfDay {
  int hour;    // 0-23
  int minute;  // 0-59
  int second;  // 0-59
};

TimeOfDay LocalTimeOfDay();
