#include "presentation/automation_steps.h"

#include "platform/automation_retry.h"
#include "platform/timing.h"

namespace {

// Sets the run's indicators from a step's outcome; true when it went through.
bool NoteOutcome(AutomationRun& run, AutomationOutcome outcome) {
  if (outcome == AutomationOutcome::kDone) return true;
  run.failed = true;
  if (LosesPowerPoint(outcome)) run.lost = true;
  return false;
}

}  // namespace

AutomationOutcome CallWhileBusy(uint64_t stepStart,
                                const std::function<AutomationOutcome()>& call) {
  for (;;) {
    AutomationOutcome outcome = call();
    if (outcome != AutomationOutcome::kBusy) return outcome;
    int32_t delay = BusyRetryDelay(MonotonicMilliseconds() - stepStart);
    if (delay < 0) return outcome;
    SleepMilliseconds(static_cast<uint32_t>(delay));
  }
}

bool InvokeStep(AutomationRun& run, AutomationObject object, int32_t dispId, AutomationKind kind,
                const AutomationValue* argument, AutomationValue* result) {
  if (result != nullptr) *result = AutomationValue();
  if (object == nullptr || run.lost) {
    run.failed = true;
    return false;
  }
  AutomationOutcome outcome = CallWhileBusy(MonotonicMilliseconds(), [&] {
    return InvokeAutomationMember(object, dispId, kind, argument, result);
  });
  return NoteOutcome(run, outcome);
}

AutomationObject ReadIntermediate(AutomationRun& run, AutomationObject object, int32_t dispId) {
  AutomationValue result;
  if (object == nullptr || run.lost) {
    run.failed = true;
    return nullptr;
  }
  uint64_t stepStart = MonotonicMilliseconds();
  auto read = [&](AutomationKind kind) {
    return CallWhileBusy(
        stepStart, [&] { return InvokeAutomationMember(object, dispId, kind, nullptr, &result); });
  };
  // Some servers offer the member as a method only: one more try as a method.
  AutomationOutcome outcome = read(AutomationKind::kPropertyRead);
  if (outcome != AutomationOutcome::kDone && !LosesPowerPoint(outcome)) {
    outcome = read(AutomationKind::kMethod);
  }
  if (!NoteOutcome(run, outcome)) return nullptr;
  if (result.type != AutomationValueType::kObject) {
    DiscardResult(result);
    run.failed = true;
    return nullptr;
  }
  return result.object;
}

void ReleaseReference(AutomationObject& field) {
  AutomationObject held = field;
  field = nullptr;
  ReleaseAutomationObject(held);
}

void StoreReference(AutomationRun& run, AutomationObject& field, AutomationValue& result) {
  ReleaseReference(field);
  if (result.type == AutomationValueType::kObject) {
    AutomationOutcome outcome = CallWhileBusy(
        MonotonicMilliseconds(), [&] { return QueryDispatchInterface(result.object, &field); });
    NoteOutcome(run, outcome);
  }
  DiscardResult(result);
}

void DiscardResult(AutomationValue& result) {
  if (result.type == AutomationValueType::kObject) ReleaseAutomationObject(result.object);
  result = AutomationValue();
}
