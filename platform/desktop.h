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

// Shown on the desktop, or minimised (X11: iconified by the window manager).
bool WindowIsVisible(WindowId window);
bool WindowHasParent(WindowId window);
bool WindowIsEnabled(WindowId window);

// The title as single-byte text, at most its first 259 bytes.
std::string ReadWindowTitle(WindowId window);

// Makes `window` the foreground window, so that the keys typed next reach it:
// a minimised (X11: iconified) window is restored first, even when it is the
// foreground window already. True once the platform reports `window` itself
// as the foreground window and not minimised, false when it does not come to
// the front within 500 ms. A window that is in front and not minimised is
// left as it is, at once.
//   Windows: SetForegroundWindow, then the means a background process has when
//   that is refused. Linux: the window manager's _NET_ACTIVE_WINDOW request,
//   or without one raising and focusing the window.
bool ActivateWindow(WindowId window);

// Whether the foreground window is now `window` or a window that it owns (a
// dialog it opened), so that keys typed now reach its program.
//   Windows: GetForegroundWindow and its chain of owners. Linux: the window
//   manager's _NET_ACTIVE_WINDOW and its WM_TRANSIENT_FOR chain, with the
//   keyboard focus inside the active window; without such a window manager,
//   the keyboard focus on `window` or inside it.
bool ForegroundBelongsTo(WindowId window);
