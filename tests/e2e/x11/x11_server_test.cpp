// The real podiant-server on a Linux X11 desktop (Xvfb with openbox), driven
// over real UDP on loopback: SEND, STOP and ACTIVATE reach real windows.
#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "tests/support/e2e_support.h"
#include "tests/support/web_client.h"
// Xlib's macros (None, Bool, Status) after the test framework's headers.
#include "tests/e2e/x11/x11_session.h"

namespace {

// Every wait ends with its outcome; the session's bound is for a fault only.
constexpr int kStartMs = static_cast<int>(kOutcomeBound.count());
constexpr int kLineMs = kStartMs;
constexpr auto kEventWait = kOutcomeBound;

X11Session session;

class X11Server : public ::testing::Test {
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

  // `display`: the environment entry for DISPLAY ("DISPLAY" alone removes it);
  // `sections`: further settings after [settings].
  void StartServer(const std::string& display, const std::string& sections = "") {
    e2e::WriteTextFile(directory + "/podiant.ini",
                       "[settings]\nport=" + std::to_string(port) + "\n" + sections);
    server = e2e::StartProcess({e2e::BinaryDir() + "/shell/podiant-server"}, directory, {display});
    ASSERT_TRUE(e2e::WaitForOutput(server, "...\n", kStartMs)) << server.output;
    size_t listening = server.output.find("Listening at ");
    ASSERT_NE(listening, std::string::npos) << server.output;
    // The port it took, from "Listening at address:port...".
    size_t colon = server.output.find(':', listening);
    ASSERT_NE(colon, std::string::npos) << server.output;
    port = std::stoi(server.output.substr(colon + 1));
  }
  void StartServerOnTheDisplay() { StartServer("DISPLAY=" + session.display); }

  void StartClient(const std::vector<std::string>& arguments) {
    ASSERT_TRUE(StartTestClient(&session, arguments, &client));
  }

  // Sends a command and waits until the server has logged it.
  void Send(const std::string& command) {
    size_t mark = server.output.size();
    e2e::SendDatagram(command, port);
    // (The console shows the text in the terminal's encoding: only its start
    // is looked for.)
    ASSERT_TRUE(e2e::WaitForOutput(server, "-> \"" + command.substr(0, 4), kLineMs, mark))
        << server.output;
  }

  bool Receives(size_t window, const std::string& text) {
    return WaitUntil([&] { return ReceivedText(client, window) == text; });
  }

  std::string directory;
  int port = 0;
  e2e::Process server;
  TestClient client;
};

TEST_F(X11Server, SendTypesTheKeyTextIntoTheWindow) {
  StartClient({"Report - a.txt"});
  StartServerOnTheDisplay();
  Send("SEND |Report|Hello, World!{ENTER}");
  EXPECT_TRUE(Receives(0, "Hello, World!\r")) << ReceivedText(client, 0);
  Send("SEND |rep|{SHIFT_D}abc{SHIFT_U}");
  EXPECT_TRUE(Receives(0, "Hello, World!\rABC")) << ReceivedText(client, 0);
  Send("SEND /REPORT - a/\xE9\x80\xDF{TAB}x/");
  EXPECT_TRUE(Receives(0, "Hello, World!\rABC\xC3\xA9\xE2\x82\xAC\xC3\x9F\tx"))
      << ReceivedText(client, 0);
  EXPECT_EQ(server.output.find("ERR"), std::string::npos) << server.output;
}

// A character that no key of the layout types borrows a spare keycode; the
// program gives it back before it ends, so the desktop keeps its keyboard map.
TEST_F(X11Server, TheKeyboardMapIsLeftAsItWasFound) {
  ASSERT_FALSE(KeymapHasKeysym(session.connection, 0xFE));  // thorn: no key of the layout types it
  StartClient({"Report - a.txt"});
  StartServerOnTheDisplay();
  Send("SEND |Report|\xFE");
  EXPECT_TRUE(Receives(0, "\xC3\xBE")) << ReceivedText(client, 0);
  EXPECT_TRUE(KeymapHasKeysym(session.connection, 0xFE));
  e2e::SendSignal(server, SIGTERM);
  ASSERT_TRUE(e2e::WaitForExit(server, kLineMs)) << server.output;
  EXPECT_EQ(e2e::ExitCode(server), 0);
  EXPECT_FALSE(KeymapHasKeysym(session.connection, 0xFE));
}

TEST_F(X11Server, OfTwoWindowsWithTheSamePrefixTheUpperOneGetsTheKeys) {
  StartClient({"Report - lower", "Report - upper"});
  StartServerOnTheDisplay();
  Send("SEND |Report|up");
  EXPECT_TRUE(Receives(1, "up")) << ReceivedText(client, 1);
  // Activated by its longer name, the lower window comes to the top.
  Send("SEND |Report - lower|low");
  EXPECT_TRUE(Receives(0, "low")) << ReceivedText(client, 0);
  Send("SEND |Report|!");
  EXPECT_TRUE(Receives(0, "low!")) << ReceivedText(client, 0);
  EXPECT_EQ(ReceivedText(client, 1), "up");
}

TEST_F(X11Server, ActivateMakesTheWindowTheActiveOne) {
  StartClient({"Alpha window", "Beta window"});
  StartServerOnTheDisplay();
  Window alpha = client.windows[0];
  Window beta = client.windows[1];
  Send("ACTIVATE alpha");
  EXPECT_TRUE(WaitUntil([&] { return ActiveWindow(session.connection) == alpha; }));
  Send("ACTIVATE Beta");
  EXPECT_TRUE(WaitUntil([&] { return ActiveWindow(session.connection) == beta; }));
  Send("ACTIVATE Gamma");
  ASSERT_TRUE(e2e::WaitForOutput(server, "ERR No Window\"Gamma\"\n", kLineMs)) << server.output;
  EXPECT_EQ(ActiveWindow(session.connection), beta);
}

TEST_F(X11Server, StopClosesTheWindowWithAltF4) {
  StartClient({"Closing time", "Staying on"});
  StartServerOnTheDisplay();
  Window closing = client.windows[0];
  Send("STOP Closing");
  std::string line;
  ASSERT_TRUE(ReadChildLine(&client.process, &line));
  EXPECT_EQ(line, "closed 0");
  EXPECT_TRUE(WaitUntil([&] { return !WindowExists(session.connection, closing); }));
  EXPECT_TRUE(WindowExists(session.connection, client.windows[1]));
  // Alt is let go again: the next keys are plain.
  Send("SEND |Staying|ok");
  EXPECT_TRUE(Receives(1, "ok")) << ReceivedText(client, 1);
}

// Openbox focuses the modal dialog whenever its owner is activated: the
// owner never becomes the active window itself.
TEST_F(X11Server, AWindowThatDoesNotBecomeActiveGetsNoKeys) {
  StartClient({"Target window", "--modal", "Target dialog", "Other window"});
  StartServerOnTheDisplay();
  Send("ACTIVATE Other window");
  ASSERT_TRUE(WaitUntil([&] { return ActiveWindow(session.connection) == client.windows[2]; }));
  Send("SEND |Target|abc");
  ASSERT_TRUE(e2e::WaitForOutput(server, "ERR: Window not activated\"Target\"\n", kLineMs))
      << server.output;
  Send("ACTIVATE target w");
  ASSERT_TRUE(e2e::WaitForOutput(server, "ERR: Window not activated\"target w\"\n", kLineMs))
      << server.output;
  for (size_t window = 0; window < 3; ++window) EXPECT_EQ(ReceivedText(client, window), "");
}

// Another window becomes active during the delay (once the keys before it
// have arrived): nothing after it is typed anywhere, and Shift is let go.
TEST_F(X11Server, AnotherWindowTakingTheFocusMidwayEndsTheSend) {
  StartClient({"Typing target", "Taking over"});
  StartServerOnTheDisplay();
  Send("SEND |Typing target|{SHIFT_D}ab{DELAY2000}cd");
  ASSERT_TRUE(Receives(0, "AB")) << ReceivedText(client, 0);
  ChildProcess activation =
      StartChild({"xdotool", "windowactivate", std::to_string(client.windows[1])}, {}, false);
  ASSERT_TRUE(WaitUntil([&] { return ChildHasEnded(&activation); }));
  ASSERT_TRUE(e2e::WaitForOutput(server, "ERR: Window lost focus\"Typing target\"\n", kLineMs))
      << server.output;
  EXPECT_EQ(ReceivedText(client, 0), "AB");
  EXPECT_EQ(ReceivedText(client, 1), "");
  EXPECT_TRUE(NoKeyIsDown(session.connection));
}

TEST_F(X11Server, AnIconifiedWindowIsFoundRestoredAndTypedInto) {
  StartClient({"Iconified one"});
  StartServerOnTheDisplay();
  Window window = client.windows[0];
  auto mapped = [&] {
    XWindowAttributes attributes;
    return XGetWindowAttributes(session.connection, window, &attributes) != 0 &&
           attributes.map_state == IsViewable;
  };
  XIconifyWindow(session.connection, window, DefaultScreen(session.connection));
  XFlush(session.connection);
  ASSERT_TRUE(WaitUntil([&] { return !mapped(); }));
  Send("SEND |Iconified|xyz");
  EXPECT_TRUE(Receives(0, "xyz")) << server.output;
  EXPECT_TRUE(mapped());
  EXPECT_EQ(server.output.find("ERR"), std::string::npos) << server.output;
}

TEST_F(X11Server, WithoutADisplayTheCommandsFindNoWindowAndTheServerStaysUp) {
  StartClient({"Report - a.txt"});
  StartServer("DISPLAY");
  Send("SEND |Report|abc");
  ASSERT_TRUE(e2e::WaitForOutput(server, "ERR No Window\"Report\"\n", kLineMs)) << server.output;
  size_t mark = server.output.size();
  Send("STOP Report");
  ASSERT_TRUE(e2e::WaitForOutput(server, "ERR No Window\"Report\"\n", kLineMs, mark))
      << server.output;
  mark = server.output.size();
  Send("ACTIVATE Report");
  ASSERT_TRUE(e2e::WaitForOutput(server, "ERR No Window\"Report\"\n", kLineMs, mark))
      << server.output;
  Send("NEXT");
  EXPECT_FALSE(server.exited);
  EXPECT_EQ(ReceivedText(client, 0), "");
  EXPECT_TRUE(WindowExists(session.connection, client.windows[0]));
}

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

// A close request in the middle of a long SEND: SIGTERM arrives during a delay
// of the key text. The close sequence waits for the command to finish: the
// rest of the keys still arrive, and only then does the server thread stop
// and the program end.
TEST_F(X11Server, ACloseDuringALongSendWaitsForTheKeysAndThenStops) {
  StartClient({"Hardening target"});
  StartServerOnTheDisplay();

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

// Commands that arrive by every door while the server is busy with a long
// SEND wait; they are then carried out in the order in which they arrived,
// whichever door each came by. Each one's arrival line is written as it is
// carried out, so the lines' order is the order of carrying out.
TEST_F(X11Server, CommandsOfEveryDoorAreCarriedOutInTheOrderTheyArrived) {
  StartClient({"Busy target"});
  const int oscPort = e2e::FreeUdpPort(), webPort = e2e::FreeTcpPort();
  StartServer("DISPLAY=" + session.display, "[osc]\nport=" + std::to_string(oscPort) +
                                                "\n[web]\nport=" + std::to_string(webPort) +
                                                "\ncode=123456\n");
  ASSERT_TRUE(e2e::WaitForOutput(server, "Web remote at ", kLineMs)) << server.output;
  const e2e::HttpAnswer paired = e2e::HttpExchange(
      webPort,
      e2e::HttpRequest("POST", "/api/pair", webPort, R"({"code":"123456","name":"Phone"})"));
  ASSERT_EQ(paired.status, 200) << paired.body;
  const size_t tokenAt = paired.body.find("\"token\":\"") + 9;
  const std::string token = paired.body.substr(tokenAt, paired.body.find('"', tokenAt) - tokenAt);
  auto web = [&](const std::string& command) {
    const e2e::HttpAnswer answer =
        e2e::HttpExchange(webPort, e2e::HttpRequest("POST", "/api/command", webPort,
                                                    "{\"command\":\"" + command + "\"}",
                                                    {"Authorization: Bearer " + token}));
    EXPECT_EQ(answer.status, 202) << answer.body;
  };
  // /podiant/goto with an int32.
  auto osc = [&](char slide) {
    e2e::SendDatagram(std::string("/podiant/goto\0\0\0,i\0\0\0\0\0", 23) + slide, oscPort);
  };

  e2e::SendDatagram("SEND |Busy target|a{DELAY1500}b", port);
  ASSERT_TRUE(WaitUntil([&] { return ReceivedText(client, 0) == "a"; }, kEventWait))
      << server.output;
  const size_t mark = server.output.size();
  web("GOTO 1");
  e2e::SendDatagram("GOTO 2", port);
  osc(3);
  web("GOTO 4");
  osc(5);
  e2e::SendDatagram("GOTO 6", port);
  ASSERT_TRUE(e2e::WaitForOutput(server, "-> \"GOTO 6\"\n", kLineMs, mark)) << server.output;
  EXPECT_EQ(ReceivedText(client, 0), "ab");
  std::vector<size_t> at;
  for (const char* line : {"-> \"GOTO 1\"", "-> \"GOTO 2\"", "-> /podiant/goto 3", "-> \"GOTO 4\"",
                           "-> /podiant/goto 5", "-> \"GOTO 6\""}) {
    at.push_back(server.output.find(line, mark));
    EXPECT_NE(at.back(), std::string::npos) << line << "\n" << server.output.substr(mark);
  }
  EXPECT_TRUE(std::is_sorted(at.begin(), at.end())) << server.output.substr(mark);
}

}  // namespace
