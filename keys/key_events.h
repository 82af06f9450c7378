// Key units into key events: the key names, their virtual-key codes, the
// extended-key rule and the typing of plain characters.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "keys/key_text.h"
#include "platform/keyboard.h"

// The key that types one character (its byte value); false when there is none.
using CharKeyMapping = std::function<bool(unsigned char c, CharKey* key)>;

// The events of one key unit, 0 to 8 of them, with scan codes left at 0:
//   "{...}"  the key named after the group's last "{", looked up after FoldUpper;
//            a name that is not a key gives no events;
//   "}"      no events;
//   one character: the mapped key, wrapped in Shift, Ctrl and Alt presses and
//            releases as its shift state asks (released in that same order).
std::vector<KeyEvent> BuildKeyEvents(const KeyUnit& unit, const CharKeyMapping& mapping);

// The events of one unit with the calling thread's keyboard layout (fetched
// anew for each unit), their scan codes filled in: what InjectKeyEvents puts
// into the input stream in one call.
std::vector<KeyEvent> KeyEventsOfUnit(const KeyUnit& unit);
