// Fuzz target: the key-script walker SendKeyText with recorded injections and
// recorded waits (nothing is typed, nothing sleeps), each unit turned into key
// events by BuildKeyEvents. The walk must equal the reference walk; every unit
// gives 0 to 8 events of the documented shape; every wait is within 0 to
// 4,294,967,294 ms. The whole input is also given to BuildKeyEvents as one
// unit.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "keys/key_events.h"
#include "keys/key_text.h"
#include "tests/fuzz/fuzz_fakes.h"
#include "tests/fuzz/fuzz_reference.h"

namespace {

constexpr uint32_t kGap = 20;

bool IsExtendedKey(uint8_t virtualKey) {
  return (virtualKey >= 0x21 && virtualKey <= 0x28) || virtualKey == 0x2D || virtualKey == 0x2E;
}

// The shapes BuildKeyEvents may give for `unit`.
void CheckEvents(const std::string& unit, const std::vector<KeyEvent>& events) {
  FUZZ_CHECK_MSG(events.size() <= 8, "more than 8 events for one unit");
  for (const KeyEvent& event : events) FUZZ_CHECK(event.scanCode == 0);
  if (events.empty()) return;
  if (unit.size() == 1) {
    // A plain character: Shift/Ctrl/Alt presses, the key, the releases.
    CharKey key{};
    FUZZ_CHECK(FuzzCharacterKey(static_cast<unsigned char>(unit[0]), &key));
    size_t modifiers = 0;
    for (int bit = 0; bit < 3; ++bit) modifiers += (key.shiftState >> bit) & 1;
    FUZZ_CHECK(events.size() == 2 + 2 * modifiers);
    for (size_t i = 0; i < events.size(); ++i) {
      FUZZ_CHECK(!events[i].extended);
      FUZZ_CHECK(events[i].keyUp == (i > modifiers));
    }
    FUZZ_CHECK(events[modifiers].virtualKey == key.virtualKey &&
               events[modifiers + 1].virtualKey == key.virtualKey);
    for (size_t i = 0; i < modifiers; ++i) {
      FUZZ_CHECK(events[i].virtualKey == events[modifiers + 2 + i].virtualKey);
    }
    return;
  }
  // A named key: press, release, or tap.
  FUZZ_CHECK(unit.size() >= 2 && unit.front() == '{' && unit.back() == '}');
  FUZZ_CHECK(events.size() <= 2);
  for (const KeyEvent& event : events) {
    FUZZ_CHECK(event.extended == IsExtendedKey(event.virtualKey));
    FUZZ_CHECK(event.virtualKey == events[0].virtualKey);
  }
  if (events.size() == 2) FUZZ_CHECK(!events[0].keyUp && events[1].keyUp);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string keyText(reinterpret_cast<const char*>(data), size);

  std::vector<ReferenceAction> walked;
  SendKeyText(
      keyText, kGap,
      [&walked](const std::string& unit) {
        FUZZ_CHECK(!unit.empty());
        CheckEvents(unit, BuildKeyEvents(unit, FuzzCharacterKey));
        walked.push_back({true, unit, 0});
        return true;
      },
      [&walked](uint32_t milliseconds) {
        FUZZ_CHECK_MSG(milliseconds <= 4294967294u, "a wait that never ends");
        walked.push_back({false, std::string(), milliseconds});
      });

  std::vector<ReferenceAction> expected = ReferenceWalk(keyText, kGap);
  FUZZ_CHECK_MSG(walked.size() == expected.size(), "the walk has another number of actions");
  for (size_t i = 0; i < walked.size(); ++i) {
    FUZZ_CHECK(walked[i].inject == expected[i].inject);
    if (walked[i].inject) {
      FUZZ_CHECK_MSG(walked[i].unit == expected[i].unit, "the walk cut another unit");
    } else {
      FUZZ_CHECK_MSG(walked[i].milliseconds == expected[i].milliseconds, "another wait");
    }
  }

  // Any text as one unit, as a caller other than the walker might pass it.
  CheckEvents(keyText, BuildKeyEvents(keyText, FuzzCharacterKey));
  return 0;
}
