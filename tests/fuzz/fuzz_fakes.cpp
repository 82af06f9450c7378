#include "tests/fuzz/fuzz_fakes.h"

#include <cstdio>
#include <cstdlib>
#include <map>

#include "platform/automation.h"
#include "platform/display.h"
#include "platform/files.h"
#include "platform/main_window.h"
#include "platform/notice.h"
#include "platform/process.h"
#include "platform/process_words.h"
#include "platform/profile.h"
#include "platform/profile_reader.h"
#include "platform/serial.h"
#include "platform/sockets.h"
#include "platform/timing.h"

FuzzRecordState FuzzRecord;
std::string FuzzProfileText;
bool FuzzProfileExists = true;

void FuzzCheckFailed(const char* condition, const char* file, int line, const char* message) {
  std::fprintf(stderr, "\n*** fuzz check failed at %s:%d: %s%s%s\n", file, line, condition,
               message ? " -- " : "", message ? message : "");
  std::abort();
}

void ResetFuzzRecord() { FuzzRecord = FuzzRecordState(); }

// platform/display.h: the status log's keep limit and the shape of each append.

void DisplayStatus(const std::string& logText, const std::string& addedLine, uint64_t) {
  size_t carriageReturns = 0;
  for (char c : logText) carriageReturns += c == '\r';
  FUZZ_CHECK_MSG(carriageReturns <= 9, "the status log keeps more than ten lines");
  // The log ends with CR and the new line, or is what is left of them after the
  // oldest rows were cut off (a line with ten CRs of its own).
  std::string added = "\r" + addedLine;
  if (logText.size() >= added.size()) {
    FUZZ_CHECK(logText.compare(logText.size() - added.size(), added.size(), added) == 0);
  } else {
    FUZZ_CHECK(added.compare(added.size() - logText.size(), logText.size(), logText) == 0);
  }
  FuzzRecord.logLines.push_back(addedLine);
  FuzzRecord.shownLogText = logText;
}

// platform/notice.h: counts as dismissed at once.

void ShowNotice(const std::string& caption, const std::string& text, unsigned style) {
  FuzzRecord.notices.push_back(caption + "|" + text + "|" + std::to_string(style));
}

// platform/process.h: nothing is ever started.

ProgramStart StartProgram(const std::string& commandLine) {
  FUZZ_CHECK_MSG(commandLine.size() <= 256, "RUN passes more than 256 characters");
  FuzzRecord.programs.push_back(commandLine);
  std::vector<std::string> words = SplitCommandLineWords(commandLine);
  if (words.empty()) return ProgramStart{false, 2};
  size_t total = 0;
  for (const std::string& word : words) total += word.size();
  FUZZ_CHECK(total <= commandLine.size());
  unsigned sum = 0;
  for (char c : commandLine) sum += static_cast<unsigned char>(c);
  unsigned code = sum % 128;
  if (code % 4 == 0) return ProgramStart{true, 0};
  return ProgramStart{false, code % 4 == 1 ? 0u : code};
}

// platform/timing.h: waits are recorded, never slept.

void SleepMilliseconds(uint32_t milliseconds) {
  FUZZ_CHECK_MSG(milliseconds <= 4294967294u, "a wait that never ends");
  FuzzRecord.waits.push_back(milliseconds);
}

TimeOfDay LocalTimeOfDay() { return TimeOfDay{12, 34, 56}; }
uint64_t MonotonicMilliseconds() { return 0; }

// platform/desktop.h

const std::vector<FuzzWindow>& FuzzWindows() {
  static const std::vector<FuzzWindow> windows = {
      {0x11, "Calculator", false, false, true},        // hidden
      {0x12, "Calculator - child", true, true, true},  // has a parent
      {0x13, "Calculator", true, false, false},        // disabled
      {0x14, "Report - a.txt", true, false, true},
      {0x15, "Calculator", true, false, true},
      {0x16, "", true, false, true},                             // no title
      {0x17, "\x84pfel und \x94l - Editor", true, false, true},  // code page 437 letters
      {0x18, std::string(300, 'L') + " long", true, false, true},
      {0x19, "Untitled - Notepad", true, false, true},
  };
  return windows;
}

namespace {

const FuzzWindow& FindWindow(WindowId window) {
  for (const FuzzWindow& candidate : FuzzWindows()) {
    if (candidate.id == window) return candidate;
  }
  FuzzCheckFailed("known window", __FILE__, __LINE__, "a window id the desktop never gave");
}

}  // namespace

void EnumerateTopLevelWindows(bool (*visit)(WindowId window, void* context), void* context) {
  for (const FuzzWindow& window : FuzzWindows()) {
    if (!visit(window.id, context)) return;
  }
}

bool WindowIsVisible(WindowId window) { return FindWindow(window).visible; }
bool WindowHasParent(WindowId window) { return FindWindow(window).hasParent; }
bool WindowIsEnabled(WindowId window) { return FindWindow(window).enabled; }
std::string ReadWindowTitle(WindowId window) { return FindWindow(window).title.substr(0, 259); }
// Every activation succeeds, and the window stays in front.
bool ActivateWindow(WindowId window) {
  FindWindow(window);
  FuzzRecord.foreground.push_back(window);
  return true;
}
bool ForegroundBelongsTo(WindowId window) {
  return !FuzzRecord.foreground.empty() && FuzzRecord.foreground.back() == window;
}

// platform/keyboard.h

namespace {
constexpr KeyboardLayout kFuzzLayout = 0x04070407;
}  // namespace

bool FuzzCharacterKey(unsigned char c, CharKey* key) {
  if (c % 23 == 22) return false;  // a character the layout cannot type
  if (c >= 'a' && c <= 'z') {
    *key = CharKey{static_cast<uint8_t>(c - 'a' + 'A'), 0};
  } else if (c >= 'A' && c <= 'Z') {
    *key = CharKey{c, 1};
  } else {
    // Every shift state, bits above bit 2 included.
    *key = CharKey{static_cast<uint8_t>(c ^ 0x5A), static_cast<uint8_t>(c * 37)};
  }
  return true;
}

uint16_t FuzzScanCode(uint8_t virtualKey) { return static_cast<uint16_t>(0x100 + virtualKey); }

KeyboardLayout CurrentKeyboardLayout() {
  ++FuzzRecord.layoutFetches;
  return kFuzzLayout;
}

bool MapCharacterToKey(KeyboardLayout layout, unsigned char c, CharKey* key) {
  FUZZ_CHECK(layout == kFuzzLayout);
  return FuzzCharacterKey(c, key);
}

uint16_t ScanCodeOfKey(uint8_t virtualKey) { return FuzzScanCode(virtualKey); }

void InjectKeyEvents(const std::vector<KeyEvent>& events) {
  FUZZ_CHECK_MSG(!events.empty() && events.size() <= 8, "a unit injects 1 to 8 events");
  for (const KeyEvent& event : events) FUZZ_CHECK(event.scanCode == FuzzScanCode(event.virtualKey));
  FuzzRecord.injections.push_back(events);
}

// platform/main_window.h

int RunMainWindow() {
  FuzzCheckFailed("RunMainWindow", __FILE__, __LINE__, "no front end in a fuzz target");
}
void RequestMainWindowClose() {
  FuzzCheckFailed("RequestMainWindowClose", __FILE__, __LINE__, "a command closed the program");
}
void MinimiseMainWindow() { ++FuzzRecord.minimised; }
void SoundFailureBeep() {}

// platform/profile.h: the real reader over FuzzProfileText.

std::string CurrentDirectory() { return kFuzzWorkingDirectory; }
const char* PathSeparator() { return "/"; }
bool OrdinaryFileExists(const std::string&) { return FuzzProfileExists; }

std::string ProfileReadString(const std::string& section, const std::string& key,
                              const std::string& defaultText, const std::string& path) {
  FUZZ_CHECK(section.size() <= 259 && key.size() <= 259 && defaultText.size() <= 259 &&
             path.size() <= 259);
  FuzzRecord.profileReads.push_back(section + "|" + key);
  std::string value = ProfileValueFromText(FuzzProfileExists ? FuzzProfileText : std::string(),
                                           section, key, defaultText);
  FUZZ_CHECK_MSG(value.size() <= kProfileValueBufferSize - 1, "a key value longer than 1999");
  FuzzRecord.profileValues.push_back(value);
  return value;
}

// platform/files.h: one folder, kFuzzShowsFolder, with nothing in it; no
// file has a time and none can be made.

int64_t FileModificationTime(const std::string&) { return 0; }
std::string MakeTemporaryFile(const std::string&) { return std::string(); }
bool ReadWholeFile(const std::string&, size_t, std::string*) { return false; }
void RemoveFile(const std::string&) {}
bool FolderExists(const std::string& path) { return path == kFuzzShowsFolder; }
std::vector<std::string> FilesInFolder(const std::string&) { return {}; }

std::vector<std::string> ProfileReadSection(const std::string& section, const std::string& path) {
  FUZZ_CHECK(section.size() <= 259 && path.size() <= 259);
  return ProfileSectionFromText(FuzzProfileExists ? FuzzProfileText : std::string(), section);
}

// platform/serial.h: one device that takes everything.

namespace {
constexpr SerialDevice kFuzzSerialDevice = 5;
}  // namespace

bool OpenSerialDevice(const std::string&, SerialDevice* device) {
  *device = kFuzzSerialDevice;
  return true;
}
bool SetSerialBaudRate(SerialDevice, int32_t) { return true; }
bool SetSerialDataBits(SerialDevice, int32_t) { return true; }
bool SetSerialParity(SerialDevice, int32_t) { return true; }
bool SetSerialStopBits(SerialDevice, int32_t) { return true; }
bool SetSerialTransmitQueue(SerialDevice, uint32_t) { return true; }
bool SetSerialReceiveQueue(SerialDevice, uint32_t) { return true; }
bool SwitchSerialCtsFlowOff(SerialDevice) { return true; }
bool DisableSerialRts(SerialDevice) { return true; }
bool SwitchSerialXonXoffInputOff(SerialDevice) { return true; }
bool SwitchSerialXonXoffOutputOff(SerialDevice) { return true; }
bool WriteSerialDevice(SerialDevice device, const std::string& bytes) {
  FUZZ_CHECK(device == kFuzzSerialDevice);
  FuzzRecord.serialWrites.push_back(bytes);
  return true;
}
void CloseSerialDevice(SerialDevice device) { FUZZ_CHECK(device == kFuzzSerialDevice); }

// platform/automation.h: a cooperative PowerPoint.

namespace {

struct FakeObject {
  std::string kind;
  int references = 0;
  bool runningTable = false;  // one reference belongs to the running-object table
};

std::map<uintptr_t, FakeObject> objects;
uintptr_t nextHandle = 0x1000;
AutomationObject runningInstance = nullptr;

AutomationObject NewObject(const std::string& kind) {
  uintptr_t handle = nextHandle;
  nextHandle += 0x10;
  objects[handle] = FakeObject{kind, 1, false};
  return reinterpret_cast<AutomationObject>(handle);
}

FakeObject& Live(AutomationObject object) {
  auto found = objects.find(reinterpret_cast<uintptr_t>(object));
  FUZZ_CHECK_MSG(found != objects.end(), "an automation object that was never handed out");
  FUZZ_CHECK_MSG(found->second.references > 0, "an automation object used after its release");
  return found->second;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

void ResetFuzzAutomation() {
  objects.clear();
  runningInstance = nullptr;
}

void FuzzAutomationCheckAllReleased() {
  for (const auto& [handle, object] : objects) {
    FUZZ_CHECK_MSG(object.references == (object.runningTable ? 1 : 0),
                   ("automation reference kept: " + object.kind).c_str());
  }
}

void InitialiseThreadAutomation() {}
void UninitialiseThreadAutomation() {}

bool ClassIdFromProgId(const std::string& progId, AutomationClassId* classId) {
  if (progId != "Powerpoint.Application" && progId != "PowerPoint.Application.16") return false;
  *classId = AutomationClassId();
  classId->bytes[0] = 0x91;
  return true;
}

bool ProgIdFromClassId(const AutomationClassId& classId, std::string* progId) {
  FUZZ_CHECK(classId.bytes[0] == 0x91);
  *progId = "PowerPoint.Application.16";
  return true;
}

AutomationOutcome GetActiveAutomationObject(const AutomationClassId&, AutomationObject* object) {
  *object = runningInstance;
  if (runningInstance == nullptr) return AutomationOutcome::kFailed;
  Live(runningInstance).references++;
  return AutomationOutcome::kDone;
}

AutomationOutcome CreateAutomationObject(const AutomationClassId&, AutomationObject* object) {
  AutomationObject created = NewObject("app");
  if (runningInstance == nullptr) {
    FakeObject& found = Live(created);
    found.references++;
    found.runningTable = true;
    runningInstance = created;
  }
  *object = created;
  return AutomationOutcome::kDone;
}

AutomationOutcome QueryDispatchInterface(AutomationObject object, AutomationObject* dispatch) {
  Live(object).references++;
  *dispatch = object;
  return AutomationOutcome::kDone;
}

namespace {

bool AnswerInvoke(AutomationObject object, int32_t dispId, AutomationKind kind,
                  const AutomationValue* argument, AutomationValue* result) {
  FakeObject& target = Live(object);
  const std::string objectKind = target.kind;
  FuzzRecord.automation.push_back("Invoke " + objectKind + " " + std::to_string(dispId) + " " +
                                  std::to_string(static_cast<int>(kind)));
  auto gives = [&](const char* resultKind) {
    if (result != nullptr) {
      result->type = AutomationValueType::kObject;
      result->object = NewObject(resultKind);
    }
    return true;
  };
  using K = AutomationKind;
  if (objectKind == "app") {
    if (dispId == 2030 && kind == K::kPropertyWrite) return true;
    if (dispId == 2001 && kind == K::kPropertyRead) return gives("presentations");
    if (dispId == 2004 && kind == K::kPropertyRead) return gives("active");
    if (dispId == 2021 && kind == K::kMethod) {  // Quit: the instance leaves the running table
      if (object == runningInstance) {
        target.references--;
        target.runningTable = false;
        runningInstance = nullptr;
      }
      return true;
    }
  } else if (objectKind == "presentations" && dispId == 2005 && kind == K::kMethod) {
    FUZZ_CHECK(argument != nullptr && argument->type == AutomationValueType::kText);
    const std::string& name = argument->text;
    if (EndsWith(name, ".ppt") || EndsWith(name, ".pptx")) return gives("presentation");
    if (EndsWith(name, ".pps")) {
      if (result != nullptr) result->type = AutomationValueType::kUtf8Text;
      return true;
    }
    return false;
  } else if (objectKind == "presentation") {
    if (dispId == 2015 && kind == K::kPropertyRead) return gives("settings");
    if (dispId == 2047 && kind == K::kPropertyRead) return gives("window");
  } else if (objectKind == "settings") {
    if (dispId == 2008 && kind == K::kMethod) return true;
  } else if (objectKind == "window") {
    if (dispId == 2003 && kind == K::kPropertyRead) return gives("view");
  } else if (objectKind == "view") {
    if (dispId >= 901 && dispId <= 904 && kind == K::kMethod) return true;  // Previous to Exit
    if (dispId == 905 && kind == K::kPropertyWrite) return true;            // State
    if (dispId == 2019 && kind == K::kMethod) return true;
    if (dispId == 2021 && kind == K::kMethod) {
      FUZZ_CHECK(argument != nullptr && argument->type == AutomationValueType::kNumber);
      FUZZ_CHECK_MSG(argument->number >= 1 && argument->number <= 2147483647.0,
                     "GotoSlide with a slide number below 1");
      return true;
    }
  } else if (objectKind == "active") {
    if (dispId == 2019 && kind == K::kMethod) return true;
  }
  return false;
}

}  // namespace

AutomationOutcome InvokeAutomationMember(AutomationObject object, int32_t dispId,
                                         AutomationKind kind, const AutomationValue* arguments,
                                         size_t argumentCount, AutomationValue* result) {
  if (result != nullptr) *result = AutomationValue();
  FUZZ_CHECK(argumentCount <= 1);
  return AnswerInvoke(object, dispId, kind, argumentCount == 1 ? arguments : nullptr, result)
             ? AutomationOutcome::kDone
             : AutomationOutcome::kFailed;
}

AutomationOutcome LookUpMemberId(AutomationObject object, const std::string& name,
                                 int32_t* dispId) {
  static const std::map<std::string, int32_t> kViewMembers = {
      {"Previous", 901}, {"First", 902}, {"Last", 903}, {"Exit", 904}, {"State", 905}};
  const std::string& kind = Live(object).kind;
  auto found = kViewMembers.find(name);
  *dispId = found != kViewMembers.end() && kind == "view" ? found->second : 0;
  return *dispId != 0 ? AutomationOutcome::kDone : AutomationOutcome::kFailed;
}

void ReleaseAutomationObject(AutomationObject object) {
  if (object == nullptr) return;
  Live(object).references--;
}

// Sockets: the arrival and the state channels link them; nothing here opens
// or sends anything.
uint32_t LookUpLocalAddress() { return 0; }
SocketHandle OpenDatagramSocket(int) { return kNoSocket; }
SocketHandle OpenDatagramSocketOn(uint32_t, int) { return kNoSocket; }
void ReportRefusals(SocketHandle) {}
bool SendDatagramFrom(SocketHandle, uint32_t, uint16_t, const std::string&) { return false; }
uint64_t ArrivalClockNow() { return 0; }
