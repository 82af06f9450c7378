// The show's state as the web remote tells it: the server thread's changes
// kept under a lock, numbered (`seq`), timed (how long the show has run), and
// written as the state message that /api/state and /api/live send.
#pragma once

#include <cstdint>
#include <string>

#include "presentation/show_status.h"

// The show-status observer (server thread): keeps the status, counts it, and
// has the web thread send the state message to every live client (one send
// for changes that come faster than the web thread takes them).
void ObserveShowStatusForWeb(const ShowStatus& status);

// Any thread: the state message as it stands, at `nowMilliseconds` of the
// monotonic clock:
// {"type":"state","seq":17,"show":2,"file":"...","state":"RUNNING","slide":3,
//  "count":24,"title":"...","notes":"...","build":{"position":1,"count":2},
//  "next":{"slide":4,"title":"..."},"elapsed":81234}
std::string StateMessage(uint64_t nowMilliseconds);

// The status last kept.
ShowStatus LatestShowStatus();

// Forgets everything (tests).
void ResetLiveStateForTesting();
