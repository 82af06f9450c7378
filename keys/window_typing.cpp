#include "keys/window_typing.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "keys/key_events.h"
#include "keys/key_text.h"
#include "platform/keyboard.h"
#include "platform/timing.h"

namespace {

// The presses of the keys that a walk holds down, in the order pressed, one
// per virtual-key code.
using HeldKeys = std::vector<KeyEvent>;

void NoteHeldKeys(const std::vector<KeyEvent>& events, HeldKeys* held) {
  for (const KeyEvent& event : events) {
    auto same = std::find_if(held->begin(), held->end(), [&event](const KeyEvent& press) {
      return press.virtualKey == event.virtualKey;
    });
    if (event.keyUp) {
      if (same != held->end()) held->erase(same);
    } else if (same == held->end()) {
      held->push_back(event);
    }
  }
}

// Releases them, the last pressed first.
void ReleaseHeldKeys(HeldKeys held) {
  if (held.empty()) return;
  std::reverse(held.begin(), held.end());
  for (KeyEvent& release : held) release.keyUp = true;
  InjectKeyEvents(held);
}

bool PressesAKey(const std::vector<KeyEvent>& events) {
  return std::any_of(events.begin(), events.end(),
                     [](const KeyEvent& event) { return !event.keyUp; });
}

}  // namespace

bool TypeKeyTextInto(WindowId target, const std::string& keyText, uint32_t gapMilliseconds) {
  HeldKeys held;
  bool walked = SendKeyText(
      keyText, gapMilliseconds,
      [target, &held](const KeyUnit& unit) {
        std::vector<KeyEvent> events = KeyEventsOfUnit(unit);
        if (PressesAKey(events) && !ForegroundBelongsTo(target)) return false;
        if (!events.empty()) InjectKeyEvents(events);
        NoteHeldKeys(events, &held);
        return true;
      },
      SleepMilliseconds);
  if (!walked) ReleaseHeldKeys(std::move(held));
  return walked;
}
