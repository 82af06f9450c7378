// The web remote natively: how soon a tap is carried out and a show's change
// reaches the socket, what it costs while idle, its memory with 64 clients,
// and the page's size.
//
//   web-bench --server PATH --clients SCRIPT [--quick]
//
// - A tap: a live client of the real program (PATH, stdout to /dev/null)
//   sends {"command":"STATE","id":n} and waits for its result, which the
//   server thread sends once the dispatcher has carried the command out: the
//   web thread, the inbox, the wake of the server thread, the W line and the
//   way back. 500 in a row (50 with --quick), after 20 unmeasured.
// - A show's change: in this process, the web thread of the real web area
//   serves one live client; the observer that the server thread calls with a
//   changed status is called here, and the state message is waited for on
//   the client's socket (the web's part of the road; reading the show from
//   the application comes before it).
// - Idle: the program's CPU time per second (utime+stime, and schedstat's run
//   time) over 3 windows of 10 s (1 of 2 s with --quick): without [web], and
//   with it and 3 idle live clients (SCRIPT, bench/web_clients.py).
// - Memory: VmRSS of the program with [web] and no client, then with 64 live
//   clients connected.
// - The page: the bytes of the files built into the program.
//
// Rows of a markdown table (measure | figure) go to standard output,
// progress to standard error.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/process_stats.h"
#include "platform/timing.h"
#include "presentation/show_status.h"
#include "tests/support/web_client.h"
#include "web/live_state.h"
#include "web/page_files.h"
#include "web/web_access.h"
#include "web/web_routes.h"
#include "web/web_server.h"
#include "web/web_thread.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kCode = "123456";

struct Options {
  std::string server;
  std::string clients;
  int taps = 500;
  int idleSeconds = 10;
  int idleWindows = 3;
};
Options options;
std::vector<pid_t> running;

void Progress(const std::string& text) { std::fprintf(stderr, "web-bench: %s\n", text.c_str()); }

[[noreturn]] void Fail(const std::string& text) {
  std::fprintf(stderr, "web-bench: FAILED: %s\n", text.c_str());
  for (pid_t pid : running) kill(pid, SIGKILL);
  std::_Exit(1);
}

// A child with its standard output on a pipe (or /dev/null).
pid_t Spawn(const std::vector<std::string>& arguments, const std::string& directory, int* output) {
  int ends[2] = {-1, -1};
  if (output != nullptr && pipe2(ends, O_CLOEXEC) != 0) Fail("pipe");
  pid_t pid = fork();
  if (pid < 0) Fail("fork");
  if (pid == 0) {
    if (!directory.empty() && chdir(directory.c_str()) != 0) _exit(126);
    int nothing = open("/dev/null", O_RDWR);
    dup2(nothing, STDIN_FILENO);
    dup2(output != nullptr ? ends[1] : nothing, STDOUT_FILENO);
    dup2(nothing, STDERR_FILENO);
    unsetenv("DISPLAY");
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
      argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  running.push_back(pid);
  if (output != nullptr) {
    close(ends[1]);
    *output = ends[0];
  }
  return pid;
}

void End(pid_t pid) {
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  std::erase(running, pid);
}

struct Program {
  std::string directory;
  int webPort = 0;
  pid_t pid = -1;
};

// The program in a directory of its own, with [web] when `web`; returns once
// it serves (or, without the web, once it had time to start).
Program StartProgram(bool web) {
  Program program;
  char pattern[] = "/tmp/podiant-web-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) Fail("no temporary directory");
  program.directory = pattern;
  program.webPort = e2e::FreeTcpPort();
  std::ofstream ini(program.directory + "/podiant.ini");
  ini << "[settings]\nport=" << FreeUdpPort() << "\n";
  if (web) ini << "[web]\nport=" << program.webPort << "\ncode=" << kCode << "\n";
  ini.close();
  program.pid = Spawn({options.server}, program.directory, nullptr);
  for (int i = 0; i < 200; ++i) {
    if (web &&
        e2e::HttpExchange(program.webPort, e2e::HttpRequest("GET", "/", program.webPort), 1000)
                .status == 200) {
      return program;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!web && i == 20) return program;
  }
  Fail("the program did not serve the web remote");
}

void EndProgram(Program& program) {
  End(program.pid);
  std::remove((program.directory + "/podiant.ini").c_str());
  rmdir(program.directory.c_str());
}

std::string Token(int port) {
  e2e::HttpAnswer answer = e2e::HttpExchange(
      port, e2e::HttpRequest("POST", "/api/pair", port,
                             std::string("{\"code\":\"") + kCode + "\",\"name\":\"bench\"}"));
  const size_t at = answer.body.find("\"token\":\"");
  if (answer.status != 200 || at == std::string::npos) Fail("pairing failed");
  return answer.body.substr(at + 9, answer.body.find('"', at + 9) - at - 9);
}

// `count` idle live clients of the script; they run until ended.
pid_t StartIdleClients(int port, int count) {
  int output = -1;
  pid_t pid = Spawn(
      {"/usr/bin/python3", options.clients, std::to_string(port), kCode, std::to_string(count)}, "",
      &output);
  char line[64] = {};
  if (read(output, line, sizeof line - 1) <= 0 || std::string(line).find("connected") != 0) {
    Fail("the idle clients did not connect");
  }
  close(output);
  return pid;
}

// Milliseconds in, "p50 / p99" in microseconds out.
std::string Microseconds(const std::vector<double>& values) {
  return Format("%.0f µs", Percentile(values, 0.5) * 1e3) + " / " +
         Format("%.0f µs", Percentile(values, 0.99) * 1e3);
}

std::vector<double> MeasureTaps() {
  Program program = StartProgram(true);
  e2e::LiveHandle live =
      e2e::OpenLive(program.webPort, {"Authorization: Bearer " + Token(program.webPort)});
  if (live == nullptr) Fail("no live connection");
  std::string message;
  std::vector<double> samples;
  for (int i = 0; i < options.taps + 20; ++i) {
    const std::string id = std::to_string(i);
    Clock::time_point start = Clock::now();
    e2e::SendLive(*live, "{\"command\":\"STATE\",\"id\":" + id + "}");
    if (!e2e::ReceiveLiveWith(*live, "\"id\":" + id + ",", 10000, &message)) Fail("no result");
    if (i >= 20) samples.push_back(MillisecondsBetween(start, Clock::now()));
  }
  live.reset();
  EndProgram(program);
  return samples;
}

std::vector<double> MeasureShowChanges() {
  const int port = e2e::FreeTcpPort();
  PrepareWebServer();
  StartWebAccess(kCode);
  const std::string token = PairDevice(0x0100007f, kCode, "bench", 0).token;
  StartWebRoutes(WebRoutesSettings{"", "", kEveryCommandWord});
  if (!OpenWebServer(0, port)) Fail("the web server did not open");
  std::thread webThread(RunWebServer);
  e2e::LiveHandle live = e2e::OpenLive(port, {"Authorization: Bearer " + token});
  if (live == nullptr) Fail("no live connection in process");
  std::string message;
  e2e::ReceiveLiveWith(*live, "\"state\"", 10000, &message);
  ShowStatus status;
  status.show = 1;
  status.fileName = "C:\\Shows\\keynote.pptx";
  status.state = ShowState::kRunning;
  status.slideCount = 1000000;
  status.details.title = "A title of some length";
  status.details.notes = std::string(600, 'n');
  std::vector<double> samples;
  for (int i = 0; i < options.taps + 20; ++i) {
    status.slide = i + 1;
    const std::string slide = "\"slide\":" + std::to_string(i + 1) + ",";
    Clock::time_point start = Clock::now();
    // As the server thread's channel hands it over: one shared status, posted.
    const SharedShowStatus shared = std::make_shared<const ShowStatus>(status);
    PostToWebThread([shared] { LiveStateChanged(shared); });
    if (!e2e::ReceiveLiveWith(*live, slide, 10000, &message)) Fail("no state message");
    if (i >= 20) samples.push_back(MillisecondsBetween(start, Clock::now()));
  }
  live.reset();
  StopWebServer();
  webThread.join();
  CloseWebServer();
  return samples;
}

struct Idle {
  std::vector<double> cpuMs, runMs;
};

Idle MeasureIdle(bool web) {
  Program program = StartProgram(web);
  pid_t clients = web ? StartIdleClients(program.webPort, 3) : -1;
  std::this_thread::sleep_for(std::chrono::seconds(2));
  Idle idle;
  for (int window = 0; window < options.idleWindows; ++window) {
    Progress(std::string("idle, web ") + (web ? "on" : "off") + ", window " +
             std::to_string(window + 1));
    const double cpu = ProcessCpuSeconds(program.pid);
    const SchedTotals sched = ProcessSchedTotals(program.pid);
    Clock::time_point start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(options.idleSeconds));
    const double seconds = MillisecondsBetween(start, Clock::now()) / 1e3;
    idle.cpuMs.push_back((ProcessCpuSeconds(program.pid) - cpu) * 1e3 / seconds);
    idle.runMs.push_back(static_cast<double>(ProcessSchedTotals(program.pid).runNs - sched.runNs) /
                         1e6 / seconds);
  }
  if (clients > 0) End(clients);
  EndProgram(program);
  return idle;
}

long StatusKilobytes(pid_t pid, const std::string& key) {
  const std::string status = ReadFile("/proc/" + std::to_string(pid) + "/status");
  const size_t at = status.find(key);
  return at == std::string::npos ? -1 : std::atol(status.c_str() + at + key.size());
}

std::string Spread(const std::vector<double>& values) {
  return Format("%.2f ms", Percentile(values, 0.5)) + " (" + Format("%.2f", Percentile(values, 0)) +
         "–" + Format("%.2f", Percentile(values, 1)) + ")";
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--server" && i + 1 < argc) {
      options.server = argv[++i];
    } else if (argument == "--clients" && i + 1 < argc) {
      options.clients = argv[++i];
    } else if (argument == "--quick") {
      options.taps = 50;
      options.idleSeconds = 2;
      options.idleWindows = 1;
    } else {
      Fail("usage: web-bench --server PATH --clients SCRIPT [--quick]");
    }
  }
  if (options.server.empty() || options.clients.empty()) Fail("--server and --clients are needed");
  // The program starts in a directory of its own.
  for (std::string* path : {&options.server, &options.clients}) {
    char* absolute = realpath(path->c_str(), nullptr);
    if (absolute == nullptr) Fail("no such file: " + *path);
    *path = absolute;
    std::free(absolute);
  }
  signal(SIGPIPE, SIG_IGN);

  Progress("taps");
  const std::vector<double> taps = MeasureTaps();
  Progress("show changes");
  const std::vector<double> changes = MeasureShowChanges();
  const Idle off = MeasureIdle(false);
  const Idle on = MeasureIdle(true);

  Progress("memory");
  Program program = StartProgram(true);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const long rssNone = StatusKilobytes(program.pid, "VmRSS:");
  pid_t clients = StartIdleClients(program.webPort, 64);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const long rssMany = StatusKilobytes(program.pid, "VmRSS:");
  End(clients);
  EndProgram(program);

  size_t pageBytes = 0, pairingBytes = 0;
  for (size_t i = 0; i < kPageFileCount; ++i) {
    const std::string_view path = kPageFiles[i].path;
    (path.starts_with("/pair") || path == "/qrcode.js" ? pairingBytes : pageBytes) +=
        kPageFiles[i].size;
  }

  const std::string windows =
      std::to_string(options.idleWindows) + " × " + std::to_string(options.idleSeconds) + " s";
  std::printf(
      "| a tap: a live client's command to its result, carried out (STATE), p50 / p99 of %d | %s "
      "|\n",
      options.taps, Microseconds(taps).c_str());
  std::printf(
      "| a show's change: the server thread's observer call to the state message on the client's "
      "socket, p50 / p99 of %d | %s |\n",
      options.taps, Microseconds(changes).c_str());
  std::printf(
      "| idle CPU per second of the program, utime+stime, median (min–max) of %s: without [web] / "
      "with it and 3 live clients | %s / %s |\n",
      windows.c_str(), Spread(off.cpuMs).c_str(), Spread(on.cpuMs).c_str());
  std::printf("| the same, schedstat run time | %s / %s |\n", Spread(off.runMs).c_str(),
              Spread(on.runMs).c_str());
  std::printf("| VmRSS with [web]: no client / 64 live clients | %ld kB / %ld kB |\n", rssNone,
              rssMany);
  std::printf(
      "| the page's files built in: the remote / the pairing page with its QR code drawer | %zu "
      "bytes / %zu bytes |\n",
      pageBytes, pairingBytes);
  return 0;
}
