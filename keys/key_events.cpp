#include "keys/key_events.h"

#include <cstdint>
#include <string_view>

#include "common/text_rules.h"

namespace {

enum class KeyAction { kPress, kRelease, kTap };

struct KeyName {
  const char* name;
  KeyAction action;
  uint8_t virtualKey;
};

constexpr uint8_t kShiftKey = 0x10;
constexpr uint8_t kCtrlKey = 0x11;
constexpr uint8_t kAltKey = 0x12;

constexpr KeyName kKeyNameTable[] = {
    {"CTRL_D", KeyAction::kPress, kCtrlKey},
    {"CTRL_U", KeyAction::kRelease, kCtrlKey},
    {"ALT_D", KeyAction::kPress, kAltKey},
    {"ALT_U", KeyAction::kRelease, kAltKey},
    {"SHIFT_D", KeyAction::kPress, kShiftKey},
    {"SHIFT_U", KeyAction::kRelease, kShiftKey},
    {"WIN_D", KeyAction::kPress, 0x5B},
    {"WIN_U", KeyAction::kRelease, 0x5B},
    {"BACKSPACE", KeyAction::kTap, 0x08},
    {"ENTER", KeyAction::kTap, 0x0D},
    {"INSERT", KeyAction::kTap, 0x2D},
    {"DELETE", KeyAction::kTap, 0x2E},
    {"RIGHT", KeyAction::kTap, 0x27},
    {"LEFT", KeyAction::kTap, 0x25},
    {"UP", KeyAction::kTap, 0x26},
    {"DOWN", KeyAction::kTap, 0x28},
    {"ARROWRIGHT", KeyAction::kTap, 0x27},
    {"ARROWLEFT", KeyAction::kTap, 0x25},
    {"ARROWUP", KeyAction::kTap, 0x26},
    {"ARROWDOWN", KeyAction::kTap, 0x28},
    {"HOME", KeyAction::kTap, 0x24},
    {"END", KeyAction::kTap, 0x23},
    {"TAB", KeyAction::kTap, 0x09},
    {"ESCAPE", KeyAction::kTap, 0x1B},
    {"PGUP", KeyAction::kTap, 0x21},
    {"PGDN", KeyAction::kTap, 0x22},
    {"F1", KeyAction::kTap, 0x70},
    {"F2", KeyAction::kTap, 0x71},
    {"F3", KeyAction::kTap, 0x72},
    {"F4", KeyAction::kTap, 0x73},
    {"F5", KeyAction::kTap, 0x74},
    {"F6", KeyAction::kTap, 0x75},
    {"F7", KeyAction::kTap, 0x76},
    {"F8", KeyAction::kTap, 0x77},
    {"F9", KeyAction::kTap, 0x78},
    {"F10", KeyAction::kTap, 0x79},
    {"F11", KeyAction::kTap, 0x7A},
    {"F12", KeyAction::kTap, 0x7B},
    {"APPS", KeyAction::kTap, 0x5D},
    {"NUMLOCK", KeyAction::kTap, 0x90},
    {"CAPITAL", KeyAction::kTap, 0x14},
};

// Page Up to the arrows (0x21-0x28), Insert and Delete: the keys of the
// separate navigation block. The Windows, menu and Num Lock keys are sent
// without the flag.
bool IsExtendedKey(uint8_t virtualKey) {
  return (virtualKey >= 0x21 && virtualKey <= 0x28) || virtualKey == 0x2D || virtualKey == 0x2E;
}

const KeyName* FindKeyName(std::string_view name) {
  std::string folded = FoldUpper(name);
  for (const KeyName& entry : kKeyNameTable) {
    if (folded == entry.name) return &entry;
  }
  return nullptr;
}

void AddNamedKeyEvents(std::string_view name, std::vector<KeyEvent>* events) {
  const KeyName* entry = FindKeyName(name);
  if (entry == nullptr) return;
  bool extended = IsExtendedKey(entry->virtualKey);
  if (entry->action != KeyAction::kRelease) {
    events->push_back(KeyEvent{entry->virtualKey, 0, false, extended});
  }
  if (entry->action != KeyAction::kPress) {
    events->push_back(KeyEvent{entry->virtualKey, 0, true, extended});
  }
}

void AddCharacterEvents(unsigned char c, const CharKeyMapping& mapping,
                        std::vector<KeyEvent>* events) {
  CharKey key{};
  if (!mapping(c, &key)) return;
  static constexpr uint8_t kModifiers[] = {kShiftKey, kCtrlKey, kAltKey};  // bits 0, 1, 2
  for (int bit = 0; bit < 3; ++bit) {
    if (key.shiftState & (1u << bit)) events->push_back(KeyEvent{kModifiers[bit], 0, false, false});
  }
  events->push_back(KeyEvent{key.virtualKey, 0, false, false});
  events->push_back(KeyEvent{key.virtualKey, 0, true, false});
  for (int bit = 0; bit < 3; ++bit) {
    if (key.shiftState & (1u << bit)) events->push_back(KeyEvent{kModifiers[bit], 0, true, false});
  }
}

}  // namespace

std::vector<KeyEvent> BuildKeyEvents(const KeyUnit& unit, const CharKeyMapping& mapping) {
  std::vector<KeyEvent> events;
  if (unit.size() >= 2 && unit.front() == '{' && unit.back() == '}') {
    size_t lastOpen = unit.rfind('{', unit.size() - 2);
    AddNamedKeyEvents(std::string_view(unit).substr(lastOpen + 1, unit.size() - lastOpen - 2),
                      &events);
  } else if (unit.size() == 1 && unit[0] != '{' && unit[0] != '}') {
    AddCharacterEvents(static_cast<unsigned char>(unit[0]), mapping, &events);
  }
  return events;
}

std::vector<KeyEvent> KeyEventsOfUnit(const KeyUnit& unit) {
  KeyboardLayout layout = CurrentKeyboardLayout();
  std::vector<KeyEvent> events = BuildKeyEvents(
      unit, [layout](unsigned char c, CharKey* key) { return MapCharacterToKey(layout, c, key); });
  for (KeyEvent& event : events) event.scanCode = ScanCodeOfKey(event.virtualKey);
  return events;
}
