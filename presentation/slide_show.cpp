#include "presentation/slide_show.h"

#include "common/status_log.h"
#include "common/text_rules.h"
#include "platform/main_window.h"
#include "presentation/automation_steps.h"
#include "presentation/powerpoint_session.h"

namespace {

void OpenPresentation(const std::string& fileName) {
  AutomationRun run;
  PowerPointSessionRecord& session = PowerPointSession;

  AddLogLine("Starting Powerpoint...");
  StartPowerPoint();  // a run of its own: its failures are not this command's
  session.started = 1;

  // The file name goes as it arrived: no quotes removed, no path completed.
  AutomationValue result;
  AutomationValue name = AutomationText(fileName);
  AutomationObject presentations = ReadIntermediate(run, session.application, kDispIdPresentations);
  InvokeStep(run, presentations, kDispIdOpen, AutomationKind::kMethod, &name, &result);
  ReleaseAutomationObject(presentations);
  if (result.type != AutomationValueType::kObject || run.failed) {
    DiscardResult(result);
    AddLogLine("Couldn't open presentation");
    return;
  }
  StoreReference(run, session.presentation, result);

  InvokeStep(run, session.presentation, kDispIdSlideShowSettings, AutomationKind::kPropertyRead,
             nullptr, &result);
  if (result.type != AutomationValueType::kObject || run.failed) {
    DiscardResult(result);
    AddLogLine("Couldn't get slide show settings...?");
    return;
  }
  StoreReference(run, session.slideShowSettings, result);

  MinimiseMainWindow();
  InvokeStep(run, session.slideShowSettings, kDispIdRun, AutomationKind::kMethod, nullptr, nullptr);

  // Not checked, but a failed read leaves its field empty: NEXT and GOTO then
  // reach nothing rather than the slide show of an earlier OPEN.
  InvokeStep(run, session.presentation, kDispIdSlideShowWindow, AutomationKind::kPropertyRead,
             nullptr, &result);
  StoreReference(run, session.slideShowWindow, result);
  InvokeStep(run, session.slideShowWindow, kDispIdView, AutomationKind::kPropertyRead, nullptr,
             &result);
  StoreReference(run, session.slideShowView, result);
}

void NextSlide() {
  AutomationRun run;
  InvokeStep(run, PowerPointSession.slideShowView, kDispIdNext, AutomationKind::kMethod, nullptr,
             nullptr);
}

void GotoSlide(const std::string& argument) {
  AutomationRun run;
  int32_t slide = Int32FromNumber(NumberFromText(argument));
  if (slide <= 0) return;
  AutomationValue number = AutomationNumber(static_cast<double>(slide));
  InvokeStep(run, PowerPointSession.slideShowView, kDispIdGotoSlide, AutomationKind::kMethod,
             &number, nullptr);
}

}  // namespace

void HandleSlideShowCommand(const std::string& commandWord, const std::string& argument) {
  std::string word = FoldUpper(commandWord);
  if (word == "OPEN") {
    OpenPresentation(argument);
  } else if (word == "NEXT") {
    NextSlide();
  } else if (word == "GOTO") {
    GotoSlide(argument);
  }
}
