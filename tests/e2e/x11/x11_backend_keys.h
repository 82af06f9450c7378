// Typing through the keyboard interface in the tests: one unit at a time, the
// way the key walker does it, with its 20 ms gap after each unit.
#pragma once

#include <string>
#include <vector>

#include "platform/keyboard.h"

// The events of a plain character: modifier presses, the key, the modifier
// releases (in the same order); empty when the layout has no key for it.
std::vector<KeyEvent> CharacterEvents(KeyboardLayout layout, unsigned char c);
// Types each character of `text` as a unit of its own.
void TypeText(const std::string& text);
// One unit of named keys: each code pressed (false) or released (true).
void InjectNamedKeys(const std::vector<std::pair<uint8_t, bool>>& keys);
