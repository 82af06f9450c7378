// Test support for the X11 tests: a private Xvfb display, a window manager on
// it and the test client, all started and stopped by process id.
#pragma once

#include <X11/Xlib.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// How long a wait of these tests goes on for an outcome that has not come,
// before the test gives up: a bound for a fault, far beyond the time that
// anything takes, since every wait ends as soon as its outcome is there. The
// longest measured is openbox catching up after a test that binds many spare
// keys (it handles every change of the keyboard map: some 7 s of processor
// time after the code-page test), before it maps the next window: a test
// client's window was managed 18 to 20 s after that test on two cores busy
// with other work (without it, under 0.1 s).
constexpr std::chrono::milliseconds kOutcomeBound = std::chrono::seconds(90);

// Polls `condition` every few milliseconds until it holds or `timeout` ends.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = kOutcomeBound);

struct ChildProcess {
  pid_t pid = -1;
  int output = -1;  // the read end of its stdout, or -1
  std::string pending;
};

// Starts `arguments` with `environment` added (NAME=VALUE), stdin from
// /dev/null and, when `captureOutput`, stdout into a pipe.
ChildProcess StartChild(const std::vector<std::string>& arguments,
                        const std::vector<std::string>& environment, bool captureOutput);
// Sends SIGTERM (SIGKILL after five seconds) and reaps the process.
void StopChild(ChildProcess* child);
bool ChildHasEnded(ChildProcess* child);
// The next line of the child's stdout (without its line feed); false when
// none arrives in time or the output ends.
bool ReadChildLine(ChildProcess* child, std::string* line,
                   std::chrono::milliseconds timeout = kOutcomeBound);

// A private X display for one test program.
struct X11Session {
  ChildProcess server;
  ChildProcess windowManager;
  std::string display;            // ":N"
  std::string directory;          // a private temporary directory
  Display* connection = nullptr;  // the test's own connection
  ~X11Session();                  // stops what is still running
};

// Starts Xvfb on a free display, with openbox when `windowManager`, and sets
// DISPLAY for this process; false when something did not come up.
bool StartX11Session(X11Session* session, bool windowManager);
void StopX11Session(X11Session* session);

// The test client with its windows; `windows` receives their ids in order.
struct TestClient {
  ChildProcess process;
  std::vector<Window> windows;
  std::string directory;  // where it writes the text its windows receive
  ~TestClient();          // stops the client if it still runs
};

// Starts the client with these arguments (see x11_test_client.cpp) and waits
// until its mapped windows are mapped and, with a window manager, managed:
// until the window manager has handled everything asked of it before.
bool StartTestClient(X11Session* session, const std::vector<std::string>& arguments,
                     TestClient* client);
// The text that window `index` of the client has received so far.
std::string ReceivedText(const TestClient& client, size_t index);

// Root window properties as the test sees them.
std::vector<Window> ClientListStacking(Display* display);
Window ActiveWindow(Display* display);
bool WindowExists(Display* display, Window window);
// Every window on the display whose type is _NET_WM_WINDOW_TYPE_DIALOG,
// mapped or not, whatever its title.
std::vector<Window> DialogWindows(Display* display);
// Whether any keycode of the keyboard map carries `keysym`.
bool KeymapHasKeysym(Display* display, KeySym keysym);
// Whether no key of the keyboard is down.
bool NoKeyIsDown(Display* display);
