#include "presentation/slide_show.h"

#include <limits>

#include "common/status_log.h"
#include "common/text_rules.h"
#include "common/utf8_text.h"
#include "platform/main_window.h"
#include "presentation/show_status.h"
#include "presentation/slide_images.h"
#include "presentation/slide_show_back_end.h"

namespace {

// The rate at which an application that cannot tell of changes itself is
// asked about its show.
constexpr uint64_t kAskIntervalMilliseconds = 250;

// The show's state as the feedback follows it; used on the server thread only.
struct ShowTrackingRecord {
  bool on = false;
  bool details = false;
  ShowStatus status;
  bool askNow = false;  // an OPEN's show just came up: ask at the next refresh
  bool askedYet = false;
  uint64_t askedAt = 0;
};

ShowTrackingRecord ShowTracking;

// The OPENs whose show ran, for the slide pictures (which the web remote asks
// for whether or not the status is followed).
uint32_t showsOpened = 0;

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
  if (ShowTracking.on) {
    ShowStatus& status = ShowTracking.status;
    status =
        ShowStatus{status.show + 1, fileName, ShowState::kRunning, 0, 0, SlideDetails{}, false};
    ShowTracking.askNow = true;
  }
  ChangeSlideImageSource(++showsOpened, fileName);
}

void GotoSlide(const std::string& argument) {
  int32_t slide = Int32FromNumber(NumberFromText(argument));
  if (slide <= 0) return;
  GotoShowSlide(slide);
}

struct StepWord {
  const char* word;
  ShowStep step;
};
constexpr StepWord kStepWords[] = {
    {"PREV", ShowStep::kPrevious}, {"FIRST", ShowStep::kFirst}, {"LAST", ShowStep::kLast},
    {"BLACK", ShowStep::kBlack},   {"WHITE", ShowStep::kWhite}, {"RESUME", ShowStep::kResume},
    {"END", ShowStep::kEnd},
};

}  // namespace

void HandleSlideShowCommand(const std::string& commandWord, const std::string& argument) {
  std::string word = FoldUpper(commandWord);
  if (word == "OPEN") {
    OpenPresentation(argument);
    return;
  }
  if (word == "NEXT") {
    AdvanceShow();
  } else if (word == "GOTO") {
    GotoSlide(argument);
  } else {
    for (const StepWord& step : kStepWords) {
      if (word == step.word) StepShow(step.step);
    }
  }
  // A show that reads as ended may have been brought back from its end
  // screen by the step: ask at the next refresh.
  if (ShowTracking.on && ShowTracking.status.state == ShowState::kEnded) ShowTracking.askNow = true;
}

const char* ShowStateWord(ShowState state) {
  switch (state) {
    case ShowState::kRunning:
      return "RUNNING";
    case ShowState::kBlack:
      return "BLACK";
    case ShowState::kWhite:
      return "WHITE";
    case ShowState::kEnded:
      return "ENDED";
    case ShowState::kNone:
      break;
  }
  return "NONE";
}

void TrackShowStatus(bool on) { ShowTracking.on = on; }

void TrackShowDetails(bool on) { ShowTracking.details = on; }

ShowStatus RefreshShowStatus(uint64_t nowMilliseconds, bool forSnapshot) {
  ShowTrackingRecord& tracking = ShowTracking;
  ShowStatus& status = tracking.status;
  // Nothing to read before the first show, nor once the application has gone.
  if (!tracking.on || status.show == 0) return status;
  if (status.state == ShowState::kNone && !tracking.askNow) return status;
  const bool due =
      !tracking.askedYet || nowMilliseconds - tracking.askedAt >= kAskIntervalMilliseconds;
  const bool mayAsk =
      tracking.askNow ||
      (due && (ShowOpen(status.state) || (forSnapshot && status.state == ShowState::kEnded)));
  ShowReading reading = ReadShow(mayAsk, tracking.details);
  if (mayAsk) {
    tracking.askNow = false;
    tracking.askedYet = true;
    tracking.askedAt = nowMilliseconds;
  }
  if (reading.detailsFollow) tracking.askNow = true;
  status.detailsPending = tracking.details && reading.detailsFollow;
  status.state = reading.state;
  // An ended show, or a gone application, keeps the slide it was last seen on.
  if (reading.slideCount > 0) {
    status.slide = reading.slide;
    status.slideCount = reading.slideCount;
    if (tracking.details) {
      status.details = std::move(reading.details);
      KeepNotesBounded(status.details.notes);
    }
  }
  return status;
}

uint64_t ShowStatusDueAt() {
  const ShowTrackingRecord& tracking = ShowTracking;
  if (!tracking.on || tracking.status.show == 0) return std::numeric_limits<uint64_t>::max();
  if (tracking.askNow) return 0;
  if (!ShowOpen(tracking.status.state)) return std::numeric_limits<uint64_t>::max();
  return tracking.askedAt + kAskIntervalMilliseconds;
}
