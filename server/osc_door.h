// The OSC door ([osc] port=): a second UDP socket on the commands' listen
// address whose OSC packets are read into arrivals. Used on the server
// thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/sockets.h"
#include "server/arrival.h"

// Opens the OSC socket on `listenAddress` (network order; 0: every interface)
// and the settings' port; kNoSocket, after the line "ERROR: cannot open OSC
// at <shownAddress>:<port>", when it cannot be opened.
SocketHandle OpenOscDoor(uint32_t listenAddress, uint32_t shownAddress);

// "OSC at <shownAddress>:<port>", its start-up line.
std::string OscDoorStartLine(uint32_t shownAddress);

// The most messages of one packet that are taken; the rest are dropped, with
// a line at most once a minute per sender address.
constexpr size_t kOscMessagesPerPacketAtMost = 64;

// What one datagram of the OSC socket brings, in order: a sender that allow=
// leaves out gets its refusal line and the packet is not read; a packet that
// is no valid OSC gives "ERR: bad OSC packet from A:P" (at most once a minute
// per sender address) and nothing else; otherwise one arrival per message,
// with the message as its line shows it ("/podiant/goto 5").
std::vector<Arrival> ReadOscDatagram(std::string_view packet, const CommandOrigin& origin,
                                     const TimeOfDay& time, uint64_t arrivedAt);
