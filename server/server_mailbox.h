// The server thread's mailbox: how the front doors on other threads (the web
// remote) hand it their commands, and how work that waits for it (a slide
// picture to export) ends its wait. The server thread waits on its sockets,
// so the wake is a datagram to a socket of its own on the loopback address.
// Posting and waking may be called from any thread; the rest is the server
// thread's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/sockets.h"
#include "server/arrival.h"

// The most arrivals that wait; a further one is dropped at once.
constexpr size_t kPostedArrivalsAtMost = 256;

// A front door on another thread will post: called before the server thread
// goes past its start-up signal, so that it opens the mailbox.
void ExpectPostedArrivals();
bool PostedArrivalsExpected();

// Any thread: queues the arrival (its `arrivedAt` set by its door) and wakes
// the server thread. False, and `done` told kDropped, when the mailbox is full
// or closed.
bool PostArrival(Arrival arrival);

// Any thread: ends the server thread's wait at once (a slide picture waits).
void WakeServerThread();

// The server thread's side.

// Opens the mailbox and gives its wake socket, for the server thread's wait;
// kNoSocket when it cannot be opened (the mailbox is then looked at only at
// the end of each wait).
SocketHandle OpenMailbox();

// Reads the wakes that came, before the arrivals are looked at.
void TakeMailboxWakes();

// When the oldest posted arrival arrived; none when none waits.
std::optional<uint64_t> OldestPostedArrival();

// The oldest posted arrival, taken out.
std::optional<Arrival> TakePostedArrival();

// Closes the mailbox: what waits is dropped (told kDropped), and so is every
// arrival posted from now on.
void CloseMailbox();
