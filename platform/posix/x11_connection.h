// The program's one connection to the X display of the desktop, shared by the
// window enumeration and the keyboard injection (both run on the server
// thread only).
#pragma once

#include <X11/Xlib.h>

#include <cstdint>

// The open connection to the display that DISPLAY names, opened on first use
// and again on a later call when it was missing or lost; null when no display
// can be reached. Events that were queued for the connection are discarded.
Display* X11Connection();

// Counts the connections opened so far: state kept per connection (such as
// keyboard bindings) is stale once this changes.
uint32_t X11ConnectionNumber();

// The atom of `name` on the current connection (created when missing).
Atom X11Atom(Display* display, const char* name);

// Whether a running EWMH window manager announces `feature` in
// _NET_SUPPORTED. False when no such window manager is running (also when one
// has left its properties behind).
bool X11WindowManagerSupports(Display* display, const char* feature);
