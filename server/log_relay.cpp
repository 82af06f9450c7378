#include "server/log_relay.h"

#include <array>
#include <atomic>
#include <mutex>

#include "common/status_log.h"

namespace {

constexpr size_t kLinesWaitingAtMost = 1000;

// Written by the server thread, read by every thread that adds a line.
std::array<std::atomic<bool>, kRelayedChannelsAtMost> relayed{};

// Shared by every thread that adds a line and the server thread.
std::mutex waitingLock;
std::array<std::deque<std::string>, kRelayedChannelsAtMost> lockedWaitingLines;

// Each thread's own: whether its lines go to no channel now.
thread_local bool threadQuiet = false;

void ObserveLogLine(const std::string& line) {
  if (threadQuiet) return;
  std::lock_guard<std::mutex> guard(waitingLock);
  for (size_t i = 0; i < kRelayedChannelsAtMost; ++i) {
    if (relayed[i] && lockedWaitingLines[i].size() < kLinesWaitingAtMost) {
      lockedWaitingLines[i].push_back(line);
    }
  }
}

}  // namespace

void RelayLogLines(size_t channel, bool on) {
  relayed[channel] = on;
  bool any = false;
  for (const std::atomic<bool>& wanted : relayed) any = any || wanted;
  ObserveLog(any ? ObserveLogLine : nullptr);
}

std::deque<std::string> TakeRelayedLines(size_t channel) {
  std::deque<std::string> lines;
  std::lock_guard<std::mutex> guard(waitingLock);
  lines.swap(lockedWaitingLines[channel]);
  return lines;
}

QuietLines::QuietLines(bool quiet) : wasQuiet(threadQuiet) { threadQuiet = wasQuiet || quiet; }

QuietLines::~QuietLines() { threadQuiet = wasQuiet; }
