// The one rule for automation calls that the server refuses as busy (an
// Office application refuses calls while it starts, loads a file or shows a
// dialog): try again after a short wait, for at most a bound in all. The
// message filter of the Windows automation thread answers COM with it, and
// the presentation steps follow it where a refusal comes back to the caller.
#pragma once

#include <cstdint>

// The longest a refused call is tried again, counted from its first try.
constexpr uint32_t kBusyRetryBoundMilliseconds = 10000;
// The wait before each new try.
constexpr uint32_t kBusyRetryWaitMilliseconds = 100;

// The wait before the next try of a call refused `elapsedMilliseconds` after
// its first try (never past the bound), or -1 once the bound is reached: the
// call then fails as refused. Both kinds of refusal (rejected, retry later)
// are treated alike.
int32_t BusyRetryDelay(uint64_t elapsedMilliseconds);
