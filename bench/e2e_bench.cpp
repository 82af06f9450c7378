// End-to-end measurements of the native podiant-server over loopback UDP, side
// by side with the bare receive loop (bare_receiver.cpp), in one run:
//
//   e2e-bench [--server PATH] [--bare PATH] [--quick]
//
// Six receivers run: the server with its standard output on a pipe that this
// program drains, the server with standard output on /dev/null, the bare loop
// that prints nothing, the bare loop that writes one line per datagram to a
// drained pipe, and twice the server with an OSC port as well (its output on
// a drained pipe): sent the commands as plain datagrams to its command port,
// and as OSC messages to its OSC port. For each: the time from process start
// to its "Listening at" line, its memory, its CPU time while idle, its CPU
// time per datagram, the loss of bursts sent as fast as one socket can, where
// that loss happened, and the time from sending a datagram to the receiver's
// line for it.
//
// The figures go to standard output as rows of a markdown table with one
// column per receiver (scripts/bench.sh prints the header); progress goes to
// standard error.
#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/process_stats.h"

namespace {

using Clock = std::chrono::steady_clock;

// Every payload is a 16-byte word that is no command: the server logs its "R"
// line and the unknown-command line and does nothing else. To an OSC port
// the same word goes as the string of a /podiant/command message (44 bytes),
// which the server logs as its "O" line before the same unknown-command line.
constexpr size_t kPayloadLength = 16;

struct Options {
  std::string serverPath = PODIANT_SERVER_PATH;
  std::string barePath = BARE_RECEIVER_PATH;
  int cpuDatagrams = 50000;
  int cpuBatch = 100;  // well below the 256 datagrams a default buffer holds
  int latencySamples = 300;
  int latencyGapMs = 10;
  int idleSeconds = 10;
  int startSamples = 5;
  int burstRepeats = 5;
  std::vector<int> burstSizes = {1000, 10000};
};

Options options;

void Progress(const std::string& text) { std::fprintf(stderr, "e2e-bench: %s\n", text.c_str()); }

// The receivers running now: a failed run does not leave them behind.
std::vector<pid_t> runningPids;

[[noreturn]] void Fail(const std::string& text) {
  std::fprintf(stderr, "e2e-bench: FAILED: %s\n", text.c_str());
  for (pid_t pid : runningPids) kill(pid, SIGKILL);
  std::_Exit(1);
}

// ---- What the kernel tells about a process and a socket ----

// A line of /proc/<pid>/status such as "VmRSS:", in kB; -1 when absent.
long StatusKilobytes(pid_t pid, const std::string& key) {
  std::istringstream status(ReadFile("/proc/" + std::to_string(pid) + "/status"));
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + key.size());
  }
  return -1;
}

// The wildcard-bound UDP socket on `port` as /proc/net/udp shows it.
struct SocketState {
  bool found = false;
  unsigned long rxQueueBytes = 0;
  unsigned long long drops = 0;
};

SocketState UdpSocketState(int port) {
  SocketState state;
  char local[32];
  std::snprintf(local, sizeof local, "00000000:%04X", port);
  std::ifstream table("/proc/net/udp");
  std::string line;
  std::getline(table, line);  // header
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, localAddress, remote, st, queues, timer, retransmits, uid, timeout, inode,
        ref, pointer, drops;
    if (!(fields >> slot >> localAddress >> remote >> st >> queues >> timer >> retransmits >> uid >>
          timeout >> inode >> ref >> pointer >> drops)) {
      continue;
    }
    if (localAddress != local) continue;
    state.found = true;
    state.rxQueueBytes = std::stoul(queues.substr(queues.find(':') + 1), nullptr, 16);
    state.drops = std::stoull(drops);
  }
  return state;
}

// Packets the kernel's input backlog dropped, summed over the CPUs.
unsigned long long BacklogDrops() {
  std::istringstream table(ReadFile("/proc/net/softnet_stat"));
  unsigned long long total = 0;
  for (std::string line; std::getline(table, line);) {
    std::istringstream fields(line);
    std::string processed, dropped;
    if (fields >> processed >> dropped) total += std::stoull(dropped, nullptr, 16);
  }
  return total;
}

// The machine-wide count of UDP datagrams dropped for a full receive buffer
// (RcvbufErrors of /proc/net/snmp); other programs' sockets count too.
unsigned long long UdpReceiveBufferErrors() {
  std::istringstream table(ReadFile("/proc/net/snmp"));
  std::string header, values;
  for (std::string line; std::getline(table, line);) {
    if (line.rfind("Udp: ", 0) != 0) continue;
    if (header.empty()) {
      header = line;
    } else {
      values = line;
      break;
    }
  }
  std::istringstream names(header), numbers(values);
  std::string name, number;
  while (names >> name && numbers >> number) {
    if (name == "RcvbufErrors") return std::stoull(number);
  }
  return 0;
}

// The receive buffer size of the socket on `port` (rb of `ss -m`); 0 when
// ss is not there.
long ReceiveBufferBytes(int port) {
  std::string command = "ss -H -u -a -m -n 'sport = :" + std::to_string(port) + "' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return 0;
  std::string output;
  char chunk[512];
  while (size_t n = fread(chunk, 1, sizeof chunk, pipe)) output.append(chunk, n);
  pclose(pipe);
  size_t at = output.find(",rb");
  return at == std::string::npos ? 0 : std::atol(output.c_str() + at + 3);
}

// ---- Receivers ----

enum class Kind { kServer, kBare };

struct Receiver {
  std::string label;
  Kind kind = Kind::kServer;
  bool toPipe = true;            // standard output drained here, else /dev/null
  bool linePerDatagram = false;  // the bare loop's printing mode
  bool oscPortOpen = false;      // the server with [osc] port= too
  bool oscMessages = false;      // ... sent OSC messages to that port
  int port = 0;                  // where the datagrams go
  std::string directory;         // the server's working directory
  pid_t pid = -1;
  int outputFd = -1;
  std::thread drainer;
  Clock::time_point startedAt;

  // Filled by the drainer.
  std::mutex lock;
  std::condition_variable changed;
  std::string partialLine;
  std::string lastLines;  // the end of the output, for failure messages
  long long rLines = 0;
  long long errLines = 0;
  Clock::time_point lastRLineAt;
  Clock::time_point lastErrLineAt;
  bool listening = false;
  Clock::time_point listeningAt;
  bool outputEnded = false;

  // Results.
  std::vector<double> startMs;
  double stopMs = -1;
  int exitCode = -1;
  long rssAfterStartKb = -1;
  long rssAfterLoadKb = -1;
  long hwmKb = -1;
  double idleCpuUs = -1;
  unsigned long long idleWakeups = 0;
  double idleCpuTicksMs = -1;
  double cpuPerDatagramUs = -1;
  double cpuPerDatagramSchedUs = -1;
  double timesScheduledPerDatagram = -1;
  long long cpuDatagramsReceived = 0;
  long receiveBufferBytes = 0;
  std::vector<double> rLatencyMs;
  std::vector<double> errLatencyMs;
  struct Burst {
    int size;
    double sendMs;
    long long lost;          // sent minus received
    long long socketDrops;   // drops counted on the receiver's socket
    long long linesMissing;  // sent minus "R" lines (pipe receivers), else -1
    unsigned long long backlogDrops;
    unsigned long long receiveBufferErrors;  // machine-wide
    double drainMs;                          // from the first send until everything was taken
    double cpuUsPerReceived;
  };
  std::vector<Burst> bursts;
};

int FreeUdpPortOrFail() {
  int port = FreeUdpPort();
  if (port == 0) Fail("no free UDP port");
  return port;
}

void Drain(Receiver* receiver) {
  char chunk[65536];
  for (;;) {
    ssize_t n = read(receiver->outputFd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    Clock::time_point now = Clock::now();
    std::lock_guard<std::mutex> guard(receiver->lock);
    if (n <= 0) {
      receiver->outputEnded = true;
      receiver->changed.notify_all();
      return;
    }
    std::string& partial = receiver->partialLine;
    partial.append(chunk, static_cast<size_t>(n));
    size_t begin = 0;
    for (size_t end; (end = partial.find('\n', begin)) != std::string::npos; begin = end + 1) {
      const char* line = partial.data() + begin;
      size_t length = end - begin;
      // The received line: "R" for a datagram, "O" for an OSC message.
      if (length >= 2 && (line[0] == 'R' || line[0] == 'O') && line[1] == ' ') {
        ++receiver->rLines;
        receiver->lastRLineAt = now;
      } else if (length >= 3 && std::memcmp(line, "ERR", 3) == 0) {
        ++receiver->errLines;
        receiver->lastErrLineAt = now;
      } else if (!receiver->listening &&
                 std::string_view(line, length).find("Listening at ") != std::string_view::npos) {
        receiver->listening = true;
        receiver->listeningAt = now;
      }
    }
    receiver->lastLines.append(partial, 0, begin);
    if (receiver->lastLines.size() > 4096) {
      receiver->lastLines.erase(0, receiver->lastLines.size() - 4096);
    }
    partial.erase(0, begin);
    receiver->changed.notify_all();
  }
}

void StartReceiver(Receiver& receiver) {
  {
    std::lock_guard<std::mutex> guard(receiver.lock);
    receiver.partialLine.clear();
    receiver.lastLines.clear();
    receiver.rLines = receiver.errLines = 0;
    receiver.listening = false;
    receiver.outputEnded = false;
  }
  std::vector<std::string> argv;
  if (receiver.kind == Kind::kServer) {
    char pattern[] = "/tmp/podiant-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) Fail("no temporary directory");
    receiver.directory = pattern;
    std::ofstream ini(receiver.directory + "/podiant.ini");
    if (!receiver.oscPortOpen) {
      ini << "[settings]\nport=" << receiver.port << "\n";
    } else {
      // The port that is sent nothing.
      const int other = FreeUdpPortOrFail();
      ini << "[settings]\nport=" << (receiver.oscMessages ? other : receiver.port)
          << "\n[osc]\nport=" << (receiver.oscMessages ? receiver.port : other) << "\n";
    }
    argv = {options.serverPath};
  } else {
    argv = {options.barePath, std::to_string(receiver.port)};
    if (receiver.linePerDatagram) argv.push_back("--line-per-datagram");
  }
  int output[2] = {-1, -1};
  if (receiver.toPipe && pipe2(output, O_CLOEXEC) != 0) Fail("pipe");

  receiver.startedAt = Clock::now();
  pid_t pid = fork();
  if (pid < 0) Fail("fork");
  if (pid == 0) {
    if (!receiver.directory.empty() && chdir(receiver.directory.c_str()) != 0) _exit(126);
    // Without a display the X11 back end stays inactive.
    unsetenv("DISPLAY");
    int target = receiver.toPipe ? output[1] : open("/dev/null", O_WRONLY);
    dup2(target, STDOUT_FILENO);
    dup2(target, STDERR_FILENO);
    std::vector<char*> args;
    for (std::string& arg : argv) args.push_back(arg.data());
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  receiver.pid = pid;
  runningPids.push_back(pid);
  if (receiver.toPipe) {
    close(output[1]);
    receiver.outputFd = output[0];
    receiver.drainer = std::thread(Drain, &receiver);
  }
}

void WaitForListening(Receiver& receiver) {
  Clock::time_point deadline = Clock::now() + std::chrono::seconds(30);
  if (receiver.toPipe) {
    std::unique_lock<std::mutex> guard(receiver.lock);
    if (!receiver.changed.wait_until(guard, deadline,
                                     [&] { return receiver.listening || receiver.outputEnded; }) ||
        !receiver.listening) {
      Fail(receiver.label + " did not start listening: " + receiver.lastLines +
           receiver.partialLine);
    }
    receiver.startMs.push_back(MillisecondsBetween(receiver.startedAt, receiver.listeningAt));
    // The OSC socket is opened after the "Listening at" line.
    if (!receiver.oscMessages) return;
  }
  // Output on /dev/null: the bound socket is the sign.
  while (!UdpSocketState(receiver.port).found) {
    if (Clock::now() > deadline) Fail(receiver.label + " did not bind its port");
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

void StopReceiver(Receiver& receiver) {
  Clock::time_point asked = Clock::now();
  kill(receiver.pid, SIGTERM);
  int status = 0;
  Clock::time_point deadline = asked + std::chrono::seconds(15);
  for (;;) {
    pid_t done = waitpid(receiver.pid, &status, WNOHANG);
    if (done == receiver.pid) break;
    if (Clock::now() > deadline) {
      kill(receiver.pid, SIGKILL);
      waitpid(receiver.pid, &status, 0);
      Progress(receiver.label + " did not end within 15 s of SIGTERM: killed");
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  receiver.stopMs = MillisecondsBetween(asked, Clock::now());
  runningPids.erase(std::remove(runningPids.begin(), runningPids.end(), receiver.pid),
                    runningPids.end());
  receiver.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (receiver.drainer.joinable()) receiver.drainer.join();
  if (receiver.outputFd >= 0) close(receiver.outputFd);
  receiver.outputFd = -1;
  receiver.pid = -1;
  if (!receiver.directory.empty()) {
    std::remove((receiver.directory + "/podiant.ini").c_str());
    rmdir(receiver.directory.c_str());
    receiver.directory.clear();
  }
}

// A socket connected to the receiver's port on 127.0.0.1.
int ConnectedSender(int port) {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    Fail("cannot connect a sender");
  }
  return fd;
}

// A 16-byte word that is no command, numbered; to an OSC port as the string
// of /podiant/command.
std::string Payload(const Receiver& receiver, long long number) {
  char text[kPayloadLength + 1];
  std::snprintf(text, sizeof text, "NEXTSLIDE%07llu",
                static_cast<unsigned long long>(number) % 10000000);
  const std::string word(text, kPayloadLength);
  if (!receiver.oscMessages) return word;
  return std::string("/podiant/command\0\0\0\0,s\0\0", 24) + word + std::string(4, '\0');
}

long long SendBurst(const Receiver& receiver, int fd, int count, long long firstNumber) {
  long long sent = 0;
  for (int i = 0; i < count; ++i) {
    std::string payload = Payload(receiver, firstNumber + i);
    if (send(fd, payload.data(), payload.size(), 0) == static_cast<ssize_t>(payload.size())) {
      ++sent;
    }
  }
  return sent;
}

long long RLines(Receiver& receiver) {
  std::lock_guard<std::mutex> guard(receiver.lock);
  return receiver.rLines;
}

// Waits until the receiver has taken everything from its socket (and, on a
// pipe, printed a line for everything it took) and returns when that
// happened. A receiver without lines to watch has taken everything once its
// queue is empty; with `confirm`, the queue must still be empty 50 ms later
// (late packets of a burst).
Clock::time_point WaitUntilTaken(Receiver& receiver, long long sent, long long linesBefore,
                                 unsigned long long dropsBefore, bool confirm) {
  Clock::time_point deadline = Clock::now() + std::chrono::seconds(120);
  bool printsLines =
      receiver.toPipe && (receiver.kind == Kind::kServer || receiver.linePerDatagram);
  for (;;) {
    SocketState state = UdpSocketState(receiver.port);
    if (state.rxQueueBytes == 0) {
      Clock::time_point emptyAt = Clock::now();
      long long received = sent - static_cast<long long>(state.drops - dropsBefore);
      if (printsLines) {
        std::lock_guard<std::mutex> guard(receiver.lock);
        if (receiver.rLines - linesBefore >= received) return receiver.lastRLineAt;
      } else if (!confirm) {
        return emptyAt;
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (UdpSocketState(receiver.port).rxQueueBytes == 0) return emptyAt;
      }
    }
    if (Clock::now() > deadline) Fail(receiver.label + " did not take its datagrams");
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

// ---- Phases ----

void MeasureLatency(Receiver& receiver) {
  if (!receiver.toPipe) return;
  int fd = ConnectedSender(receiver.port);
  bool hasErrLine = receiver.kind == Kind::kServer;
  for (int i = 0; i < options.latencySamples; ++i) {
    long long rBefore, errBefore;
    {
      std::lock_guard<std::mutex> guard(receiver.lock);
      rBefore = receiver.rLines;
      errBefore = receiver.errLines;
    }
    std::string payload = Payload(receiver, i);
    Clock::time_point sentAt = Clock::now();
    if (send(fd, payload.data(), payload.size(), 0) != static_cast<ssize_t>(payload.size())) {
      Fail("send");
    }
    std::unique_lock<std::mutex> guard(receiver.lock);
    bool seen = receiver.changed.wait_for(guard, std::chrono::seconds(10), [&] {
      return receiver.rLines > rBefore && (!hasErrLine || receiver.errLines > errBefore);
    });
    if (!seen) Fail(receiver.label + ": no line for a datagram");
    receiver.rLatencyMs.push_back(MillisecondsBetween(sentAt, receiver.lastRLineAt));
    if (hasErrLine)
      receiver.errLatencyMs.push_back(MillisecondsBetween(sentAt, receiver.lastErrLineAt));
    guard.unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(options.latencyGapMs));
  }
  close(fd);
}

// Batches small enough for the default receive buffer, each one taken
// completely before the next is sent: nothing is lost, so the CPU time is
// that of datagrams actually handled.
void MeasureCpuPerDatagram(Receiver& receiver) {
  int fd = ConnectedSender(receiver.port);
  unsigned long long drops = UdpSocketState(receiver.port).drops;
  long long lines = RLines(receiver);
  double cpuBefore = ProcessCpuSeconds(receiver.pid);
  SchedTotals schedBefore = ProcessSchedTotals(receiver.pid);
  long long sent = 0;
  while (sent < options.cpuDatagrams) {
    int batch =
        static_cast<int>(std::min<long long>(options.cpuBatch, options.cpuDatagrams - sent));
    sent += SendBurst(receiver, fd, batch, sent);
    WaitUntilTaken(receiver, sent, lines, drops, false);
  }
  double cpuAfter = ProcessCpuSeconds(receiver.pid);
  SchedTotals schedAfter = ProcessSchedTotals(receiver.pid);
  long long received = sent - static_cast<long long>(UdpSocketState(receiver.port).drops - drops);
  receiver.cpuDatagramsReceived = received;
  receiver.cpuPerDatagramUs = (cpuAfter - cpuBefore) * 1e6 / static_cast<double>(received);
  receiver.cpuPerDatagramSchedUs = static_cast<double>(schedAfter.runNs - schedBefore.runNs) / 1e3 /
                                   static_cast<double>(received);
  receiver.timesScheduledPerDatagram =
      static_cast<double>(schedAfter.timesScheduled - schedBefore.timesScheduled) /
      static_cast<double>(received);
  close(fd);
}

void MeasureBursts(Receiver& receiver) {
  int fd = ConnectedSender(receiver.port);
  for (int size : options.burstSizes) {
    for (int repeat = 0; repeat < options.burstRepeats; ++repeat) {
      unsigned long long drops = UdpSocketState(receiver.port).drops;
      unsigned long long backlog = BacklogDrops();
      unsigned long long bufferErrors = UdpReceiveBufferErrors();
      long long lines = RLines(receiver);
      SchedTotals schedBefore = ProcessSchedTotals(receiver.pid);
      Clock::time_point begin = Clock::now();
      long long sent = SendBurst(receiver, fd, size, 0);
      Clock::time_point sentAll = Clock::now();
      Clock::time_point taken = WaitUntilTaken(receiver, sent, lines, drops, true);
      Receiver::Burst burst{};
      burst.size = size;
      burst.sendMs = MillisecondsBetween(begin, sentAll);
      burst.drainMs = MillisecondsBetween(begin, taken);
      burst.socketDrops = static_cast<long long>(UdpSocketState(receiver.port).drops - drops);
      burst.backlogDrops = BacklogDrops() - backlog;
      burst.receiveBufferErrors = UdpReceiveBufferErrors() - bufferErrors;
      burst.lost = size - (sent - burst.socketDrops);
      bool printsLines =
          receiver.toPipe && (receiver.kind == Kind::kServer || receiver.linePerDatagram);
      burst.linesMissing = printsLines ? size - (RLines(receiver) - lines) : -1;
      long long received = sent - burst.socketDrops;
      burst.cpuUsPerReceived =
          received > 0
              ? static_cast<double>(ProcessSchedTotals(receiver.pid).runNs - schedBefore.runNs) /
                    1e3 / static_cast<double>(received)
              : 0;
      receiver.bursts.push_back(burst);
      // Let the receiver settle into its idle wait again.
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
  }
  close(fd);
}

// ---- Output ----

std::vector<std::unique_ptr<Receiver>> receivers;

void Row(const std::string& measure, const std::function<std::string(Receiver&)>& cell) {
  std::string row = "| ";
  row += measure;
  row += " |";
  for (auto& receiver : receivers) {
    row += ' ';
    row += cell(*receiver);
    row += " |";
  }
  std::printf("%s\n", row.c_str());
}

const std::string kNone = "–";

std::string BurstCell(Receiver& receiver, int size) {
  std::vector<double> lostPercent;
  long long worstLost = 0;
  for (const Receiver::Burst& burst : receiver.bursts) {
    if (burst.size != size) continue;
    lostPercent.push_back(100.0 * static_cast<double>(burst.lost) / size);
    worstLost = std::max(worstLost, burst.lost);
  }
  if (lostPercent.empty()) return kNone;
  std::sort(lostPercent.begin(), lostPercent.end());
  std::string cell = Format("%.1f %%", Percentile(lostPercent, 0.5));
  if (lostPercent.size() > 1) {
    cell +=
        " (" + Format("%.1f", lostPercent.front()) + "–" + Format("%.1f", lostPercent.back()) + ")";
  }
  return cell;
}

// Where the datagrams of the bursts of `size` were lost: the drops counted on
// the receiver's socket (and the machine-wide RcvbufErrors meanwhile), the
// drops of the input backlog; for receivers that print, how many had no "R"
// line.
std::string BurstWhereCell(Receiver& receiver, int size) {
  long long lost = 0, socketDrops = 0, linesMissing = 0;
  unsigned long long backlog = 0, bufferErrors = 0;
  bool printsLines = false;
  for (const Receiver::Burst& burst : receiver.bursts) {
    if (burst.size != size) continue;
    lost += burst.lost;
    socketDrops += burst.socketDrops;
    backlog += burst.backlogDrops;
    bufferErrors += burst.receiveBufferErrors;
    if (burst.linesMissing >= 0) {
      printsLines = true;
      linesMissing += burst.linesMissing;
    }
  }
  std::string cell = std::to_string(lost) + " lost: " + std::to_string(socketDrops) +
                     " socket drops (RcvbufErrors +" + std::to_string(bufferErrors) + "), " +
                     std::to_string(backlog) + " backlog";
  if (printsLines) cell += "; " + std::to_string(linesMissing) + " without R line";
  return cell;
}

std::string BurstMeanCell(Receiver& receiver, int size,
                          const std::function<double(const Receiver::Burst&)>& value,
                          const char* format) {
  double total = 0;
  int count = 0;
  for (const Receiver::Burst& burst : receiver.bursts) {
    if (burst.size != size) continue;
    total += value(burst);
    ++count;
  }
  return count == 0 ? kNone : Format(format, total / count);
}

void PrintRows() {
  const Receiver& bareQuiet = *receivers[2];
  Row("start to \"Listening at\" line, median of " + std::to_string(options.startSamples),
      [](Receiver& r) {
        return r.startMs.empty() ? kNone : Format("%.1f ms", Percentile(r.startMs, 0.5));
      });
  Row("VmRSS after start / after the load", [](Receiver& r) {
    return std::to_string(r.rssAfterStartKb) + " / " + std::to_string(r.rssAfterLoadKb) + " kB";
  });
  Row("VmHWM at the end", [](Receiver& r) { return std::to_string(r.hwmKb) + " kB"; });
  Row("idle CPU in " + std::to_string(options.idleSeconds) + " s (schedstat; wake-ups)",
      [](Receiver& r) {
        return Format("%.0f µs", r.idleCpuUs) + "; " + std::to_string(r.idleWakeups);
      });
  Row("idle CPU in " + std::to_string(options.idleSeconds) + " s (utime+stime)",
      [](Receiver& r) { return Format("%.0f ms", r.idleCpuTicksMs); });
  Row("CPU per datagram, utime+stime (" + std::to_string(options.cpuDatagrams) + " in batches of " +
          std::to_string(options.cpuBatch) + ")",
      [](Receiver& r) { return Format("%.2f µs", r.cpuPerDatagramUs); });
  Row("CPU per datagram, schedstat run time",
      [](Receiver& r) { return Format("%.2f µs", r.cpuPerDatagramSchedUs); });
  Row("times scheduled per datagram (a receiver that keeps up sleeps for each)",
      [](Receiver& r) { return Format("%.2f", r.timesScheduledPerDatagram); });
  Row("CPU per datagram relative to the quiet bare loop (utime+stime; schedstat)",
      [&bareQuiet](Receiver& r) {
        // Too few clock ticks for a ratio (a quick run) show as a dash.
        auto ratio = [](double value, double base) {
          return value > 0 && base > 0 ? Format("%.1f ×", value / base) : std::string("–");
        };
        return ratio(r.cpuPerDatagramUs, bareQuiet.cpuPerDatagramUs) + "; " +
               ratio(r.cpuPerDatagramSchedUs, bareQuiet.cpuPerDatagramSchedUs);
      });
  Row("datagram to \"R\" line (OSC: \"O\" line), p50 / p99 (" +
          std::to_string(options.latencySamples) + " at idle)",
      [](Receiver& r) {
        if (r.rLatencyMs.empty()) return kNone;
        return Format("%.0f", Percentile(r.rLatencyMs, 0.5) * 1000) + " / " +
               Format("%.0f µs", Percentile(r.rLatencyMs, 0.99) * 1000);
      });
  Row("datagram to unknown-command line (dispatch done), p50 / p99", [](Receiver& r) {
    if (r.errLatencyMs.empty()) return kNone;
    return Format("%.0f", Percentile(r.errLatencyMs, 0.5) * 1000) + " / " +
           Format("%.0f µs", Percentile(r.errLatencyMs, 0.99) * 1000);
  });
  for (int size : options.burstSizes) {
    std::string burst = "burst of " + std::to_string(size);
    Row(burst + ": lost, median (min–max) of " + std::to_string(options.burstRepeats),
        [size](Receiver& r) { return BurstCell(r, size); });
    Row(burst + ": where lost (sum of the runs)",
        [size](Receiver& r) { return BurstWhereCell(r, size); });
    Row(burst + ": send time / until all taken", [size](Receiver& r) {
      return BurstMeanCell(
                 r, size, [](const Receiver::Burst& b) { return b.sendMs; }, "%.1f") +
             " / " +
             BurstMeanCell(
                 r, size, [](const Receiver::Burst& b) { return b.drainMs; }, "%.1f ms");
    });
    Row(burst + ": CPU per received datagram (schedstat)", [size](Receiver& r) {
      return BurstMeanCell(
          r, size, [](const Receiver::Burst& b) { return b.cpuUsPerReceived; }, "%.2f µs");
    });
  }
  Row("socket receive buffer (ss rb)", [](Receiver& r) {
    return r.receiveBufferBytes > 0 ? std::to_string(r.receiveBufferBytes) + " B" : kNone;
  });
  Row("SIGTERM to exit (exit code)", [](Receiver& r) {
    return Format("%.0f ms", r.stopMs) + " (" + std::to_string(r.exitCode) + ")";
  });
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--server" && i + 1 < argc) {
      options.serverPath = argv[++i];
    } else if (arg == "--bare" && i + 1 < argc) {
      options.barePath = argv[++i];
    } else if (arg == "--quick") {
      options.cpuDatagrams = 5000;
      options.latencySamples = 50;
      options.idleSeconds = 2;
      options.startSamples = 2;
      options.burstRepeats = 1;
    } else {
      Fail("usage: e2e-bench [--server PATH] [--bare PATH] [--quick]");
    }
  }
  if (options.serverPath.empty() || options.barePath.empty())
    Fail("--server and --bare are needed");
  signal(SIGPIPE, SIG_IGN);

  auto add = [](const std::string& label, Kind kind, bool toPipe, bool linePerDatagram) {
    auto receiver = std::make_unique<Receiver>();
    receiver->label = label;
    receiver->kind = kind;
    receiver->toPipe = toPipe;
    receiver->linePerDatagram = linePerDatagram;
    receivers.push_back(std::move(receiver));
    return receivers.back().get();
  };
  add("server, stdout to a pipe", Kind::kServer, true, false);
  add("server, stdout to /dev/null", Kind::kServer, false, false);
  add("bare loop, quiet", Kind::kBare, false, false);
  add("bare loop, a line per datagram", Kind::kBare, true, true);
  add("server with an OSC port, datagrams", Kind::kServer, true, false)->oscPortOpen = true;
  Receiver* osc = add("server with an OSC port, OSC messages", Kind::kServer, true, false);
  osc->oscPortOpen = true;
  osc->oscMessages = true;

  // One after the other, so that the start times do not compete.
  for (auto& receiver : receivers) {
    receiver->port = FreeUdpPortOrFail();
    Progress("starting " + receiver->label + " on port " + std::to_string(receiver->port));
    StartReceiver(*receiver);
    WaitForListening(*receiver);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    receiver->rssAfterStartKb = StatusKilobytes(receiver->pid, "VmRSS:");
    receiver->receiveBufferBytes = ReceiveBufferBytes(receiver->port);
  }

  // Idle together: none of them should do anything but wait.
  Progress("idle for " + std::to_string(options.idleSeconds) + " s");
  std::vector<SchedTotals> schedBefore;
  std::vector<double> cpuBefore;
  for (auto& receiver : receivers) {
    schedBefore.push_back(ProcessSchedTotals(receiver->pid));
    cpuBefore.push_back(ProcessCpuSeconds(receiver->pid));
  }
  std::this_thread::sleep_for(std::chrono::seconds(options.idleSeconds));
  for (size_t i = 0; i < receivers.size(); ++i) {
    Receiver& receiver = *receivers[i];
    SchedTotals after = ProcessSchedTotals(receiver.pid);
    receiver.idleCpuUs = static_cast<double>(after.runNs - schedBefore[i].runNs) / 1e3;
    receiver.idleWakeups = after.timesScheduled - schedBefore[i].timesScheduled;
    receiver.idleCpuTicksMs = (ProcessCpuSeconds(receiver.pid) - cpuBefore[i]) * 1e3;
  }

  for (auto& receiver : receivers) {
    Progress("latency: " + receiver->label);
    MeasureLatency(*receiver);
    Progress("CPU per datagram: " + receiver->label);
    MeasureCpuPerDatagram(*receiver);
    Progress("bursts: " + receiver->label);
    MeasureBursts(*receiver);
    receiver->rssAfterLoadKb = StatusKilobytes(receiver->pid, "VmRSS:");
    receiver->hwmKb = StatusKilobytes(receiver->pid, "VmHWM:");
  }

  for (auto& receiver : receivers) {
    Progress("stopping " + receiver->label);
    StopReceiver(*receiver);
  }

  // More start samples of the receivers whose line can be seen.
  for (auto& receiver : receivers) {
    if (!receiver->toPipe) continue;
    for (int i = 1; i < options.startSamples; ++i) {
      Progress("start sample " + std::to_string(i + 1) + ": " + receiver->label);
      receiver->port = FreeUdpPortOrFail();
      StartReceiver(*receiver);
      WaitForListening(*receiver);
      StopReceiver(*receiver);
    }
  }

  PrintRows();
  return 0;
}
