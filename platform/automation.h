// Automation (COM on Windows): the server thread's apartment, and the object
// operations through which the presentation subsystem drives PowerPoint.
//   Windows: real COM. Every operation is carried out on an automation thread
//   of its own (a single-threaded apartment with a message loop and a message
//   filter), which holds every object; the calling thread waits for it at
//   most kAutomationCallBoundMilliseconds. A call that takes longer is given
//   up together with that thread and everything it holds: those objects are
//   never touched again (calls on them are kGone, their releases do
//   nothing), and the next operation that needs no object starts a new one.
//   Linux: no COM; no ProgID resolves and no object is ever obtained.
// Used by one thread at a time (the server thread).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// CoInitialize(nullptr) / CoUninitialize on Windows; nothing elsewhere. The
// end also ends the automation thread (waiting for it at most the bound).
void InitialiseThreadAutomation();
void UninitialiseThreadAutomation();

// The longest any one operation waits for the automation server.
constexpr uint32_t kAutomationCallBoundMilliseconds = 30000;

// How an operation ended.
enum class AutomationOutcome {
  kDone,      // it went through (a non-negative HRESULT)
  kFailed,    // it failed: no such member, no such object, a refused argument, ...
  kBusy,      // the server refused it for now (RPC_E_CALL_REJECTED,
              // RPC_E_SERVERCALL_RETRYLATER): the same call may go through later
  kGone,      // the server process is gone (RPC_E_DISCONNECTED,
              // RPC_S_SERVER_UNAVAILABLE, ...), or the object was given up
  kNoAnswer,  // no answer within the bound: the call and every object were given up
};

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

enum class AutomationValueType { kEmpty, kText, kUtf8Text, kNumber, kObject, kOther };

// An argument or a result. kText is single-byte text of the ANSI code page and
// kUtf8Text text in UTF-8, both passed as VT_BSTR; a number is passed as VT_R8.
// As a result, a VT_BSTR reads as kUtf8Text (every character kept), a number
// of any integer or floating type (PowerPoint gives its Long and enumerated
// properties as VT_I4) reads as kNumber, and kObject is a non-null VT_DISPATCH
// whose one counted reference now belongs to the holder of the value; every
// other result type (VT_UNKNOWN too) reads as kOther, with nothing left to
// release.
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

// The operations that reach the server give their object in `object`
// (nullptr unless kDone) and say how they ended.

// GetActiveObject: the running instance's object (kFailed when none runs).
AutomationOutcome GetActiveAutomationObject(const AutomationClassId& classId,
                                            AutomationObject* object);

// CoCreateInstance with no outer object, CLSCTX_INPROC_SERVER |
// CLSCTX_LOCAL_SERVER (5) and IID_IDispatch: a new instance.
AutomationOutcome CreateAutomationObject(const AutomationClassId& classId,
                                         AutomationObject* object);

// QueryInterface of `object` for IID_IDispatch: a new reference.
AutomationOutcome QueryDispatchInterface(AutomationObject object, AutomationObject* dispatch);

// IDispatch::Invoke of member `dispId` with IID_NULL and LOCALE_SYSTEM_DEFAULT.
// `arguments` are the `argumentCount` positional arguments, the first first
// (nullptr and 0 for none); a property write passes its last argument, the
// value, as the named DISPID_PROPERTYPUT argument. `result` is nullptr when no
// result is asked for; otherwise it receives the result (kEmpty unless kDone).
// kFailed for the empty reference.
AutomationOutcome InvokeAutomationMember(AutomationObject object, int32_t dispId,
                                         AutomationKind kind, const AutomationValue* arguments,
                                         size_t argumentCount, AutomationValue* result);

// The same with one argument, or none for nullptr.
inline AutomationOutcome InvokeAutomationMember(AutomationObject object, int32_t dispId,
                                                AutomationKind kind,
                                                const AutomationValue* argument,
                                                AutomationValue* result) {
  return InvokeAutomationMember(object, dispId, kind, argument, argument != nullptr ? 1 : 0,
                                result);
}

// IDispatch::GetIDsOfNames of the one name `name` with IID_NULL and
// LOCALE_SYSTEM_DEFAULT: the member's DISPID in `dispId`. kFailed for a name
// the object does not know (DISP_E_UNKNOWNNAME) and for the empty reference.
AutomationOutcome LookUpMemberId(AutomationObject object, const std::string& name, int32_t* dispId);

// IUnknown::Release (within the bound, its outcome not looked at); nothing for
// nullptr, and no call for an object that was given up.
void ReleaseAutomationObject(AutomationObject object);
