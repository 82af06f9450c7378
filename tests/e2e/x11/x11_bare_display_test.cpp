// The X11 back ends on a display without a window manager: the root window's
// children in stacking order, activation by raising and focusing.

#include <gtest/gtest.h>
// Xlib's macros (None, Bool, Status) after the test framework's headers.
#include <X11/Xlib.h>

#include <string>
#include <vector>

#include "platform/desktop.h"
#include "tests/e2e/x11/x11_backend_keys.h"
#include "tests/e2e/x11/x11_session.h"

namespace {

struct Seen {
  std::vector<WindowId> windows;
};

std::vector<WindowId> VisibleTopLevelWindows(const std::string& prefix) {
  Seen seen;
  static std::string wanted;
  wanted = prefix;
  EnumerateTopLevelWindows(
      [](WindowId window, void* context) {
        if (WindowIsVisible(window) && !WindowHasParent(window) &&
            ReadWindowTitle(window).compare(0, wanted.size(), wanted) == 0) {
          static_cast<Seen*>(context)->windows.push_back(window);
        }
        return true;
      },
      &seen);
  return seen.windows;
}

TEST(X11WithoutWindowManager, StackingOrderActivationAndTyping) {
  X11Session session;
  ASSERT_TRUE(StartX11Session(&session, false));
  TestClient client;
  ASSERT_TRUE(StartTestClient(
      &session,
      {"Notes - one", "Notes - two", "--transient", "Notes - tool", "--unmapped", "Notes - hidden"},
      &client));
  ASSERT_EQ(client.windows.size(), 4u);
  Window one = client.windows[0];
  Window two = client.windows[1];

  // Created later, "two" lies above "one"; the transient and the unmapped
  // window do not qualify.
  EXPECT_EQ(VisibleTopLevelWindows("Notes"), (std::vector<WindowId>{two, one}));

  EXPECT_TRUE(ActivateWindow(one));
  EXPECT_EQ(VisibleTopLevelWindows("Notes"), (std::vector<WindowId>{one, two}));
  Window focus = None;
  int revert = 0;
  XGetInputFocus(session.connection, &focus, &revert);
  EXPECT_EQ(focus, one);

  TypeText("Hi!\xE9");
  EXPECT_TRUE(WaitUntil([&] { return ReceivedText(client, 0) == "Hi!\xC3\xA9"; }))
      << ReceivedText(client, 0);

  StopChild(&client.process);
  StopX11Session(&session);
}

// A window manager that puts clients into frames without EWMH: the frames are
// the root's children, the client windows inside carry WM_STATE.
TEST(X11WithoutWindowManager, ClientWindowsInsideFramesAreFound) {
  X11Session session;
  ASSERT_TRUE(StartX11Session(&session, false));
  TestClient client;
  ASSERT_TRUE(StartTestClient(&session, {"Framed - lower", "Framed - upper"}, &client));
  Display* display = session.connection;
  Atom wmState = XInternAtom(display, "WM_STATE", False);
  std::vector<Window> frames;
  for (Window window : client.windows) {
    Window frame =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 320, 240, 0, 0, 0);
    Window inner = XCreateSimpleWindow(display, frame, 0, 20, 300, 200, 0, 0, 0);
    XReparentWindow(display, window, inner, 0, 0);
    long state[2] = {1, 0};  // NormalState
    XChangeProperty(display, window, wmState, wmState, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(state), 2);
    XMapWindow(display, inner);
    XMapWindow(display, frame);
    XMapWindow(display, window);
    frames.push_back(frame);
  }
  XSync(display, False);
  ASSERT_TRUE(WaitUntil([&] {
    return VisibleTopLevelWindows("Framed") ==
           std::vector<WindowId>{client.windows[1], client.windows[0]};
  })) << VisibleTopLevelWindows("Framed").size();

  // Activation raises the frame, not only the client inside it.
  EXPECT_TRUE(ActivateWindow(client.windows[0]));
  EXPECT_EQ(VisibleTopLevelWindows("Framed"),
            (std::vector<WindowId>{client.windows[0], client.windows[1]}));
  TypeText("in");
  EXPECT_TRUE(WaitUntil([&] { return ReceivedText(client, 0) == "in"; }))
      << ReceivedText(client, 0);
}

}  // namespace
