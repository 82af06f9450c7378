// The console shows the status log: each added line is printed once, the
// moment it is added, in the order of the appends.
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>

#include "platform/console_text.h"
#include "platform/display.h"

namespace {

std::mutex consoleLock;
uint64_t nextSequence = 1;
std::map<uint64_t, std::string> waiting;  // lines whose predecessors are not printed yet

void WriteAll(const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(STDOUT_FILENO, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // no console to write to: the log goes on without it
    done += static_cast<size_t>(n);
  }
}

}  // namespace

void DisplayStatus(const std::string&, const std::string& addedLine, uint64_t sequence) {
  std::lock_guard<std::mutex> guard(consoleLock);
  if (sequence < nextSequence) return;
  waiting.emplace(sequence, ConsoleSafeText(addedLine) + "\n");
  for (auto it = waiting.begin(); it != waiting.end() && it->first == nextSequence;
       it = waiting.erase(it)) {
    WriteAll(it->second);
    ++nextSequence;
  }
}
