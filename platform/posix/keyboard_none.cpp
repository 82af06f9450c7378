// Keyboard input where no window system can be reached: nothing is injected.
#include "platform/keyboard.h"

KeyboardLayout CurrentKeyboardLayout() { return 0; }

bool MapCharacterToKey(KeyboardLayout, unsigned char, CharKey*) { return false; }

uint16_t ScanCodeOfKey(uint8_t) { return 0; }

void InjectKeyEvents(const std::vector<KeyEvent>&) {}
