// OPEN, NEXT and GOTO: the slide-show commands.
#pragma once

#include <string>

// `commandWord` as it arrived (OPEN, NEXT or GOTO in any letter case) and the
// trimmed argument.
void HandleSlideShowCommand(const std::string& commandWord, const std::string& argument);
