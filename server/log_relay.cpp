#include "server/log_relay.h"

#include <array>
#include <atomic>
#include <mutex>

#include "common/status_log.h"

namespace {

constexpr size_t kChannels = 2;
constexpr size_t kLinesWaitingAtMost = 1000;

std::array<std::atomic<bool>, kChannels> relayed{};

std::mutex waitingLock;
std::array<std::deque<std::string>, kChannels> waitingLines;

// Set on the server thread while its lines are not to be sent.
thread_local bool logMuted = false;

size_t Index(LogChannel channel) { return static_cast<size_t>(channel); }

void ObserveLogLine(const std::string& line) {
  if (logMuted) return;
  std::lock_guard<std::mutex> guard(waitingLock);
  for (size_t i = 0; i < kChannels; ++i) {
    if (relayed[i] && waitingLines[i].size() < kLinesWaitingAtMost) waitingLines[i].push_back(line);
  }
}

}  // namespace

void RelayLogLines(LogChannel channel, bool on) {
  relayed[Index(channel)] = on;
  bool any = false;
  for (const std::atomic<bool>& wanted : relayed) any = any || wanted;
  ObserveLog(any ? ObserveLogLine : nullptr);
}

std::deque<std::string> TakeRelayedLines(LogChannel channel) {
  std::deque<std::string> lines;
  std::lock_guard<std::mutex> guard(waitingLock);
  lines.swap(waitingLines[Index(channel)]);
  return lines;
}

void MuteFeedbackLog(bool muted) { logMuted = muted; }
