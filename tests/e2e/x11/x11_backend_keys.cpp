#include "tests/e2e/x11/x11_backend_keys.h"

#include <chrono>
#include <thread>

std::vector<KeyEvent> CharacterEvents(KeyboardLayout layout, unsigned char c) {
  std::vector<KeyEvent> events;
  CharKey key{};
  if (!MapCharacterToKey(layout, c, &key)) {
    return events;
  }
  const uint8_t modifiers[3] = {0x10, 0x11, 0x12};
  for (int bit = 0; bit < 3; ++bit) {
    if (key.shiftState & (1 << bit)) {
      events.push_back(KeyEvent{modifiers[bit], ScanCodeOfKey(modifiers[bit]), false, false});
    }
  }
  events.push_back(KeyEvent{key.virtualKey, ScanCodeOfKey(key.virtualKey), false, false});
  events.push_back(KeyEvent{key.virtualKey, ScanCodeOfKey(key.virtualKey), true, false});
  for (int bit = 0; bit < 3; ++bit) {
    if (key.shiftState & (1 << bit)) {
      events.push_back(KeyEvent{modifiers[bit], ScanCodeOfKey(modifiers[bit]), true, false});
    }
  }
  return events;
}

void TypeText(const std::string& text) {
  for (char c : text) {
    KeyboardLayout layout = CurrentKeyboardLayout();
    InjectKeyEvents(CharacterEvents(layout, static_cast<unsigned char>(c)));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void InjectNamedKeys(const std::vector<std::pair<uint8_t, bool>>& keys) {
  CurrentKeyboardLayout();
  std::vector<KeyEvent> events;
  for (const auto& [code, up] : keys) {
    events.push_back(KeyEvent{code, ScanCodeOfKey(code), up, false});
  }
  InjectKeyEvents(events);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
}
