// The status log: the program's one channel for reporting. It keeps the last
// ten CR-separated lines in `logText` and shows them after every append.
#pragma once

#include <string>

// Appends CR and `line` to logText, trims it to at most nine CR characters and
// shows the result. Callable from any thread; each append is indivisible.
void AddLogLine(const std::string& line);

// A copy of logText as it stands.
std::string LogTextSnapshot();

// Empties logText (tests only; the program never clears its log).
void ClearLogForTesting();
