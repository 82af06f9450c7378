// The slide-show commands on PowerPoint, through its automation object model
// and the session of powerpoint_session.cpp.
#include "presentation/automation_steps.h"
#include "presentation/powerpoint_session.h"
#include "presentation/slide_show_back_end.h"

const char* const kShowStartingLine = "Starting Powerpoint...";
const char* const kShowStoppingLine = "stopping PowerPoint...";

namespace {

// The failure indicator of the OPEN in progress: clear when its own steps
// begin (the start of PowerPoint is a run of its own), kept across them.
AutomationRun openRun;

// A run that lost PowerPoint (gone, or no answer) ends the session: NEXT and
// GOTO then reach nothing, and the next OPEN attaches afresh.
void EndRun(const AutomationRun& run) {
  if (run.lost) DropPowerPointSession();
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
  openRun = AutomationRun();

  // The file name goes as it arrived: no quotes removed, no path completed.
  AutomationValue result;
  AutomationValue name = AutomationText(fileName);
  AutomationObject presentations =
      ReadIntermediate(openRun, session.application, kDispIdPresentations);
  InvokeStep(openRun, presentations, kDispIdOpen, AutomationKind::kMethod, &name, &result);
  ReleaseAutomationObject(presentations);
  if (result.type != AutomationValueType::kObject || openRun.failed) {
    DiscardResult(result);
    EndRun(openRun);
    return false;
  }
  StoreReference(openRun, session.presentation, result);
  EndRun(openRun);
  return true;
}

const char* PrepareShow() {
  PowerPointSessionRecord& session = PowerPointSession;
  AutomationValue result;
  InvokeStep(openRun, session.presentation, kDispIdSlideShowSettings, AutomationKind::kPropertyRead,
             nullptr, &result);
  if (result.type != AutomationValueType::kObject || openRun.failed) {
    DiscardResult(result);
    EndRun(openRun);
    return "Couldn't get slide show settings...?";
  }
  StoreReference(openRun, session.slideShowSettings, result);
  EndRun(openRun);
  return nullptr;
}

const char* RunShow() {
  PowerPointSessionRecord& session = PowerPointSession;
  AutomationValue result;
  InvokeStep(openRun, session.slideShowSettings, kDispIdRun, AutomationKind::kMethod, nullptr,
             nullptr);

  // Not checked, but a failed read leaves its field empty: NEXT and GOTO then
  // reach nothing rather than the slide show of an earlier OPEN.
  InvokeStep(openRun, session.presentation, kDispIdSlideShowWindow, AutomationKind::kPropertyRead,
             nullptr, &result);
  StoreReference(openRun, session.slideShowWindow, result);
  InvokeStep(openRun, session.slideShowWindow, kDispIdView, AutomationKind::kPropertyRead, nullptr,
             &result);
  StoreReference(openRun, session.slideShowView, result);
  EndRun(openRun);
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

// PREV, FIRST, LAST, BLACK, WHITE, RESUME and END, and the show's state, are
// not carried to PowerPoint yet: the steps make no call, and the show reads as
// none.
void StepShow(ShowStep) {}

ShowReading ReadShow(bool) { return ShowReading{}; }

bool ShowSessionStarted() { return PowerPointSession.started != 0; }

void EndShowSession() { StopPowerPoint(); }
