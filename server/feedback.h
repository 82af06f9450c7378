// The plain feedback ([feedback] to=): the show's state, and with log=on the
// status lines, as one-line datagrams from the command socket (so from the
// server port) to the configured destinations, no terminator. Without the
// to= key nothing here is ever sent.
#pragma once

#include <string>
#include <vector>

#include "platform/sockets.h"
#include "server/state_channels.h"

// Whether [feedback] has its to= key with at least one destination: without
// one (a to= that named nobody) nothing is followed or sent.
bool FeedbackConfigured();

// "Sending feedback to 192.168.1.50:16002, 10.0.0.7:9000", or "... nobody";
// the start-up line of every [feedback] with a to= key.
std::string FeedbackStartLine();

// The plain feedback's entry of the channel table, sending from `socket`.
StateChannel FeedbackChannel(SocketHandle socket);

// The datagrams that tell `items` of `status`, one per item: FILE, SHOW,
// SLIDE, and with notes=on TITLE, BUILD, NEXTSLIDE and NOTES. The texts are in
// the program's code page, their line breaks as CR.
std::vector<std::string> FeedbackDatagrams(const std::vector<StatusItem>& items,
                                           const ShowStatus& status);

// A status line as the plain feedback sends it.
std::string FeedbackLogDatagram(const std::string& line);
