// A close request in the middle of a long SEND: the real podiant-server on a
// private Xvfb display with openbox types into the test client's window, and
// SIGTERM arrives during a delay of the key text. The close sequence must wait
// for the command to finish: the rest of the keys still arrive, and only then
// does the server thread stop and the program end.
#include <signal.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/support/e2e_support.h"
// Xlib's macros (None, Bool, Status) after the test framework's headers.
#include "tests/e2e/x11/x11_session.h"

namespace {

constexpr int kStartMs = 20000;
constexpr int kLineMs = 10000;
constexpr auto kEventWait = std::chrono::seconds(30);

X11Session session;

class CloseDuringSend : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(StartX11Session(&session, true)); }
  static void TearDownTestSuite() { StopX11Session(&session); }

  void SetUp() override {
    directory = e2e::MakeTemporaryDirectory();
    port = e2e::FreeUdpPort();
  }
  void TearDown() override {
    e2e::StopProcess(server);
    StopChild(&client.process);
    e2e::RemoveTree(directory);
  }

  std::string directory;
  int port = 0;
  e2e::Process server;
  TestClient client;
};

// The round of polling in which the test first saw each event. A round reads
// the server's output, then the client's text, then the output again, so a
// smaller round number proves the earlier event: the later one had not
// happened yet when the earlier one was seen.
struct Events {
  int waiting = -1;  // "WAITING FOR THREAD TO STOP!" in the output (first read)
  int keyB = -1;     // the client has received "ab"
  int stopped = -1;  // "THREAD STOPPED!" in the output (second read)
  int exited = -1;   // the process has ended
};

TEST_F(CloseDuringSend, TheCloseWaitsForTheKeysAndThenStops) {
  ASSERT_TRUE(StartTestClient(&session, {"Hardening target"}, &client));
  e2e::WriteTextFile(directory + "/podiant.ini", "[settings]\nport=" + std::to_string(port) + "\n");
  server = e2e::StartProcess({e2e::BinaryDir() + "/shell/podiant-server"}, directory,
                             {"DISPLAY=" + session.display});
  ASSERT_TRUE(e2e::WaitForOutput(server, "...\n", kStartMs)) << server.output;

  e2e::SendDatagram("SEND |Hardening target|a{DELAY2000}b", port);
  ASSERT_TRUE(e2e::WaitForOutput(server, "-> \"SEND |Hardening target|a{DELAY2000}b\"\n", kLineMs))
      << server.output;
  ASSERT_TRUE(WaitUntil([&] { return ReceivedText(client, 0) == "a"; }, kEventWait))
      << ReceivedText(client, 0) << "\n"
      << server.output;
  size_t mark = server.output.size();
  e2e::SendSignal(server, SIGTERM);

  Events events;
  const std::string waitingLine = "WAITING FOR THREAD TO STOP!\n";
  const std::string stoppedLine = "THREAD STOPPED!\n";
  int round = 0;
  bool ended = WaitUntil(
      [&] {
        ++round;
        e2e::WaitForOutput(server, waitingLine, 5, mark);
        if (events.waiting < 0 && server.output.find(waitingLine, mark) != std::string::npos) {
          events.waiting = round;
        }
        if (events.keyB < 0 && ReceivedText(client, 0) == "ab") events.keyB = round;
        e2e::WaitForOutput(server, stoppedLine, 5, mark);
        if (events.stopped < 0 && server.output.find(stoppedLine, mark) != std::string::npos) {
          events.stopped = round;
        }
        if (events.stopped >= 0 && e2e::WaitForExit(server, 0)) events.exited = round;
        return events.exited >= 0;
      },
      kEventWait);
  ASSERT_TRUE(ended) << server.output.substr(mark) << "\nreceived: " << ReceivedText(client, 0);

  std::printf("seen in polling rounds: waiting %d, b %d, stopped %d, exited %d\n", events.waiting,
              events.keyB, events.stopped, events.exited);
  EXPECT_EQ(ReceivedText(client, 0), "ab");
  ASSERT_GE(events.waiting, 0);
  ASSERT_GE(events.keyB, 0);
  ASSERT_GE(events.stopped, 0);
  // The close begins at once, the key text goes on to its end, and the thread
  // stops only after it.
  EXPECT_LT(events.waiting, events.keyB);
  EXPECT_LT(events.keyB, events.stopped);
  EXPECT_LE(events.stopped, events.exited);
  EXPECT_EQ(server.output.substr(mark), waitingLine + stoppedLine);
  EXPECT_EQ(e2e::ExitCode(server), 0) << server.output;
  EXPECT_EQ(server.output.find("ERR"), std::string::npos) << server.output;
}

}  // namespace
