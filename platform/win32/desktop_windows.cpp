#include <windows.h>

#include "platform/desktop.h"
#include "platform/timing.h"

namespace {

struct Enumeration {
  bool (*visit)(WindowId window, void* context);
  void* context;
};

BOOL CALLBACK VisitEnumeratedWindow(HWND window, LPARAM parameter) {
  Enumeration* enumeration = reinterpret_cast<Enumeration*>(parameter);
  return enumeration->visit(reinterpret_cast<WindowId>(window), enumeration->context) ? TRUE
                                                                                      : FALSE;
}

HWND AsWindow(WindowId window) { return reinterpret_cast<HWND>(window); }

constexpr int kTitleBufferSize = 260;

// Activation: all its steps within this bound; the first two attempts may
// wait until these points for the window to come to the front.
constexpr uint64_t kActivationBoundMilliseconds = 500;
constexpr uint64_t kFirstAttemptMilliseconds = 200;
constexpr uint64_t kSecondAttemptMilliseconds = 350;
constexpr uint32_t kActivationPollMilliseconds = 5;

// Owner chains are short (a dialog of a dialog); the bound only guards.
constexpr int kOwnerChainLimit = 16;

// A virtual-key code that no key and no window acts on.
constexpr WORD kUnassignedKey = 0xE8;

bool InFront(HWND window) { return GetForegroundWindow() == window && !IsIconic(window); }

// Whether the window is in front before `until` milliseconds after `start`.
bool WaitUntilInFront(HWND window, uint64_t start, uint64_t until) {
  for (;;) {
    if (InFront(window)) return true;
    if (MonotonicMilliseconds() - start >= until) return false;
    SleepMilliseconds(kActivationPollMilliseconds);
  }
}

// The system lets the process that received the last input event set the
// foreground window: a press and release of a key that nothing acts on makes
// this process that one.
void TapUnassignedKey() {
  INPUT inputs[2] = {};
  for (INPUT& input : inputs) {
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = kUnassignedKey;
  }
  inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, inputs, sizeof(INPUT));
}

// SetForegroundWindow with this thread's input attached to that of the
// foreground window for the call, and detached again at once.
bool SetForegroundWindowAttached(HWND window) {
  DWORD ownThread = GetCurrentThreadId();
  HWND foreground = GetForegroundWindow();
  DWORD foregroundThread =
      foreground != nullptr ? GetWindowThreadProcessId(foreground, nullptr) : 0;
  bool attached = foregroundThread != 0 && foregroundThread != ownThread &&
                  AttachThreadInput(ownThread, foregroundThread, TRUE);
  bool accepted = SetForegroundWindow(window) != FALSE;
  if (attached) AttachThreadInput(ownThread, foregroundThread, FALSE);
  return accepted;
}

}  // namespace

void EnumerateTopLevelWindows(bool (*visit)(WindowId window, void* context), void* context) {
  Enumeration enumeration{visit, context};
  EnumWindows(VisitEnumeratedWindow, reinterpret_cast<LPARAM>(&enumeration));
}

bool WindowIsVisible(WindowId window) { return IsWindowVisible(AsWindow(window)) != FALSE; }

bool WindowHasParent(WindowId window) { return GetParent(AsWindow(window)) != nullptr; }

bool WindowIsEnabled(WindowId window) { return IsWindowEnabled(AsWindow(window)) != FALSE; }

std::string ReadWindowTitle(WindowId window) {
  char title[kTitleBufferSize] = {};
  int length = GetWindowTextA(AsWindow(window), title, kTitleBufferSize);
  if (length <= 0) return std::string();
  if (length > kTitleBufferSize - 1) length = kTitleBufferSize - 1;
  return std::string(title, static_cast<size_t>(length));
}

bool ActivateWindow(WindowId id) {
  HWND window = AsWindow(id);
  bool minimised = IsIconic(window) != FALSE;
  if (!minimised && GetForegroundWindow() == window) return true;
  const uint64_t start = MonotonicMilliseconds();
  // Asynchronous, so that a window whose program hangs cannot hold up the
  // caller; the waits below see the restore through.
  if (minimised) ShowWindowAsync(window, SW_RESTORE);
  // A refused attempt goes on to the next one at once; an accepted one waits
  // for the window to come to the front, up to its share of the bound.
  if (WaitUntilInFront(window, start,
                       SetForegroundWindow(window) ? kFirstAttemptMilliseconds : 0)) {
    return true;
  }
  TapUnassignedKey();
  if (WaitUntilInFront(window, start,
                       SetForegroundWindow(window) ? kSecondAttemptMilliseconds : 0)) {
    return true;
  }
  return WaitUntilInFront(window, start,
                          SetForegroundWindowAttached(window) ? kActivationBoundMilliseconds : 0);
}

bool ForegroundBelongsTo(WindowId window) {
  HWND target = AsWindow(window);
  HWND owned = GetForegroundWindow();
  for (int depth = 0; owned != nullptr && depth < kOwnerChainLimit; ++depth) {
    if (owned == target) return true;
    owned = GetWindow(owned, GW_OWNER);
  }
  return false;
}
