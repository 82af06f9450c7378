// The show's state as the web remote tells it: the web thread's record of the
// latest status the server thread handed over, numbered (`seq`) and timed
// (how long the show has run), and written as the state message that
// /api/state and /api/live send.
#pragma once

#include <cstdint>
#include <string>

#include "server/state_channels.h"

// The web remote's entry of the channel table: whole states only, each
// posted to the web thread, which sends the state message to every live
// client once (one send for changes that come faster than it takes them).
StateChannel LiveStateChannel();

// The web thread: a new status. (The channel posts it; tests and the bench
// call it on the web thread.)
void LiveStateChanged(const SharedShowStatus& status);

// The web thread: the state message as it stands, at `nowMilliseconds` of the
// monotonic clock:
// {"type":"state","seq":17,"file":"...","state":"RUNNING","slide":3,
//  "count":24,"title":"...","notes":"...","build":{"position":1,"count":2},
//  "next":{"slide":4,"title":"..."},"show":2,"elapsed":81234}
std::string StateMessage(uint64_t nowMilliseconds);

// Forgets everything (tests).
void ResetLiveStateForTesting();
