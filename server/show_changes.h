// What tells a controller the show's status, decided in this one place for
// every channel that sends it (the plain-text feedback and OSC); each channel
// writes the items in its own form.
#pragma once

#include <cstdint>
#include <vector>

#include "presentation/show_status.h"

enum class StatusItem {
  kFile,       // the presentation's file name
  kState,      // the show's state
  kSlide,      // the slide and the slide count
  kTitle,      // the slide's title
  kBuild,      // the build's position and count
  kNextSlide,  // the next slide and its title
  kNotes,      // the slide's notes
};

// Which items beyond the file, the state and the slide a channel sends.
struct StatusItemChoice {
  bool details = false;  // title, build, next slide
  bool notes = false;    // notes
};

// The whole status: the file, the state, the slide while it is known and the
// chosen details with it; the state alone before the first show.
std::vector<StatusItem> StatusSnapshotItems(const ShowStatus& now, StatusItemChoice choice);

// What tells a controller that was last told `sent` what `now` is: the whole
// status for a new show; else the state when it changed, the slide when it or
// the count changed, and each chosen detail that changed (while the slide is
// known), in the order of StatusItem.
std::vector<StatusItem> StatusChangeItems(const ShowStatus& sent, const ShowStatus& now,
                                          StatusItemChoice choice);
