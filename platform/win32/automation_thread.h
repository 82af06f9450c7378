// The automation thread: a single-threaded apartment of its own, with a
// message loop and the busy message filter, on which every automation call of
// the program is made and which holds every automation object. The calling
// thread hands it one call at a time and waits at most the call bound. A
// thread whose call takes longer is given up: it is handed nothing more, and
// should its call ever return it ends without touching anything.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/automation.h"

// The apartment calls are made on now: a number never used again, or 0 when
// no thread runs (none yet, or the last one was given up or ended).
uint64_t LiveAutomationApartment();

// Runs `work` on the automation thread, starting one when none runs, and
// waits for it at most kAutomationCallBoundMilliseconds. kDone when it ran to
// its end; kNoAnswer when it did not in time (the thread is given up);
// kFailed when no thread could be started. `work` gets the apartment's number
// and must hold what it uses by itself: it may still run after a kNoAnswer.
AutomationOutcome RunOnAutomationThread(std::function<void(uint64_t apartment)> work);

// Ends the automation thread, if one runs, waiting for it at most the bound.
void EndAutomationThread();
