// Linux has no COM: the server thread needs no apartment, no ProgID resolves
// and no automation object is ever obtained, so every invocation fails.
#include "platform/automation.h"

void InitialiseThreadAutomation() {}
void UninitialiseThreadAutomation() {}

bool ClassIdFromProgId(const std::string&, AutomationClassId*) { return false; }

bool ProgIdFromClassId(const AutomationClassId&, std::string*) { return false; }

AutomationObject GetActiveAutomationObject(const AutomationClassId&) { return nullptr; }

AutomationObject CreateAutomationObject(const AutomationClassId&) { return nullptr; }

AutomationObject QueryDispatchInterface(AutomationObject) { return nullptr; }

bool InvokeAutomationMember(AutomationObject, int32_t, AutomationKind, const AutomationValue*,
                            AutomationValue* result) {
  if (result != nullptr) *result = AutomationValue();
  return false;
}

void ReleaseAutomationObject(AutomationObject) {}
