#include "web/live_state.h"

#include <memory>
#include <nlohmann/json.hpp>

#include "platform/timing.h"
#include "server/state_object.h"
#include "web/web_thread.h"

namespace {

struct LiveStateRecord {
  SharedShowStatus status = std::make_shared<const ShowStatus>();
  uint64_t seq = 0;
  // The time the current show has run: what it ran before it last stopped,
  // and since when it runs again (while `running`).
  uint32_t show = 0;
  bool running = false;
  uint64_t ranBefore = 0;
  uint64_t runningSince = 0;
  bool sendPending = false;
};

LiveStateRecord webThreadLiveState;

bool ShowRuns(ShowState state) {
  return state == ShowState::kRunning || state == ShowState::kBlack || state == ShowState::kWhite;
}

void SendStateToLiveClients() {
  webThreadLiveState.sendPending = false;
  BroadcastLiveMessage(std::make_shared<const std::string>(StateMessage(MonotonicMilliseconds())));
}

void Publish(const StateChannel&, const std::vector<StatusItem>&, const SharedShowStatus& status) {
  PostToWebThread([status] { LiveStateChanged(status); });
}

}  // namespace

StateChannel LiveStateChannel() {
  StateChannel channel;
  channel.name = "Web";
  channel.choice = StatusItemChoice{true, true};
  channel.wholeStatesOnly = true;
  channel.send = Publish;
  return channel;
}

void LiveStateChanged(const SharedShowStatus& status) {
  const uint64_t now = MonotonicMilliseconds();
  LiveStateRecord& live = webThreadLiveState;
  if (status->show != live.show) {
    live.show = status->show;
    live.running = false;
    live.ranBefore = 0;
  }
  const bool runs = status->show != 0 && ShowRuns(status->state);
  if (runs && !live.running) {
    live.running = true;
    live.runningSince = now;
  } else if (!runs && live.running) {
    live.running = false;
    live.ranBefore += now - live.runningSince;
  }
  live.status = status;
  ++live.seq;
  if (live.sendPending) return;
  live.sendPending = true;
  PostToWebThread(SendStateToLiveClients);
}

std::string StateMessage(uint64_t nowMilliseconds) {
  using json = nlohmann::ordered_json;
  const LiveStateRecord& live = webThreadLiveState;
  const ShowStatus& status = *live.status;
  json elapsed = nullptr;
  if (status.show != 0) {
    elapsed = live.ranBefore + (live.running ? nowMilliseconds - live.runningSince : 0);
  }
  json message;
  message["type"] = "state";
  message["seq"] = live.seq;
  message.update(ShowStateObject(status));
  message["show"] = status.show;
  message["elapsed"] = elapsed;
  // The show's texts are UTF-8; a byte that is none becomes U+FFFD.
  return message.dump(-1, ' ', false, json::error_handler_t::replace);
}

void ResetLiveStateForTesting() { webThreadLiveState = LiveStateRecord{}; }
