// The show's status for a front door that runs on a thread of its own (the
// web remote): the server thread tells it of every change, as it works out
// the changes for the feedback.
#pragma once

#include "presentation/show_status.h"

// Called on the server thread with the whole status: once when the server
// thread begins to follow the show, then whenever anything in it changed.
// It must not block. One observer, set before the server thread starts (the
// server then follows the show and its details); nullptr: none.
using ShowStatusObserver = void (*)(const ShowStatus& status);
void ObserveShowStatus(ShowStatusObserver observer);

// The server thread's side.

// Whether an observer was set.
bool ShowStatusObserved();

// Once the command socket (and the OSC socket) are open: the show is followed
// when the feedback, OSC or an observer wants it, and its details when the
// feedback's notes=on, OSC or an observer wants them.
void StartShowWatch(bool feedback, bool osc);

// How long the next receive may wait so that the show's changes and the
// heartbeats go out on time: at most a second.
uint32_t ShowWatchReceiveWait(uint64_t nowMilliseconds);

// After every receive attempt: the show's status refreshed once, and handed
// to the feedback, to OSC and to the observer (when it changed).
void ServeShowWatch(uint64_t nowMilliseconds);

// The status as the server thread last refreshed it, refreshed again now
// (between commands, as every reading).
ShowStatus CurrentShowStatus(uint64_t nowMilliseconds);
