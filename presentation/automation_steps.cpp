#include "presentation/automation_steps.h"

bool InvokeStep(AutomationRun& run, AutomationObject object, int32_t dispId, AutomationKind kind,
                const AutomationValue* argument, AutomationValue* result) {
  if (result != nullptr) *result = AutomationValue();
  if (object == nullptr || !InvokeAutomationMember(object, dispId, kind, argument, result)) {
    run.failed = true;
    return false;
  }
  return true;
}

AutomationObject ReadIntermediate(AutomationRun& run, AutomationObject object, int32_t dispId) {
  AutomationValue result;
  if (object == nullptr) {
    run.failed = true;
    return nullptr;
  }
  // Some servers offer the member as a method only: one more try as a method.
  if (!InvokeAutomationMember(object, dispId, AutomationKind::kPropertyRead, nullptr, &result) &&
      !InvokeAutomationMember(object, dispId, AutomationKind::kMethod, nullptr, &result)) {
    run.failed = true;
    return nullptr;
  }
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
    field = QueryDispatchInterface(result.object);
    if (field == nullptr) run.failed = true;
  }
  DiscardResult(result);
}

void DiscardResult(AutomationValue& result) {
  if (result.type == AutomationValueType::kObject) ReleaseAutomationObject(result.object);
  result = AutomationValue();
}
