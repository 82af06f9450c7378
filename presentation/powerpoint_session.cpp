#include "presentation/powerpoint_session.h"

#include "platform/notice.h"
#include "presentation/automation_steps.h"

PowerPointSessionRecord PowerPointSession;

namespace {

constexpr size_t kProgIdLimit = 39;  // characters of a registered ProgID that are kept

// The ProgID the class behind "Powerpoint.Application" is registered under;
// empty when either translation fails.
std::string RegisteredProgId() {
  AutomationClassId classId;
  std::string registered;
  if (!ClassIdFromProgId(kPowerPointProgId, &classId)) return std::string();
  if (!ProgIdFromClassId(classId, &registered)) return std::string();
  return registered.substr(0, kProgIdLimit);
}

// The running instance's IDispatch, or nullptr.
AutomationObject AttachToRunning(const std::string& progId) {
  AutomationClassId classId;
  if (!ClassIdFromProgId(progId, &classId)) return nullptr;
  AutomationObject running = GetActiveAutomationObject(classId);
  if (running == nullptr) return nullptr;
  AutomationObject dispatch = QueryDispatchInterface(running);
  ReleaseAutomationObject(running);
  return dispatch;
}

}  // namespace

void StartPowerPoint() {
  AutomationRun run;
  PowerPointSessionRecord& session = PowerPointSession;

  session.progId = RegisteredProgId();
  if (session.progId.empty()) session.progId = kPowerPointProgId;

  // Attach first: normally the instance attached before, or a fresh one when
  // the user has closed it meanwhile. Not finding one is what creating is for.
  ReleaseReference(session.application);
  session.application = AttachToRunning(session.progId);

  if (session.application == nullptr) {
    AutomationClassId classId;
    if (ClassIdFromProgId(session.progId, &classId)) {
      session.application = CreateAutomationObject(classId);
    }
    if (session.application == nullptr) run.failed = true;
  }

  if (session.application == nullptr || run.failed) {
    ShowNotice("", kPowerPointNoticeText, kNoticeSystemModal);
    return;
  }

  AutomationValue visible = AutomationNumber(1.0);
  InvokeStep(run, session.application, kDispIdVisible, AutomationKind::kPropertyWrite, &visible,
             nullptr);
}

void StopPowerPoint() {
  AutomationRun run;
  PowerPointSessionRecord& session = PowerPointSession;

  AutomationObject active = ReadIntermediate(run, session.application, kDispIdActivePresentation);
  InvokeStep(run, active, kDispIdNext, AutomationKind::kMethod, nullptr, nullptr);
  ReleaseAutomationObject(active);

  InvokeStep(run, session.application, kDispIdQuit, AutomationKind::kMethod, nullptr, nullptr);
  ReleaseReference(session.application);

  // The references of the last OPEN are not used after this.
  ReleaseReference(session.presentation);
  ReleaseReference(session.slideShowSettings);
  ReleaseReference(session.slideShowWindow);
  ReleaseReference(session.slideShowView);
}
