#include "common/status_log.h"

#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/display.h"

namespace {

std::mutex logLock;
std::string logText;
uint64_t logSequence = 0;
std::atomic<LogObserver> logObserver{nullptr};

constexpr size_t kKeepLimit = 10;  // 10 CRs or more trigger the removal

size_t CountCarriageReturns(const std::string& text) {
  size_t count = 0;
  for (char c : text) count += c == '\r';
  return count;
}

}  // namespace

void AddLogLine(const std::string& line) {
  std::string shown;
  uint64_t sequence;
  {
    std::lock_guard<std::mutex> guard(logLock);
    logText += '\r';
    logText += line;
    size_t crs = CountCarriageReturns(logText);
    size_t cut = 0;
    while (crs >= kKeepLimit) {
      cut = logText.find('\r', cut) + 1;
      --crs;
    }
    if (cut > 0) logText.erase(0, cut);
    shown = logText;
    sequence = ++logSequence;
  }
  // Shown after the lock is released: on Windows the update of the label may
  // have to wait for the main thread, which may itself be adding a line.
  DisplayStatus(shown, line, sequence);
  if (LogObserver observer = logObserver.load()) observer(line);
}

void ObserveLog(LogObserver observer) { logObserver = observer; }

std::string LogTextSnapshot() {
  std::lock_guard<std::mutex> guard(logLock);
  return logText;
}

void ClearLogForTesting() {
  std::lock_guard<std::mutex> guard(logLock);
  logText.clear();
}
