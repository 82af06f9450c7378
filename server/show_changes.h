// What tells a controller the show's status, decided in this one place for
// every state channel; each channel writes the items in its own form.
#pragma once

#include <cstdint>
#include <vector>

#include "common/feedback_words.h"
#include "presentation/show_status.h"

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
