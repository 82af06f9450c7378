// A backup in step with its main ([mqtt] follow=<room>): what the followed
// room publishes, and the next command that brings this server's show to
// where the main's is. One step at a time: the next is decided once this
// server's own state has answered the last (or after 2 s). Used on the
// link's thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "presentation/show_status.h"

// The main, as its status and state topics tell it.
struct FollowedRoom {
  bool online = false;
  bool known = false;  // a state arrived
  std::string file;    // UTF-8
  std::string state;   // "NONE", "RUNNING", "BLACK", "WHITE", "ENDED"
  int32_t slide = 0;
  int32_t build = 0;
};

// The main's state object read into `room` (its status left as it is);
// false when it is no state object.
bool ReadFollowedState(std::string_view json, FollowedRoom* room);

struct Follower {
  FollowedRoom main;
  std::string openedFor;   // the main's file last opened for (or found missing)
  std::string openedPath;  // the path OPEN named (UTF-8)
  // The own status when the last step was sent: the next waits for it to
  // change, for at most kFollowStepMilliseconds.
  SharedShowStatus answered;
  uint64_t steppedAt = 0;
  bool waiting = false;
  // Since the main last changed, until this server is where the main is:
  // its own changes meanwhile lead to the next step. Once it is there, its
  // own changes (an operator taking over) are left as they are.
  bool catchingUp = false;
};

constexpr uint64_t kFollowStepMilliseconds = 2000;

// The next command (as a datagram would carry it) that brings `own` to where
// the main is; empty when there is none (it is there, or a step is on its
// way). `line`: a line to write (the main's file found nowhere here).
std::string NextFollowStep(Follower& follower, const SharedShowStatus& own,
                           uint64_t nowMilliseconds, std::string* line);
