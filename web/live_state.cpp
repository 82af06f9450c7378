#include "web/live_state.h"

#include <mutex>
#include <nlohmann/json.hpp>

#include "platform/code_page.h"
#include "platform/timing.h"
#include "web/web_thread.h"

namespace {

struct LiveStateRecord {
  ShowStatus status;
  uint64_t seq = 0;
  // The time the current show has run: what it ran before it last stopped,
  // and since when it runs again (while `running`).
  uint32_t show = 0;
  bool running = false;
  uint64_t ranBefore = 0;
  uint64_t runningSince = 0;
  bool sendPending = false;
};

std::mutex lock;
LiveStateRecord LiveState;

bool ShowRuns(ShowState state) {
  return state == ShowState::kRunning || state == ShowState::kBlack || state == ShowState::kWhite;
}

void SendStateToLiveClients() {
  {
    std::lock_guard<std::mutex> guard(lock);
    LiveState.sendPending = false;
  }
  BroadcastLiveMessage(StateMessage(MonotonicMilliseconds()));
}

}  // namespace

void ObserveShowStatusForWeb(const ShowStatus& status) {
  const uint64_t now = MonotonicMilliseconds();
  bool post = false;
  {
    std::lock_guard<std::mutex> guard(lock);
    LiveStateRecord& live = LiveState;
    if (status.show != live.show) {
      live.show = status.show;
      live.running = false;
      live.ranBefore = 0;
    }
    const bool runs = status.show != 0 && ShowRuns(status.state);
    if (runs && !live.running) {
      live.running = true;
      live.runningSince = now;
    } else if (!runs && live.running) {
      live.running = false;
      live.ranBefore += now - live.runningSince;
    }
    live.status = status;
    ++live.seq;
    post = !live.sendPending;
    live.sendPending = true;
  }
  if (post) PostToWebThread(SendStateToLiveClients);
}

std::string StateMessage(uint64_t nowMilliseconds) {
  using json = nlohmann::ordered_json;
  ShowStatus status;
  uint64_t seq = 0;
  json elapsed = nullptr;
  {
    std::lock_guard<std::mutex> guard(lock);
    const LiveStateRecord& live = LiveState;
    status = live.status;
    seq = live.seq;
    if (status.show != 0) {
      elapsed = live.ranBefore + (live.running ? nowMilliseconds - live.runningSince : 0);
    }
  }
  const SlideDetails& details = status.details;
  json message;
  message["type"] = "state";
  message["seq"] = seq;
  message["file"] = Utf8FromCodePage(status.fileName);
  message["state"] = ShowStateWord(status.state);
  message["slide"] = status.slide;
  message["count"] = status.slideCount;
  message["title"] = details.title;
  message["notes"] = details.notes;
  message["build"] = {{"position", details.buildPosition}, {"count", details.buildCount}};
  if (details.nextSlide > 0) {
    message["next"] = {{"slide", details.nextSlide}, {"title", details.nextTitle}};
  } else {
    message["next"] = nullptr;
  }
  message["show"] = status.show;
  message["elapsed"] = elapsed;
  // The application's texts are UTF-8; a byte that is none becomes U+FFFD.
  return message.dump(-1, ' ', false, json::error_handler_t::replace);
}

ShowStatus LatestShowStatus() {
  std::lock_guard<std::mutex> guard(lock);
  return LiveState.status;
}

void ResetLiveStateForTesting() {
  std::lock_guard<std::mutex> guard(lock);
  LiveState = LiveStateRecord{};
}
