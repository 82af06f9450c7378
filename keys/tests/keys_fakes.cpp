#include "keys/tests/keys_fakes.h"

#include <cstdio>
#include <map>

#include "platform/timing.h"

namespace {

std::vector<std::string> recordedActions;
int layoutFetches = 0;
std::vector<KeyboardLayout> layoutsAsked;
std::vector<std::vector<KeyEvent>> injections;
std::map<unsigned char, CharKey> characterKeys;
std::vector<FakeWindow> fakeWindows;
std::vector<WindowId> visitedWindows;
WindowId foreground = 0;
uint32_t foregroundMoveWait = 0;
WindowId foregroundMoveTo = 0;

void FillUsEnglishKeys() {
  characterKeys.clear();
  for (char c = 'a'; c <= 'z'; ++c) {
    characterKeys[static_cast<unsigned char>(c)] = CharKey{static_cast<uint8_t>(c - 'a' + 'A'), 0};
    characterKeys[static_cast<unsigned char>(c - 'a' + 'A')] =
        CharKey{static_cast<uint8_t>(c - 'a' + 'A'), 1};
  }
  for (char c = '0'; c <= '9'; ++c) {
    characterKeys[static_cast<unsigned char>(c)] = CharKey{static_cast<uint8_t>(c), 0};
  }
  characterKeys[' '] = CharKey{0x20, 0};
  characterKeys['!'] = CharKey{'1', 1};
  characterKeys[','] = CharKey{0xBC, 0};
  characterKeys['\r'] = CharKey{0x0D, 0};
  characterKeys['\t'] = CharKey{0x09, 0};
}

const FakeWindow* FindFakeWindow(WindowId window) {
  for (const FakeWindow& fake : fakeWindows) {
    if (fake.id == window) return &fake;
  }
  return nullptr;
}

}  // namespace

std::vector<std::string> TakeRecordedActions() {
  std::vector<std::string> actions;
  actions.swap(recordedActions);
  return actions;
}

int LayoutFetchCount() { return layoutFetches; }
std::vector<KeyboardLayout> LayoutsAskedFor() { return layoutsAsked; }
std::vector<std::vector<KeyEvent>> InjectionCalls() { return injections; }
uint16_t FakeScanCode(uint8_t virtualKey) { return static_cast<uint16_t>(0x1000 + virtualKey); }
void SetCharacterKey(unsigned char c, CharKey key) { characterKeys[c] = key; }
void RemoveCharacterKey(unsigned char c) { characterKeys.erase(c); }

void SetFakeWindows(const std::vector<FakeWindow>& windows) { fakeWindows = windows; }
std::vector<WindowId> VisitedWindows() { return visitedWindows; }
void MoveForegroundAtWait(uint32_t milliseconds, WindowId window) {
  foregroundMoveWait = milliseconds;
  foregroundMoveTo = window;
}

void ResetKeysFakes() {
  recordedActions.clear();
  layoutFetches = 0;
  layoutsAsked.clear();
  injections.clear();
  FillUsEnglishKeys();
  fakeWindows.clear();
  visitedWindows.clear();
  foreground = 0;
  foregroundMoveWait = 0;
  foregroundMoveTo = 0;
}

// platform/keyboard.h

KeyboardLayout CurrentKeyboardLayout() {
  ++layoutFetches;
  return kFakeLayout;
}

bool MapCharacterToKey(KeyboardLayout layout, unsigned char c, CharKey* key) {
  layoutsAsked.push_back(layout);
  auto found = characterKeys.find(c);
  if (found == characterKeys.end()) return false;
  *key = found->second;
  return true;
}

uint16_t ScanCodeOfKey(uint8_t virtualKey) { return FakeScanCode(virtualKey); }

void InjectKeyEvents(const std::vector<KeyEvent>& events) {
  injections.push_back(events);
  std::string action = "inject";
  for (const KeyEvent& event : events) {
    char text[16];
    std::snprintf(text, sizeof text, " %x%s%s", event.virtualKey, event.keyUp ? "u" : "d",
                  event.extended ? "x" : "");
    action += text;
  }
  recordedActions.push_back(action);
}

// platform/timing.h

void SleepMilliseconds(uint32_t milliseconds) {
  recordedActions.push_back("wait " + std::to_string(milliseconds));
  if (foregroundMoveTo != 0 && milliseconds == foregroundMoveWait) foreground = foregroundMoveTo;
}

TimeOfDay LocalTimeOfDay() { return TimeOfDay{12, 0, 0}; }

// platform/desktop.h

void EnumerateTopLevelWindows(bool (*visit)(WindowId window, void* context), void* context) {
  std::vector<FakeWindow> windows = fakeWindows;
  for (const FakeWindow& window : windows) {
    if (!visit(window.id, context)) return;
  }
}

bool WindowIsVisible(WindowId window) {
  visitedWindows.push_back(window);
  const FakeWindow* fake = FindFakeWindow(window);
  return fake != nullptr && fake->visible;
}

bool WindowHasParent(WindowId window) {
  const FakeWindow* fake = FindFakeWindow(window);
  return fake != nullptr && fake->hasParent;
}

bool WindowIsEnabled(WindowId window) {
  const FakeWindow* fake = FindFakeWindow(window);
  return fake != nullptr && fake->enabled;
}

std::string ReadWindowTitle(WindowId window) {
  const FakeWindow* fake = FindFakeWindow(window);
  if (fake == nullptr) return std::string();
  return fake->title.substr(0, 259);
}

bool ActivateWindow(WindowId window) {
  recordedActions.push_back("foreground " + std::to_string(window));
  const FakeWindow* fake = FindFakeWindow(window);
  if (fake == nullptr || fake->refusesActivation) return false;
  foreground = window;
  return true;
}

bool ForegroundBelongsTo(WindowId window) {
  for (const FakeWindow* owned = FindFakeWindow(foreground); owned != nullptr;
       owned = FindFakeWindow(owned->owner)) {
    if (owned->id == window) return true;
  }
  return false;
}
