// The slide-show commands: OPEN, NEXT and GOTO, and PREV, FIRST, LAST, BLACK,
// WHITE, RESUME and END.
#pragma once

#include <string>

// `commandWord` as it arrived (one of the words above in any letter case) and
// the trimmed argument.
void HandleSlideShowCommand(const std::string& commandWord, const std::string& argument);
