#include "presentation/powerpoint_session.h"

#include "platform/notice.h"
#include "platform/timing.h"
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

// Makes one call of StartPowerPoint that obtains an object, as a step of its
// own; an instance that did not answer marks the run as having lost it.
AutomationObject ObtainStep(AutomationRun& run,
                            const std::function<AutomationOutcome(AutomationObject*)>& call) {
  AutomationObject object = nullptr;
  AutomationOutcome outcome = CallWhileBusy(MonotonicMilliseconds(), [&] { return call(&object); });
  if (outcome == AutomationOutcome::kNoAnswer) run.lost = true;
  return object;
}

// The running instance's IDispatch, or nullptr. One that is gone leaves
// nothing to attach to; one that does not answer ends the run.
AutomationObject AttachToRunning(AutomationRun& run, const std::string& progId) {
  AutomationClassId classId;
  if (!ClassIdFromProgId(progId, &classId)) return nullptr;
  AutomationObject running = ObtainStep(
      run, [&](AutomationObject* object) { return GetActiveAutomationObject(classId, object); });
  if (running == nullptr) return nullptr;
  AutomationObject dispatch = ObtainStep(
      run, [&](AutomationObject* object) { return QueryDispatchInterface(running, object); });
  ReleaseAutomationObject(running);
  return dispatch;
}

}  // namespace

AutomationOutcome InvokeMemberByName(uint64_t stepStart, AutomationObject object, MemberIds& ids,
                                     const char* name, AutomationKind kind,
                                     const AutomationValue* arguments, size_t argumentCount,
                                     AutomationValue* result) {
  if (result != nullptr) *result = AutomationValue();
  if (object == nullptr) return AutomationOutcome::kFailed;
  auto known = ids.find(name);
  if (known == ids.end()) {
    int32_t dispId = kUnknownMember;
    AutomationOutcome outcome =
        CallWhileBusy(stepStart, [&] { return LookUpMemberId(object, name, &dispId); });
    if (outcome == AutomationOutcome::kFailed) {
      dispId = kUnknownMember;
    } else if (outcome != AutomationOutcome::kDone) {
      return outcome;  // asked again at the next use
    }
    known = ids.emplace(name, dispId).first;
  }
  if (known->second == kUnknownMember) return AutomationOutcome::kFailed;
  return CallWhileBusy(stepStart, [&] {
    return InvokeAutomationMember(object, known->second, kind, arguments, argumentCount, result);
  });
}

void StartPowerPoint() {
  AutomationRun run;
  PowerPointSessionRecord& session = PowerPointSession;

  session.progId = RegisteredProgId();
  if (session.progId.empty()) session.progId = kPowerPointProgId;

  // Attach first: normally the instance attached before, or a fresh one when
  // the user has closed it meanwhile. Not finding one is what creating is for.
  ReleaseReference(session.application);
  session.application = AttachToRunning(run, session.progId);

  if (session.application == nullptr && !run.lost) {
    AutomationClassId classId;
    if (ClassIdFromProgId(session.progId, &classId)) {
      session.application = ObtainStep(
          run, [&](AutomationObject* object) { return CreateAutomationObject(classId, object); });
    }
    if (session.application == nullptr) run.failed = true;
  }
  // A PowerPoint that did not answer is given up with everything it gave.
  if (run.lost) DropPowerPointSession();

  if (session.application == nullptr || run.failed) {
    ShowNotice("", kPowerPointNoticeText, kNoticeSystemModal);
    return;
  }

  AutomationValue visible = AutomationNumber(1.0);
  InvokeStep(run, session.application, kDispIdVisible, AutomationKind::kPropertyWrite, &visible,
             nullptr);
  if (run.lost) DropPowerPointSession();
}

void StopPowerPoint() {
  AutomationRun run;
  PowerPointSessionRecord& session = PowerPointSession;

  AutomationObject active = ReadIntermediate(run, session.application, kDispIdActivePresentation);
  InvokeStep(run, active, kDispIdNext, AutomationKind::kMethod, nullptr, nullptr);
  ReleaseAutomationObject(active);

  InvokeStep(run, session.application, kDispIdQuit, AutomationKind::kMethod, nullptr, nullptr);

  // The references of the last OPEN are not used after this either.
  DropPowerPointSession();
}

void DropPowerPointSession() {
  PowerPointSessionRecord& session = PowerPointSession;
  ReleaseReference(session.application);
  ReleaseReference(session.presentation);
  ReleaseReference(session.slideShowSettings);
  ReleaseReference(session.slideShowWindow);
  ReleaseReference(session.slideShowView);
  ReleaseReference(session.slides);
  session.presentationIds.clear();
  session.viewIds.clear();
  session.slidesIds.clear();
  session.kindIds = PowerPointKindIds();
}
