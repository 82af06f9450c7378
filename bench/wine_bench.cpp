// The Windows program under Wine: what it costs while idle, and how soon its
// close sequence goes on once the server thread has ended.
//
//   wine-bench --server EXE --probe PROBE [--standin STANDIN] [--clients SCRIPT] [--quick]
//
// Runs in a Wine session of its own (scripts/wine-session.sh: WINEPREFIX and
// DISPLAY set, nothing else running in that prefix). EXE is the
// podiant-server.exe to measure, PROBE the test probe that reads its window,
// STANDIN the stand-in automation server of the tests.
//
// - Idle: the program listening, nothing sent. CPU time per second over
//   windows of 10 s (utime+stime of /proc/<pid>/stat, and the run time of
//   schedstat summed over the threads) of the program, of the prefix's
//   wineserver and of the prefix's other processes (services, desktop), and
//   how often the program and the wineserver were scheduled; first the same
//   for the prefix alone, before the program starts.
// - A show open (with STANDIN, registered in the prefix as PowerPoint): the
//   same after an OPEN whose show runs on the stand-in, without the feedback,
//   with it to a socket of the bench (the program reads the show every
//   250 ms, the heartbeat every 5 s) and with it and notes=on (the slide's
//   details too); then with the feedback, without and with notes=on, while
//   the bench sends a GOTO every second (slides 2, 3, 4, 5, 1 in turn), so
//   that the difference is the cost of reading each new slide's details.
// - The web remote (with SCRIPT, bench/web_clients.py): the same idle windows
//   with [web] and 3 live clients of the script connected (a ping each every
//   5 s).
// - Close: the probe watches the status label; the close box is pressed.
//   From the moment the server thread has closed its socket (the port gone
//   from /proc/net/udp: its last step that shows outside) and from its end
//   (its Linux task gone: the first of the program's tasks to end) to the
//   moment the watcher prints a label text with "THREAD STOPPED!". Both are
//   looked for every 250 µs; the watcher looks every 2 ms or so, which bounds
//   the resolution.
//
// Rows of a markdown table (measure | figure) go to standard output,
// progress to standard error.
#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "bench/process_stats.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kLoader = "/usr/lib/wine/wine64";
constexpr const char* kTitle = "Podiant Server";

struct Options {
  std::string server;
  std::string probe;
  std::string standIn;
  std::string clients;
  int idleSeconds = 10;
  int idleWindows = 3;
  int closes = 10;
};

Options options;
std::vector<pid_t> runningPids;

void Progress(const std::string& text) { std::fprintf(stderr, "wine-bench: %s\n", text.c_str()); }

[[noreturn]] void Fail(const std::string& text) {
  std::fprintf(stderr, "wine-bench: FAILED: %s\n", text.c_str());
  for (pid_t pid : runningPids) kill(pid, SIGKILL);
  std::_Exit(1);
}

// A Wine process; its standard output on a pipe (`output`) or /dev/null.
struct Child {
  pid_t pid = -1;
  int output = -1;
};

Child Spawn(const std::vector<std::string>& arguments, const std::string& directory, bool capture) {
  int pipeEnds[2] = {-1, -1};
  if (capture && pipe2(pipeEnds, O_CLOEXEC) != 0) Fail("pipe");
  pid_t pid = fork();
  if (pid < 0) Fail("fork");
  if (pid == 0) {
    if (!directory.empty() && chdir(directory.c_str()) != 0) _exit(126);
    int nothing = open("/dev/null", O_RDWR);
    dup2(nothing, STDIN_FILENO);
    dup2(capture ? pipeEnds[1] : nothing, STDOUT_FILENO);
    dup2(nothing, STDERR_FILENO);
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
      argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  runningPids.push_back(pid);
  Child child{pid, -1};
  if (capture) {
    close(pipeEnds[1]);
    child.output = pipeEnds[0];
  }
  return child;
}

int Reap(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  runningPids.erase(std::remove(runningPids.begin(), runningPids.end(), pid), runningPids.end());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs the probe with `arguments`; its standard output, or "" when it failed.
std::string RunProbe(const std::vector<std::string>& arguments) {
  std::vector<std::string> command = {kLoader, options.probe};
  command.insert(command.end(), arguments.begin(), arguments.end());
  Child probe = Spawn(command, "", true);
  std::string output;
  char chunk[4096];
  for (ssize_t n; (n = read(probe.output, chunk, sizeof chunk)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    output.append(chunk, static_cast<size_t>(n));
  }
  close(probe.output);
  return Reap(probe.pid) == 0 ? output : std::string();
}

std::string FromHex(const std::string& hex) {
  std::string text;
  for (size_t i = 0; i + 1 < hex.size() && hex[i] != '\r' && hex[i] != '\n'; i += 2) {
    text += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return text;
}

// /tmp/x as Wine's Z:\tmp\x.
std::string WindowsPath(const std::string& path) {
  std::string windows = "Z:" + path;
  std::replace(windows.begin(), windows.end(), '/', '\\');
  return windows;
}

// The program, started in a directory of its own, listening on a free port.
struct Program {
  std::string directory;
  int port = 0;
  pid_t pid = -1;
};

Program StartProgram(const std::string& moreSettings = "") {
  Program program;
  char pattern[] = "/tmp/podiant-wine-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) Fail("no temporary directory");
  program.directory = pattern;
  program.port = FreeUdpPort();
  if (program.port == 0) Fail("no free UDP port");
  std::ofstream(program.directory + "/podiant.ini") << "[settings]\nport=" << program.port << "\n"
                                                    << moreSettings;
  program.pid = Spawn({kLoader, options.server}, program.directory, false).pid;
  Clock::time_point deadline = Clock::now() + std::chrono::seconds(60);
  while (FromHex(RunProbe({"control-text", kTitle, "101"})).find("Listening at") ==
         std::string::npos) {
    if (Clock::now() > deadline) Fail("the program did not start listening");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  return program;
}

void EndProgram(Program& program) {
  Clock::time_point deadline = Clock::now() + std::chrono::seconds(30);
  RunProbe({"post-close", kTitle});
  while (waitpid(program.pid, nullptr, WNOHANG) != program.pid) {
    if (Clock::now() > deadline) Fail("the program did not end after its close");
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  runningPids.erase(std::remove(runningPids.begin(), runningPids.end(), program.pid),
                    runningPids.end());
  std::remove((program.directory + "/podiant.ini").c_str());
  rmdir(program.directory.c_str());
}

std::set<std::string> Tasks(pid_t pid) {
  std::set<std::string> tasks;
  DIR* dir = opendir(("/proc/" + std::to_string(pid) + "/task").c_str());
  if (dir == nullptr) return tasks;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') tasks.insert(entry->d_name);
  }
  closedir(dir);
  return tasks;
}

// Whether a UDP socket is bound to `port` on every address (/proc/net/udp).
bool UdpPortOpen(int port) {
  char local[32];
  std::snprintf(local, sizeof local, " 00000000:%04X ", port);
  return ReadFile("/proc/net/udp").find(local) != std::string::npos;
}

// ---- A show open ----

// The stand-in's directory (its calls.log), while it is registered.
std::string standInDirectory;

// Registers the stand-in in the prefix as "Powerpoint.Application", started
// by COM for each new instance, logging into a directory of its own.
void RegisterStandIn() {
  char pattern[] = "/tmp/podiant-wine-bench-standin-XXXXXX";
  if (mkdtemp(pattern) == nullptr) Fail("no temporary directory");
  standInDirectory = pattern;
  // A .reg string: backslashes and quotes escaped.
  auto regString = [](const std::string& text) {
    std::string escaped = "\"";
    for (char c : text)
      escaped += c == '\\' || c == '"' ? std::string("\\") + c : std::string(1, c);
    return escaped + "\"";
  };
  const std::string classId = "{6E5A1F3C-8B27-4D19-A0C4-3F9B2D7E61A5}";
  const std::string command =
      "\"" + WindowsPath(options.standIn) + "\" --dir \"" + WindowsPath(standInDirectory) + "\"";
  std::string reg = "Windows Registry Editor Version 5.00\n\n";
  reg += "[HKEY_CLASSES_ROOT\\Powerpoint.Application\\CLSID]\n@=" + regString(classId) + "\n\n";
  reg +=
      "[HKEY_CLASSES_ROOT\\CLSID\\" + classId + "\\LocalServer32]\n@=" + regString(command) + "\n";
  std::string path = standInDirectory + "/standin.reg";
  std::ofstream(path) << reg;
  if (Reap(Spawn({kLoader, "regedit", "/s", WindowsPath(path)}, "", false).pid) != 0) {
    Fail("the stand-in could not be registered");
  }
}

// OPENs a presentation on the stand-in and waits until its show runs.
void OpenShow(const Program& program) {
  std::string log = standInDirectory + "/calls.log";
  std::remove(log.c_str());
  int port = 0;
  int sender = BoundSocket(&port);
  SendTo(sender, program.port, "OPEN C:\\talk.pptx");
  close(sender);
  Clock::time_point deadline = Clock::now() + std::chrono::seconds(60);
  while (ReadFile(log).find("-> slideshowview1") == std::string::npos) {
    if (Clock::now() > deadline) Fail("the show did not come up on the stand-in");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

// ---- Idle ----

// The Wine processes of this prefix (its wineserver apart), but the program.
struct PrefixProcesses {
  pid_t wineserver = -1;
  std::vector<pid_t> others;
};

PrefixProcesses FindPrefixProcesses(pid_t program) {
  PrefixProcesses found;
  std::string prefix = std::string("WINEPREFIX=") + std::getenv("WINEPREFIX");
  DIR* proc = opendir("/proc");
  while (dirent* entry = proc != nullptr ? readdir(proc) : nullptr) {
    pid_t pid = std::atoi(entry->d_name);
    if (pid <= 0 || pid == program || pid == getpid()) continue;
    std::string base = std::string("/proc/") + entry->d_name;
    char exe[4096] = {};
    if (readlink((base + "/exe").c_str(), exe, sizeof exe - 1) <= 0) continue;
    if (std::strstr(exe, "/wine") == nullptr) continue;
    std::string environment = ReadFile(base + "/environ");
    bool inPrefix = false;
    for (size_t at = 0; at < environment.size(); at = environment.find('\0', at) + 1) {
      if (environment.compare(at, prefix.size() + 1, prefix + '\0') == 0) inPrefix = true;
      if (environment.find('\0', at) == std::string::npos) break;
    }
    if (!inPrefix) continue;
    if (std::strstr(exe, "/wineserver") != nullptr) {  // wineserver or wineserver64
      found.wineserver = pid;
    } else {
      found.others.push_back(pid);
    }
  }
  if (proc != nullptr) closedir(proc);
  return found;
}

struct Sample {
  double cpuMs = 0;
  double runMs = 0;
  double scheduled = 0;
};

// One process's counters; none for a process that is gone.
bool Measure(pid_t pid, Sample* sample) {
  if (access(("/proc/" + std::to_string(pid) + "/stat").c_str(), F_OK) != 0) return false;
  SchedTotals sched = ProcessSchedTotals(pid);
  sample->cpuMs = ProcessCpuSeconds(pid) * 1e3;
  sample->runMs = static_cast<double>(sched.runNs) / 1e6;
  sample->scheduled = static_cast<double>(sched.timesScheduled);
  return true;
}

// Per second over each idle window, for each group of processes.
struct IdleFigures {
  std::vector<double> cpuMs[3], runMs[3], scheduled[3];
};

// A TCP port on 127.0.0.1 that was free a moment ago.
int FreeTcpPort() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

// The idle windows of the program (started here when `withProgram`, with
// `moreSettings` and, when `withShow`, a show open; with `gotos`, a GOTO sent
// every second meanwhile; with `webPort` the script's 3 live clients
// connected to it) and of the prefix around it.
IdleFigures MeasureIdle(bool withProgram, const std::string& moreSettings = "",
                        bool withShow = false, bool gotos = false, int webPort = 0) {
  Program program;
  if (withProgram) program = StartProgram(moreSettings);
  if (withShow) OpenShow(program);
  std::atomic<bool> stop{false};
  std::thread sender;
  if (gotos) {
    sender = std::thread([&] {
      int port = 0;
      int fd = BoundSocket(&port);
      constexpr int kSlides[] = {2, 3, 4, 5, 1};
      for (int n = 0; !stop; n = (n + 1) % 5) {
        SendTo(fd, program.port, "GOTO " + std::to_string(kSlides[n]));
        for (int tenth = 0; tenth < 10 && !stop; ++tenth) {
          std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
      }
      close(fd);
    });
  }
  Child clients;
  if (webPort != 0) {
    Clock::time_point deadline = Clock::now() + std::chrono::seconds(60);
    while (FromHex(RunProbe({"control-text", kTitle, "101"})).find("Web remote at") ==
           std::string::npos) {
      if (Clock::now() > deadline) Fail("the web remote did not start");
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    clients = Spawn({"/usr/bin/python3", options.clients, std::to_string(webPort), "123456", "3"},
                    "", true);
    char line[64] = {};
    if (read(clients.output, line, sizeof line - 1) <= 0 ||
        std::string(line).rfind("connected", 0) != 0) {
      Fail("the live clients did not connect");
    }
    close(clients.output);
  }
  std::this_thread::sleep_for(std::chrono::seconds(3));  // the prefix settles
  PrefixProcesses prefix = FindPrefixProcesses(program.pid);
  if (prefix.wineserver < 0) Fail("no wineserver of this prefix found");
  std::vector<pid_t> groups[3] = {{}, {prefix.wineserver}, prefix.others};
  if (withProgram) groups[0].push_back(program.pid);
  IdleFigures figures;
  for (int window = 0; window < options.idleWindows; ++window) {
    Progress(std::string(withProgram ? "idle" : "idle prefix") + " " + std::to_string(window + 1) +
             " of " + std::to_string(options.idleWindows));
    // Each process's growth over the window; one that came or went meanwhile
    // counts nothing.
    std::vector<Sample> before[3];
    std::vector<bool> seen[3];
    Clock::time_point start = Clock::now();
    for (int g = 0; g < 3; ++g) {
      for (pid_t pid : groups[g]) {
        Sample sample;
        seen[g].push_back(Measure(pid, &sample));
        before[g].push_back(sample);
      }
    }
    std::this_thread::sleep_for(std::chrono::seconds(options.idleSeconds));
    double seconds = MillisecondsBetween(start, Clock::now()) / 1e3;
    for (int g = 0; g < 3; ++g) {
      Sample growth;
      for (size_t i = 0; i < groups[g].size(); ++i) {
        Sample after;
        if (!seen[g][i] || !Measure(groups[g][i], &after)) continue;
        growth.cpuMs += after.cpuMs - before[g][i].cpuMs;
        growth.runMs += after.runMs - before[g][i].runMs;
        growth.scheduled += after.scheduled - before[g][i].scheduled;
      }
      figures.cpuMs[g].push_back(growth.cpuMs / seconds);
      figures.runMs[g].push_back(growth.runMs / seconds);
      figures.scheduled[g].push_back(growth.scheduled / seconds);
    }
  }
  stop = true;
  if (sender.joinable()) sender.join();
  if (clients.pid > 0) {
    kill(clients.pid, SIGTERM);
    Reap(clients.pid);
  }
  if (withProgram) EndProgram(program);
  return figures;
}

// ---- Close ----

// When the server thread closed its socket (its last step that shows
// outside), when it ended (its task gone) and when the label showed
// "THREAD STOPPED!".
struct CloseTimes {
  Clock::time_point socketClosed, threadEnded, stoppedShown;
};

CloseTimes MeasureOneClose() {
  Program program = StartProgram();
  Child watcher =
      Spawn({kLoader, options.probe, "watch-control", kTitle, "101", "20000"}, "", true);
  std::mutex lock;
  bool watching = false;
  bool stoppedSeen = false;
  Clock::time_point stoppedAt;
  std::thread reader([&] {
    std::string partial;
    char chunk[65536];
    for (ssize_t n; (n = read(watcher.output, chunk, sizeof chunk)) != 0;) {
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) break;
      Clock::time_point now = Clock::now();
      partial.append(chunk, static_cast<size_t>(n));
      std::lock_guard<std::mutex> guard(lock);
      for (size_t end; (end = partial.find('\n')) != std::string::npos; partial.erase(0, end + 1)) {
        watching = true;
        if (!stoppedSeen &&
            FromHex(partial.substr(0, end)).find("THREAD STOPPED!") != std::string::npos) {
          stoppedSeen = true;
          stoppedAt = now;
        }
      }
    }
  });
  Clock::time_point deadline = Clock::now() + std::chrono::seconds(60);
  for (;;) {
    {
      std::lock_guard<std::mutex> guard(lock);
      if (watching) break;
    }
    if (Clock::now() > deadline) Fail("the watcher saw no label");
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }

  std::set<std::string> tasks = Tasks(program.pid);
  Child closer = Spawn({kLoader, options.probe, "post-close", kTitle}, "", false);
  CloseTimes times;
  bool socketClosed = false, ended = false;
  while (!(socketClosed && ended) && Clock::now() < deadline) {
    std::set<std::string> now = Tasks(program.pid);
    if (now.empty()) break;  // the whole program is gone
    Clock::time_point at = Clock::now();
    if (!socketClosed && !UdpPortOpen(program.port)) {
      socketClosed = true;
      times.socketClosed = at;
    }
    for (const std::string& task : tasks) {
      if (!ended && now.count(task) == 0) {
        ended = true;
        times.threadEnded = at;
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(250));
  }
  Reap(closer.pid);
  if (waitpid(program.pid, nullptr, 0) == program.pid) {
    runningPids.erase(std::remove(runningPids.begin(), runningPids.end(), program.pid),
                      runningPids.end());
  }
  Reap(watcher.pid);
  reader.join();
  close(watcher.output);
  std::remove((program.directory + "/podiant.ini").c_str());
  rmdir(program.directory.c_str());
  if (!socketClosed || !ended || !stoppedSeen) {
    Fail("the socket's close, the server thread's end or \"THREAD STOPPED!\" was not seen");
  }
  times.stoppedShown = stoppedAt;
  return times;
}

std::string Spread(const std::vector<double>& values, const char* format) {
  std::vector<double> sorted = values;
  std::sort(sorted.begin(), sorted.end());
  std::string cell = Format(format, Percentile(sorted, 0.5));
  if (sorted.size() > 1) {
    cell += " (" + Format(format, sorted.front()) + "–" + Format(format, sorted.back()) + ")";
  }
  return cell;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    if (argument == "--server" && i + 1 < argc) {
      options.server = argv[++i];
    } else if (argument == "--probe" && i + 1 < argc) {
      options.probe = argv[++i];
    } else if (argument == "--standin" && i + 1 < argc) {
      options.standIn = argv[++i];
    } else if (argument == "--clients" && i + 1 < argc) {
      options.clients = argv[++i];
    } else if (argument == "--quick") {
      options.idleSeconds = 2;
      options.idleWindows = 1;
      options.closes = 2;
    } else {
      Fail(
          "usage: wine-bench --server EXE --probe PROBE [--standin STANDIN] [--clients SCRIPT] "
          "[--quick]");
    }
  }
  if (options.server.empty() || options.probe.empty()) Fail("--server and --probe are needed");
  // The program starts in a directory of its own.
  for (std::string* path : {&options.server, &options.probe, &options.standIn, &options.clients}) {
    if (path->empty()) continue;
    char* absolute = realpath(path->c_str(), nullptr);
    if (absolute == nullptr) Fail("no such file: " + *path);
    *path = absolute;
    std::free(absolute);
  }
  if (std::getenv("WINEPREFIX") == nullptr || std::getenv("DISPLAY") == nullptr) {
    Fail("WINEPREFIX and DISPLAY are needed (run it in scripts/wine-session.sh)");
  }
  signal(SIGPIPE, SIG_IGN);

  IdleFigures prefixAlone = MeasureIdle(false);
  IdleFigures idle = MeasureIdle(true);
  std::vector<double> fromSocketMs, fromEndMs;
  for (int i = 0; i < options.closes; ++i) {
    Progress("close " + std::to_string(i + 1) + " of " + std::to_string(options.closes));
    CloseTimes times = MeasureOneClose();
    fromSocketMs.push_back(MillisecondsBetween(times.socketClosed, times.stoppedShown));
    fromEndMs.push_back(MillisecondsBetween(times.threadEnded, times.stoppedShown));
  }

  // The web remote with three idle live clients.
  IdleFigures webIdle;
  if (!options.clients.empty()) {
    Progress("the web remote with 3 live clients");
    const int webPort = FreeTcpPort();
    webIdle = MeasureIdle(true, "[web]\nport=" + std::to_string(webPort) + "\ncode=123456\n", false,
                          false, webPort);
  }

  // A show open: the feedback off, on and with notes=on (to a socket that is
  // never read), idle and with a GOTO every second.
  struct ShowCase {
    const char* name;
    const char* settings;  // after "[feedback]\nto=..."; nullptr: no feedback
    bool gotos;
  };
  const ShowCase showCases[] = {
      {"feedback off", nullptr, false},
      {"feedback on", "", false},
      {"feedback with notes=on", "notes=on\n", false},
      {"feedback on, a GOTO every second", "", true},
      {"feedback with notes=on, a GOTO every second", "notes=on\n", true},
  };
  IdleFigures showFigures[std::size(showCases)];
  int feedbackSocket = -1;
  if (!options.standIn.empty()) {
    RegisterStandIn();
    int feedbackPort = 0;
    feedbackSocket = BoundSocket(&feedbackPort);
    for (size_t i = 0; i < std::size(showCases); ++i) {
      Progress(std::string("a show open, ") + showCases[i].name);
      std::string settings;
      if (showCases[i].settings != nullptr) {
        settings = "[feedback]\nto=127.0.0.1:" + std::to_string(feedbackPort) + "\n" +
                   showCases[i].settings;
      }
      showFigures[i] = MeasureIdle(true, settings, true, showCases[i].gotos);
    }
  }

  // The schedstat sums cover the threads alive at the time: only for the
  // program and the wineserver, whose threads stay.
  std::string windows = "median (min–max) of " + std::to_string(options.idleWindows) + " × " +
                        std::to_string(options.idleSeconds) + " s";
  std::printf(
      "| idle CPU per second, utime+stime: the program / its wineserver / the prefix's other "
      "processes (services, desktop), %s | %s / %s / %s |\n",
      windows.c_str(), Spread(idle.cpuMs[0], "%.1f ms").c_str(),
      Spread(idle.cpuMs[1], "%.1f ms").c_str(), Spread(idle.cpuMs[2], "%.1f ms").c_str());
  std::printf(
      "| idle CPU per second, schedstat run time: the program / its wineserver | %s / %s |\n",
      Spread(idle.runMs[0], "%.2f ms").c_str(), Spread(idle.runMs[1], "%.2f ms").c_str());
  std::printf("| idle, times scheduled per second: the program / its wineserver | %s / %s |\n",
              Spread(idle.scheduled[0], "%.0f").c_str(), Spread(idle.scheduled[1], "%.0f").c_str());
  std::printf(
      "| the prefix without the program, per second: its wineserver's utime+stime / schedstat run "
      "time / times scheduled | %s / %s / %s |\n",
      Spread(prefixAlone.cpuMs[1], "%.1f ms").c_str(),
      Spread(prefixAlone.runMs[1], "%.2f ms").c_str(),
      Spread(prefixAlone.scheduled[1], "%.0f").c_str());
  if (!options.clients.empty()) {
    std::printf(
        "| idle CPU per second, utime+stime, with [web] and 3 live clients: the program / its "
        "wineserver / the prefix's other processes, %s | %s / %s / %s |\n",
        windows.c_str(), Spread(webIdle.cpuMs[0], "%.1f ms").c_str(),
        Spread(webIdle.cpuMs[1], "%.1f ms").c_str(), Spread(webIdle.cpuMs[2], "%.1f ms").c_str());
    std::printf("| the same, schedstat run time: the program / its wineserver | %s / %s |\n",
                Spread(webIdle.runMs[0], "%.2f ms").c_str(),
                Spread(webIdle.runMs[1], "%.2f ms").c_str());
  }
  std::string closes = "median (min–max) of " + std::to_string(options.closes);
  std::printf("| server thread's socket closed to \"THREAD STOPPED!\" in the label, %s | %s |\n",
              closes.c_str(), Spread(fromSocketMs, "%.1f ms").c_str());
  std::printf(
      "| server thread's end (its task gone) to \"THREAD STOPPED!\" in the label (negative: "
      "shown before the end), %s | %s |\n",
      closes.c_str(), Spread(fromEndMs, "%.1f ms").c_str());
  if (feedbackSocket >= 0) {
    for (size_t i = 0; i < std::size(showCases); ++i) {
      const IdleFigures& f = showFigures[i];
      // utime+stime only: the program's COM threads come and go, and the
      // schedstat sums cover only the threads alive at the time.
      std::printf(
          "| a show open on the stand-in, %s: CPU per second, utime+stime, the "
          "program / its wineserver / the prefix's other processes (the stand-in among them), "
          "%s | %s / %s / %s |\n",
          showCases[i].name, windows.c_str(), Spread(f.cpuMs[0], "%.1f ms").c_str(),
          Spread(f.cpuMs[1], "%.1f ms").c_str(), Spread(f.cpuMs[2], "%.1f ms").c_str());
    }
    close(feedbackSocket);
    std::remove((standInDirectory + "/calls.log").c_str());
    std::remove((standInDirectory + "/standin.reg").c_str());
    rmdir(standInDirectory.c_str());
  }
  return 0;
}
