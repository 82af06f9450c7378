// The desktop's top-level windows on X11: the client windows that the window
// manager keeps in its stacking list, or without an EWMH window manager the
// root window's children.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/desktop.h"
#include "platform/posix/x11_connection.h"
#include "platform/posix/x11_text.h"
#include "platform/timing.h"

namespace {

constexpr size_t kTitleLimit = 259;

// How long activation waits for the window manager to make the window the
// active one and hand it the keyboard focus, so that the keys typed next
// reach it.
constexpr uint64_t kActivationBoundMilliseconds = 500;
constexpr uint32_t kActivationPollMilliseconds = 5;

constexpr long kIconicState = 3;  // WM_STATE: iconified by the window manager

std::vector<Window> ReadWindowList(Display* display, Window window, Atom property, bool* present) {
  std::vector<Window> windows;
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long remaining = 0;
  unsigned char* data = nullptr;
  *present = false;
  if (XGetWindowProperty(display, window, property, 0, 0x100000, False, XA_WINDOW, &type, &format,
                         &count, &remaining, &data) == Success &&
      type == XA_WINDOW && format == 32) {
    *present = true;
    const unsigned long* values = reinterpret_cast<unsigned long*>(data);
    windows.assign(values, values + count);
  }
  if (data != nullptr) {
    XFree(data);
  }
  return windows;
}

bool HasProperty(Display* display, Window window, Atom property) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long remaining = 0;
  unsigned char* data = nullptr;
  bool present = XGetWindowProperty(display, window, property, 0, 0, False, AnyPropertyType, &type,
                                    &format, &count, &remaining, &data) == Success &&
                 type != None;
  if (data != nullptr) {
    XFree(data);
  }
  return present;
}

// The children of `window`, bottom of the stack first; empty on failure.
std::vector<Window> Children(Display* display, Window window) {
  Window root = None;
  Window parent = None;
  Window* children = nullptr;
  unsigned int count = 0;
  std::vector<Window> list;
  if (XQueryTree(display, window, &root, &parent, &children, &count) != 0 && children != nullptr) {
    list.assign(children, children + count);
  }
  if (children != nullptr) {
    XFree(children);
  }
  return list;
}

Window ParentOf(Display* display, Window window) {
  Window root = None;
  Window parent = None;
  Window* children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(display, window, &root, &parent, &children, &count) == 0) {
    parent = None;
  }
  if (children != nullptr) {
    XFree(children);
  }
  return parent;
}

// The application's own window inside `frame`: `frame` itself or the first
// window one or two levels below it that carries WM_STATE (which a
// reparenting window manager sets on the client windows it manages);
// `frame` when there is none, as without any window manager.
Window ClientWindowOf(Display* display, Window frame, Atom wmState) {
  if (HasProperty(display, frame, wmState)) {
    return frame;
  }
  std::vector<Window> children = Children(display, frame);
  for (auto child = children.rbegin(); child != children.rend(); ++child) {
    if (HasProperty(display, *child, wmState)) {
      return *child;
    }
  }
  for (auto child = children.rbegin(); child != children.rend(); ++child) {
    std::vector<Window> inner = Children(display, *child);
    for (auto window = inner.rbegin(); window != inner.rend(); ++window) {
      if (HasProperty(display, *window, wmState)) {
        return *window;
      }
    }
  }
  return frame;
}

// The top-level windows, top of the stack first.
std::vector<Window> StackingOrder(Display* display) {
  Window root = DefaultRootWindow(display);
  if (X11WindowManagerSupports(display, "_NET_CLIENT_LIST_STACKING")) {
    bool present = false;
    std::vector<Window> windows =
        ReadWindowList(display, root, X11Atom(display, "_NET_CLIENT_LIST_STACKING"), &present);
    if (present) {
      std::reverse(windows.begin(), windows.end());
      return windows;
    }
  }
  std::vector<Window> windows = Children(display, root);
  std::reverse(windows.begin(), windows.end());
  Atom wmState = X11Atom(display, "WM_STATE");
  for (Window& window : windows) {
    window = ClientWindowOf(display, window, wmState);
  }
  return windows;
}

// The text of a title property in its own encoding, as single-byte text.
std::string TitleFromProperty(Display* display, const XTextProperty& property) {
  if (property.value == nullptr || property.format != 8) {
    return std::string();
  }
  std::string raw(reinterpret_cast<const char*>(property.value), property.nitems);
  if (property.encoding == X11Atom(display, "UTF8_STRING")) {
    return SingleByteFromUtf8(raw);
  }
  if (property.encoding == XA_STRING) {
    return SingleByteFromLatin1(raw);
  }
  // COMPOUND_TEXT and the like: Xlib converts them.
  char** list = nullptr;
  int count = 0;
  std::string text;
  XTextProperty copy = property;
  if (Xutf8TextPropertyToTextList(display, &copy, &list, &count) >= Success && list != nullptr) {
    for (int i = 0; i < count; ++i) {
      text += SingleByteFromUtf8(list[i]);
    }
    XFreeStringList(list);
  } else {
    text = SingleByteFromLatin1(raw);
  }
  return text;
}

bool IsSameOrInside(Display* display, Window inner, Window outer) {
  Window root = DefaultRootWindow(display);
  for (int depth = 0; inner != None && inner != root && depth < 64; ++depth) {
    if (inner == outer) {
      return true;
    }
    inner = ParentOf(display, inner);
  }
  return false;
}

Window KeyboardFocus(Display* display) {
  Window focus = None;
  int revert = 0;
  XGetInputFocus(display, &focus, &revert);
  return focus == PointerRoot ? None : focus;
}

bool IsIconified(Display* display, Window window) {
  Atom wmState = X11Atom(display, "WM_STATE");
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long remaining = 0;
  unsigned char* data = nullptr;
  bool iconic = XGetWindowProperty(display, window, wmState, 0, 1, False, wmState, &type, &format,
                                   &count, &remaining, &data) == Success &&
                type == wmState && format == 32 && count == 1 &&
                reinterpret_cast<long*>(data)[0] == kIconicState;
  if (data != nullptr) {
    XFree(data);
  }
  return iconic;
}

// Whether `window` is `owner` or, through WM_TRANSIENT_FOR, a dialog of it.
bool IsOwnedBy(Display* display, Window window, Window owner) {
  for (int depth = 0; window != None && depth < 16; ++depth) {
    if (window == owner) {
      return true;
    }
    Window next = None;
    if (XGetTransientForHint(display, window, &next) == 0) {
      return false;
    }
    window = next;
  }
  return false;
}

// Whether the foreground is `window` itself or, with `ownDialogs`, also a
// dialog of it: the keyboard focus is inside that window and, where a window
// manager keeps an active window, that is the one. The active window is read
// first and the window manager asked only when it does not fit, so that the
// check before each key unit costs two requests to the X server.
bool ForegroundIs(Display* display, Window window, bool ownDialogs) {
  Window focus = KeyboardFocus(display);
  if (focus == None) {
    return false;
  }
  bool present = false;
  std::vector<Window> active = ReadWindowList(display, DefaultRootWindow(display),
                                              X11Atom(display, "_NET_ACTIVE_WINDOW"), &present);
  Window activeWindow = active.empty() ? None : active[0];
  bool fits = activeWindow != None &&
              (activeWindow == window || (ownDialogs && IsOwnedBy(display, activeWindow, window)));
  if (fits && IsSameOrInside(display, focus, activeWindow)) {
    return true;
  }
  if (X11WindowManagerSupports(display, "_NET_ACTIVE_WINDOW")) {
    return false;
  }
  // No window manager that keeps an active window (its property may be a
  // stale one): the keyboard focus decides.
  return IsSameOrInside(display, focus, window);
}

// The child of the root window that holds `window` (its frame, when a window
// manager has put it in one).
Window TopLevelAncestor(Display* display, Window window) {
  Window root = DefaultRootWindow(display);
  for (int depth = 0; depth < 64; ++depth) {
    Window parent = ParentOf(display, window);
    if (parent == None || parent == root) {
      break;
    }
    window = parent;
  }
  return window;
}

}  // namespace

void EnumerateTopLevelWindows(bool (*visit)(WindowId window, void* context), void* context) {
  Display* display = X11Connection();
  if (display == nullptr) {
    return;
  }
  for (Window window : StackingOrder(display)) {
    if (!visit(static_cast<WindowId>(window), context)) {
      break;
    }
  }
}

// Mapped on screen, or iconified (unmapped by the window manager, which
// keeps it in its lists): not one that is hidden otherwise.
bool WindowIsVisible(WindowId window) {
  Display* display = X11Connection();
  XWindowAttributes attributes;
  if (display == nullptr ||
      XGetWindowAttributes(display, static_cast<Window>(window), &attributes) == 0) {
    return false;
  }
  return attributes.map_state == IsViewable || IsIconified(display, static_cast<Window>(window));
}

// A transient window (a dialog, a palette) belongs to another window, as an
// owned window does on Windows.
bool WindowHasParent(WindowId window) {
  Display* display = X11Connection();
  Window owner = None;
  return display != nullptr &&
         XGetTransientForHint(display, static_cast<Window>(window), &owner) != 0;
}

// X11 has no disabled windows.
bool WindowIsEnabled(WindowId) { return true; }

std::string ReadWindowTitle(WindowId window) {
  Display* display = X11Connection();
  if (display == nullptr) {
    return std::string();
  }
  std::string title;
  XTextProperty property{};
  if (XGetTextProperty(display, static_cast<Window>(window), &property,
                       X11Atom(display, "_NET_WM_NAME")) != 0 &&
      property.encoding == X11Atom(display, "UTF8_STRING")) {
    title = TitleFromProperty(display, property);
  } else {
    if (property.value != nullptr) {
      XFree(property.value);
      property.value = nullptr;
    }
    if (XGetWMName(display, static_cast<Window>(window), &property) != 0) {
      title = TitleFromProperty(display, property);
    }
  }
  if (property.value != nullptr) {
    XFree(property.value);
  }
  // Like the Windows title buffer: zero-terminated, 260 bytes.
  title = title.substr(0, title.find('\0'));
  if (title.size() > kTitleLimit) {
    title.resize(kTitleLimit);
  }
  return title;
}

bool ActivateWindow(WindowId windowId) {
  Display* display = X11Connection();
  if (display == nullptr) {
    return false;
  }
  Window window = static_cast<Window>(windowId);
  bool iconified = IsIconified(display, window);
  if (!iconified && ForegroundIs(display, window, false)) {
    return true;
  }
  const uint64_t deadline = MonotonicMilliseconds() + kActivationBoundMilliseconds;
  Window root = DefaultRootWindow(display);
  if (X11WindowManagerSupports(display, "_NET_ACTIVE_WINDOW")) {
    // The window manager also de-iconifies the window.
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = X11Atom(display, "_NET_ACTIVE_WINDOW");
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2;  // the request comes from a pager-like tool
    event.xclient.data.l[1] = CurrentTime;
    event.xclient.data.l[2] = None;
    XSendEvent(display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(display);
  } else {
    if (iconified) {
      XMapWindow(display, window);  // asks a window manager for the normal state
    }
    XRaiseWindow(display, TopLevelAncestor(display, window));
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
    XSync(display, False);
  }
  for (;;) {
    if (ForegroundIs(display, window, false) && !IsIconified(display, window)) {
      return true;
    }
    if (MonotonicMilliseconds() >= deadline) {
      return false;
    }
    SleepMilliseconds(kActivationPollMilliseconds);
  }
}

bool ForegroundBelongsTo(WindowId windowId) {
  Display* display = X11Connection();
  return display != nullptr && ForegroundIs(display, static_cast<Window>(windowId), true);
}
