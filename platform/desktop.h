// Window system: the top-level windows of the desktop, for SEND, STOP and
// ACTIVATE.
#pragma once

#include <cstdint>
#include <string>

using WindowId = std::uintptr_t;

// Calls `visit` for each top-level window, from the top of the Z order
// downwards, until it returns false.
//   Windows: EnumWindows. Linux: X11 when a display can be reached, otherwise
//   no window at all.
void EnumerateTopLevelWindows(bool (*visit)(WindowId window, void* context), void* context);

bool WindowIsVisible(WindowId window);
bool WindowHasParent(WindowId window);
bool WindowIsEnabled(WindowId window);

// The title as single-byte text, at most its first 259 bytes.
std::string ReadWindowTitle(WindowId window);

// Makes `window` the foreground window; the outcome is not reported.
void BringWindowToForeground(WindowId window);
