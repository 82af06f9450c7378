#include "server/state_channels.h"

#include <algorithm>
#include <limits>

#include "common/status_log.h"
#include "server/log_relay.h"
#include "server/sender_check.h"

namespace {

struct ChannelRecord {
  StateChannel channel;
  SharedShowStatus told;  // what it was told last; none before its first
  uint64_t heartbeatAt = 0;
  DestinationRefusals refusals;
};

std::vector<ChannelRecord> serverThreadChannels;

bool HeartbeatDue(const ChannelRecord& record, uint64_t now) {
  return record.channel.intervalSeconds > 0 && now >= record.heartbeatAt;
}

void SendWaitingLines(size_t index) {
  const StateChannel& channel = serverThreadChannels[index].channel;
  if (!channel.sendsLines) return;
  for (const std::string& line : TakeRelayedLines(index)) channel.sendLine(channel, line);
}

void SendSnapshot(ChannelRecord& record, const SharedShowStatus& status) {
  record.channel.send(record.channel, StatusSnapshotItems(*status, record.channel.choice), status);
  record.told = status;
}

// What changed since the channel was last told, if anything.
void SendChanges(ChannelRecord& record, const SharedShowStatus& status) {
  const StateChannel& channel = record.channel;
  if (status == record.told) return;  // the very same status: nothing changed
  if (channel.wholeStatesOnly) {
    if (status->detailsPending || (record.told && *status == *record.told)) return;
    channel.send(channel, {}, status);
    record.told = status;
    return;
  }
  static const ShowStatus kNothingTold;
  const std::vector<StatusItem> items =
      StatusChangeItems(record.told ? *record.told : kNothingTold, *status, channel.choice);
  if (!items.empty()) channel.send(channel, items, status);
  record.told = status;
}

}  // namespace

void AddStateChannel(StateChannel channel, uint64_t nowMilliseconds) {
  if (serverThreadChannels.size() >= kStateChannelsAtMost) return;
  if (channel.socket != kNoSocket) ReportRefusals(channel.socket);
  if (channel.sendsLines) RelayLogLines(serverThreadChannels.size(), true);
  serverThreadChannels.push_back(ChannelRecord{std::move(channel), nullptr, nowMilliseconds, {}});
}

bool StateChannelsFollowShow() { return !serverThreadChannels.empty(); }

StatusItemChoice StateChannelsChoice() {
  StatusItemChoice any;
  for (const ChannelRecord& record : serverThreadChannels) {
    any.details = any.details || record.channel.choice.details;
    any.notes = any.notes || record.channel.choice.notes;
  }
  return any;
}

uint64_t StateChannelsDueAt() {
  uint64_t due = std::numeric_limits<uint64_t>::max();
  for (const ChannelRecord& record : serverThreadChannels) {
    if (record.channel.intervalSeconds > 0) due = std::min(due, record.heartbeatAt);
  }
  return due;
}

bool StateChannelHeartbeatDue(uint64_t nowMilliseconds) {
  for (const ChannelRecord& record : serverThreadChannels) {
    if (HeartbeatDue(record, nowMilliseconds)) return true;
  }
  return false;
}

void ServeStateChannels(uint64_t nowMilliseconds, const SharedShowStatus& status) {
  for (size_t i = 0; i < serverThreadChannels.size(); ++i) {
    ChannelRecord& record = serverThreadChannels[i];
    SendWaitingLines(i);
    if (HeartbeatDue(record, nowMilliseconds)) {
      SendSnapshot(record, status);
      record.heartbeatAt =
          nowMilliseconds + static_cast<uint64_t>(record.channel.intervalSeconds) * 1000;
    } else {
      SendChanges(record, status);
    }
  }
}

bool AnyChannelTakesSnapshots() {
  return std::any_of(serverThreadChannels.begin(), serverThreadChannels.end(),
                     [](const ChannelRecord& record) { return record.channel.snapshots; });
}

void SendStateChannelSnapshots(const SharedShowStatus& status) {
  for (ChannelRecord& record : serverThreadChannels) {
    if (record.channel.snapshots) {
      SendSnapshot(record, status);
    } else {
      SendChanges(record, status);
    }
  }
}

void StateChannelRefused(SocketHandle socket, uint32_t address, uint16_t port,
                         uint64_t nowMilliseconds) {
  for (ChannelRecord& record : serverThreadChannels) {
    if (record.channel.socket != socket) continue;
    if (const FeedbackDestination* refused = RefusalToReport(
            record.refusals, record.channel.destinations, address, port, nowMilliseconds)) {
      AddLogLine(std::string(record.channel.name) + " to " + FormatFeedbackDestination(*refused) +
                 " refused");
    }
    return;
  }
}

void StopStateChannels() {
  for (size_t i = 0; i < serverThreadChannels.size(); ++i) {
    if (!serverThreadChannels[i].channel.sendsLines) continue;
    RelayLogLines(i, false);
    SendWaitingLines(i);
  }
  serverThreadChannels.clear();
}

StateChannel DatagramChannel(const char* name, const ChannelSettings& settings,
                             SocketHandle socket) {
  StateChannel channel;
  channel.name = name;
  channel.snapshots = true;
  channel.intervalSeconds = settings.intervalSeconds;
  channel.sendsLines = settings.log;
  channel.socket = socket;
  channel.destinations = settings.destinations;
  return channel;
}

void SendToDestinations(const StateChannel& channel, const std::string& payload) {
  const std::string cut = payload.substr(0, kDatagramBytesAtMost);
  for (const FeedbackDestination& destination : channel.destinations) {
    SendDatagramFrom(channel.socket, destination.address, destination.port, cut);
  }
}

const FeedbackDestination* RefusalToReport(DestinationRefusals& refusals,
                                           const std::vector<FeedbackDestination>& destinations,
                                           uint32_t address, uint16_t port,
                                           uint64_t nowMilliseconds) {
  auto match =
      std::find(destinations.begin(), destinations.end(), FeedbackDestination{address, port});
  size_t which = static_cast<size_t>(match - destinations.begin());
  if (match == destinations.end()) {
    if (destinations.size() != 1 || address != 0) return nullptr;
    which = 0;
  }
  if (refusals.reported[which] &&
      nowMilliseconds - refusals.reportedAt[which] < kRefusalReportMilliseconds) {
    return nullptr;
  }
  refusals.reported[which] = true;
  refusals.reportedAt[which] = nowMilliseconds;
  return &destinations[which];
}
