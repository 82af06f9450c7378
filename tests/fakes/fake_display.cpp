#include "tests/fakes/fake_display.h"

#include <map>
#include <mutex>

#include "platform/display.h"

namespace {
std::mutex shownLock;
std::map<uint64_t, std::string> shown;  // by sequence: the order of the appends
std::string newestText;
uint64_t newestSequence = 0;
}  // namespace

void DisplayStatus(const std::string& logText, const std::string& addedLine, uint64_t sequence) {
  std::lock_guard<std::mutex> guard(shownLock);
  shown[sequence] = addedLine;
  if (sequence > newestSequence) {
    newestSequence = sequence;
    newestText = logText;
  }
}

std::vector<std::string> ShownLines() {
  std::lock_guard<std::mutex> guard(shownLock);
  std::vector<std::string> lines;
  for (const auto& entry : shown) lines.push_back(entry.second);
  return lines;
}

std::string ShownLogText() {
  std::lock_guard<std::mutex> guard(shownLock);
  return newestText;
}

void ClearShownLines() {
  std::lock_guard<std::mutex> guard(shownLock);
  shown.clear();
  newestText.clear();
}
