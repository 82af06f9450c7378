#include "platform/automation_retry.h"

int32_t BusyRetryDelay(uint64_t elapsedMilliseconds) {
  if (elapsedMilliseconds >= kBusyRetryBoundMilliseconds) return -1;
  uint64_t left = kBusyRetryBoundMilliseconds - elapsedMilliseconds;
  return static_cast<int32_t>(left < kBusyRetryWaitMilliseconds ? left
                                                                : kBusyRetryWaitMilliseconds);
}
