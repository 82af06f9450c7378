#include "server/show_watch.h"

#include <algorithm>
#include <limits>

#include "config/settings.h"
#include "platform/timing.h"
#include "server/feedback.h"
#include "server/osc_door.h"

namespace {

constexpr uint32_t kLongestWaitMilliseconds = 1000;

struct ShowWatchRecord {
  ShowStatusObserver observer = nullptr;
  bool feedback = false;
  bool osc = false;
  bool published = false;
  ShowStatus lastPublished;
};

// The observer is set before the server thread starts; the rest is the
// server thread's.
ShowWatchRecord ShowWatch;

bool Following() { return ShowWatch.feedback || ShowWatch.osc || ShowWatch.observer != nullptr; }

// The observer sees whole states only: a new slide whose details are still
// those of the slide before waits for the refresh right after.
void Publish(const ShowStatus& status) {
  ShowWatchRecord& watch = ShowWatch;
  if (watch.observer == nullptr || status.detailsPending ||
      (watch.published && status == watch.lastPublished)) {
    return;
  }
  watch.published = true;
  watch.lastPublished = status;
  watch.observer(status);
}

}  // namespace

void ObserveShowStatus(ShowStatusObserver observer) { ShowWatch.observer = observer; }

bool ShowStatusObserved() { return ShowWatch.observer != nullptr; }

void StartShowWatch(bool feedback, bool osc) {
  ShowWatchRecord& watch = ShowWatch;
  watch.feedback = feedback;
  watch.osc = osc;
  watch.published = false;
  TrackShowStatus(Following());
  // OSC sends the slide's details whenever it sends the state.
  TrackShowDetails((feedback && FeedbackWantsDetails()) || osc || watch.observer != nullptr);
}

uint32_t ShowWatchReceiveWait(uint64_t nowMilliseconds) {
  const ShowWatchRecord& watch = ShowWatch;
  if (!Following()) return kLongestWaitMilliseconds;
  uint64_t due = ShowStatusDueAt();
  if (watch.feedback) due = std::min(due, FeedbackDueAt());
  if (watch.osc) due = std::min(due, OscDueAt());
  if (due <= nowMilliseconds) return 0;
  return static_cast<uint32_t>(std::min<uint64_t>(due - nowMilliseconds, kLongestWaitMilliseconds));
}

void ServeShowWatch(uint64_t nowMilliseconds) {
  const ShowWatchRecord& watch = ShowWatch;
  if (!Following()) return;
  const bool snapshot = (watch.feedback && FeedbackHeartbeatDue(nowMilliseconds)) ||
                        (watch.osc && OscHeartbeatDue(nowMilliseconds));
  const ShowStatus status = RefreshShowStatus(nowMilliseconds, snapshot);
  if (watch.feedback) ServeFeedback(nowMilliseconds, status);
  if (watch.osc) ServeOsc(nowMilliseconds, status);
  Publish(status);
}

ShowStatus CurrentShowStatus(uint64_t nowMilliseconds) {
  return RefreshShowStatus(nowMilliseconds, false);
}

// STATE: the whole status at once to every channel that sends it.
void SendFeedbackSnapshot() {
  const ShowWatchRecord& watch = ShowWatch;
  if (!watch.feedback && !watch.osc) return;
  const ShowStatus status = RefreshShowStatus(MonotonicMilliseconds(), true);
  if (watch.feedback) SendFeedbackSnapshotOf(status);
  if (watch.osc) SendOscSnapshot(status);
  Publish(status);
}
