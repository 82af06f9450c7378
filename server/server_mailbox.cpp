#include "server/server_mailbox.h"

#include <atomic>
#include <deque>
#include <mutex>

#include "server/wake_socket.h"

namespace {

// Set by the main thread before the server thread starts its start-up.
std::atomic<bool> postsExpected{false};

// Shared by the posting threads and the server thread, under `mailboxLock`.
struct MailboxRecord {
  bool open = false;
  std::deque<Arrival> arrivals;
};
std::mutex mailboxLock;
MailboxRecord lockedMailbox;

WakeRecord serverThreadWake;

void Drop(Arrival& arrival) {
  if (arrival.done) arrival.done(ArrivalOutcome::kDropped);
}

}  // namespace

void ExpectPostedArrivals() { postsExpected = true; }

bool PostedArrivalsExpected() { return postsExpected; }

bool PostArrival(Arrival arrival) {
  bool queued = false;
  {
    std::lock_guard<std::mutex> guard(mailboxLock);
    if (lockedMailbox.open && lockedMailbox.arrivals.size() < kPostedArrivalsAtMost) {
      lockedMailbox.arrivals.push_back(std::move(arrival));
      queued = true;
    }
  }
  if (!queued) {
    Drop(arrival);
    return false;
  }
  Wake(serverThreadWake);
  return true;
}

void WakeServerThread() { Wake(serverThreadWake); }

SocketHandle OpenMailbox() {
  {
    std::lock_guard<std::mutex> guard(mailboxLock);
    lockedMailbox.open = true;
  }
  return OpenWake(serverThreadWake);
}

void TakeMailboxWakes() { TakeWakes(serverThreadWake); }

std::optional<uint64_t> OldestPostedArrival() {
  std::lock_guard<std::mutex> guard(mailboxLock);
  if (lockedMailbox.arrivals.empty()) return std::nullopt;
  return lockedMailbox.arrivals.front().arrivedAt;
}

std::optional<Arrival> TakePostedArrival() {
  std::lock_guard<std::mutex> guard(mailboxLock);
  if (lockedMailbox.arrivals.empty()) return std::nullopt;
  Arrival arrival = std::move(lockedMailbox.arrivals.front());
  lockedMailbox.arrivals.pop_front();
  return arrival;
}

void CloseMailbox() {
  std::deque<Arrival> dropped;
  {
    std::lock_guard<std::mutex> guard(mailboxLock);
    lockedMailbox.open = false;
    dropped.swap(lockedMailbox.arrivals);
  }
  CloseWake(serverThreadWake);
  for (Arrival& arrival : dropped) Drop(arrival);
}
