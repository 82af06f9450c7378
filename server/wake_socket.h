// The wake of a thread that waits on its sockets (the server thread, the
// venue link's): a datagram socket of its own on the loopback address. Any
// thread's Wake sends it one datagram (one for a burst of wakes), which ends
// the wait at once; the waiting thread then takes the wakes and looks at what
// waits for it.
#pragma once

#include <atomic>
#include <mutex>

#include "platform/sockets.h"

struct WakeRecord {
  std::mutex lock;  // guards socket and port
  SocketHandle socket = kNoSocket;
  uint16_t port = 0;
  std::atomic<bool> pending{false};  // a wake is on its way
};

// The waiting thread: opens the socket it waits on; kNoSocket when it cannot.
SocketHandle OpenWake(WakeRecord& wake);

// Any thread.
void Wake(WakeRecord& wake);

// The waiting thread, before it looks at what waits: reads the wakes that came.
void TakeWakes(WakeRecord& wake);

// The waiting thread, as it ends.
void CloseWake(WakeRecord& wake);
