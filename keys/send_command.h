// SEND, STOP and ACTIVATE: finding the target window by its title and typing a
// key text into it.
#pragma once

#include <string>

// The SEND command: delimiter, window name, delimiter, key text.
void HandleSendCommand(const std::string& argument);

// Activates the first qualifying top-level window whose title begins with
// `name` (letter case aside). 0 when one was found and activated, 1 when none
// qualifies.
int FindAndActivateWindow(const std::string& name);
