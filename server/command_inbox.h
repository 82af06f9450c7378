// Commands from the program's other front doors (the web remote), handed to
// the server thread: it carries them out one at a time, taking turns with
// the datagrams, through the same dispatcher and under the same allow-lists,
// and its wait ends at once when one is posted. Posting is callable from any
// thread; the rest is the server thread's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "presentation/show_status.h"

// Where the show was when a step was sent: a NEXT or PREV sent from a view
// that has been overtaken since is not carried out.
struct ShowPosition {
  int32_t slide = 0;
  int32_t build = 0;
};

enum class InboxOutcome {
  kCarriedOut,  // handed to the dispatcher (which writes what it has to say)
  kMovedOn,     // not carried out: the show is no longer where it was sent from
  kDropped,     // not carried out: the server is stopping, or too many wait
};

struct InboxCommand {
  std::string logLine;      // written before the command, like a datagram's R line
  std::string commandText;  // as a datagram would carry it, in the program's code page
  std::optional<ShowPosition> from;
  // Called on the server thread once the command has been dealt with; may
  // be empty. It must not block.
  std::function<void(InboxOutcome)> done;
};

// The most commands that wait; a further one is answered kDropped at once.
constexpr size_t kInboxCommandsAtMost = 256;

// Any thread: queues the command and wakes the server thread. False (and
// `done` called with kDropped) when the inbox is full.
bool PostCommand(InboxCommand command);

// The server thread's side: `wake` is called by PostCommand after queueing
// (nullptr: none); whether a command waits; the oldest one, taken out.
void ObserveInboxPosts(void (*wake)());
bool InboxCommandWaiting();
std::optional<InboxCommand> TakeInboxCommand();

// Answers every waiting command kDropped (the server thread as it ends).
void DropInboxCommands();
