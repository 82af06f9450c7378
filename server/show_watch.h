// The server thread's following of the show: it reads the show's status once
// after every receive attempt (when it is due) and hands the one status to
// every state channel.
#pragma once

#include <cstdint>

#include "presentation/show_status.h"

// Once the channels have been added: the show is followed when a channel
// wants it, and its details when a channel shows them.
void StartShowWatch();

// How long the next receive may wait so that the show's changes and the
// heartbeats go out on time: at most a second.
uint32_t ShowWatchReceiveWait(uint64_t nowMilliseconds);

// After every receive attempt: the show's status refreshed once, and handed
// to every channel.
void ServeShowWatch(uint64_t nowMilliseconds);

// STATE: the whole status at once to every channel that takes snapshots
// (nothing at all when none does).
void SendStateSnapshot();
