// The state of the slide show of the last OPEN, as the program follows it for
// the controllers (the server's feedback): the slide-show area keeps it and
// the server thread asks for it. Nothing here calls the application unless
// TrackShowStatus switched the following on.
#pragma once

#include <cstdint>
#include <string>

enum class ShowState {
  kNone,     // no show to act on: before the first OPEN whose show ran, after an
             // OPEN whose show did not come up, or the application is gone
  kRunning,  // the show runs and shows a slide
  kBlack,    // the show runs, its screen made black by BLACK
  kWhite,    // the show runs, its screen made white by WHITE
  kEnded,    // the show was ended (END, Escape at the PC) or shows the end
             // screen that follows its last slide
};

// "NONE", "RUNNING", "BLACK", "WHITE", "ENDED".
const char* ShowStateWord(ShowState state);

struct ShowStatus {
  uint32_t show = 0;     // counts the OPENs whose show ran: a new number is a new show
  std::string fileName;  // the OPEN's argument, as it was sent
  ShowState state = ShowState::kNone;
  int32_t slide = 0;       // the current slide, from 1; 0 while not known
  int32_t slideCount = 0;  // 0 while not known
};

// Set once at start-up, on the server thread, before the first command: true
// when the feedback is configured. Until then (and without it) the show's
// state is neither followed nor read, and the application is never asked.
void TrackShowStatus(bool on);

// The status brought up to date, on the server thread, between commands and
// after each. `forSnapshot`: the whole status is about to be sent (the
// heartbeat, STATE), so an ended show is asked about too (has the application
// gone since?). `nowMilliseconds` is the monotonic clock.
ShowStatus RefreshShowStatus(uint64_t nowMilliseconds, bool forSnapshot);

// When the status should next be refreshed for changes to be reported on
// time: while a show is open, the next moment the application may be asked;
// otherwise never (UINT64_MAX).
uint64_t ShowStatusDueAt();
