// Automation (COM on Windows): the server thread's apartment, and the object
// operations through which the presentation subsystem drives PowerPoint.
//   Windows: real COM, all calls on the server thread's apartment.
//   Linux: no COM; no ProgID resolves and no object is ever obtained.
#pragma once

#include <cstdint>
#include <string>

// CoInitialize(nullptr) / CoUninitialize on Windows; nothing elsewhere.
void InitialiseThreadAutomation();
void UninitialiseThreadAutomation();

// One counted reference to an automation object (an IUnknown on Windows);
// nullptr is the empty reference. Members are invoked only on references that
// are IDispatch: those from CreateAutomationObject, QueryDispatchInterface and
// object results.
struct AutomationObjectTag;
using AutomationObject = AutomationObjectTag*;

// A class identifier (CLSID), kept as its 16 bytes.
struct AutomationClassId {
  uint8_t bytes[16] = {};
};

// How a member is invoked (the DISPATCH_* flags).
enum class AutomationKind : uint16_t { kMethod = 1, kPropertyRead = 2, kPropertyWrite = 4 };

enum class AutomationValueType { kEmpty, kText, kNumber, kObject, kOther };

// An argument or a result. Text is single-byte text of the ANSI code page
// (passed as VT_BSTR); a number is passed as VT_R8. As a result, kObject is a
// non-null VT_DISPATCH whose one counted reference now belongs to the holder of
// the value; every other result type (VT_UNKNOWN too) reads as kOther, with
// nothing left to release.
struct AutomationValue {
  AutomationValueType type = AutomationValueType::kEmpty;
  std::string text;
  double number = 0;
  AutomationObject object = nullptr;
};

inline AutomationValue AutomationText(const std::string& text) {
  AutomationValue value;
  value.type = AutomationValueType::kText;
  value.text = text;
  return value;
}

inline AutomationValue AutomationNumber(double number) {
  AutomationValue value;
  value.type = AutomationValueType::kNumber;
  value.number = number;
  return value;
}

// CLSIDFromProgID; false when the ProgID is not registered.
bool ClassIdFromProgId(const std::string& progId, AutomationClassId* classId);

// ProgIDFromCLSID: the ProgID the class is registered under (whole); false on
// failure.
bool ProgIdFromClassId(const AutomationClassId& classId, std::string* progId);

// GetActiveObject: the running instance's object, or nullptr.
AutomationObject GetActiveAutomationObject(const AutomationClassId& classId);

// CoCreateInstance with no outer object, CLSCTX_INPROC_SERVER |
// CLSCTX_LOCAL_SERVER (5) and IID_IDispatch: a new instance, or nullptr.
AutomationObject CreateAutomationObject(const AutomationClassId& classId);

// QueryInterface for IID_IDispatch: a new reference, or nullptr.
AutomationObject QueryDispatchInterface(AutomationObject object);

// IDispatch::Invoke of member `dispId` with IID_NULL and LOCALE_SYSTEM_DEFAULT.
// `argument` is the one argument or nullptr for none; a property write passes
// it as the named DISPID_PROPERTYPUT argument. `result` is nullptr when no
// result is asked for; otherwise it receives the result (kEmpty on failure).
// Returns false for a negative HRESULT.
bool InvokeAutomationMember(AutomationObject object, int32_t dispId, AutomationKind kind,
                            const AutomationValue* argument, AutomationValue* result);

// IUnknown::Release; nothing for nullptr.
void ReleaseAutomationObject(AutomationObject object);
