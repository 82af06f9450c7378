// The command port's door: plain-text datagrams, one command each, read into
// arrivals. Used on the server thread only.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/sockets.h"
#include "server/arrival.h"

// Opens the command socket on the settings' port: on every interface, or on
// the one address of [settings] address=. `shownAddress` is the address for
// the "Listening at" line. A listen address that is no address of this
// computer fails like a port that cannot be opened, after its own line.
SocketHandle OpenCommandSocket(uint32_t* shownAddress);

// One datagram as its arrival: the text exactly as received, its line
// showing it in double quotes. Another server's feedback, plain or OSC, is
// marked as such (the loop guard).
Arrival DatagramArrival(std::string_view payload, uint32_t senderAddress, uint16_t senderPort,
                        const TimeOfDay& time, uint64_t arrivedAt);
