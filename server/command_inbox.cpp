#include "server/command_inbox.h"

#include <deque>
#include <mutex>

namespace {

std::mutex lock;
std::deque<InboxCommand> waiting;
void (*wakeServer)() = nullptr;

void Answer(InboxCommand& command, InboxOutcome outcome) {
  if (command.done) command.done(outcome);
}

}  // namespace

bool PostCommand(InboxCommand command) {
  bool queued = false;
  void (*wake)() = nullptr;
  {
    std::lock_guard<std::mutex> guard(lock);
    if (waiting.size() < kInboxCommandsAtMost) {
      waiting.push_back(std::move(command));
      queued = true;
      wake = wakeServer;
    }
  }
  if (!queued) {
    Answer(command, InboxOutcome::kDropped);
    return false;
  }
  if (wake != nullptr) wake();
  return true;
}

void ObserveInboxPosts(void (*wake)()) {
  std::lock_guard<std::mutex> guard(lock);
  wakeServer = wake;
}

bool InboxCommandWaiting() {
  std::lock_guard<std::mutex> guard(lock);
  return !waiting.empty();
}

std::optional<InboxCommand> TakeInboxCommand() {
  std::lock_guard<std::mutex> guard(lock);
  if (waiting.empty()) return std::nullopt;
  InboxCommand command = std::move(waiting.front());
  waiting.pop_front();
  return command;
}

void DropInboxCommands() {
  std::deque<InboxCommand> dropped;
  {
    std::lock_guard<std::mutex> guard(lock);
    dropped.swap(waiting);
  }
  for (InboxCommand& command : dropped) Answer(command, InboxOutcome::kDropped);
}
