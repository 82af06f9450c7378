// OSC beside the plain-text commands ([osc] with a port): a second UDP socket
// on the commands' listen address whose OSC packets become commands for the
// same dispatcher, and the show's state sent as OSC messages from it to the
// [osc] to= destinations. Used on the server thread only; without [osc]
// nothing here is called.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/sockets.h"
#include "presentation/show_status.h"

// Opens the OSC socket on `listenAddress` (network order; 0: every interface)
// and the settings' port, after the feedback's start-up line, and writes its
// start-up lines ("OSC at <shownAddress>:<port>", "Sending OSC to ..."), or an
// ERROR line when the socket cannot be opened: kNoSocket then, and no OSC.
SocketHandle StartOsc(uint32_t listenAddress, uint32_t shownAddress, uint64_t nowMilliseconds);

// One datagram of the OSC socket: checked by allow=, then read whole. A
// packet that is no valid OSC gives "ERR: bad OSC packet from A:P" (at most
// once a minute per sender address) and nothing else; otherwise each of its
// messages, in order, gets its O line ("O A:P hh:mm:ss -> /address args")
// and is carried out through the dispatcher (under commands=), or gets its
// error line. A message of another server's feedback is logged only.
void HandleOscPacket(const char* data, size_t length, uint32_t senderAddress, uint16_t senderPort);

// A datagram that the OSC socket sent was refused: "OSC to A:P refused", at
// most once a minute for each destination (as FeedbackRefused).
void OscRefused(uint32_t address, uint16_t port, uint64_t nowMilliseconds);

// Whether OSC sends the show's state: to= names somebody. Without that the
// OSC socket only receives, and the show is not followed for it.
bool OscSendsState();

// When OSC's heartbeat is next due (UINT64_MAX: never), and whether it is now.
uint64_t OscDueAt();
bool OscHeartbeatDue(uint64_t nowMilliseconds);

// After every receive attempt, with the status just refreshed: the waiting
// /podiant/log messages, then the show's changes (or the whole status, when
// the heartbeat is due), to the to= destinations.
void ServeOsc(uint64_t nowMilliseconds, const ShowStatus& status);

// STATE: the whole status to the to= destinations at once.
void SendOscSnapshot(const ShowStatus& status);

// Sends what waits and closes the socket, as the server thread ends.
void StopOsc();
