// The one road in: every command, whichever door it came in by (a datagram,
// an OSC message, the web remote), takes the same steps in the same order on
// the server thread. A door only receives (its transport) and reads what it
// received into an Arrival; everything else is here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "common/command_words.h"
#include "platform/timing.h"

enum class Door {
  kDatagram,  // the command port's plain-text datagrams: "R" lines
  kOsc,       // OSC messages on the OSC port: "O" lines
  kWeb,       // the web remote's requests and live messages: "W" lines
  kMqtt,      // the venue link's command topic: "M" lines
  kFollow,    // the venue link's steps after the main it follows: "M" lines too
};

// Who sent a command.
struct CommandOrigin {
  Door door = Door::kDatagram;
  uint32_t address = 0;  // the sender's IPv4 address, network order
  uint16_t port = 0;     // its port (the datagram doors)
  std::string name;      // the paired device's name (the web remote), the sender's (the link)
};

// Where the show was when a step was sent: a NEXT or PREV sent from a view
// that has been overtaken since is not carried out.
struct ShowPosition {
  int32_t slide = 0;
  int32_t build = 0;
};

enum class ArrivalOutcome {
  kCarriedOut,     // handed to the dispatcher (which wrote what it had to say)
  kMovedOn,        // not carried out: the show is no longer where the step was sent from
  kDropped,        // not carried out: the server is stopping, or too many wait
  kSenderRefused,  // not carried out: allow= leaves the sender out
  kWordRefused,    // not carried out: an allow-list leaves the word out
  kUnknownWord,    // not carried out: no command word
  kNoCommand,      // nothing to carry out (another server's feedback, a released
                   // button, what the door could not read)
};

// One command (or one thing a door received that is none) as its door read it.
struct Arrival {
  CommandOrigin origin;
  TimeOfDay time{};  // when it arrived, for its line
  // When it arrived, on the arrival clock (ArrivalClockNow): the doors'
  // commands are carried out in this order.
  uint64_t arrivedAt = 0;
  std::string shown;               // what its line shows after " -> "
  std::optional<Command> command;  // none: nothing to carry out
  // Another server's feedback (its state or status lines): nothing it causes
  // is sent on as a status line (the loop guard).
  bool feedback = false;
  // A line of the door's own, written after the arrival line: what the door
  // could not read ("ERR: bad OSC arguments ...").
  std::string doorLine;
  std::optional<ShowPosition> from;
  // Told the outcome on the server thread once the arrival has been dealt
  // with (may be empty). It must not block.
  std::function<void(ArrivalOutcome)> done;
};

// Carries the arrival through the steps, on the server thread, in this order:
//   1. the loop guard (for all that follows): nothing another server's
//      feedback causes is sent on as a status line;
//   2. the sender: allow= leaves it out: "Refused datagram from A:P", at
//      most once a minute per address, and nothing else;
//   3. where a step was sent from: a show that has moved on since ends it,
//      without a line;
//   4. the arrival line ("R 192.168.1.7:50311 14:03:07 -> \"NEXT\""), which
//      the doors whose senders may be other servers never send on;
//   5. the door's own line;
//   6. the allow-lists: a word that [settings] commands= or the door's own
//      list leaves out: "ERR: Command not allowed \"word\"";
//   7. the dispatcher (which writes the unknown-command line); a STATE from a
//      sender whose snapshot went out less than a second ago sends nothing.
// `done` is then told the outcome.
ArrivalOutcome Arrive(Arrival arrival);

// Step 2 for a transport that checks before it reads (a refused sender's OSC
// packet is not read at all): true when the sender may send; otherwise the
// refusal line as above.
bool AdmitSender(const CommandOrigin& origin, uint64_t nowMilliseconds);

// Whether allow= lets `address` (network order) send commands, without a line.
bool SenderAllowed(uint32_t address);

// The words `door` may have carried out: [settings] commands=, and within it
// the door's own list ([web] commands=, and OPEN with [web] shows=; [mqtt]
// commands=).
CommandWordSet CommandsAllowedAt(Door door);

// The line of a command that arrived: the door's letter and the sender, the
// time and what arrived, as in "R 192.168.1.7:53000 14:03:07 -> \"NEXT\"".
std::string ArrivalLine(const CommandOrigin& origin, const TimeOfDay& time,
                        const std::string& shown);
