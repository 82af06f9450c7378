// Typing a key text into one window: keys go out only while the foreground
// belongs to that window.
#pragma once

#include <cstdint>
#include <string>

#include "platform/desktop.h"

// Walks `keyText` (SendKeyText) with the platform's injection and waits.
// Before each unit that presses a key, the foreground must belong to `target`
// (ForegroundBelongsTo); a unit that only releases keys, or injects nothing,
// goes out unchecked, since it cannot type into another window. When the
// foreground has gone elsewhere, the walk ends there: the keys that this walk
// pressed and has not released are released, the last pressed first, and
// nothing more is typed. False when the walk ended so.
bool TypeKeyTextInto(WindowId target, const std::string& keyText, uint32_t gapMilliseconds);
