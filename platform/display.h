// Status display: shows the status log to the operator.
#pragma once

#include <cstdint>
#include <string>

// Called after every append, outside the log's lock, possibly from two threads
// at once. `logText` is the whole log after the append, `addedLine` the line
// just added, `sequence` the append's number (1, 2, ...): an update with a
// lower number than one already shown is stale.
//   Windows: the main window's status label shows the newest logText.
//   Linux console: each added line is printed once, in sequence order.
void DisplayStatus(const std::string& logText, const std::string& addedLine, uint64_t sequence);
