// SEND, STOP and ACTIVATE: finding the target window by its title and typing a
// key text into it.
#pragma once

#include <string>

// The SEND command: delimiter, window name, delimiter, key text.
void HandleSendCommand(const std::string& argument);

// The outcomes of FindAndActivateWindow.
constexpr int kWindowActivated = 0;
constexpr int kNoWindow = 1;            // no window qualifies
constexpr int kWindowNotActivated = 2;  // found, but it did not come to the front

// Activates the first qualifying top-level window whose title begins with
// `name` (letter case aside), and reports which of the outcomes above it met.
int FindAndActivateWindow(const std::string& name);
