// The slide-show commands on PowerPoint, through its automation object model
// and the session of powerpoint_session.cpp.
#include "common/text_rules.h"
#include "platform/timing.h"
#include "presentation/automation_steps.h"
#include "presentation/powerpoint_session.h"
#include "presentation/powerpoint_slides.h"
#include "presentation/slide_show_back_end.h"

const char* const kShowStartingLine = "Starting Powerpoint...";
const char* const kShowStoppingLine = "stopping PowerPoint...";

namespace {

// The failure indicator of the OPEN in progress: clear when its own steps
// begin (the start of PowerPoint is a run of its own), kept across them.
AutomationRun serverThreadOpenRun;

// A run that lost PowerPoint (gone, or no answer) ends the session: NEXT and
// GOTO then reach nothing, and the next OPEN attaches afresh.
void EndRun(const AutomationRun& run) {
  if (run.lost) DropPowerPointSession();
}

// The show's states as PowerPoint's State reads and writes them
// (ppSlideShowRunning to ppSlideShowDone).
constexpr double kPowerPointRunning = 1;  // 2 is paused: its timings stopped at the PC
constexpr double kPowerPointBlack = 3;
constexpr double kPowerPointWhite = 4;
constexpr double kPowerPointDone = 5;

// What the last reading of the show's state found.
ShowReading serverThreadLastReading;

// Reads the number property `name` of the view, as a step of its own;
// `number` is 0 unless a number came back.
AutomationOutcome ReadViewNumber(const char* name, double* number) {
  PowerPointSessionRecord& session = PowerPointSession;
  AutomationValue result;
  AutomationOutcome outcome =
      InvokeMemberByName(MonotonicMilliseconds(), session.slideShowView, session.viewIds, name,
                         AutomationKind::kPropertyRead, nullptr, 0, &result);
  *number = result.type == AutomationValueType::kNumber ? result.number : 0;
  DiscardResult(result);
  return outcome;
}

}  // namespace

// PowerPoint keeps its settings itself.
void LoadShowSettings(const std::string&) {}

void AttachShowApplication() {
  StartPowerPoint();
  PowerPointSession.started = 1;
}

bool OpenShowFile(const std::string& fileName) {
  PowerPointSessionRecord& session = PowerPointSession;
  serverThreadOpenRun = AutomationRun();

  // The file name goes as it arrived: no quotes removed, no path completed.
  AutomationValue result;
  AutomationValue name = AutomationText(fileName);
  AutomationObject presentations =
      ReadIntermediate(serverThreadOpenRun, session.application, kDispIdPresentations);
  InvokeStep(serverThreadOpenRun, presentations, kDispIdOpen, AutomationKind::kMethod, &name,
             &result);
  ReleaseAutomationObject(presentations);
  if (result.type != AutomationValueType::kObject || serverThreadOpenRun.failed) {
    DiscardResult(result);
    EndRun(serverThreadOpenRun);
    return false;
  }
  StoreReference(serverThreadOpenRun, session.presentation, result);
  session.presentationIds.clear();
  EndRun(serverThreadOpenRun);
  return true;
}

const char* PrepareShow() {
  PowerPointSessionRecord& session = PowerPointSession;
  AutomationValue result;
  InvokeStep(serverThreadOpenRun, session.presentation, kDispIdSlideShowSettings,
             AutomationKind::kPropertyRead, nullptr, &result);
  if (result.type != AutomationValueType::kObject || serverThreadOpenRun.failed) {
    DiscardResult(result);
    EndRun(serverThreadOpenRun);
    return "Couldn't get slide show settings...?";
  }
  StoreReference(serverThreadOpenRun, session.slideShowSettings, result);
  EndRun(serverThreadOpenRun);
  return nullptr;
}

const char* RunShow() {
  PowerPointSessionRecord& session = PowerPointSession;
  AutomationValue result;
  InvokeStep(serverThreadOpenRun, session.slideShowSettings, kDispIdRun, AutomationKind::kMethod,
             nullptr, nullptr);

  // Not checked, but a failed read leaves its field empty: NEXT and GOTO then
  // reach nothing rather than the slide show of an earlier OPEN.
  InvokeStep(serverThreadOpenRun, session.presentation, kDispIdSlideShowWindow,
             AutomationKind::kPropertyRead, nullptr, &result);
  StoreReference(serverThreadOpenRun, session.slideShowWindow, result);
  InvokeStep(serverThreadOpenRun, session.slideShowWindow, kDispIdView,
             AutomationKind::kPropertyRead, nullptr, &result);
  StoreReference(serverThreadOpenRun, session.slideShowView, result);
  // A new view: its members are looked up anew, and so are its slide count
  // and the members below it.
  session.viewIds.clear();
  ReleaseReference(session.slides);
  session.slidesIds.clear();
  session.kindIds = PowerPointKindIds();
  ForgetSlideDetails();
  serverThreadLastReading = ShowReading();
  EndRun(serverThreadOpenRun);
  return nullptr;
}

void AdvanceShow() {
  AutomationRun run;
  InvokeStep(run, PowerPointSession.slideShowView, kDispIdNext, AutomationKind::kMethod, nullptr,
             nullptr);
  EndRun(run);
}

void GotoShowSlide(int32_t slideNumber) {
  AutomationRun run;
  AutomationValue number = AutomationNumber(static_cast<double>(slideNumber));
  InvokeStep(run, PowerPointSession.slideShowView, kDispIdGotoSlide, AutomationKind::kMethod,
             &number, nullptr);
  EndRun(run);
}

// The further words on the view: its methods Previous, First, Last and Exit,
// and its property State written with PowerPoint's state, as every property
// is written (VT_R8, one named argument DISPID_PROPERTYPUT).
void StepShow(ShowStep step) {
  struct StepCall {
    const char* member;
    AutomationKind kind;
    double state;  // the value written, for State
  };
  constexpr AutomationKind kMethod = AutomationKind::kMethod;
  constexpr AutomationKind kWrite = AutomationKind::kPropertyWrite;
  // In the order of ShowStep.
  constexpr StepCall kStepCalls[] = {
      {"Previous", kMethod, 0},
      {"First", kMethod, 0},
      {"Last", kMethod, 0},
      {"State", kWrite, kPowerPointBlack},
      {"State", kWrite, kPowerPointWhite},
      {"State", kWrite, kPowerPointRunning},
      {"Exit", kMethod, 0},
  };
  PowerPointSessionRecord& session = PowerPointSession;
  const StepCall& call = kStepCalls[static_cast<int>(step)];
  AutomationValue state = AutomationNumber(call.state);
  AutomationOutcome outcome = InvokeMemberByName(
      MonotonicMilliseconds(), session.slideShowView, session.viewIds, call.member, call.kind,
      call.kind == kWrite ? &state : nullptr, call.kind == kWrite ? 1 : 0, nullptr);
  if (LosesPowerPoint(outcome)) DropPowerPointSession();
}

// The view's State and CurrentShowPosition and the presentation's slide
// count, and with `details` the slide's details (powerpoint_slides.cpp). A
// view whose show has ended (Exit, Escape at the PC) fails its calls while
// PowerPoint still answers: that is the end of the show. A call that finds
// PowerPoint gone, or gets no answer, ends the session: no show.
ShowReading ReadShow(bool mayAsk, bool details) {
  PowerPointSessionRecord& session = PowerPointSession;
  if (session.slideShowView == nullptr) serverThreadLastReading = ShowReading();
  if (session.slideShowView == nullptr || !mayAsk) return serverThreadLastReading;

  double state = 0, slide = 0, count = 0;
  AutomationOutcome outcome = ReadViewNumber("State", &state);
  const bool viewFailed =
      outcome == AutomationOutcome::kFailed && session.viewIds["State"] != kUnknownMember;
  if (viewFailed || (outcome == AutomationOutcome::kDone && state == kPowerPointDone)) {
    return serverThreadLastReading = ShowReading{ShowState::kEnded, 0, 0, SlideDetails{}};
  }
  if (outcome == AutomationOutcome::kDone) outcome = ReadViewNumber("CurrentShowPosition", &slide);
  if (outcome == AutomationOutcome::kDone) outcome = ReadSlideCount(&count);
  const bool stateKnown = state >= kPowerPointRunning && state <= kPowerPointWhite;
  const bool known = slide >= 1 && count >= 1;
  SlideDetails read;
  if (outcome == AutomationOutcome::kDone && stateKnown && details && known) {
    outcome = ReadSlideDetails(Int32FromNumber(slide), Int32FromNumber(count), &read);
  }
  if (LosesPowerPoint(outcome)) {
    DropPowerPointSession();
    return serverThreadLastReading = ShowReading();
  }
  // Other failures (the details' too), and a state PowerPoint does not have,
  // keep the last reading.
  if (outcome != AutomationOutcome::kDone || !stateKnown) return serverThreadLastReading;
  // A paused show still shows its slide.
  serverThreadLastReading.state = state == kPowerPointBlack   ? ShowState::kBlack
                                  : state == kPowerPointWhite ? ShowState::kWhite
                                                              : ShowState::kRunning;
  serverThreadLastReading.slide = known ? Int32FromNumber(slide) : 0;
  serverThreadLastReading.slideCount = known ? Int32FromNumber(count) : 0;
  serverThreadLastReading.details = std::move(read);
  return serverThreadLastReading;
}

bool ShowSessionStarted() { return PowerPointSession.started != 0; }

void EndShowSession() { StopPowerPoint(); }
