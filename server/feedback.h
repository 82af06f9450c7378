// The feedback channel ([feedback] to=): the show's state, and with log=on the
// status lines, sent as datagrams from the command socket (so from the server
// port) to the configured destinations, one line each, no terminator. Without
// the to= key nothing here does anything and nothing is ever sent. Used on
// the server thread, except the log's observer, which both threads call.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "config/access_lists.h"
#include "platform/sockets.h"
#include "presentation/show_status.h"

// Whether [feedback] has its to= key with at least one destination: without
// one (a to= that named nobody) nothing is followed or sent.
bool FeedbackConfigured();

// Starts the feedback on the command socket once it is open, before the
// "Listening at" line: refusals reported, and with log=on every status line
// from now on queued as LOG. The first heartbeat is due at once. (The server
// thread has the show followed.)
void StartFeedback(SocketHandle socket, uint64_t nowMilliseconds);

// Whether the feedback sends the slide's details (notes=on).
bool FeedbackWantsDetails();

// "Sending feedback to 192.168.1.50:16002, 10.0.0.7:9000", or "... nobody";
// the start-up line of every [feedback] with a to= key.
std::string FeedbackStartLine();

// When the heartbeat is next due (UINT64_MAX: never), and whether it is now.
uint64_t FeedbackDueAt();
bool FeedbackHeartbeatDue(uint64_t nowMilliseconds);

// After every receive attempt, with the status just refreshed (for a
// snapshot when the heartbeat is due): the LOG lines waiting, then the show's
// changes (or the whole status, when the heartbeat is due).
void ServeFeedback(uint64_t nowMilliseconds, const ShowStatus& status);

// STATE: the whole status at once, to the feedback's destinations and to
// OSC's (the sender only if it is one). Without either nothing happens.
void SendFeedbackSnapshot();

// The whole status to the feedback's destinations.
void SendFeedbackSnapshotOf(const ShowStatus& status);

// When each destination of a to= list last had its refusal line.
struct DestinationRefusals {
  std::array<uint64_t, kFeedbackDestinationsAtMost> reportedAt{};
  std::array<bool, kFeedbackDestinationsAtMost> reported{};
};

// The destination of `destinations` whose refusal of a datagram is to be
// written now: the one that `address`:`port` names (both 0: the system did
// not say which, which names the only one when there is one), unless its line
// was written less than a minute ago. None when no line is due.
const FeedbackDestination* RefusalToReport(DestinationRefusals& refusals,
                                           const std::vector<FeedbackDestination>& destinations,
                                           uint32_t address, uint16_t port,
                                           uint64_t nowMilliseconds);

// `address`:`port` refused a datagram (both 0: the system did not say which;
// with one destination it is that one): the line "Feedback to A:P refused",
// at most once a minute for each destination.
void FeedbackRefused(uint32_t address, uint16_t port, uint64_t nowMilliseconds);

// Whether the first word of a datagram is one of the feedback's own (FILE,
// SHOW, SLIDE, LOG, TITLE, BUILD, NEXTSLIDE, NOTES, in any letter case): the
// lines such a datagram causes are never sent as LOG or /podiant/log
// (MuteFeedbackLog, server/log_relay.h), so that two servers that send each
// other their feedback do not keep each other busy.
bool IsFeedbackDatagram(const std::string& payload);

// Sends the LOG lines still waiting and stops observing the log; before the
// command socket closes.
void StopFeedback();

// The datagrams that tell a controller that was last told `sent` what `now`
// is (the items of StatusChangeItems): the whole status for a new show, else
// SHOW on a new state, SLIDE on a new slide or count, and with notes=on TITLE,
// BUILD, NEXTSLIDE and NOTES, each when it changed. The slide's texts are in
// the program's code page, their line breaks as CR.
std::vector<std::string> StatusChangeDatagrams(const ShowStatus& sent, const ShowStatus& now);

// The whole status: FILE, SHOW and SLIDE (SLIDE while the slide is known,
// with notes=on TITLE, BUILD, NEXTSLIDE and NOTES after it), or SHOW alone
// before the first show.
std::vector<std::string> StatusSnapshotDatagrams(const ShowStatus& now);
