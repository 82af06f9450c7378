// Linux has no COM: the server thread needs no apartment, no ProgID resolves
// and no automation object is ever obtained, so every invocation fails.
#include "platform/automation.h"

void InitialiseThreadAutomation() {}
void UninitialiseThreadAutomation() {}

bool ClassIdFromProgId(const std::string&, AutomationClassId*) { return false; }

bool ProgIdFromClassId(const AutomationClassId&, std::string*) { return false; }

AutomationOutcome GetActiveAutomationObject(const AutomationClassId&, AutomationObject* object) {
  *object = nullptr;
  return AutomationOutcome::kFailed;
}

AutomationOutcome CreateAutomationObject(const AutomationClassId&, AutomationObject* object) {
  *object = nullptr;
  return AutomationOutcome::kFailed;
}

AutomationOutcome QueryDispatchInterface(AutomationObject, AutomationObject* dispatch) {
  *dispatch = nullptr;
  return AutomationOutcome::kFailed;
}

AutomationOutcome InvokeAutomationMember(AutomationObject, int32_t, AutomationKind,
                                         const AutomationValue*, size_t, AutomationValue* result) {
  if (result != nullptr) *result = AutomationValue();
  return AutomationOutcome::kFailed;
}

AutomationOutcome LookUpMemberId(AutomationObject, const std::string&, int32_t* dispId) {
  *dispId = 0;
  return AutomationOutcome::kFailed;
}

void ReleaseAutomationObject(AutomationObject) {}
