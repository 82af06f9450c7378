// A recording stand-in for the automation operations, the notice, the main
// window's minimising and the status log: every call becomes one line of
// FakeAutomation.events, in order, and the answers come from a script.
//
// Event lines:
//   CLSIDFromProgID <progId>      ProgIDFromCLSID      GetActiveObject
//   CoCreateInstance              QueryInterface <object>
//   Invoke <object> <dispId> <method|read|write>[ <argument>...][ result]
//   Names <object> <name>
//   Release <object>              Log <line>           Minimise
//   Notice caption=<caption> style=<hex> text=<text>
// Objects are named by kind and a serial number: app1, presentations1, ...
// An argument is BSTR:<text> (UTF8:<text> for UTF-8) or R8:<number>. The fake also keeps the clock
// (MonotonicMilliseconds), which only its SleepMilliseconds moves on.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "platform/automation.h"

struct FakeAnswer {
  bool fails = false;                                      // a negative HRESULT
  AutomationOutcome failure = AutomationOutcome::kFailed;  // what it means, when it fails
  int busyTries = 0;                                       // first refused as busy this many times
  std::string objectKind;   // an object result of this kind, when not empty
  bool textResult = false;  // a VT_BSTR result, `text`, instead
  std::string text = "not an object";
  bool unknownResult = false;  // a VT_UNKNOWN result (not usable as an object)
  bool numberResult = false;   // a number result, `number`
  double number = 0;
  // When not empty: written, as the application's export would, to the file
  // that the first argument names.
  std::string writesFile;
};

struct FakeObject {
  std::string name;
  std::string kind;
  int references = 0;
  bool heldByRunningTable = false;  // one of its references belongs to the running-object table
};

struct FakeAutomationState {
  std::vector<std::string> events;
  std::vector<std::string> faults;  // use after release, double release

  std::set<std::string> resolvableProgIds{"Powerpoint.Application", "PowerPoint.Application.16"};
  bool progIdLookupFails = false;
  std::string registeredProgId = "PowerPoint.Application.16";
  bool createFails = false;
  bool createdRegistersAsRunning = true;  // a created instance is found by GetActiveObject later
  std::set<std::string> queryFailsFor;    // object kinds whose QueryInterface fails
  AutomationObject running = nullptr;     // what GetActiveObject finds

  // (object kind, DISPID, kind) -> answer; unlisted members fail.
  std::map<std::tuple<std::string, int32_t, AutomationKind>, FakeAnswer> script;
  // (object kind, name) -> DISPID for GetIDsOfNames; unlisted names are unknown.
  std::map<std::pair<std::string, std::string>, int32_t> memberIds;

  std::map<uintptr_t, FakeObject> objects;
  std::map<std::string, int> serials;
  uint64_t clock = 0;  // milliseconds
};

// The answers, by name.
inline FakeAnswer Succeeds() { return FakeAnswer(); }
inline FakeAnswer Fails() {
  FakeAnswer answer;
  answer.fails = true;
  return answer;
}
inline FakeAnswer GivesObject(const std::string& kind) {
  FakeAnswer answer;
  answer.objectKind = kind;
  return answer;
}
inline FakeAnswer GivesText(const std::string& text = "not an object") {
  FakeAnswer answer;
  answer.textResult = true;
  answer.text = text;
  return answer;
}
inline FakeAnswer GivesUnknown() {
  FakeAnswer answer;
  answer.unknownResult = true;
  return answer;
}
inline FakeAnswer GivesNumber(double number) {
  FakeAnswer answer;
  answer.numberResult = true;
  answer.number = number;
  return answer;
}
inline FakeAnswer FailsWith(AutomationOutcome failure) {
  FakeAnswer answer = Fails();
  answer.failure = failure;
  return answer;
}
// `answer`, after `tries` refusals as busy.
inline FakeAnswer BusyFirst(int tries, FakeAnswer answer) {
  answer.busyTries = tries;
  return answer;
}

extern FakeAutomationState FakeAutomation;

// A cooperative PowerPoint, nothing running yet, no events.
void ResetFakeAutomation();

// Back to the cooperative answers, objects and events untouched.
void ScriptCooperativePowerPoint();

// Starts a running instance (kind "app") that GetActiveObject finds.
void StartFakeRunningInstance();

// Sets the answer of one member.
void ScriptMember(const std::string& objectKind, int32_t dispId, AutomationKind kind,
                  FakeAnswer answer);

// The name of an object handle ("" for nullptr).
std::string FakeObjectName(AutomationObject object);

// Objects whose references are not all given back: "name=count" for each
// object that holds more than its running-table reference.
std::vector<std::string> FakeObjectsStillReferenced();
