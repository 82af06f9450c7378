// Soak: the real podiant-server, and the real podiant-server.exe under Wine,
// under a flood of random datagrams on loopback. Afterwards it must still run,
// still answer, and hold no more memory than a small margin above what it held
// after a warm-up.
//
// PODIANT_SOAK_DATAGRAMS sets how many random datagrams are sent (default
// 100000; a sanitizer build can take fewer), PODIANT_SOAK_SEED the seed of
// the generator (default: a fresh one, printed so a run can be repeated), and
// PODIANT_SOAK_RSS_MARGIN_KIB the allowed growth of the resident memory.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "common/text_rules.h"
#include "tests/support/e2e_support.h"

namespace {

constexpr int kStartMs = 20000;
constexpr int kLineMs = 20000;
// A wait for the server to take the next datagram fails after this long
// without any progress.
constexpr int kStallMs = 60000;
// The largest UDP payload over IPv4.
constexpr size_t kLargestPayload = 65507;
// How far the sender may run ahead of the server, in datagrams. More than the
// socket's receive queue holds when the long datagrams come (it takes about a
// hundred short ones and three of the longest), so the queue overflows now and
// then and the kernel drops some, while the server always has the next one
// waiting and takes most of them.
constexpr long long kWindow = 128;
// RSS after the flood may exceed RSS after the warm-up by this much
// (PODIANT_SOAK_RSS_MARGIN_KIB overrides it, for a build whose allocator keeps
// freed memory, such as one with the address sanitizer). The warm-up has
// already made the largest allocations a datagram needs (strings of up to
// 200 KB for a 65,507-byte payload shown as three-byte UTF-8, and a status log
// of ten such lines), so the flood needs no new memory; the margin leaves room
// for the allocator to split its free blocks differently. One leaked heap
// block per datagram, 32 bytes at the least, would take 3 MiB over 100,000
// datagrams and exceed it.
constexpr long long kRssMarginKiB = 2 * 1024;

using Clock = std::chrono::steady_clock;

long long MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

long long EnvironmentNumber(const char* name, long long fallback) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return fallback;
  return std::strtoll(value, nullptr, 10);
}

// The server's output, read while the test sends: every complete line is
// looked at once and then dropped, apart from a short tail for messages and
// the lines that carry the test's own markers.
struct OutputReader {
  int fd = -1;
  std::string partial;  // the start of a line not yet complete
  long long bytes = 0;
  long long receivedLines = 0;  // "R 127.0.0.1:..." lines, one per datagram taken
  long long unknownLines = 0;   // "ERR: Unknown command received ..." lines
  long long otherLines = 0;
  std::vector<std::string> markedLines;  // lines that contain "soak-"
  std::string tail;                      // the last complete lines, at most a few KB
  bool ended = false;
};

void TakeLine(OutputReader& reader, const std::string& line) {
  // A received text cannot break a line: control bytes are shown in caret form.
  if (line.rfind("R 127.0.0.1:", 0) == 0) {
    ++reader.receivedLines;
  } else if (line.rfind("ERR: Unknown command received \"", 0) == 0) {
    ++reader.unknownLines;
  } else {
    ++reader.otherLines;
  }
  if (line.find("soak-") != std::string::npos) reader.markedLines.push_back(line);
  reader.tail += line.size() > 300 ? line.substr(0, 300) + "[...]" : line;
  reader.tail += '\n';
  if (reader.tail.size() > 8192) reader.tail.erase(0, reader.tail.size() - 4096);
}

// Reads what is there within `waitMs`; false once the output has ended.
bool ReadOutput(OutputReader& reader, int waitMs) {
  if (reader.ended) return false;
  pollfd wait{reader.fd, POLLIN, 0};
  if (poll(&wait, 1, waitMs) <= 0) return true;
  char buffer[1 << 16];
  ssize_t n = read(reader.fd, buffer, sizeof buffer);
  if (n < 0) return errno == EINTR || errno == EAGAIN;
  if (n == 0) {
    reader.ended = true;
    return false;
  }
  reader.bytes += n;
  reader.partial.append(buffer, static_cast<size_t>(n));
  size_t start = 0;
  for (size_t end = reader.partial.find('\n'); end != std::string::npos;
       end = reader.partial.find('\n', start)) {
    TakeLine(reader, reader.partial.substr(start, end - start));
    start = end + 1;
  }
  reader.partial.erase(0, start);
  return true;
}

bool HasMarkedLine(const OutputReader& reader, const std::string& line) {
  for (const std::string& marked : reader.markedLines) {
    if (marked == line) return true;
  }
  return false;
}

bool WaitForMarkedLine(OutputReader& reader, const std::string& line, int timeoutMs) {
  Clock::time_point start = Clock::now();
  while (!HasMarkedLine(reader, line)) {
    if (MillisecondsSince(start) > timeoutMs || !ReadOutput(reader, 50)) {
      return HasMarkedLine(reader, line);
    }
  }
  return true;
}

// The socket bound to `port` as /proc/net/udp lists it: the bytes waiting in
// its receive queue, and the datagrams that the kernel dropped because the
// queue was full (its last column).
struct SocketCounts {
  bool listed = false;
  long long queuedBytes = 0;
  long long drops = 0;
};

SocketCounts SocketState(int port) {
  std::ifstream table("/proc/net/udp");
  std::string line;
  std::getline(table, line);  // the header
  char wanted[16];
  std::snprintf(wanted, sizeof wanted, ":%04X", port);
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state, queues;
    fields >> slot >> local >> remote >> state >> queues;
    if (local.size() < 5 || local.compare(local.size() - 5, 5, wanted) != 0) continue;
    std::string field, last;
    while (fields >> field) last = field;
    SocketCounts counts;
    counts.listed = true;
    size_t colon = queues.find(':');
    if (colon != std::string::npos) {
      counts.queuedBytes = std::strtoll(queues.c_str() + colon + 1, nullptr, 16);
    }
    counts.drops = std::strtoll(last.c_str(), nullptr, 10);
    return counts;
  }
  return SocketCounts{};
}

// The drops of the socket bound to `port`; -1 when the socket is not listed.
long long SocketDrops(int port) {
  SocketCounts counts = SocketState(port);
  return counts.listed ? counts.drops : -1;
}

// VmRSS of process `pid` in KiB, from /proc/<pid>/status; -1 when not found.
long ResidentKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

// True when the command word of `text` (trimmed of blanks, up to its first
// blank) is RUN in any letter case the server accepts: such a datagram would
// start a program.
bool IsRunCommand(const std::string& text) {
  size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return false;
  size_t blank = text.find(' ', first);
  std::string word = text.substr(first, blank == std::string::npos ? blank : blank - first);
  return FoldUpper(word) == "RUN";
}

// Mostly short datagrams (0 to 512 bytes); one in 400 up to the largest
// payload, and one in ten of those exactly the largest.
std::string RandomPayload(std::mt19937_64& random) {
  for (;;) {
    size_t length;
    if (random() % 400 == 0) {
      length = random() % 10 == 0 ? kLargestPayload : 513 + random() % (kLargestPayload - 512);
    } else {
      length = random() % 513;
    }
    std::string payload(length, '\0');
    for (char& c : payload) c = static_cast<char>(random() & 0xFF);
    if (!IsRunCommand(payload)) return payload;
  }
}

struct Sender {
  int fd = -1;
  sockaddr_in server{};
};

bool OpenSender(Sender& sender, int port) {
  sender.fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sender.server.sin_family = AF_INET;
  sender.server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sender.server.sin_port = htons(static_cast<uint16_t>(port));
  return sender.fd >= 0;
}

bool SendPayload(const Sender& sender, const std::string& payload) {
  for (;;) {
    ssize_t n = sendto(sender.fd, payload.data(), payload.size(), 0,
                       reinterpret_cast<const sockaddr*>(&sender.server), sizeof sender.server);
    if (n == static_cast<ssize_t>(payload.size())) return true;
    if (n < 0 && (errno == EINTR || errno == ENOBUFS || errno == EAGAIN)) continue;
    return false;
  }
}

bool StillRunning(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  std::getline(stat, text);
  size_t close = text.rfind(')');
  return close != std::string::npos && close + 2 < text.size() && text[close + 2] != 'Z';
}

// The generator of a run of `count` datagrams: seeded from PODIANT_SOAK_SEED,
// else afresh, and the seed printed so that the run can be repeated.
std::mt19937_64 SeededGenerator(const char* run, long long count) {
  const uint64_t seed = static_cast<uint64_t>(
      EnvironmentNumber("PODIANT_SOAK_SEED", static_cast<long long>(std::random_device()() >> 1)));
  std::printf("%s: %lld datagrams, seed %llu (PODIANT_SOAK_SEED)\n", run, count,
              static_cast<unsigned long long>(seed));
  return std::mt19937_64(seed);
}

// Reports the resident memory after the warm-up and after the flood (printed,
// and recorded as <property>_rss_before_kib and _after_kib), and checks that
// it grew by no more than the margin.
void ExpectNoLarger(const char* run, const std::string& property, long before, long after) {
  const long long margin = EnvironmentNumber("PODIANT_SOAK_RSS_MARGIN_KIB", kRssMarginKiB);
  std::printf("%s: VmRSS %ld KiB after the warm-up, %ld KiB after the flood (margin %lld KiB)\n",
              run, before, after, margin);
  ::testing::Test::RecordProperty(property + "_rss_before_kib", std::to_string(before));
  ::testing::Test::RecordProperty(property + "_rss_after_kib", std::to_string(after));
  EXPECT_LE(after, before + margin);
}

class Soak : public ::testing::Test {
 protected:
  void SetUp() override {
    directory = e2e::MakeTemporaryDirectory();
    port = e2e::FreeUdpPort();
  }
  void TearDown() override {
    e2e::StopProcess(server);
    if (sender.fd >= 0) close(sender.fd);
    e2e::RemoveTree(directory);
  }

  // Waits until each of the `sent` datagrams since the bases has been either
  // taken by the server or dropped by the kernel; false when the server stops
  // taking them or more were counted than sent.
  bool Settle(long long sent, long long receivedBase, long long dropsBase) {
    Clock::time_point lastProgress = Clock::now();
    long long lastTaken = -1;
    for (;;) {
      long long taken = reader.receivedLines - receivedBase + SocketDrops(port) - dropsBase;
      if (taken >= sent) return taken == sent;
      if (taken != lastTaken) {
        lastTaken = taken;
        lastProgress = Clock::now();
      } else if (MillisecondsSince(lastProgress) > kStallMs) {
        return false;
      }
      if (!ReadOutput(reader, 20)) return false;
    }
  }

  std::string directory;
  int port = 0;
  e2e::Process server;
  OutputReader reader;
  Sender sender;
};

TEST_F(Soak, AFloodOfRandomDatagramsLeavesTheServerRunningAnsweringAndNoLarger) {
  const long long count = EnvironmentNumber("PODIANT_SOAK_DATAGRAMS", 100000);
  std::mt19937_64 random = SeededGenerator("soak", count);

  e2e::WriteTextFile(directory + "/podiant.ini", "[settings]\nport=" + std::to_string(port) + "\n");
  // No X display: random SEND, STOP and ACTIVATE commands find no window.
  server = e2e::StartProcess({e2e::BinaryDir() + "/shell/podiant-server"}, directory, {"DISPLAY"});
  ASSERT_TRUE(e2e::WaitForOutput(server, "...\n", kStartMs)) << server.output;
  ASSERT_NE(server.output.find("Listening at "), std::string::npos) << server.output;
  // From here on the output is read and dropped line by line.
  reader.fd = server.outputFd;
  ASSERT_TRUE(OpenSender(sender, port));
  ASSERT_GE(SocketDrops(port), 0) << "the server's socket is not in /proc/net/udp";

  // Warm-up: every kind of buffer at its largest size, once: a run of
  // largest datagrams fills the status log with long lines, and bytes that
  // are shown as three bytes each give the longest console line.
  long long receivedBase = reader.receivedLines;
  long long dropsBase = SocketDrops(port);
  long long warmUp = 0;
  for (int i = 0; i < 12; ++i) {
    std::string large(kLargestPayload, i % 2 == 0 ? '\x80' : 'A');
    ASSERT_TRUE(SendPayload(sender, large));
    ++warmUp;
    ASSERT_TRUE(Settle(warmUp, receivedBase, dropsBase)) << reader.tail;
  }
  for (int i = 0; i < 300; ++i) {
    ASSERT_TRUE(SendPayload(sender, RandomPayload(random)));
    ++warmUp;
    if (warmUp % 32 == 0) {
      ASSERT_TRUE(Settle(warmUp, receivedBase, dropsBase)) << reader.tail;
    }
  }
  ASSERT_TRUE(Settle(warmUp, receivedBase, dropsBase)) << reader.tail;
  for (int i = 0; i < 10; ++i) {
    ASSERT_TRUE(SendPayload(sender, "soak-warm-" + std::to_string(i)));
  }
  ASSERT_TRUE(WaitForMarkedLine(reader, "ERR: Unknown command received \"soak-warm-9\"", kLineMs))
      << reader.tail;
  const long rssBefore = ResidentKiB(server.pid);
  ASSERT_GT(rssBefore, 0);

  // The flood.
  receivedBase = reader.receivedLines;
  dropsBase = SocketDrops(port);
  Clock::time_point start = Clock::now();
  long long sent = 0;
  long long sentBytes = 0;
  Clock::time_point lastProgress = Clock::now();
  long long lastReceived = reader.receivedLines;
  long long drops = 0;
  while (sent < count) {
    std::string payload = RandomPayload(random);
    // Ahead by a full window: read the output until the server catches up
    // (or the kernel is seen to have dropped enough of them).
    while (sent - (reader.receivedLines - receivedBase) - drops >= kWindow) {
      ASSERT_TRUE(ReadOutput(reader, 5)) << "the output ended\n" << reader.tail;
      if (reader.receivedLines != lastReceived) {
        lastReceived = reader.receivedLines;
        lastProgress = Clock::now();
        continue;
      }
      drops = SocketDrops(port) - dropsBase;
      ASSERT_LT(MillisecondsSince(lastProgress), kStallMs) << "no datagram taken for a minute\n"
                                                           << reader.tail;
    }
    ASSERT_TRUE(SendPayload(sender, payload)) << std::strerror(errno);
    ++sent;
    sentBytes += static_cast<long long>(payload.size());
    // Keep the pipe from filling while sending runs ahead.
    if (sent % 64 == 0) {
      ASSERT_TRUE(ReadOutput(reader, 0)) << reader.tail;
    }
  }
  ASSERT_TRUE(Settle(sent, receivedBase, dropsBase))
      << "taken " << reader.receivedLines - receivedBase << ", dropped "
      << SocketDrops(port) - dropsBase << ", sent " << sent << "\n"
      << reader.tail;
  long long floodMs = MillisecondsSince(start);
  long long taken = reader.receivedLines - receivedBase;
  drops = SocketDrops(port) - dropsBase;
  std::printf(
      "soak: sent %lld datagrams (%lld bytes) in %lld ms; the server logged %lld, the kernel "
      "dropped %lld at the full receive queue; output %lld bytes (%lld unknown-command lines, "
      "%lld other lines)\n",
      sent, sentBytes, floodMs, taken, drops, reader.bytes, reader.unknownLines, reader.otherLines);
  RecordProperty("soak_datagrams", std::to_string(sent));
  RecordProperty("soak_logged", std::to_string(taken));
  RecordProperty("soak_dropped", std::to_string(drops));
  RecordProperty("soak_ms", std::to_string(floodMs));

  // Still running, and still answering, in order.
  EXPECT_TRUE(StillRunning(server.pid));
  for (int i = 0; i < 10; ++i) {
    ASSERT_TRUE(SendPayload(sender, "soak-after-" + std::to_string(i)));
  }
  ASSERT_TRUE(WaitForMarkedLine(reader, "ERR: Unknown command received \"soak-after-9\"", kLineMs))
      << reader.tail;
  ExpectNoLarger("soak", "soak", rssBefore, ResidentKiB(server.pid));

  std::string touched = directory + "/soak-touched";
  ASSERT_TRUE(SendPayload(sender, "RUN touch " + touched));
  ASSERT_TRUE(WaitForMarkedLine(reader, "Run \"touch " + touched + "\" Started", kLineMs))
      << reader.tail;
  struct stat status {};
  bool appeared = false;
  for (int i = 0; i < 500 && !appeared; ++i) {
    appeared = stat(touched.c_str(), &status) == 0;
    if (!appeared) usleep(20000);
  }
  EXPECT_TRUE(appeared) << touched;

  // A clean close: what is still unread goes into the process's own output.
  ASSERT_TRUE(reader.partial.empty()) << reader.partial;
  server.output.clear();
  e2e::SendSignal(server, SIGTERM);
  ASSERT_TRUE(e2e::WaitForExit(server, kStartMs)) << server.output;
  EXPECT_EQ(e2e::ExitCode(server), 0) << server.output;
  EXPECT_EQ(server.output, "WAITING FOR THREAD TO STOP!\nTHREAD STOPPED!\n");
}

// ---------------------------------------------------------------------------
// The Windows program under Wine. Its window shows only the last ten lines, so
// the flood is paced by the socket instead: after each batch the test waits
// until the receive queue is empty, that is until the program has taken every
// datagram of the batch (or the kernel dropped it).
//
// PODIANT_SOAK_WINE_DATAGRAMS sets the number of random datagrams (default
// 20000); the seed and the memory margin are those of the native soak.

constexpr const char* kWineTitle = "Podiant Server";
constexpr int kWineLabel = 101;
constexpr long long kWineBatch = 64;

class WineSoak : public ::testing::Test {
 protected:
  void SetUp() override {
    if (e2e::WindowsBinaryDir().empty()) GTEST_SKIP() << "no Windows build";
    if (std::getenv("WINEPREFIX") == nullptr || std::getenv("DISPLAY") == nullptr) {
      GTEST_SKIP() << "needs WINEPREFIX and DISPLAY (scripts/test-all.sh sets them)";
    }
    directory = e2e::MakeTemporaryDirectory();
    port = e2e::FreeUdpPort();
  }
  void TearDown() override {
    e2e::StopProcess(watcher);
    e2e::StopProcess(server);
    if (sender.fd >= 0) close(sender.fd);
    if (!directory.empty()) {
      int ignored = 0;
      e2e::RunProbe({"wait-gone", kWineTitle, "5000"}, &ignored);
      e2e::RemoveTree(directory);
    }
  }

  std::string Label() {
    std::string text;
    e2e::ReadWindowControlText(kWineTitle, kWineLabel, &text);
    return text;
  }

  // Polls the label until `pattern` matches it (std::regex_search).
  bool WaitForLabel(const std::string& pattern) {
    std::regex wanted(pattern);
    Clock::time_point start = Clock::now();
    while (MillisecondsSince(start) < kLineMs) {
      label = Label();
      if (std::regex_search(label, wanted)) return true;
      usleep(50000);
    }
    return false;
  }

  // Waits until the receive queue is empty; false when it stops shrinking for
  // a minute or the program has ended.
  bool Drain() {
    Clock::time_point lastProgress = Clock::now();
    long long last = -1;
    for (;;) {
      SocketCounts counts = SocketState(port);
      if (!counts.listed || !StillRunning(server.pid)) return false;
      if (counts.queuedBytes == 0) return true;
      if (counts.queuedBytes != last) {
        last = counts.queuedBytes;
        lastProgress = Clock::now();
      } else if (MillisecondsSince(lastProgress) > kStallMs) {
        return false;
      }
      usleep(500);
    }
  }

  // Sends `payload` and, at the end of a batch of `batch`, drains the queue.
  bool SendPaced(const std::string& payload, long long* sent, long long batch = kWineBatch) {
    if (!SendPayload(sender, payload)) return false;
    ++*sent;
    return *sent % batch != 0 || Drain();
  }

  std::string directory;
  int port = 0;
  std::string label;
  e2e::Process server;
  e2e::Process watcher;
  Sender sender;
};

TEST_F(WineSoak, AFloodOfRandomDatagramsLeavesTheWindowsProgramRunningAnsweringAndNoLarger) {
  const long long count = EnvironmentNumber("PODIANT_SOAK_WINE_DATAGRAMS", 20000);
  std::mt19937_64 random = SeededGenerator("wine soak", count);

  e2e::WriteTextFile(directory + "/podiant.ini", "[settings]\nport=" + std::to_string(port) + "\n");
  server = e2e::StartProcess(
      {e2e::WineLoader(), e2e::WindowsBinaryDir() + "/shell/podiant-server.exe"}, directory);
  ASSERT_TRUE(WaitForLabel("\rListening at [0-9.]+:" + std::to_string(port) + "\\.\\.\\.$"))
      << label;
  ASSERT_TRUE(SocketState(port).listed) << "the program's socket is not in /proc/net/udp";
  ASSERT_TRUE(OpenSender(sender, port));

  // Warm-up, as for the native program: the largest datagrams fill the log
  // with its longest lines, then datagrams of every kind.
  long long warmUp = 0;
  for (int i = 0; i < 12; ++i) {
    ASSERT_TRUE(SendPaced(std::string(kLargestPayload, i % 2 == 0 ? '\x80' : 'A'), &warmUp, 1));
  }
  for (int i = 0; i < 300; ++i) ASSERT_TRUE(SendPaced(RandomPayload(random), &warmUp, 32));
  ASSERT_TRUE(Drain());
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(SendPayload(sender, "soak-warm-" + std::to_string(i)));
  ASSERT_TRUE(WaitForLabel("\rERR: Unknown command received \"soak-warm-9\"$")) << label;
  const long rssBefore = ResidentKiB(server.pid);
  ASSERT_GT(rssBefore, 0);

  // The flood.
  const long long dropsBase = SocketState(port).drops;
  Clock::time_point start = Clock::now();
  long long sent = 0;
  long long sentBytes = 0;
  while (sent < count) {
    std::string payload = RandomPayload(random);
    sentBytes += static_cast<long long>(payload.size());
    ASSERT_TRUE(SendPaced(payload, &sent)) << "the program stopped taking datagrams";
  }
  ASSERT_TRUE(Drain()) << "the program stopped taking datagrams";
  const long long floodMs = MillisecondsSince(start);
  const long long drops = SocketState(port).drops - dropsBase;
  std::printf(
      "wine soak: sent %lld datagrams (%lld bytes) in %lld ms; the kernel dropped %lld at the full "
      "receive queue\n",
      sent, sentBytes, floodMs, drops);
  RecordProperty("wine_soak_datagrams", std::to_string(sent));
  RecordProperty("wine_soak_dropped", std::to_string(drops));
  RecordProperty("wine_soak_ms", std::to_string(floodMs));

  // Still answering: once ten clean lines have pushed the flood's out of the
  // log, the next command shows exactly its two lines at the end.
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(SendPayload(sender, "soak-after-" + std::to_string(i)));
  ASSERT_TRUE(WaitForLabel("\rERR: Unknown command received \"soak-after-9\"$")) << label;
  ASSERT_TRUE(SendPayload(sender, "soak-next"));
  ASSERT_TRUE(WaitForLabel("\"soak-next\"$")) << label;
  EXPECT_TRUE(std::regex_search(
      label, std::regex("\rERR: Unknown command received \"soak-after-9\"\r"
                        "R 127\\.0\\.0\\.1:\\d+ \\d\\d:\\d\\d:\\d\\d -> \"soak-next\"\r"
                        "ERR: Unknown command received \"soak-next\"$")))
      << label;
  ExpectNoLarger("wine soak", "wine_soak", rssBefore, ResidentKiB(server.pid));

  // A clean close.
  watcher = e2e::StartProcess(
      {e2e::WineLoader(), e2e::WindowsBinaryDir() + "/tests/wine_probe/podiant-probe.exe",
       "watch-control", kWineTitle, std::to_string(kWineLabel), "20000"},
      "");
  ASSERT_TRUE(e2e::WaitForOutput(watcher, "\n", kLineMs));
  int exitCode = -1;
  e2e::RunProbe({"post-close", kWineTitle}, &exitCode);
  ASSERT_EQ(exitCode, 0);
  ASSERT_TRUE(e2e::WaitForExit(server, kStartMs));
  EXPECT_EQ(e2e::ExitCode(server), 0);
  ASSERT_TRUE(e2e::WaitForExit(watcher, kStartMs));
  std::string last;
  std::stringstream lines(watcher.output);
  for (std::string line; std::getline(lines, line);) last = e2e::FromHex(line);
  EXPECT_TRUE(last.ends_with("\rWAITING FOR THREAD TO STOP!\rTHREAD STOPPED!")) << last;
}

}  // namespace
