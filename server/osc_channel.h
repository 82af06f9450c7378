// OSC out ([osc] to=): the show's state, and with log=on the status lines, as
// OSC messages from the OSC socket to the to= destinations, one message a
// datagram.
#pragma once

#include <string>
#include <vector>

#include "osc/osc_packet.h"
#include "platform/sockets.h"
#include "server/state_channels.h"

// Whether [osc] to= names somebody. Without that the OSC socket only
// receives, and the show is not followed for it.
bool OscSendsState();

// "Sending OSC to 192.168.1.50:9000", a start-up line.
std::string OscChannelStartLine();

// OSC out's entry of the channel table, sending from `socket`.
StateChannel OscChannel(SocketHandle socket);

// The messages that tell `items` of `status`: /podiant/<value> for each value
// of each item (/podiant/slide and /podiant/slides for the slide, ...), texts
// in UTF-8, each cut at a whole character so that its message fits in one
// datagram.
std::vector<OscMessage> OscStatusMessages(const std::vector<StatusItem>& items,
                                          const ShowStatus& status);

// A status line (in the program's code page) as OSC out sends it.
OscMessage OscLogMessage(const std::string& line);
