// The automation session with PowerPoint.
#pragma once

#include <cstdint>

struct PowerPointSessionRecord {
  int32_t started = 0;  // set by every OPEN; the server thread then ends the session
};

extern PowerPointSessionRecord PowerPointSession;

// Ends the session: closes the active presentation's slide show, quits, releases.
void StopPowerPoint();
