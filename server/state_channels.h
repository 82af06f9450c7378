// The one road out: every form in which the show's state is told (the plain
// feedback, OSC, the web remote's live channel) is an entry of one table of
// channels. What a change sends is decided once (show_changes.h); a channel
// only writes it in its own form. The table is the server thread's: channels
// are added during the start-up (the web remote's by the main thread, before
// the server thread goes past its start-up signal).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/feedback_words.h"
#include "config/access_lists.h"
#include "config/settings.h"
#include "platform/sockets.h"
#include "presentation/show_status.h"
#include "server/show_changes.h"

struct StateChannel {
  // For its refusal line: "<name> to A:P refused".
  const char* name = "";
  StatusItemChoice choice;
  // Told whole states only: a new slide whose details are still pending waits
  // for the refresh right after (and a state equal to the last one told is not
  // told again).
  bool wholeStatesOnly = false;
  // STATE and the heartbeat send it the whole status.
  bool snapshots = false;
  int32_t intervalSeconds = 0;  // the heartbeat; 0 or less: none
  bool sendsLines = false;      // log=on: every status line as it is written
  // The datagram channels: the socket they send from (their refusals come
  // back to it) and the destinations.
  SocketHandle socket = kNoSocket;
  std::vector<FeedbackDestination> destinations;
  // Sends what tells `items` of `status`.
  void (*send)(const StateChannel& channel, const std::vector<StatusItem>& items,
               const SharedShowStatus& status) = nullptr;
  // Sends one status line (sendsLines only).
  void (*sendLine)(const StateChannel& channel, const std::string& line) = nullptr;
};

// The most channels.
constexpr size_t kStateChannelsAtMost = 4;

// Adds a channel, during the start-up. Its first heartbeat is due at once,
// and with sendsLines the status lines are queued for it from now on.
void AddStateChannel(StateChannel channel, uint64_t nowMilliseconds);

// Whether any channel was added.
bool StateChannelsFollowShow();

// Whether a channel shows the slide's details (and which: the notes too).
StatusItemChoice StateChannelsChoice();

// When a heartbeat is next due (UINT64_MAX: never), and whether one is now.
uint64_t StateChannelsDueAt();
bool StateChannelHeartbeatDue(uint64_t nowMilliseconds);

// After every receive attempt, with the status just refreshed: each channel's
// waiting status lines, then what changed since it was last told (the whole
// status when its heartbeat is due).
void ServeStateChannels(uint64_t nowMilliseconds, const SharedShowStatus& status);

// STATE: the whole status to every channel that takes snapshots (the others
// are served as after a refresh). False when no channel takes them.
bool AnyChannelTakesSnapshots();
void SendStateChannelSnapshots(const SharedShowStatus& status);

// `address`:`port` refused a datagram that `socket` sent (both 0: the system
// did not say which; a channel with one destination takes it as that one):
// the channel's line, at most once a minute for each destination.
void StateChannelRefused(SocketHandle socket, uint32_t address, uint16_t port,
                         uint64_t nowMilliseconds);

// Sends the status lines still waiting and stops relaying them; then forgets
// every channel (the server thread as it ends).
void StopStateChannels();

// A channel of datagrams from `socket` to the settings' destinations, with
// their heartbeat, snapshots and status lines; its choice and its sending are
// the caller's.
StateChannel DatagramChannel(const char* name, const ChannelSettings& settings,
                             SocketHandle socket);

// The datagram channels' one send: `payload` (cut to what one UDP datagram can
// carry) to every destination of the channel.
void SendToDestinations(const StateChannel& channel, const std::string& payload);

// The largest payload of a UDP datagram over IPv4.
constexpr size_t kDatagramBytesAtMost = 65507;

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
