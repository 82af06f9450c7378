#include "presentation/powerpoint_slides.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <string>

#include "common/text_rules.h"
#include "platform/files.h"
#include "platform/timing.h"
#include "presentation/automation_steps.h"
#include "presentation/powerpoint_session.h"
#include "presentation/slide_images.h"
#include "presentation/slide_show_back_end.h"

namespace {

constexpr double kMsoTrue = -1;
constexpr double kPlaceholderBody = 2;  // ppPlaceholderBody
// A notes page has a handful of placeholders; more are not looked at.
constexpr int kPlaceholdersAtMost = 64;

// An object result, released when it goes out of scope.
struct Releaser {
  void operator()(AutomationObject object) const { ReleaseAutomationObject(object); }
};
using HeldObject = std::unique_ptr<AutomationObjectTag, Releaser>;

// The calls of one reading or export: one step of the busy rule in all, and
// no further call once one was refused past its bound or lost PowerPoint.
struct Reading {
  uint64_t stepStart = MonotonicMilliseconds();
  AutomationOutcome stop = AutomationOutcome::kDone;
};

AutomationOutcome Ask(Reading& reading, AutomationObject object, MemberIds& ids, const char* name,
                      AutomationKind kind, const AutomationValue* arguments, size_t argumentCount,
                      AutomationValue* result) {
  if (result != nullptr) *result = AutomationValue();
  if (reading.stop != AutomationOutcome::kDone) return reading.stop;
  AutomationOutcome outcome = InvokeMemberByName(reading.stepStart, object, ids, name, kind,
                                                 arguments, argumentCount, result);
  if (outcome == AutomationOutcome::kBusy || LosesPowerPoint(outcome)) reading.stop = outcome;
  return outcome;
}

// The object that the property `name` gives, or the method `name` with one
// argument `index` (from 1) when that is not 0; nullptr when none came back.
HeldObject ReadObject(Reading& reading, AutomationObject object, MemberIds& ids, const char* name,
                      int32_t index = 0) {
  AutomationValue argument = AutomationNumber(index);
  AutomationValue result;
  if (index == 0) {
    Ask(reading, object, ids, name, AutomationKind::kPropertyRead, nullptr, 0, &result);
  } else {
    Ask(reading, object, ids, name, AutomationKind::kMethod, &argument, 1, &result);
  }
  if (result.type == AutomationValueType::kObject) return HeldObject(result.object);
  DiscardResult(result);
  return nullptr;
}

// The number that the property (or method) `name` gives; false when none came back.
bool ReadNumber(Reading& reading, AutomationObject object, MemberIds& ids, const char* name,
                double* number, AutomationKind kind = AutomationKind::kPropertyRead) {
  AutomationValue result;
  Ask(reading, object, ids, name, kind, nullptr, 0, &result);
  const bool given = result.type == AutomationValueType::kNumber;
  *number = given ? result.number : 0;
  DiscardResult(result);
  return given;
}

// The text of a shape's text frame, PowerPoint's paragraph separator (CR) and
// line break (VT) each as "\n"; empty when it has none (a picture).
std::string TextOf(Reading& reading, AutomationObject shape) {
  PowerPointKindIds& ids = PowerPointSession.kindIds;
  HeldObject frame = ReadObject(reading, shape, ids.shape, "TextFrame");
  HeldObject range = ReadObject(reading, frame.get(), ids.textFrame, "TextRange");
  AutomationValue result;
  Ask(reading, range.get(), ids.textRange, "Text", AutomationKind::kPropertyRead, nullptr, 0,
      &result);
  std::string text = result.type == AutomationValueType::kUtf8Text ? result.text : std::string();
  DiscardResult(result);
  std::replace(text.begin(), text.end(), '\r', '\n');
  std::replace(text.begin(), text.end(), '\v', '\n');
  return text;
}

// The text of the slide's title placeholder; empty when it has none.
std::string TitleOf(Reading& reading, AutomationObject slide) {
  PowerPointKindIds& ids = PowerPointSession.kindIds;
  HeldObject shapes = ReadObject(reading, slide, ids.slide, "Shapes");
  double hasTitle = 0;
  if (!ReadNumber(reading, shapes.get(), ids.shapes, "HasTitle", &hasTitle) ||
      hasTitle != kMsoTrue) {
    return std::string();
  }
  HeldObject title = ReadObject(reading, shapes.get(), ids.shapes, "Title");
  return TextOf(reading, title.get());
}

// The text of the body placeholder of the slide's notes page; empty when it
// has none.
std::string NotesOf(Reading& reading, AutomationObject slide) {
  PowerPointKindIds& ids = PowerPointSession.kindIds;
  HeldObject page = ReadObject(reading, slide, ids.slide, "NotesPage");
  HeldObject shapes = ReadObject(reading, page.get(), ids.notesPage, "Shapes");
  HeldObject placeholders = ReadObject(reading, shapes.get(), ids.shapes, "Placeholders");
  double count = 0;
  ReadNumber(reading, placeholders.get(), ids.placeholders, "Count", &count);
  const int32_t last = std::min(Int32FromNumber(count), kPlaceholdersAtMost);
  for (int32_t index = 1; index <= last && reading.stop == AutomationOutcome::kDone; ++index) {
    HeldObject shape = ReadObject(reading, placeholders.get(), ids.placeholders, "Item", index);
    HeldObject format = ReadObject(reading, shape.get(), ids.shape, "PlaceholderFormat");
    double type = 0;
    if (ReadNumber(reading, format.get(), ids.placeholderFormat, "Type", &type) &&
        type == kPlaceholderBody) {
      return TextOf(reading, shape.get());
    }
  }
  return std::string();
}

// Slide `index` of the presentation (Slides.Item).
HeldObject SlideAt(Reading& reading, int32_t index) {
  PowerPointSessionRecord& session = PowerPointSession;
  return ReadObject(reading, session.slides, session.slidesIds, "Item", index);
}

// Whether the show leaves the slide out (SlideShowTransition.Hidden is msoTrue).
bool Hidden(Reading& reading, AutomationObject slide) {
  PowerPointKindIds& ids = PowerPointSession.kindIds;
  HeldObject transition = ReadObject(reading, slide, ids.slide, "SlideShowTransition");
  double hidden = 0;
  return ReadNumber(reading, transition.get(), ids.transition, "Hidden", &hidden) &&
         hidden == kMsoTrue;
}

// A click count or index of the view; kNoClicks when PowerPoint does not tell
// it (or tells a number beyond the range).
constexpr int32_t kNoClicks = INT32_MIN;
int32_t ReadClicks(Reading& reading, const char* name) {
  PowerPointSessionRecord& session = PowerPointSession;
  double clicks = 0;
  if (!ReadNumber(reading, session.slideShowView, session.viewIds, name, &clicks,
                  AutomationKind::kMethod)) {
    return kNoClicks;
  }
  return Int32FromNumber(clicks);
}

// The slide's own details last read, and for which slide of how many.
struct KeptDetails {
  int32_t slide = 0;
  int32_t slideCount = 0;
  SlideDetails details;
};
KeptDetails serverThreadKeptDetails;

// The slide the view shows: its title and notes, and the next slide after it
// in the document that the show does not leave out.
void ReadOwnDetails(Reading& reading, int32_t slideCount, SlideDetails* details) {
  PowerPointSessionRecord& session = PowerPointSession;
  details->buildCount = std::max(ReadClicks(reading, "GetClickCount"), -1);
  HeldObject shown = ReadObject(reading, session.slideShowView, session.viewIds, "Slide");
  double index = 0;
  ReadNumber(reading, shown.get(), session.kindIds.slide, "SlideIndex", &index);
  const int32_t current = Int32FromNumber(index);
  details->title = TitleOf(reading, shown.get());
  details->notes = NotesOf(reading, shown.get());
  shown.reset();
  for (int32_t next = current + 1;
       current >= 1 && next <= slideCount && reading.stop == AutomationOutcome::kDone; ++next) {
    HeldObject candidate = SlideAt(reading, next);
    if (Hidden(reading, candidate.get())) continue;
    details->nextSlide = next;
    details->nextTitle = TitleOf(reading, candidate.get());
    break;
  }
}

// PowerPoint's click index as the build position: its two states after all
// clicks (msoClickStateAfterAllAnimations, -2) and before the automatic
// animations (msoClickStateBeforeAutomaticAnimations, -1) as `count` and 0.
int32_t BuildPosition(int32_t clickIndex, int32_t count) {
  if (clickIndex == -2) return count;
  if (clickIndex == -1) return 0;
  return clickIndex >= 0 ? clickIndex : -1;
}

}  // namespace

AutomationOutcome ReadSlideCount(double* count) {
  PowerPointSessionRecord& session = PowerPointSession;
  *count = 0;
  if (session.slides == nullptr) {
    AutomationValue result;
    AutomationOutcome outcome =
        InvokeMemberByName(MonotonicMilliseconds(), session.presentation, session.presentationIds,
                           "Slides", AutomationKind::kPropertyRead, nullptr, 0, &result);
    if (result.type != AutomationValueType::kObject) {
      DiscardResult(result);
      return outcome == AutomationOutcome::kDone ? AutomationOutcome::kFailed : outcome;
    }
    session.slides = result.object;
  }
  AutomationValue result;
  AutomationOutcome outcome =
      InvokeMemberByName(MonotonicMilliseconds(), session.slides, session.slidesIds, "Count",
                         AutomationKind::kPropertyRead, nullptr, 0, &result);
  *count = result.type == AutomationValueType::kNumber ? result.number : 0;
  DiscardResult(result);
  return outcome;
}

void ForgetSlideDetails() { serverThreadKeptDetails = KeptDetails(); }

AutomationOutcome ReadSlideDetails(int32_t slide, int32_t slideCount, SlideDetails* details) {
  Reading reading;
  const int32_t clickIndex = ReadClicks(reading, "GetClickIndex");
  if (slide != serverThreadKeptDetails.slide || slideCount != serverThreadKeptDetails.slideCount) {
    SlideDetails own;
    ReadOwnDetails(reading, slideCount, &own);
    // A reading cut short is made again next time.
    if (reading.stop != AutomationOutcome::kDone) return reading.stop;
    serverThreadKeptDetails = KeptDetails{slide, slideCount, std::move(own)};
  }
  if (reading.stop != AutomationOutcome::kDone) return reading.stop;
  *details = serverThreadKeptDetails.details;
  details->buildPosition = BuildPosition(clickIndex, serverThreadKeptDetails.details.buildCount);
  return AutomationOutcome::kDone;
}

// Slide.Export(FileName, "PNG", ScaleWidth, ScaleHeight) of the kept
// presentation; the height from PageSetup's SlideWidth and SlideHeight.
// Nothing is asked of the view: the show goes on as it was. PowerPoint
// writes the picture only to a file by its name (its object model has no
// export into memory): a new, empty file of the program's own in the user's
// temporary folder, made just before the call (so that no other file is
// written over), read and removed as soon as the call returns, whatever it
// returned (slide_images.h).
SlideExport ExportShowSlide(int32_t slide, int32_t width, std::string* png) {
  PowerPointSessionRecord& session = PowerPointSession;
  png->clear();
  if (session.slideShowView == nullptr) return SlideExport::kNoShow;
  double count = 0;
  AutomationOutcome outcome = ReadSlideCount(&count);
  Reading reading;
  if (outcome == AutomationOutcome::kDone && slide >= 1 && slide <= count) {
    HeldObject setup =
        ReadObject(reading, session.presentation, session.presentationIds, "PageSetup");
    double slideWidth = 0, slideHeight = 0;
    ReadNumber(reading, setup.get(), session.kindIds.pageSetup, "SlideWidth", &slideWidth);
    ReadNumber(reading, setup.get(), session.kindIds.pageSetup, "SlideHeight", &slideHeight);
    HeldObject target = slideWidth > 0 && slideHeight > 0 ? SlideAt(reading, slide) : HeldObject();
    const std::string path = target != nullptr ? MakeTemporaryFile(".png") : std::string();
    if (!path.empty()) {
      const double height = std::max(1.0, std::round(width * slideHeight / slideWidth));
      const AutomationValue arguments[] = {AutomationText(path), AutomationText("PNG"),
                                           AutomationNumber(width), AutomationNumber(height)};
      bool exported =
          Ask(reading, target.get(), session.kindIds.slide, "Export", AutomationKind::kMethod,
              arguments, 4, nullptr) == AutomationOutcome::kDone;
      exported = exported && ReadWholeFile(path, kSlideImageBytesAtMost, png) && !png->empty();
      RemoveFile(path);
      if (exported) return SlideExport::kDone;
    }
    outcome = reading.stop;
  }
  png->clear();
  if (LosesPowerPoint(outcome)) {
    DropPowerPointSession();
    return SlideExport::kNoShow;
  }
  if (outcome == AutomationOutcome::kDone && (slide < 1 || slide > count)) {
    return SlideExport::kNoSlide;
  }
  return SlideExport::kFailed;
}
