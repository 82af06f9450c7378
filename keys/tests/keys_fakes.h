// Link-time fakes of the keyboard, timing and desktop interfaces for the
// keystroke tests. Injections, waits and activations go into one list of
// recorded actions, in the order in which they happen.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/desktop.h"
#include "platform/keyboard.h"

// "inject 10d 41d 41u 10u" (code in hex, d press, u release, x extended),
// "wait 20", "foreground 3" (an activation, whatever its outcome).
std::vector<std::string> TakeRecordedActions();

// Keyboard: the layout handed out, how often it was fetched, the layout each
// mapping was asked with, and every injection call with its events.
constexpr KeyboardLayout kFakeLayout = 0x04090409;
int LayoutFetchCount();
std::vector<KeyboardLayout> LayoutsAskedFor();
std::vector<std::vector<KeyEvent>> InjectionCalls();
// The fake's scan code of a virtual-key code.
uint16_t FakeScanCode(uint8_t virtualKey);
// A US English subset: letters, digits, blank, a few punctuation marks;
// SetCharacterKey adds or replaces one character, RemoveCharacterKey drops one.
void SetCharacterKey(unsigned char c, CharKey key);
void RemoveCharacterKey(unsigned char c);

// Desktop: the top-level windows, top of the Z order first.
struct FakeWindow {
  WindowId id;
  std::string title;
  bool visible = true;
  bool hasParent = false;
  bool enabled = true;
  bool refusesActivation = false;
  WindowId owner = 0;  // the window whose dialog this one is
};
void SetFakeWindows(const std::vector<FakeWindow>& windows);
// The foreground window is 0 at first, then each window whose activation
// succeeds; a wait of `milliseconds` hands it to `window`.
void MoveForegroundAtWait(uint32_t milliseconds, WindowId window);
// The windows whose visibility was asked, in order (the enumeration's visits).
std::vector<WindowId> VisitedWindows();

// Resets every fake and the recorded actions.
void ResetKeysFakes();
