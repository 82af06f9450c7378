#include "server/show_watch.h"

#include <algorithm>

#include "platform/timing.h"
#include "server/state_channels.h"

namespace {

constexpr uint32_t kLongestWaitMilliseconds = 1000;

}  // namespace

void StartShowWatch() {
  TrackShowStatus(StateChannelsFollowShow());
  const StatusItemChoice choice = StateChannelsChoice();
  TrackShowDetails(choice.details || choice.notes);
}

uint32_t ShowWatchReceiveWait(uint64_t nowMilliseconds) {
  if (!StateChannelsFollowShow()) return kLongestWaitMilliseconds;
  const uint64_t due = std::min(ShowStatusDueAt(), StateChannelsDueAt());
  if (due <= nowMilliseconds) return 0;
  return static_cast<uint32_t>(std::min<uint64_t>(due - nowMilliseconds, kLongestWaitMilliseconds));
}

void ServeShowWatch(uint64_t nowMilliseconds) {
  if (!StateChannelsFollowShow()) return;
  const SharedShowStatus status =
      RefreshShowStatus(nowMilliseconds, StateChannelHeartbeatDue(nowMilliseconds));
  ServeStateChannels(nowMilliseconds, status);
}

void SendStateSnapshot() {
  if (!AnyChannelTakesSnapshots()) return;
  SendStateChannelSnapshots(RefreshShowStatus(MonotonicMilliseconds(), true));
}
