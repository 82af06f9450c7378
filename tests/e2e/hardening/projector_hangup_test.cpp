// The projector's line goes away under the running server: a socat
// pseudo-terminal pair stands in for the cable, the program opens end A, and
// the test kills socat. PROJECTOR commands then write into a hung-up line;
// they must stay silent, and the server must go on and close cleanly.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/support/e2e_support.h"
#include "tests/support/serial_pair.h"

namespace {

constexpr int kStartMs = 20000;
constexpr int kLineMs = 10000;

using e2e::ReadSerialBytes;
using e2e::SerialPair;
using e2e::StartSerialPair;

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
  EXPECT_EQ(ReadSerialBytes(serial.readFd, 3, kLineMs), "ABC");

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
