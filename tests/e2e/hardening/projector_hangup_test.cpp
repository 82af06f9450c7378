// The projector's line goes away under the running server: a socat
// pseudo-terminal pair stands in for the cable, the program opens end A, and
// the test kills socat. PROJECTOR commands then write into a hung-up line;
// they must stay silent, and the server must go on and close cleanly.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/e2e_support.h"

namespace {

constexpr int kStartMs = 20000;
constexpr int kLineMs = 10000;

struct SerialPair {
  e2e::Process socat;
  std::string endA;  // the pseudo-terminal the program opens
  int readFd = -1;   // the test's end, B
};

bool StartSerialPair(const std::string& directory, SerialPair* pair) {
  std::string linkA = directory + "/A";
  std::string linkB = directory + "/B";
  pair->socat = e2e::StartProcess(
      {"socat", "-d", "-d", "pty,raw,echo=0,link=" + linkA, "pty,raw,echo=0,link=" + linkB},
      directory);
  if (!e2e::WaitForOutput(pair->socat, "starting data transfer loop", kStartMs)) return false;
  char target[256] = {};
  ssize_t n = readlink(linkA.c_str(), target, sizeof target - 1);
  if (n <= 0) return false;
  pair->endA = std::string(target, static_cast<size_t>(n));
  pair->readFd = open(linkB.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  return pair->readFd >= 0;
}

// Reads from B until `count` bytes have come or `timeoutMs` has passed.
std::string ReadBytes(int fd, size_t count, int timeoutMs) {
  std::string bytes;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (bytes.size() < count) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now())
                    .count();
    if (left <= 0) break;
    pollfd waiting{fd, POLLIN, 0};
    if (poll(&waiting, 1, static_cast<int>(left)) <= 0) continue;
    char buffer[512];
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      bytes.append(buffer, static_cast<size_t>(n));
    } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
      break;
    }
  }
  return bytes;
}

// The lines of `output` from the one that ends with `lineEnd` (exclusive) up
// to the next "R " line (exclusive); empty when there is no such line.
std::vector<std::string> LinesAfter(const std::string& output, const std::string& lineEnd) {
  std::vector<std::string> lines;
  size_t at = output.find(lineEnd);
  if (at == std::string::npos) return lines;
  at += lineEnd.size();
  while (at < output.size() && output.compare(at, 2, "R ") != 0) {
    size_t end = output.find('\n', at);
    if (end == std::string::npos) break;
    lines.push_back(output.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

class ProjectorHangup : public ::testing::Test {
 protected:
  void SetUp() override {
    directory = e2e::MakeTemporaryDirectory();
    udpPort = e2e::FreeUdpPort();
  }
  void TearDown() override {
    e2e::StopProcess(server);
    if (serial.readFd >= 0) close(serial.readFd);
    e2e::StopProcess(serial.socat);
    e2e::RemoveTree(directory);
  }

  void Send(const std::string& command) { e2e::SendDatagram(command, udpPort); }

  std::string directory;
  int udpPort = 0;
  SerialPair serial;
  e2e::Process server;
};

TEST_F(ProjectorHangup, CommandsToAVanishedLineStaySilentAndTheServerGoesOn) {
  ASSERT_TRUE(StartSerialPair(directory, &serial)) << serial.socat.output;
  e2e::WriteTextFile(directory + "/podiant.ini", "[settings]\nport=" + std::to_string(udpPort) +
                                                     "\n[projector]\nport=" + serial.endA +
                                                     "\nbaud=9600\n[functions]\nlamp=ABC\n"
                                                     "power=" +
                                                     std::string(1000, 'P') + "\n");
  server = e2e::StartProcess({e2e::BinaryDir() + "/shell/podiant-server"}, directory, {"DISPLAY"});
  ASSERT_TRUE(e2e::WaitForOutput(server, "  Serial comms open on  port \"" + serial.endA + "\"\n",
                                 kStartMs))
      << server.output;

  // The line works.
  Send("PROJECTOR lamp");
  EXPECT_EQ(ReadBytes(serial.readFd, 3, kLineMs), "ABC");

  // The cable is pulled: socat ends at once, without tidying up.
  close(serial.readFd);
  serial.readFd = -1;
  kill(serial.socat.pid, SIGKILL);
  ASSERT_TRUE(e2e::WaitForExit(serial.socat, kStartMs));

  // Each command gives its "R" line and its notice (on the console, which
  // counts as dismissed when no one can answer), and nothing else: the next
  // line is the next command's "R" line.
  const std::vector<std::pair<std::string, std::string>> commands = {
      {"PROJECTOR lamp", "/LAMP/ABC/"},
      {"PROJECTOR power", "/POWER/" + std::string(1000, 'P') + "/"},
      {"PROJECTOR lamp", "/LAMP/ABC/"},
  };
  for (const auto& [command, notice] : commands) {
    size_t mark = server.output.size();
    Send(command);
    ASSERT_TRUE(e2e::WaitForOutput(server, "-> \"" + command + "\"\n", kLineMs, mark))
        << server.output.substr(mark);
    // One after the other: separate sockets may overtake each other.
    Send("next-" + command);
    ASSERT_TRUE(e2e::WaitForOutput(server, "-> \"next-" + command + "\"\n", kLineMs, mark))
        << server.output.substr(mark);
    std::string after = server.output.substr(mark);
    EXPECT_EQ(LinesAfter(after, "-> \"" + command + "\"\n"),
              std::vector<std::string>{"[Projector command] " + notice})
        << after;
  }

  // Still up, and it closes the dead line and ends cleanly.
  size_t mark = server.output.size();
  Send("still-here");
  ASSERT_TRUE(
      e2e::WaitForOutput(server, "ERR: Unknown command received \"still-here\"\n", kLineMs, mark))
      << server.output.substr(mark);
  mark = server.output.size();
  e2e::SendSignal(server, SIGTERM);
  ASSERT_TRUE(e2e::WaitForExit(server, kStartMs)) << server.output;
  EXPECT_EQ(e2e::ExitCode(server), 0) << server.output;
  EXPECT_EQ(server.output.substr(mark), "WAITING FOR THREAD TO STOP!\nTHREAD STOPPED!\n");
}

}  // namespace
