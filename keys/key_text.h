// Key texts: plain characters, brace groups that name keys, and {DELAYn}
// pauses, walked from left to right into timed key units.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// One piece of a key text as it is handed on to be typed: a plain character,
// a brace group up to its closing "}", or a lone "}".
using KeyUnit = std::string;

// Injects one unit; false when it did not and the walk is to end there.
using KeyUnitInjector = std::function<bool(const KeyUnit& unit)>;
using MillisecondWaiter = std::function<void(uint32_t milliseconds)>;

// The longest wait a delay group asks for; longer ones are cut to it, so that
// no delay means "wait forever".
constexpr uint32_t kLongestDelayMilliseconds = 4294967294u;

// Walks `keyText`: each plain character, each brace group and each lone "}" is
// handed to `inject` as one unit and followed by a wait of `gapMilliseconds`;
// a {DELAYn} group waits n milliseconds (rounded half to even, below 0 as 0)
// and is not followed by the gap. A group still open at the end is dropped.
// When `inject` refuses a unit, the walk ends at once, without the gap, and
// returns false; true when it reached the end of the text.
bool SendKeyText(const std::string& keyText, uint32_t gapMilliseconds,
                 const KeyUnitInjector& inject, const MillisecondWaiter& wait);
