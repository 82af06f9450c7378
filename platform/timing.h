// Timing: sleeping, the local time of day and a monotonic clock.
#pragma once

#include <cstdint>

void SleepMilliseconds(uint32_t milliseconds);

struct TimeOfDay {
  int hour;    // 0-23
  int minute;  // 0-59
  int second;  // 0-59
};

TimeOfDay LocalTimeOfDay();

// Milliseconds since an arbitrary start, never going back (not moved by
// changes of the wall clock).
uint64_t MonotonicMilliseconds();

// The clock of the commands' arrival stamps, in nanoseconds: the one that
// the system's stamps of datagrams are in (StampArrivals), so that a stamp
// taken on any thread compares with them.
//   Linux: the wall clock (CLOCK_REALTIME), as the kernel stamps datagrams.
//   Windows: the performance counter.
uint64_t ArrivalClockNow();
