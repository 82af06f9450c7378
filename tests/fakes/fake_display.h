// A recording status display for tests: every line shown, in order.
#pragma once

#include <string>
#include <vector>

// The lines shown since the last ClearShownLines, in append order.
std::vector<std::string> ShownLines();
// The newest logText shown.
std::string ShownLogText();
void ClearShownLines();
