#include "tests/e2e/x11/x11_session.h"

#include <X11/Xatom.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#ifndef PODIANT_X11_TEST_CLIENT
#error "PODIANT_X11_TEST_CLIENT names the test client program"
#endif

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (condition()) {
      return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

ChildProcess StartChild(const std::vector<std::string>& arguments,
                        const std::vector<std::string>& environment, bool captureOutput) {
  ChildProcess child;
  int pipeEnds[2] = {-1, -1};
  if (captureOutput && pipe2(pipeEnds, O_CLOEXEC) != 0) {
    return child;
  }
  std::vector<char*> argv;
  for (const std::string& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  pid_t parent = getpid();
  pid_t pid = fork();
  if (pid == 0) {
    // A test program that dies takes its display, window manager and clients
    // with it, instead of leaving them to hold its output open.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) {
      _exit(126);
    }
    int input = open("/dev/null", O_RDONLY);
    dup2(input, 0);
    if (captureOutput) {
      dup2(pipeEnds[1], 1);
    }
    for (const std::string& entry : environment) {
      putenv(const_cast<char*>(entry.c_str()));
    }
    execvp(argv[0], argv.data());
    _exit(127);
  }
  child.pid = pid;
  if (captureOutput) {
    close(pipeEnds[1]);
    child.output = pipeEnds[0];
  }
  return child;
}

bool ChildHasEnded(ChildProcess* child) {
  if (child->pid <= 0) {
    return true;
  }
  int status = 0;
  if (waitpid(child->pid, &status, WNOHANG) == child->pid) {
    child->pid = -1;
    return true;
  }
  return false;
}

void StopChild(ChildProcess* child) {
  if (child->pid > 0) {
    kill(child->pid, SIGTERM);
    if (!WaitUntil([&] { return ChildHasEnded(child); }, std::chrono::seconds(5))) {
      kill(child->pid, SIGKILL);
      waitpid(child->pid, nullptr, 0);
      child->pid = -1;
    }
  }
  if (child->output >= 0) {
    close(child->output);
    child->output = -1;
  }
}

bool ReadChildLine(ChildProcess* child, std::string* line, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    size_t end = child->pending.find('\n');
    if (end != std::string::npos) {
      *line = child->pending.substr(0, end);
      child->pending.erase(0, end + 1);
      return true;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (child->output < 0 || left.count() <= 0) {
      return false;
    }
    pollfd entry{child->output, POLLIN, 0};
    if (poll(&entry, 1, static_cast<int>(left.count())) <= 0) {
      continue;
    }
    char buffer[512];
    ssize_t count = read(child->output, buffer, sizeof buffer);
    if (count <= 0) {
      return false;
    }
    child->pending.append(buffer, static_cast<size_t>(count));
  }
}

namespace {

Window ReadWindowProperty(Display* display, Window window, const char* name) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long remaining = 0;
  unsigned char* data = nullptr;
  Window value = None;
  if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 1, False, XA_WINDOW,
                         &type, &format, &count, &remaining, &data) == Success &&
      type == XA_WINDOW && count == 1) {
    value = reinterpret_cast<unsigned long*>(data)[0];
  }
  if (data != nullptr) {
    XFree(data);
  }
  return value;
}

int IgnoreErrors(Display*, XErrorEvent*) { return 0; }

}  // namespace

std::vector<Window> ClientListStacking(Display* display) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long remaining = 0;
  unsigned char* data = nullptr;
  std::vector<Window> windows;
  if (XGetWindowProperty(display, DefaultRootWindow(display),
                         XInternAtom(display, "_NET_CLIENT_LIST_STACKING", False), 0, 4096, False,
                         XA_WINDOW, &type, &format, &count, &remaining, &data) == Success &&
      type == XA_WINDOW) {
    const unsigned long* values = reinterpret_cast<unsigned long*>(data);
    windows.assign(values, values + count);
  }
  if (data != nullptr) {
    XFree(data);
  }
  return windows;
}

Window ActiveWindow(Display* display) {
  return ReadWindowProperty(display, DefaultRootWindow(display), "_NET_ACTIVE_WINDOW");
}

bool WindowExists(Display* display, Window window) {
  XWindowAttributes attributes;
  return XGetWindowAttributes(display, window, &attributes) != 0;
}

std::vector<Window> DialogWindows(Display* display) {
  Atom windowType = XInternAtom(display, "_NET_WM_WINDOW_TYPE", False);
  Atom dialog = XInternAtom(display, "_NET_WM_WINDOW_TYPE_DIALOG", False);
  std::vector<Window> dialogs;
  std::vector<Window> pending = {DefaultRootWindow(display)};
  while (!pending.empty()) {
    Window window = pending.back();
    pending.pop_back();
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, windowType, 0, 16, False, XA_ATOM, &type, &format,
                           &count, &remaining, &data) == Success &&
        type == XA_ATOM) {
      const Atom* types = reinterpret_cast<Atom*>(data);
      for (unsigned long i = 0; i < count; ++i) {
        if (types[i] == dialog) dialogs.push_back(window);
      }
    }
    if (data != nullptr) XFree(data);
    Window root = None;
    Window parent = None;
    Window* children = nullptr;
    unsigned int childCount = 0;
    if (XQueryTree(display, window, &root, &parent, &children, &childCount) != 0) {
      pending.insert(pending.end(), children, children + childCount);
      if (children != nullptr) XFree(children);
    }
  }
  return dialogs;
}

bool StartX11Session(X11Session* session, bool windowManager) {
  char directoryTemplate[] = "/tmp/podiant-x11.XXXXXX";
  if (mkdtemp(directoryTemplate) == nullptr) {
    return false;
  }
  session->directory = directoryTemplate;
  int displayPipe[2];
  if (pipe(displayPipe) != 0) {
    return false;
  }
  pid_t pid = fork();
  if (pid == 0) {
    close(displayPipe[0]);
    int input = open("/dev/null", O_RDWR);
    dup2(input, 0);
    dup2(input, 1);
    dup2(input, 2);
    std::string fd = std::to_string(displayPipe[1]);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten",
           "tcp", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(displayPipe[1]);
  session->server.pid = pid;
  session->server.output = displayPipe[0];
  std::string line;
  if (!ReadChildLine(&session->server, &line) || line.empty()) {
    return false;
  }
  session->display = ":" + line;
  setenv("DISPLAY", session->display.c_str(), 1);
  XSetErrorHandler(IgnoreErrors);
  session->connection = XOpenDisplay(session->display.c_str());
  if (session->connection == nullptr) {
    return false;
  }
  if (windowManager) {
    // Openbox with its default configuration (Alt+F4 closes a window).
    std::string home = "HOME=" + session->directory;
    std::string config = "XDG_CONFIG_HOME=" + session->directory + "/config";
    session->windowManager = StartChild({"openbox", "--sm-disable"},
                                        {"DISPLAY=" + session->display, home, config}, false);
    Display* display = session->connection;
    if (!WaitUntil([&] {
          Window check =
              ReadWindowProperty(display, DefaultRootWindow(display), "_NET_SUPPORTING_WM_CHECK");
          return check != None &&
                 ReadWindowProperty(display, check, "_NET_SUPPORTING_WM_CHECK") == check;
        })) {
      return false;
    }
    // Openbox announces itself before it handles map requests, and drops the
    // ones that come too early: ready is when a probe window gets mapped.
    Window probe = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 10, 10, 0, 0, 0);
    int attempts = 0;
    bool mapped = WaitUntil([&] {
      XWindowAttributes attributes;
      if (XGetWindowAttributes(display, probe, &attributes) != 0 &&
          attributes.map_state == IsViewable) {
        return true;
      }
      if (attempts++ % 50 == 0) {
        XMapWindow(display, probe);
        XFlush(display);
      }
      return false;
    });
    XDestroyWindow(display, probe);
    XSync(display, False);
    return mapped;
  }
  return true;
}

void StopX11Session(X11Session* session) {
  StopChild(&session->windowManager);
  if (session->connection != nullptr) {
    XCloseDisplay(session->connection);
    session->connection = nullptr;
  }
  StopChild(&session->server);
  if (!session->directory.empty()) {
    std::string command = "rm -rf '" + session->directory + "'";
    if (system(command.c_str()) != 0) {
      // Left behind in /tmp; nothing else depends on it.
    }
    session->directory.clear();
  }
}

X11Session::~X11Session() { StopX11Session(this); }

TestClient::~TestClient() { StopChild(&process); }

bool StartTestClient(X11Session* session, const std::vector<std::string>& arguments,
                     TestClient* client) {
  static int clientNumber = 0;
  client->directory = session->directory + "/client" + std::to_string(++clientNumber);
  if (mkdir(client->directory.c_str(), 0700) != 0) {
    return false;
  }
  std::vector<std::string> command = {PODIANT_X11_TEST_CLIENT, client->directory};
  command.insert(command.end(), arguments.begin(), arguments.end());
  client->process = StartChild(command, {"DISPLAY=" + session->display}, true);
  std::vector<Window> mapped;
  bool transientNext = false;
  bool unmappedNext = false;
  size_t argument = 0;
  // "ready" comes once the window manager has mapped the windows, which it
  // does after everything asked of it before: after a test that changed the
  // keyboard map many times, that is seconds later.
  auto start = std::chrono::steady_clock::now();
  auto seconds = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  for (;;) {
    std::string line;
    if (!ReadChildLine(&client->process, &line)) {
      std::fprintf(stderr, "test client: no \"ready\" line after %zu windows in %.1f s%s\n",
                   client->windows.size(), seconds(),
                   ChildHasEnded(&client->process) ? " (it has ended)" : "");
      return false;
    }
    if (line == "ready") {
      if (seconds() > 2) std::fprintf(stderr, "test client: ready after %.1f s\n", seconds());
      break;
    }
    unsigned long id = 0;
    size_t index = 0;
    if (std::sscanf(line.c_str(), "window %zu 0x%lx", &index, &id) == 2) {
      client->windows.push_back(static_cast<Window>(id));
      // Which of them the client maps: all but those after --unmapped.
      while (argument < arguments.size() && arguments[argument].rfind("--", 0) == 0) {
        unmappedNext = unmappedNext || arguments[argument] == "--unmapped";
        transientNext = transientNext || arguments[argument] == "--transient";
        ++argument;
      }
      if (!unmappedNext) {
        mapped.push_back(static_cast<Window>(id));
      }
      unmappedNext = transientNext = false;
      ++argument;
    }
  }
  Display* display = session->connection;
  if (session->windowManager.pid <= 0) {
    return true;
  }
  bool managed = WaitUntil([&] {
    std::vector<Window> managed = ClientListStacking(display);
    for (Window window : mapped) {
      bool found = false;
      for (Window other : managed) {
        found = found || other == window;
      }
      XWindowAttributes attributes;
      if (!found || XGetWindowAttributes(display, window, &attributes) == 0 ||
          attributes.map_state != IsViewable) {
        return false;
      }
    }
    return true;
  });
  if (!managed) {
    std::fprintf(stderr, "test client: windows not managed by the window manager\n");
  }
  return managed;
}

std::string ReceivedText(const TestClient& client, size_t index) {
  std::ifstream file(client.directory + "/" + std::to_string(index) + ".txt", std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

bool KeymapHasKeysym(Display* display, KeySym keysym) {
  int minKeycode = 0;
  int maxKeycode = 0;
  XDisplayKeycodes(display, &minKeycode, &maxKeycode);
  int perKeycode = 0;
  KeySym* keysyms = XGetKeyboardMapping(display, static_cast<KeyCode>(minKeycode),
                                        maxKeycode - minKeycode + 1, &perKeycode);
  if (keysyms == nullptr) {
    return false;
  }
  bool found = false;
  for (int i = 0; i < (maxKeycode - minKeycode + 1) * perKeycode; ++i) {
    found = found || keysyms[i] == keysym;
  }
  XFree(keysyms);
  return found;
}

bool NoKeyIsDown(Display* display) {
  char keys[32];
  XQueryKeymap(display, keys);
  for (char byte : keys) {
    if (byte != 0) {
      return false;
    }
  }
  return true;
}
