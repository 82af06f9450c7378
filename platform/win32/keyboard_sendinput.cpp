#include <windows.h>

#include "platform/keyboard.h"

KeyboardLayout CurrentKeyboardLayout() {
  return reinterpret_cast<KeyboardLayout>(GetKeyboardLayout(0));
}

bool MapCharacterToKey(KeyboardLayout layout, unsigned char c, CharKey* key) {
  uint16_t result =
      static_cast<uint16_t>(VkKeyScanExA(static_cast<CHAR>(c), reinterpret_cast<HKL>(layout)));
  if (result == 0xFFFF) return false;  // 0xFF in both bytes: no key types c
  key->virtualKey = static_cast<uint8_t>(result & 0xFF);
  key->shiftState = static_cast<uint8_t>(result >> 8);
  return true;
}

uint16_t ScanCodeOfKey(uint8_t virtualKey) {
  return static_cast<uint16_t>(MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC));
}

void InjectKeyEvents(const std::vector<KeyEvent>& events) {
  std::vector<INPUT> records(events.size());
  for (size_t i = 0; i < events.size(); ++i) {
    INPUT& record = records[i];
    record.type = INPUT_KEYBOARD;
    record.ki.wVk = events[i].virtualKey;
    record.ki.wScan = events[i].scanCode;
    record.ki.dwFlags = (events[i].extended ? KEYEVENTF_EXTENDEDKEY : 0u) |
                        (events[i].keyUp ? KEYEVENTF_KEYUP : 0u);
    record.ki.time = 0;
    record.ki.dwExtraInfo = 0;
  }
  // The record size of this build's INPUT (40 bytes on x64): a size that does
  // not match makes the system refuse every record.
  SendInput(static_cast<UINT>(records.size()), records.data(), sizeof(INPUT));
}
