#include "platform/posix/x11_connection.h"

#include <X11/Xatom.h>

#include <cstring>

namespace {

Display* connection = nullptr;
bool connectionLost = false;
uint32_t connectionNumber = 0;

// Requests on windows that vanish meanwhile fail with BadWindow and the like;
// the callers see the failed call's result and go on. Xlib's own handler
// would end the program.
int IgnoreProtocolError(Display*, XErrorEvent*) { return 0; }

// Xlib's default ends the program when the display goes away; this one only
// stays quiet, and the exit handler below marks the connection as lost.
int IgnoreConnectionError(Display*) { return 0; }

void NoteConnectionLost(Display*, void*) { connectionLost = true; }

}  // namespace

Display* X11Connection() {
  if (connection != nullptr && connectionLost) {
    // Xlib has marked the connection as broken; closing it only frees it.
    XCloseDisplay(connection);
    connection = nullptr;
  }
  if (connection == nullptr) {
    XSetErrorHandler(IgnoreProtocolError);
    XSetIOErrorHandler(IgnoreConnectionError);
    connection = XOpenDisplay(nullptr);
    if (connection == nullptr) {
      return nullptr;
    }
    connectionLost = false;
    ++connectionNumber;
    XSetIOErrorExitHandler(connection, NoteConnectionLost, nullptr);
  }
  // The connection selects no events, but the server sends some to every
  // client (keyboard mapping changes): drop them so that they do not pile up.
  while (!connectionLost && XPending(connection) > 0) {
    XEvent event;
    XNextEvent(connection, &event);
  }
  return connectionLost ? nullptr : connection;
}

uint32_t X11ConnectionNumber() { return connectionNumber; }

Atom X11Atom(Display* display, const char* name) { return XInternAtom(display, name, False); }

namespace {

// The single window that the 32-bit WINDOW property `property` of `window`
// names, or None.
Window ReadWindowProperty(Display* display, Window window, Atom property) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long remaining = 0;
  unsigned char* data = nullptr;
  Window value = None;
  if (XGetWindowProperty(display, window, property, 0, 1, False, XA_WINDOW, &type, &format, &count,
                         &remaining, &data) == Success &&
      type == XA_WINDOW && format == 32 && count == 1) {
    value = static_cast<Window>(reinterpret_cast<unsigned long*>(data)[0]);
  }
  if (data != nullptr) {
    XFree(data);
  }
  return value;
}

}  // namespace

bool X11WindowManagerSupports(Display* display, const char* feature) {
  Window root = DefaultRootWindow(display);
  Atom check = X11Atom(display, "_NET_SUPPORTING_WM_CHECK");
  Window manager = ReadWindowProperty(display, root, check);
  // A running manager's check window names itself; a stale one is gone.
  if (manager == None || ReadWindowProperty(display, manager, check) != manager) {
    return false;
  }
  Atom wanted = X11Atom(display, feature);
  bool supported = false;
  long offset = 0;
  for (;;) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, root, X11Atom(display, "_NET_SUPPORTED"), offset, 1024, False,
                           XA_ATOM, &type, &format, &count, &remaining, &data) != Success) {
      break;
    }
    if (type == XA_ATOM && format == 32) {
      const unsigned long* atoms = reinterpret_cast<unsigned long*>(data);
      for (unsigned long i = 0; i < count; ++i) {
        if (atoms[i] == wanted) {
          supported = true;
        }
      }
    }
    if (data != nullptr) {
      XFree(data);
    }
    if (supported || type != XA_ATOM || remaining == 0 || count == 0) {
      break;
    }
    offset += static_cast<long>(count);
  }
  return supported;
}
