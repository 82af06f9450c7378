#include "presentation/slide_show.h"

#include <algorithm>
#include <iterator>
#include <limits>

#include "common/status_log.h"
#include "common/text_rules.h"
#include "common/utf8_text.h"
#include "platform/code_page.h"
#include "platform/main_window.h"
#include "presentation/show_status.h"
#include "presentation/slide_images.h"
#include "presentation/slide_show_back_end.h"

namespace {

// The rate at which an application that cannot tell of changes itself is
// asked about its show.
constexpr uint64_t kAskIntervalMilliseconds = 250;

// The show's state as the channels follow it.
struct ShowTrackingRecord {
  bool on = false;
  bool details = false;
  SharedShowStatus status = std::make_shared<const ShowStatus>();
  bool askNow = false;  // an OPEN's show just came up: ask at the next refresh
  bool askedYet = false;
  uint64_t askedAt = 0;
};

ShowTrackingRecord serverThreadShowTracking;

// The OPENs whose show ran, for the slide pictures (which the web remote asks
// for whether or not the status is followed).
uint32_t serverThreadShowsOpened = 0;

// The whole text, or its first kShowNotesBytesAtMost bytes cut back to the
// last whole character.
void KeepNotesBounded(std::string& notes) {
  if (notes.size() > kShowNotesBytesAtMost)
    notes.resize(Utf8PrefixLength(notes, kShowNotesBytesAtMost));
}

bool ShowOpen(ShowState state) {
  return state == ShowState::kRunning || state == ShowState::kBlack || state == ShowState::kWhite;
}

void OpenPresentation(const std::string& fileName) {
  ChangeSlideImageSource(0, std::string());  // the last presentation's pictures go with it
  AddLogLine(kShowStartingLine);
  AttachShowApplication();  // a run of its own: its failures are not this command's
  if (!OpenShowFile(fileName)) {
    AddLogLine("Couldn't open presentation");
    return;
  }
  if (const char* failure = PrepareShow()) {
    AddLogLine(failure);
    return;
  }
  MinimiseMainWindow();
  if (const char* failure = RunShow()) {
    AddLogLine(failure);
    return;
  }
  ShowTrackingRecord& tracking = serverThreadShowTracking;
  if (tracking.on) {
    ShowStatus opened;
    opened.show = tracking.status->show + 1;
    opened.fileName = Utf8FromCodePage(fileName);
    opened.state = ShowState::kRunning;
    tracking.status = std::make_shared<const ShowStatus>(std::move(opened));
    tracking.askNow = true;
  }
  ChangeSlideImageSource(++serverThreadShowsOpened, fileName);
}

void GotoSlide(const std::string& argument) {
  int32_t slide = Int32FromNumber(NumberFromText(argument));
  if (slide <= 0) return;
  GotoShowSlide(slide);
}

}  // namespace

void HandleSlideShowCommand(CommandWord word, const std::string& argument) {
  struct StepOfWord {
    CommandWord word;
    ShowStep step;
  };
  static constexpr StepOfWord kSteps[] = {
      {CommandWord::kPrev, ShowStep::kPrevious}, {CommandWord::kFirst, ShowStep::kFirst},
      {CommandWord::kLast, ShowStep::kLast},     {CommandWord::kBlack, ShowStep::kBlack},
      {CommandWord::kWhite, ShowStep::kWhite},   {CommandWord::kResume, ShowStep::kResume},
      {CommandWord::kEnd, ShowStep::kEnd},
  };
  if (word == CommandWord::kOpen) {
    OpenPresentation(argument);
    return;
  }
  if (word == CommandWord::kNext) {
    AdvanceShow();
  } else if (word == CommandWord::kGoto) {
    GotoSlide(argument);
  } else {
    const StepOfWord* step = std::find_if(std::begin(kSteps), std::end(kSteps),
                                          [word](const StepOfWord& s) { return s.word == word; });
    if (step == std::end(kSteps)) return;  // not a word of the show
    StepShow(step->step);
  }
  // A show that reads as ended may have been brought back from its end
  // screen by the step: ask at the next refresh.
  ShowTrackingRecord& tracking = serverThreadShowTracking;
  if (tracking.on && tracking.status->state == ShowState::kEnded) tracking.askNow = true;
}

void TrackShowStatus(bool on) { serverThreadShowTracking.on = on; }

void TrackShowDetails(bool on) { serverThreadShowTracking.details = on; }

SharedShowStatus RefreshShowStatus(uint64_t nowMilliseconds, bool forSnapshot) {
  ShowTrackingRecord& tracking = serverThreadShowTracking;
  const ShowStatus& last = *tracking.status;
  // Nothing to read before the first show, nor once the application has gone.
  if (!tracking.on || last.show == 0) return tracking.status;
  if (last.state == ShowState::kNone && !tracking.askNow) return tracking.status;
  const bool due =
      !tracking.askedYet || nowMilliseconds - tracking.askedAt >= kAskIntervalMilliseconds;
  const bool mayAsk =
      tracking.askNow ||
      (due && (ShowOpen(last.state) || (forSnapshot && last.state == ShowState::kEnded)));
  ShowReading reading = ReadShow(mayAsk, tracking.details);
  if (mayAsk) {
    tracking.askNow = false;
    tracking.askedYet = true;
    tracking.askedAt = nowMilliseconds;
  }
  if (reading.detailsFollow) tracking.askNow = true;
  const bool pending = tracking.details && reading.detailsFollow;
  // An ended show, or a gone application, keeps the slide it was last seen on.
  const bool slideSeen = reading.slideCount > 0;
  const bool newDetails = slideSeen && tracking.details;
  if (newDetails) KeepNotesBounded(reading.details.notes);
  if (reading.state == last.state && pending == last.detailsPending &&
      (!slideSeen || (reading.slide == last.slide && reading.slideCount == last.slideCount)) &&
      (!newDetails || reading.details == last.details)) {
    return tracking.status;
  }
  ShowStatus next;
  next.show = last.show;
  next.fileName = last.fileName;
  next.state = reading.state;
  next.slide = slideSeen ? reading.slide : last.slide;
  next.slideCount = slideSeen ? reading.slideCount : last.slideCount;
  next.details = newDetails ? std::move(reading.details) : last.details;
  next.detailsPending = pending;
  tracking.status = std::make_shared<const ShowStatus>(std::move(next));
  return tracking.status;
}

uint64_t ShowStatusDueAt() {
  const ShowTrackingRecord& tracking = serverThreadShowTracking;
  if (!tracking.on || tracking.status->show == 0) return std::numeric_limits<uint64_t>::max();
  if (tracking.askNow) return 0;
  if (!ShowOpen(tracking.status->state)) return std::numeric_limits<uint64_t>::max();
  return tracking.askedAt + kAskIntervalMilliseconds;
}
