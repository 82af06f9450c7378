// The slide-show commands: OPEN, NEXT and GOTO, and PREV, FIRST, LAST, BLACK,
// WHITE, RESUME and END.
#pragma once

#include <string>

#include "common/command_words.h"

// One of the words above and the trimmed argument.
void HandleSlideShowCommand(CommandWord word, const std::string& argument);
