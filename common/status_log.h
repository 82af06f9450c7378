// The status log: the program's one channel for reporting. It keeps the last
// ten CR-separated lines in `logText` and shows them after every append.
#pragma once

#include <string>

// Appends CR and `line` to logText, trims it to at most nine CR characters and
// shows the result. Callable from any thread; each append is indivisible.
void AddLogLine(const std::string& line);

// Told of every line once it has been added and shown, on the thread that
// added it and outside the log's lock (so it may add lines of its own, and
// must be safe to call from both threads). One observer at a time; nullptr
// removes it. Without one, a line costs nothing more.
using LogObserver = void (*)(const std::string& line);
void ObserveLog(LogObserver observer);

// A copy of logText as it stands.
std::string LogTextSnapshot();

// Empties logText (tests only; the program never clears its log).
void ClearLogForTesting();
