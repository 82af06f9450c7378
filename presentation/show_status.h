// The state of the slide show of the last OPEN, as the program follows it for
// the controllers (the server's feedback): the slide-show area keeps it and
// the server thread asks for it. Nothing here calls the application unless
// TrackShowStatus switched the following on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
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

// The longest speaker notes kept for a slide, in bytes of UTF-8: longer notes
// are cut at the last whole character within it.
constexpr size_t kShowNotesBytesAtMost = 64 * 1024;

// What the show shows of its current slide beyond its number. Texts are
// UTF-8, as the application holds them.
struct SlideDetails {
  std::string title;          // the title placeholder's text; empty when it has none
  std::string notes;          // the notes page's body text, paragraphs separated by "\n"
  int32_t buildPosition = 0;  // animation steps (clicks) taken on the slide; -1: not known
  int32_t buildCount = 0;     // animation steps the slide has; -1: not known
  int32_t nextSlide = 0;      // the slide NEXT shows after the last step; 0: none
  std::string nextTitle;      // that slide's title
  bool operator==(const SlideDetails&) const = default;
};

// Every text in it is UTF-8: a channel that writes in the program's code page
// (the plain feedback) converts where it writes.
struct ShowStatus {
  uint32_t show = 0;     // counts the OPENs whose show ran: a new number is a new show
  std::string fileName;  // the OPEN's argument, as it was sent
  ShowState state = ShowState::kNone;
  int32_t slide = 0;       // the current slide, from 1; 0 while not known
  int32_t slideCount = 0;  // 0 while not known
  // Followed only while TrackShowDetails(true); empty otherwise. An ended
  // show, or a gone application, keeps those of the slide it was last seen on.
  SlideDetails details;
  // The slide changed and `details` are still those of the slide before: the
  // next refresh, due at once, reads the new slide's.
  bool detailsPending = false;
  bool operator==(const ShowStatus&) const = default;
};

// Set once at start-up, on the server thread, before the first command: true
// when something follows the show (the feedback, OSC, the web remote). Until
// then (and without it) the show's state is neither followed nor read, and
// the application is never asked.
void TrackShowStatus(bool on);

// Set with TrackShowStatus: true when something shows the slide's details
// (the feedback's notes=on, OSC, the web remote). Without it the back ends
// read the slide, its count and the state only, as they always did.
void TrackShowDetails(bool on);

// A status as it was at one moment: never changed once made, so that every
// channel (and every thread) that keeps it shares the one copy.
using SharedShowStatus = std::shared_ptr<const ShowStatus>;

// The status brought up to date, on the server thread, between commands and
// after each. `forSnapshot`: the whole status is about to be sent (the
// heartbeat, STATE), so an ended show is asked about too (has the application
// gone since?). `nowMilliseconds` is the monotonic clock. The same pointer as
// the refresh before when nothing in it changed; a new status whenever
// anything did.
SharedShowStatus RefreshShowStatus(uint64_t nowMilliseconds, bool forSnapshot);

// When the status should next be refreshed for changes to be reported on
// time: while a show is open, the next moment the application may be asked;
// otherwise never (UINT64_MAX).
uint64_t ShowStatusDueAt();
