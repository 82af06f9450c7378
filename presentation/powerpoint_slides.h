// The slides of the show on PowerPoint beyond the view's position: the slide
// count, the current slide's details (its title, notes and build, the next
// slide and its title) and pictures of slides (ExportShowSlide), read through
// the object model below the presentation and the view that the session keeps
// (powerpoint_session.h). Every member is found by name. Server thread only.
#pragma once

#include <cstdint>

#include "platform/automation.h"
#include "presentation/show_status.h"

// The show's slide count, Count of the presentation's Slides; the collection
// is obtained at the first use after an OPEN and kept with the view. One step
// of the busy rule per call.
AutomationOutcome ReadSlideCount(double* count);

// Forgets the slide's details read for the last view (RunShow: a new view).
void ForgetSlideDetails();

// The details of the slide that the view shows now, at position `slide` of
// `slideCount`: the build position (the view's GetClickIndex) at every call,
// the slide's own details (the click count; the view's Slide: its title and
// notes, and after its SlideIndex the next slide that is not hidden, with its
// title) only when `slide` or `slideCount` differ from those of the last call
// that read them; otherwise those are given again.
// kDone with `details` set: a member that fails leaves its item empty, or -1
// for the build. Otherwise the outcome that ended the reading early, leaving
// `details` as it was: kBusy (refused for longer than the busy rule's bound,
// which the whole reading shares), kGone or kNoAnswer.
AutomationOutcome ReadSlideDetails(int32_t slide, int32_t slideCount, SlideDetails* details);
