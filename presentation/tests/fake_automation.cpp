#include "presentation/tests/fake_automation.h"

#include <cstdio>
#include <fstream>

#include "common/status_log.h"
#include "platform/main_window.h"
#include "platform/notice.h"
#include "platform/timing.h"

FakeAutomationState FakeAutomation;

namespace {

uintptr_t nextHandle = 0x1000;

AutomationObject NewObject(const std::string& kind) {
  uintptr_t handle = nextHandle;
  nextHandle += 0x10;
  FakeObject object;
  object.kind = kind;
  object.name = kind + std::to_string(++FakeAutomation.serials[kind]);
  object.references = 1;
  FakeAutomation.objects[handle] = object;
  return reinterpret_cast<AutomationObject>(handle);
}

FakeObject* Find(AutomationObject object) {
  auto found = FakeAutomation.objects.find(reinterpret_cast<uintptr_t>(object));
  return found == FakeAutomation.objects.end() ? nullptr : &found->second;
}

// The object, or nullptr with a fault recorded when it has no reference left.
FakeObject* Live(AutomationObject object, const char* use) {
  FakeObject* found = Find(object);
  if (found == nullptr || found->references <= 0) {
    FakeAutomation.faults.push_back(std::string(use) + " of a released or unknown object " +
                                    (found ? found->name : std::string("?")));
    return nullptr;
  }
  return found;
}

std::string DescribeArgument(const AutomationValue& value) {
  switch (value.type) {
    case AutomationValueType::kText:
      return "BSTR:" + value.text;
    case AutomationValueType::kUtf8Text:
      return "UTF8:" + value.text;
    case AutomationValueType::kNumber: {
      char text[64];
      std::snprintf(text, sizeof text, "R8:%.17g", value.number);
      return text;
    }
    case AutomationValueType::kObject:
      return "DISPATCH:" + FakeObjectName(value.object);
    case AutomationValueType::kEmpty:
      return "EMPTY";
    case AutomationValueType::kOther:
      return "OTHER";
  }
  return "?";
}

const char* KindText(AutomationKind kind) {
  switch (kind) {
    case AutomationKind::kMethod:
      return "method";
    case AutomationKind::kPropertyRead:
      return "read";
    case AutomationKind::kPropertyWrite:
      return "write";
  }
  return "?";
}

}  // namespace

void ResetFakeAutomation() {
  FakeAutomation = FakeAutomationState();
  ScriptCooperativePowerPoint();
}

void ScriptCooperativePowerPoint() {
  FakeAutomation.script.clear();
  using K = AutomationKind;
  ScriptMember("app", 2030, K::kPropertyWrite, Succeeds());
  ScriptMember("app", 2001, K::kPropertyRead, GivesObject("presentations"));
  ScriptMember("presentations", 2005, K::kMethod, GivesObject("presentation"));
  ScriptMember("presentation", 2015, K::kPropertyRead, GivesObject("settings"));
  ScriptMember("settings", 2008, K::kMethod, Succeeds());
  ScriptMember("presentation", 2047, K::kPropertyRead, GivesObject("window"));
  ScriptMember("window", 2003, K::kPropertyRead, GivesObject("view"));
  ScriptMember("view", 2019, K::kMethod, Succeeds());
  ScriptMember("view", 2021, K::kMethod, Succeeds());
  ScriptMember("app", 2004, K::kPropertyRead, GivesObject("active"));
  ScriptMember("active", 2019, K::kMethod, Succeeds());
  ScriptMember("app", 2021, K::kMethod, Succeeds());
  // The members the show's state looks up by name, with numbers of the fake's
  // own: a show on slide 2 of 5.
  FakeAutomation.memberIds = {{{"view", "State"}, 905},
                              {{"view", "CurrentShowPosition"}, 906},
                              {{"presentation", "Slides"}, 907},
                              {{"slides", "Count"}, 908}};
  ScriptMember("view", 905, K::kPropertyRead, GivesNumber(1));
  ScriptMember("view", 906, K::kPropertyRead, GivesNumber(2));
  ScriptMember("presentation", 907, K::kPropertyRead, GivesObject("slides"));
  ScriptMember("slides", 908, K::kPropertyRead, GivesNumber(5));
}

void StartFakeRunningInstance() {
  FakeAutomation.running = NewObject("app");
  Find(FakeAutomation.running)->heldByRunningTable = true;
}

void ScriptMember(const std::string& objectKind, int32_t dispId, AutomationKind kind,
                  FakeAnswer answer) {
  FakeAutomation.script[{objectKind, dispId, kind}] = answer;
}

std::string FakeObjectName(AutomationObject object) {
  if (object == nullptr) return "";
  FakeObject* found = Find(object);
  return found ? found->name : "?";
}

std::vector<std::string> FakeObjectsStillReferenced() {
  std::vector<std::string> held;
  for (const auto& [handle, object] : FakeAutomation.objects) {
    int own = object.heldByRunningTable ? 1 : 0;
    if (object.references != own) {
      held.push_back(object.name + "=" + std::to_string(object.references - own));
    }
  }
  return held;
}

// The automation operations.

bool ClassIdFromProgId(const std::string& progId, AutomationClassId* classId) {
  FakeAutomation.events.push_back("CLSIDFromProgID " + progId);
  if (FakeAutomation.resolvableProgIds.count(progId) == 0) return false;
  *classId = AutomationClassId();
  classId->bytes[0] = 0x91;
  return true;
}

bool ProgIdFromClassId(const AutomationClassId& classId, std::string* progId) {
  FakeAutomation.events.push_back("ProgIDFromCLSID");
  if (classId.bytes[0] != 0x91) FakeAutomation.faults.push_back("ProgIDFromCLSID of a stray id");
  if (FakeAutomation.progIdLookupFails) return false;
  *progId = FakeAutomation.registeredProgId;
  return true;
}

AutomationOutcome GetActiveAutomationObject(const AutomationClassId&, AutomationObject* object) {
  FakeAutomation.events.push_back("GetActiveObject");
  *object = FakeAutomation.running;
  if (*object == nullptr) return AutomationOutcome::kFailed;
  Find(*object)->references++;
  return AutomationOutcome::kDone;
}

AutomationOutcome CreateAutomationObject(const AutomationClassId&, AutomationObject* object) {
  FakeAutomation.events.push_back("CoCreateInstance");
  *object = nullptr;
  if (FakeAutomation.createFails) return AutomationOutcome::kFailed;
  AutomationObject created = NewObject("app");
  if (FakeAutomation.createdRegistersAsRunning && FakeAutomation.running == nullptr) {
    FakeObject* found = Find(created);
    found->references++;
    found->heldByRunningTable = true;
    FakeAutomation.running = created;
  }
  *object = created;
  return AutomationOutcome::kDone;
}

AutomationOutcome QueryDispatchInterface(AutomationObject object, AutomationObject* dispatch) {
  FakeAutomation.events.push_back("QueryInterface " + FakeObjectName(object));
  *dispatch = nullptr;
  FakeObject* found = Live(object, "QueryInterface");
  if (found == nullptr || FakeAutomation.queryFailsFor.count(found->kind) != 0) {
    return AutomationOutcome::kFailed;
  }
  found->references++;
  *dispatch = object;
  return AutomationOutcome::kDone;
}

AutomationOutcome InvokeAutomationMember(AutomationObject object, int32_t dispId,
                                         AutomationKind kind, const AutomationValue* arguments,
                                         size_t argumentCount, AutomationValue* result) {
  std::string event =
      "Invoke " + FakeObjectName(object) + " " + std::to_string(dispId) + " " + KindText(kind);
  for (size_t i = 0; i < argumentCount; ++i) event += " " + DescribeArgument(arguments[i]);
  if (result != nullptr) event += " result";
  FakeAutomation.events.push_back(event);
  if (result != nullptr) *result = AutomationValue();

  FakeObject* found = Live(object, "Invoke");
  if (found == nullptr) return AutomationOutcome::kFailed;
  auto answer = FakeAutomation.script.find({found->kind, dispId, kind});
  if (answer == FakeAutomation.script.end()) return AutomationOutcome::kFailed;
  if (answer->second.busyTries > 0) {
    answer->second.busyTries--;
    return AutomationOutcome::kBusy;
  }
  if (answer->second.fails) {
    if (answer->second.failure == AutomationOutcome::kNoAnswer) {
      FakeAutomation.clock += kAutomationCallBoundMilliseconds;
    }
    return answer->second.failure;
  }
  if (!answer->second.writesFile.empty() && argumentCount > 0) {
    std::ofstream(arguments[0].text, std::ios::binary) << answer->second.writesFile;
  }
  if (result == nullptr) return AutomationOutcome::kDone;
  if (!answer->second.objectKind.empty()) {
    result->type = AutomationValueType::kObject;
    result->object = NewObject(answer->second.objectKind);
  } else if (answer->second.textResult) {
    result->type = AutomationValueType::kUtf8Text;
    result->text = answer->second.text;
  } else if (answer->second.unknownResult) {
    result->type = AutomationValueType::kOther;
  } else if (answer->second.numberResult) {
    *result = AutomationNumber(answer->second.number);
  }
  return AutomationOutcome::kDone;
}

AutomationOutcome LookUpMemberId(AutomationObject object, const std::string& name,
                                 int32_t* dispId) {
  FakeAutomation.events.push_back("Names " + FakeObjectName(object) + " " + name);
  *dispId = 0;
  FakeObject* found = Live(object, "GetIDsOfNames");
  if (found == nullptr) return AutomationOutcome::kFailed;
  auto id = FakeAutomation.memberIds.find({found->kind, name});
  if (id == FakeAutomation.memberIds.end()) return AutomationOutcome::kFailed;
  *dispId = id->second;
  return AutomationOutcome::kDone;
}

void ReleaseAutomationObject(AutomationObject object) {
  if (object == nullptr) return;
  FakeAutomation.events.push_back("Release " + FakeObjectName(object));
  FakeObject* found = Live(object, "Release");
  if (found != nullptr) found->references--;
}

// The notice, the main window and the status log.

void ShowNotice(const std::string& caption, const std::string& text, unsigned style) {
  char styleText[16];
  std::snprintf(styleText, sizeof styleText, "0x%X", style);
  FakeAutomation.events.push_back("Notice caption=" + caption + " style=" + styleText +
                                  " text=" + text);
}

void MinimiseMainWindow() { FakeAutomation.events.push_back("Minimise"); }

void SleepMilliseconds(uint32_t milliseconds) { FakeAutomation.clock += milliseconds; }
uint64_t MonotonicMilliseconds() { return FakeAutomation.clock; }

void AddLogLine(const std::string& line) { FakeAutomation.events.push_back("Log " + line); }
