// A small X11 application for the tests: it opens top-level windows with the
// titles it is given and appends the text of every key press that a window
// receives to the file <directory>/<window number>.txt (UTF-8).
//
//   x11-test-client DIRECTORY [--transient|--modal|--unmapped|--latin1] TITLE ...
//
// --transient: the next window is transient for window 0; --modal: the same,
// and it is a modal dialog of window 0 (which the window manager focuses
// whenever window 0 is activated); --unmapped: the next window is created but
// never mapped; --latin1: the next window has only a WM_NAME in ISO 8859-1, no
// _NET_WM_NAME. Titles are UTF-8.
// Stdout: "window N 0xID" for each window, "ready" once the mapped windows are
// mapped, "closed N" when the window manager asks window N to close (the
// window is then destroyed; the program ends with the last one).

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct TestWindow {
  Window window = None;
  XIC inputContext = nullptr;
  bool wantMapped = true;
  bool open = true;
};

std::string Latin1FromUtf8(const std::string& utf8) {
  std::string text;
  for (size_t i = 0; i < utf8.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      text += static_cast<char>(c);
    } else if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size()) {
      text += static_cast<char>(((c & 0x03) << 6) | (utf8[++i] & 0x3F));
    } else {
      text += '?';
    }
  }
  return text;
}

void AppendText(const std::string& directory, size_t index, const char* text, int length) {
  std::string path = directory + "/" + std::to_string(index) + ".txt";
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (fd >= 0) {
    if (write(fd, text, static_cast<size_t>(length)) != length) {
      std::perror("write");
    }
    close(fd);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: x11-test-client DIRECTORY [OPTION] TITLE ...\n");
    return 2;
  }
  std::setlocale(LC_ALL, "C.UTF-8");
  XSetLocaleModifiers("@im=none");
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "x11-test-client: no display\n");
    return 1;
  }
  XIM inputMethod = XOpenIM(display, nullptr, nullptr, nullptr);
  if (inputMethod == nullptr) {
    std::fprintf(stderr, "x11-test-client: no input method\n");
    return 1;
  }
  std::string directory = argv[1];
  Atom netWmName = XInternAtom(display, "_NET_WM_NAME", False);
  Atom utf8String = XInternAtom(display, "UTF8_STRING", False);
  Atom wmProtocols = XInternAtom(display, "WM_PROTOCOLS", False);
  Atom wmDeleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
  Window root = DefaultRootWindow(display);

  std::vector<TestWindow> windows;
  bool transient = false;
  bool modal = false;
  bool unmapped = false;
  bool latin1 = false;
  for (int i = 2; i < argc; ++i) {
    std::string argument = argv[i];
    if (argument == "--transient") {
      transient = true;
      continue;
    }
    if (argument == "--modal") {
      transient = modal = true;
      continue;
    }
    if (argument == "--unmapped") {
      unmapped = true;
      continue;
    }
    if (argument == "--latin1") {
      latin1 = true;
      continue;
    }
    TestWindow entry;
    int offset = 40 * static_cast<int>(windows.size());
    entry.window = XCreateSimpleWindow(display, root, 20 + offset, 20 + offset, 300, 200, 1,
                                       BlackPixel(display, 0), WhitePixel(display, 0));
    XSelectInput(display, entry.window, KeyPressMask | StructureNotifyMask | FocusChangeMask);
    std::string nameLatin1 = Latin1FromUtf8(argument);
    XChangeProperty(display, entry.window, XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(nameLatin1.data()),
                    static_cast<int>(nameLatin1.size()));
    if (!latin1) {
      XChangeProperty(display, entry.window, netWmName, utf8String, 8, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(argument.data()),
                      static_cast<int>(argument.size()));
    }
    XSetWMProtocols(display, entry.window, &wmDeleteWindow, 1);
    if (transient && !windows.empty()) {
      XSetTransientForHint(display, entry.window, windows[0].window);
    }
    if (modal && !windows.empty()) {
      Atom modalState = XInternAtom(display, "_NET_WM_STATE_MODAL", False);
      XChangeProperty(display, entry.window, XInternAtom(display, "_NET_WM_STATE", False), XA_ATOM,
                      32, PropModeReplace, reinterpret_cast<unsigned char*>(&modalState), 1);
    }
    entry.inputContext =
        XCreateIC(inputMethod, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow,
                  entry.window, XNFocusWindow, entry.window, nullptr);
    entry.wantMapped = !unmapped;
    if (entry.wantMapped) {
      XMapWindow(display, entry.window);
    }
    std::printf("window %zu 0x%lx\n", windows.size(), entry.window);
    windows.push_back(entry);
    transient = modal = unmapped = latin1 = false;
  }
  std::fflush(stdout);

  bool announced = false;
  for (;;) {
    bool anyOpen = false;
    for (const TestWindow& entry : windows) {
      anyOpen = anyOpen || entry.open;
    }
    if (!anyOpen) {
      return 0;
    }
    if (!announced) {
      // Asked, not counted from MapNotify events: a window manager that starts
      // meanwhile may take windows over in any order.
      bool allMapped = true;
      for (const TestWindow& entry : windows) {
        XWindowAttributes attributes;
        allMapped = allMapped && (!entry.wantMapped ||
                                  (XGetWindowAttributes(display, entry.window, &attributes) != 0 &&
                                   attributes.map_state == IsViewable));
      }
      if (allMapped) {
        std::printf("ready\n");
        std::fflush(stdout);
        announced = true;
      }
    }
    if (XPending(display) == 0) {
      pollfd connection{ConnectionNumber(display), POLLIN, 0};
      poll(&connection, 1, announced ? -1 : 20);
      continue;
    }
    XEvent event;
    XNextEvent(display, &event);
    if (XFilterEvent(&event, None)) {
      continue;
    }
    for (size_t index = 0; index < windows.size(); ++index) {
      TestWindow& entry = windows[index];
      if (event.xany.window != entry.window || !entry.open) {
        continue;
      }
      if (event.type == KeyPress) {
        // The key's symbols as the server has them now. Xlib keeps a copy of
        // the keyboard map that it updates from the notices of changes; with
        // keys rebound in quick succession (spare keycodes) while this
        // program lagged behind on a busy core, that copy missed changes: a
        // key was read with the symbols it had before, or with none (11 runs
        // in 12 of a burst of 40 rebound keys; the X11 tests lost or changed
        // a character in 2 runs of 10 on two busy cores). Fetched again at
        // each key press, that key's copy is the server's current one, which
        // the back end keeps until the key has been idle a while.
        XMappingEvent refresh{};
        refresh.type = MappingNotify;
        refresh.display = display;
        refresh.request = MappingKeyboard;
        refresh.first_keycode = static_cast<int>(event.xkey.keycode);
        refresh.count = 1;
        XRefreshKeyboardMapping(&refresh);
        char text[64];
        KeySym keysym = NoSymbol;
        Status status = 0;
        int length =
            Xutf8LookupString(entry.inputContext, &event.xkey, text, sizeof text, &keysym, &status);
        if ((status == XLookupChars || status == XLookupBoth) && length > 0) {
          AppendText(directory, index, text, length);
        }
      } else if (event.type == ClientMessage && event.xclient.message_type == wmProtocols &&
                 static_cast<Atom>(event.xclient.data.l[0]) == wmDeleteWindow) {
        std::printf("closed %zu\n", index);
        std::fflush(stdout);
        XDestroyIC(entry.inputContext);
        XDestroyWindow(display, entry.window);
        entry.open = false;
      }
    }
  }
}
