// Keyboard input: synthetic key events into the system's input stream.
#pragma once

#include <cstdint>
#include <vector>

struct KeyEvent {
  uint8_t virtualKey;  // Windows virtual-key code
  uint16_t scanCode;   // the platform's scan code of virtualKey
  bool keyUp;          // false: press, true: release
  bool extended;       // the extended-key flag
};

// The key that types one character: its virtual-key code and shift state
// (bit 0 Shift, bit 1 Ctrl, bit 2 Alt; other bits ignored).
struct CharKey {
  uint8_t virtualKey;
  uint8_t shiftState;
};

using KeyboardLayout = std::uintptr_t;

// The calling thread's keyboard layout (fetched once per key unit).
KeyboardLayout CurrentKeyboardLayout();

// The key for character `c` in `layout`; false when the layout has none.
bool MapCharacterToKey(KeyboardLayout layout, unsigned char c, CharKey* key);

// The scan code of a virtual-key code (MapVirtualKeyA, mapping type 0).
uint16_t ScanCodeOfKey(uint8_t virtualKey);

// Puts the events of one unit into the input stream in one call, in order.
void InjectKeyEvents(const std::vector<KeyEvent>& events);
