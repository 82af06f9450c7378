#include "server/server_mailbox.h"

#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

namespace {

// Shared by the posting threads and the server thread, under `mailboxLock`.
struct MailboxRecord {
  bool open = false;
  std::deque<Arrival> arrivals;
  SocketHandle wakeSocket = kNoSocket;
  uint16_t wakePort = 0;
};

// Set by the main thread before the server thread starts its start-up.
std::atomic<bool> postsExpected{false};

std::mutex mailboxLock;
MailboxRecord lockedMailbox;
// Set while a wake is on its way, so that a burst of posts sends one.
std::atomic<bool> wakePending{false};

uint32_t LoopbackAddress() {
  const unsigned char bytes[4] = {127, 0, 0, 1};
  uint32_t address;
  std::memcpy(&address, bytes, sizeof address);
  return address;
}

void SendWake() {
  if (wakePending.exchange(true)) return;
  std::lock_guard<std::mutex> guard(mailboxLock);
  if (lockedMailbox.wakeSocket != kNoSocket) {
    SendDatagramFrom(lockedMailbox.wakeSocket, LoopbackAddress(), lockedMailbox.wakePort, "w");
  }
}

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
  SendWake();
  return true;
}

void WakeServerThread() { SendWake(); }

SocketHandle OpenMailbox() {
  SocketHandle socket = OpenDatagramSocketOn(LoopbackAddress(), 0);
  std::lock_guard<std::mutex> guard(mailboxLock);
  lockedMailbox.open = true;
  lockedMailbox.wakeSocket = socket;
  lockedMailbox.wakePort = socket == kNoSocket ? 0 : BoundPort(socket);
  return socket;
}

void TakeWakes() {
  SocketHandle socket;
  {
    std::lock_guard<std::mutex> guard(mailboxLock);
    socket = lockedMailbox.wakeSocket;
  }
  // Cleared first: a wake asked for from now on sends a datagram of its own.
  wakePending = false;
  if (socket == kNoSocket) return;
  char wake[16];
  size_t length = 0;
  uint32_t address = 0;
  uint16_t port = 0;
  while (ReceiveDatagram(socket, 0, wake, sizeof wake, &length, &address, &port) ==
         ReceiveOutcome::kDatagram) {
  }
}

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
  SocketHandle socket;
  {
    std::lock_guard<std::mutex> guard(mailboxLock);
    lockedMailbox.open = false;
    dropped.swap(lockedMailbox.arrivals);
    socket = lockedMailbox.wakeSocket;
    lockedMailbox.wakeSocket = kNoSocket;
  }
  CloseDatagramSocket(socket);
  for (Arrival& arrival : dropped) Drop(arrival);
}
