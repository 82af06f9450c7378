// The real podiant-server on Linux, over real UDP on loopback.
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/e2e_support.h"

namespace {

constexpr int kStartMs = 20000;
constexpr int kLineMs = 10000;

std::vector<std::string> SplitLines(const std::string& output) {
  std::vector<std::string> lines;
  std::stringstream in(output);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class NativeServer : public ::testing::Test {
 protected:
  void SetUp() override {
    directory = e2e::MakeTemporaryDirectory();
    port = e2e::FreeUdpPort();
  }
  void TearDown() override {
    e2e::StopProcess(server);
    e2e::StopProcess(peer);
    e2e::StopProcess(listening);
    e2e::RemoveTree(directory);
    if (!peerDirectory.empty()) e2e::RemoveTree(peerDirectory);
  }

  void Start(const std::string& ini) {
    e2e::WriteTextFile(directory + "/podiant.ini", ini);
    // No X display: the desktop commands must not reach the test machine's windows.
    server =
        e2e::StartProcess({e2e::BinaryDir() + "/shell/podiant-server"}, directory, {"DISPLAY"});
  }

  void StartListening() {
    Start("[settings]\nport=" + std::to_string(port) + "\n");
    ASSERT_TRUE(e2e::WaitForOutput(server, "...\n", kStartMs)) << server.output;
    ASSERT_NE(server.output.find("Listening at "), std::string::npos) << server.output;
  }

  // Starts with `settingsLines` in [settings] after the port, and waits until
  // `line` is shown.
  void StartWith(const std::string& settingsLines, const std::string& line) {
    Start("[settings]\nport=" + std::to_string(port) + "\n" + settingsLines);
    ASSERT_TRUE(e2e::WaitForOutput(server, line + "\n", kStartMs)) << server.output;
  }

  // The line after the one that starts with `start`.
  std::string LineAfter(const std::string& start) {
    std::vector<std::string> lines = SplitLines(server.output);
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
      if (lines[i].rfind(start, 0) == 0) return lines[i + 1];
    }
    return "(none)";
  }

  // Sends a command and waits for the line that follows its "R" line.
  void Send(const std::string& payload) { e2e::SendDatagram(payload, port); }

  std::string directory;
  int port = 0;
  e2e::Process server;
  e2e::Process peer;       // a second server, where a test needs one
  e2e::Process listening;  // podiant-send --listen, where a test needs one
  std::string peerDirectory;
};

TEST_F(NativeServer, StartsWithItsLinesInOrderAndLogsEveryDatagram) {
  StartListening();
  std::vector<std::string> lines = SplitLines(server.output);
  ASSERT_GE(lines.size(), 4u) << server.output;
  EXPECT_EQ(lines[0], "Starting Podiant Server.");
  EXPECT_EQ(lines[1].rfind("Podiant", 0), 0u);
  EXPECT_TRUE(lines[1].ends_with("Version 1.2")) << lines[1];
  EXPECT_FALSE(lines[2].empty());
  EXPECT_TRUE(std::regex_match(lines[3], std::regex(R"(Listening at \d+\.\d+\.\d+\.\d+:)" +
                                                    std::to_string(port) + R"(\.\.\.)")))
      << lines[3];

  size_t mark = server.output.size();
  Send("NEXT");
  ASSERT_TRUE(e2e::WaitForOutput(server, "\"NEXT\"\n", kLineMs, mark));
  std::string rLine = server.output.substr(mark);
  EXPECT_TRUE(
      std::regex_match(rLine, std::regex(R"(R 127\.0\.0\.1:\d+ \d\d:\d\d:\d\d -> "NEXT"\n)")))
      << rLine;
}

TEST_F(NativeServer, ReceivedBytesAreLoggedAsTheyCameAndShownSafely) {
  StartListening();
  size_t mark = server.output.size();
  Send("NEXT\r\n");
  ASSERT_TRUE(
      e2e::WaitForOutput(server, "ERR: Unknown command received \"NEXT^M^J\"\n", kLineMs, mark))
      << server.output.substr(mark);
  EXPECT_TRUE(server.output.find(" -> \"NEXT^M^J\"\n", mark) != std::string::npos);

  mark = server.output.size();
  Send("");
  ASSERT_TRUE(e2e::WaitForOutput(server, "ERR: Unknown command received \"\"\n", kLineMs, mark));
  EXPECT_NE(server.output.find(" -> \"\"\n", mark), std::string::npos);

  // Terminal control sequences and 8-bit text cannot reach the terminal raw.
  mark = server.output.size();
  Send("\x1b[2J\x80\xe9\x81");
  ASSERT_TRUE(e2e::WaitForOutput(server, "ERR: Unknown command received", kLineMs, mark));
  ASSERT_TRUE(e2e::WaitForOutput(server, "\"\n", kLineMs, server.output.rfind("ERR:")));
  EXPECT_NE(server.output.find(" -> \"^[[2J\xe2\x82\xac\xc3\xa9\xef\xbf\xbd\"\n", mark),
            std::string::npos)
      << server.output.substr(mark);
}

TEST_F(NativeServer, ALargeDatagramAndTwoCommandsInOneAreEachOneCommandText) {
  StartListening();
  size_t mark = server.output.size();
  std::string big(65000, 'A');
  Send(big);
  ASSERT_TRUE(
      e2e::WaitForOutput(server, "ERR: Unknown command received \"" + big + "\"\n", kLineMs, mark));
  EXPECT_NE(server.output.find(" -> \"" + big + "\"\n", mark), std::string::npos);

  mark = server.output.size();
  Send("hello NEXT");
  ASSERT_TRUE(
      e2e::WaitForOutput(server, "ERR: Unknown command received \"hello\"\n", kLineMs, mark));
  mark = server.output.size();
  Send("RUN true NEXT");
  ASSERT_TRUE(e2e::WaitForOutput(server, "Run \"true NEXT\" Started\n", kLineMs, mark));
}

// The children of `pid` that have ended but were not reaped.
int ZombieChildren(pid_t pid) {
  int zombies = 0;
  std::string children = e2e::ReadTextFile("/proc/" + std::to_string(pid) + "/task/" +
                                           std::to_string(pid) + "/children");
  std::stringstream in(children);
  for (std::string child; in >> child;) {
    std::string stat = e2e::ReadTextFile("/proc/" + child + "/stat");
    size_t end = stat.rfind(')');
    if (end != std::string::npos && end + 2 < stat.size() && stat[end + 2] == 'Z') ++zombies;
  }
  return zombies;
}

// A started program holds none of the server's own descriptors (its command
// socket, the projector's serial line), and ended programs are reaped.
TEST_F(NativeServer, StartedProgramsInheritNoDescriptorAndLeaveNoZombie) {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  std::string line = ptsname(master);
  Start("[settings]\nport=" + std::to_string(port) + "\n[projector]\nport=" + line + "\n");
  ASSERT_TRUE(
      e2e::WaitForOutput(server, "  Serial comms open on  port \"" + line + "\"\n", kStartMs))
      << server.output;
  size_t mark = server.output.size();
  Send("RUN sh -c \"ls -l /proc/$$/fd > descriptors.txt; echo done > finished.txt\"");
  ASSERT_TRUE(e2e::WaitForOutput(server, "\" Started\n", kLineMs, mark)) << server.output;
  ASSERT_TRUE(e2e::WaitUntil(
      kLineMs,
      [](void* context) {
        std::string finished =
            e2e::ReadTextFile(*static_cast<std::string*>(context) + "/finished.txt");
        return finished == "done\n";
      },
      &directory));
  std::string descriptors = e2e::ReadTextFile(directory + "/descriptors.txt");
  EXPECT_NE(descriptors.find(" 0 -> "), std::string::npos) << descriptors;
  EXPECT_EQ(descriptors.find("socket:"), std::string::npos) << descriptors;
  EXPECT_EQ(descriptors.find(line), std::string::npos) << descriptors;

  for (int i = 0; i < 20; ++i) {
    mark = server.output.size();
    Send("RUN true");
    ASSERT_TRUE(e2e::WaitForOutput(server, "Run \"true\" Started\n", kLineMs, mark));
  }
  // Once the last of them has ended, none of them is left as a zombie.
  ASSERT_TRUE(e2e::WaitUntil(
      kLineMs,
      [](void* context) {
        return ZombieChildren(static_cast<e2e::Process*>(context)->pid) == 0 &&
               e2e::ReadTextFile(
                   "/proc/" + std::to_string(static_cast<e2e::Process*>(context)->pid) + "/task/" +
                   std::to_string(static_cast<e2e::Process*>(context)->pid) + "/children")
                   .empty();
      },
      &server));
  close(master);
}

TEST_F(NativeServer, PodiantSendDeliversItsWordsAsOneDatagram) {
  StartListening();
  size_t mark = server.output.size();
  int exitCode = -1;
  e2e::RunProgram({e2e::BinaryDir() + "/server/podiant-send", "--port", std::to_string(port),
                   "127.0.0.1", "hello", "to", "you"},
                  directory, &exitCode);
  EXPECT_EQ(exitCode, 0);
  ASSERT_TRUE(e2e::WaitForOutput(server, "-> \"hello to you\"\n", kLineMs, mark));
  // A broadcast address reaches the server too.
  mark = server.output.size();
  e2e::RunProgram({e2e::BinaryDir() + "/server/podiant-send", "--port", std::to_string(port),
                   "127.255.255.255", "NEXT"},
                  directory, &exitCode);
  EXPECT_EQ(exitCode, 0);
  EXPECT_TRUE(e2e::WaitForOutput(server, "-> \"NEXT\"\n", kLineMs, mark));
  // Failing to send is said on standard error.
  std::string failure = e2e::RunProgram({e2e::BinaryDir() + "/server/podiant-send", "--port",
                                         std::to_string(port), "no-such-host.invalid", "NEXT"},
                                        directory, &exitCode);
  EXPECT_NE(exitCode, 0);
  EXPECT_NE(failure.find("podiant-send: "), std::string::npos) << failure;

  std::string usage =
      e2e::RunProgram({e2e::BinaryDir() + "/server/podiant-send", "--help"}, directory, &exitCode);
  EXPECT_EQ(exitCode, 0);
  EXPECT_NE(usage.find("podiant-send --listen PORT"), std::string::npos) << usage;
}

// Two servers whose feedback (log=on) goes to each other, to podiant-send
// --listen and to a port where nobody listens. STATE answers from the server
// port; one unknown datagram travels once as LOG and the traffic then stops;
// the refusing destination gets one line, and no command is lost.
TEST_F(NativeServer, FeedbackReachesEveryDestinationAndTwoServersDoNotKeepEachOtherBusy) {
  const int peerPort = e2e::FreeUdpPort(), refusing = e2e::FreeUdpPort(),
            listenPort = e2e::FreeUdpPort();
  const std::string destinations = "127.0.0.1:" + std::to_string(peerPort) +
                                   ", 127.0.0.1:" + std::to_string(listenPort) +
                                   ", 127.0.0.1:" + std::to_string(refusing);
  StartWith("commands=NEXT STATE\n[feedback]\nto=" + destinations + "\nlog=on\ninterval=0\n",
            "Sending feedback to " + destinations);
  EXPECT_EQ(LineAfter("Commands allowed: "), "Sending feedback to " + destinations);
  // STATE until podiant-send listens: its lines name the server's port.
  listening = e2e::StartProcess(
      {e2e::BinaryDir() + "/server/podiant-send", "--listen", std::to_string(listenPort)},
      directory);
  const std::string fromServer = "127.0.0.1:" + std::to_string(port) + " ";
  for (int i = 0; i < 100 && !e2e::WaitForOutput(listening, fromServer + "SHOW NONE\n", 100); ++i) {
    Send("state");
  }
  peerDirectory = e2e::MakeTemporaryDirectory();
  e2e::WriteTextFile(peerDirectory + "/podiant.ini",
                     "[settings]\nport=" + std::to_string(peerPort) +
                         "\n[feedback]\nto=127.0.0.1:" + std::to_string(port) + "\nlog=on\n");
  peer =
      e2e::StartProcess({e2e::BinaryDir() + "/shell/podiant-server"}, peerDirectory, {"DISPLAY"});
  ASSERT_TRUE(e2e::WaitForOutput(peer, "Sending feedback to", kStartMs)) << peer.output;
  size_t mark = server.output.size();
  Send("hello\r");
  ASSERT_TRUE(
      e2e::WaitForOutput(peer, "-> \"LOG ERR: Unknown command received \"hello^M\"\"\n", kLineMs))
      << peer.output;
  // The traffic stops: a second passes without a new R line on either side.
  auto lines = [&] {
    e2e::WaitForOutput(server, "\x01", 1000);
    e2e::WaitForOutput(peer, "\x01", 100);
    return e2e::CountOccurrences(server.output + peer.output, "\nR ");
  };
  int tries = 0;
  for (int before = lines(), after = lines(); after != before && tries < 20; ++tries) {
    before = std::exchange(after, lines());
  }
  EXPECT_LT(tries, 20) << server.output << peer.output;

  for (int i = 0; i < 20; ++i) Send("NEXT");
  Send("marker");
  ASSERT_TRUE(e2e::WaitForOutput(
      listening, fromServer + "LOG ERR: Unknown command received \"marker\"\n", kLineMs))
      << listening.output;
  ASSERT_TRUE(e2e::WaitForOutput(server, "received \"marker\"\n", kLineMs, mark));
  EXPECT_EQ(e2e::CountOccurrences(server.output.substr(mark), "-> \"NEXT\"\n"), 20);
  EXPECT_EQ(e2e::CountOccurrences(server.output, "\nFeedback to 127.0.0.1:" +
                                                     std::to_string(refusing) + " refused\n"),
            1);
  EXPECT_NE(listening.output.find(fromServer + "LOG ERR: Unknown command received \"hello^M\"\n"),
            std::string::npos);
  EXPECT_EQ(listening.output.find(" LOG R "), std::string::npos) << listening.output;
}

// OSC from liblo's oscsend, the state back to its oscdump: a GOTO under
// commands=, a button's press and release, a bundle of two words carried out
// in order, another server's feedback logged only, the error lines, and
// /podiant/log in UTF-8 without the O lines.
TEST_F(NativeServer, OscFromOscsendIsCarriedOutAndTheStateReachesOscdump) {
  const int oscPort = e2e::FreeUdpPort(), dumpPort = e2e::FreeUdpPort();
  const std::string osc = std::to_string(oscPort);
  listening = e2e::StartProcess({"oscdump", "-L", std::to_string(dumpPort)}, directory);
  StartWith("commands=NEXT RUN STATE\n[osc]\nport=" + osc +
                "\nto=127.0.0.1:" + std::to_string(dumpPort) + "\ninterval=0\nlog=on\n",
            "Sending OSC to 127.0.0.1:" + std::to_string(dumpPort));
  EXPECT_TRUE(std::regex_search(server.output, std::regex("\nCommands allowed: [^\n]*\nOSC at "
                                                          "\\d+\\.\\d+\\.\\d+\\.\\d+:" +
                                                          osc + "\n")))
      << server.output;
  auto oscsend = [&](std::vector<std::string> message) {
    message.insert(message.begin(), {"oscsend", "127.0.0.1", osc});
    int exitCode = -1;
    e2e::RunProgram(message, directory, &exitCode);
    EXPECT_EQ(exitCode, 0);
  };
  // STATE until oscdump listens.
  const std::string state = " /podiant/state s \"NONE\"\n";
  for (int i = 0; i < 100 && !e2e::WaitForOutput(listening, state, 100); ++i) {
    oscsend({"/podiant/state"});
  }
  oscsend({"/podiant/command", "s", "begin"});
  ASSERT_TRUE(e2e::WaitForOutput(server, "received \"begin\"\n", kLineMs));
  ASSERT_TRUE(e2e::WaitForOutput(listening, "received \"begin\"\"\n", kLineMs));
  size_t mark = server.output.size(), dumpMark = listening.output.size();
  oscsend({"/podiant/goto", "i", "5"});
  oscsend({"/podiant/state", "i", "1"});
  oscsend({"/podiant/state", "i", "0"});
  // Two words in one bundle, each message made by liblo.
  const std::string run =
      e2e::RunProgram({"oscsend", "-", "/podiant/run", "s", "true"}, "", nullptr);
  const std::string next = e2e::RunProgram({"oscsend", "-", "/podiant/NEXT"}, "", nullptr);
  auto size = [](const std::string& element) {
    return std::string{0, 0, 0, static_cast<char>(element.size())} + element;
  };
  e2e::SendDatagram(std::string("#bundle\0\0\0\0\0\0\0\0\1", 16) + size(run) + size(next), oscPort);
  oscsend({"/podiant/slide", "i", "3"});
  oscsend({"/podiant/goto", "T"});
  oscsend({"/podiant/nope"});
  e2e::SendDatagram("abcde", oscPort);
  e2e::SendDatagram("abcdefgh", oscPort);
  oscsend({"/podiant/command", "s", "caf\xC3\xA9"});
  ASSERT_TRUE(e2e::WaitForOutput(listening, "received \"caf\xC3\xA9\"\"\n", kLineMs, dumpMark))
      << listening.output;
  ASSERT_TRUE(e2e::WaitForOutput(server, "received \"caf\xC3\xA9\"\n", kLineMs, mark));
  const std::string o = "O 127\\.0\\.0\\.1:\\d+ \\d\\d:\\d\\d:\\d\\d -> ";
  EXPECT_TRUE(std::regex_match(
      server.output.substr(mark),
      std::regex(o + "/podiant/goto 5\nERR: Command not allowed \"goto\"\n" + o +
                 "/podiant/state 1\n" + o + "/podiant/state 0\n" + o +
                 "/podiant/run \"true\"\nRun \"true\" Started\n" + o + "/podiant/NEXT\n" + o +
                 "/podiant/slide 3\n" + o +
                 "/podiant/goto true\nERR: bad OSC arguments \"/podiant/goto\"\n" + o +
                 "/podiant/nope\nERR: unknown OSC address \"/podiant/nope\"\n" +
                 "ERR: bad OSC packet from 127\\.0\\.0\\.1:\\d+\n" + o +
                 "/podiant/command \"caf\xC3\xA9\"\n"
                 "ERR: Unknown command received \"caf\xC3\xA9\"\n")))
      << server.output.substr(mark);
  const std::string dump = listening.output.substr(dumpMark);
  EXPECT_EQ(e2e::CountOccurrences(dump, state), 1) << dump;  // pressed once, released once
  EXPECT_NE(dump.find(" /podiant/log s \"Run \"true\" Started\"\n"), std::string::npos) << dump;
  EXPECT_EQ(e2e::CountOccurrences(dump, " /podiant/log s \"ERR: "), 5) << dump;
  EXPECT_EQ(dump.find(" /podiant/log s \"O "), std::string::npos) << dump;
}

// The feedback and OSC out each sent, with log=on, to the server's own other
// port: what arrives is recognised as its own feedback, and the traffic that
// one command causes ends.
TEST_F(NativeServer, FeedbackSentToItsOwnPortsMakesNoLoop) {
  const std::string osc = std::to_string(e2e::FreeUdpPort());
  StartWith("[feedback]\nto=127.0.0.1:" + osc + "\nlog=on\ninterval=0\n[osc]\nport=" + osc +
                "\nto=127.0.0.1:" + std::to_string(port) + "\nlog=on\ninterval=0\n",
            "Sending OSC to 127.0.0.1:" + std::to_string(port));
  Send("hello");
  ASSERT_TRUE(e2e::WaitForOutput(server, "ERR: Unknown command received \"hello\"\n", kLineMs));
  // A second passes without a new arrival line.
  auto arrivals = [&] {
    e2e::WaitForOutput(server, "\x01", 1000);
    return e2e::CountOccurrences(server.output, "\nR ") +
           e2e::CountOccurrences(server.output, "\nO ");
  };
  int tries = 0;
  for (int before = arrivals(), after = arrivals(); after != before && tries < 10; ++tries) {
    before = std::exchange(after, arrivals());
  }
  EXPECT_LT(tries, 10) << server.output;
  EXPECT_LT(e2e::CountOccurrences(server.output, "\nR "), 20) << server.output;
}

TEST_F(NativeServer, EachCloseSignalRunsTheCloseSequenceOnceAndExitsCleanly) {
  for (int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
    StartListening();
    e2e::SendSignal(server, signalNumber);
    e2e::SendSignal(server, SIGTERM);  // a second request during the close changes nothing
    ASSERT_TRUE(e2e::WaitForExit(server, 20000)) << server.output;
    EXPECT_EQ(e2e::ExitCode(server), 0) << signalNumber;
    EXPECT_EQ(e2e::CountOccurrences(server.output, "WAITING FOR THREAD TO STOP!\n"), 1)
        << server.output;
    EXPECT_EQ(e2e::CountOccurrences(server.output, "THREAD STOPPED!\n"), 1) << server.output;
    EXPECT_TRUE(server.output.ends_with("WAITING FOR THREAD TO STOP!\nTHREAD STOPPED!\n"))
        << server.output;
    e2e::StopProcess(server);
    server = e2e::Process();
  }
}

TEST_F(NativeServer, APortInUseRingsTheBellClosesAndFails) {
  int holder = e2e::HoldUdpPort(port);
  ASSERT_GE(holder, 0);
  Start("[settings]\nport=" + std::to_string(port) + "\n");
  ASSERT_TRUE(e2e::WaitForExit(server, 20000)) << server.output;
  close(holder);
  EXPECT_NE(e2e::ExitCode(server), 0);
  EXPECT_NE(server.output.find('\a'), std::string::npos);
  EXPECT_EQ(server.output.find("Listening at"), std::string::npos);
  EXPECT_EQ(server.output.rfind("Starting Podiant Server.\n", 0), 0u) << server.output;
  EXPECT_TRUE(server.output.ends_with("WAITING FOR THREAD TO STOP!\nTHREAD STOPPED!\n"))
      << server.output;
}

// With allow=, a datagram from anyone else is neither logged nor carried out;
// its address is shown once however many datagrams come from it.
TEST_F(NativeServer, OnlyTheAllowedSendersAreHeardAndARefusedAddressIsShownOnce) {
  StartWith("allow=127.0.0.2\n", "Accepting commands from 127.0.0.2");
  EXPECT_EQ(LineAfter("Listening at "), "Accepting commands from 127.0.0.2") << server.output;
  size_t mark = server.output.size();
  const std::string made = directory + "/made";
  for (int i = 0; i < 25; ++i)
    e2e::SendDatagram("RUN touch " + made, port, "127.0.0.1", "127.0.0.1");
  e2e::SendDatagram("NEXT", port, "127.0.0.1", "127.0.0.2");
  ASSERT_TRUE(e2e::WaitForOutput(server, "-> \"NEXT\"\n", kLineMs, mark)) << server.output;
  EXPECT_TRUE(std::regex_match(
      server.output.substr(mark),
      std::regex(R"(Refused datagram from 127\.0\.0\.1:\d+\nR 127\.0\.0\.2:\d+ \S+ -> "NEXT"\n)")))
      << server.output.substr(mark);
  EXPECT_FALSE(std::filesystem::exists(made));
}

TEST_F(NativeServer, AnAllowListTakesRangesReportsBadEntriesAndFailsClosedWhenEmpty) {
  StartWith("allow=127.0.0.0/8, bogus\n", "Accepting commands from 127.0.0.0/8");
  EXPECT_EQ(LineAfter("Help and updates"),
            "ERROR: allow entry \"bogus\" is neither an address nor a range")
      << server.output;
  size_t mark = server.output.size();
  e2e::SendDatagram("NEXT", port, "127.0.0.1", "127.0.0.3");
  EXPECT_TRUE(e2e::WaitForOutput(server, "R 127.0.0.3:", kLineMs, mark)) << server.output;
  e2e::StopProcess(server);

  StartWith("allow=\n", "Accepting commands from nobody");
  mark = server.output.size();
  Send("NEXT");
  EXPECT_TRUE(e2e::WaitForOutput(server, "Refused datagram from 127.0.0.1:", kLineMs, mark))
      << server.output;
  EXPECT_EQ(server.output.find("R 127.0.0.1:"), std::string::npos) << server.output;
}

TEST_F(NativeServer, ACommandOutsideTheCommandListIsLoggedAndRefused) {
  StartWith("commands=open next,goto  PROJECTOR bogus\n",
            "Commands allowed: OPEN NEXT GOTO PROJECTOR");
  EXPECT_EQ(LineAfter("Help and updates"), "ERROR: commands entry \"bogus\" is no command")
      << server.output;
  size_t mark = server.output.size();
  const std::string made = directory + "/made";
  Send("RUN touch " + made);
  Send("run touch " + made);
  Send("NEXT");
  Send("marker");
  ASSERT_TRUE(
      e2e::WaitForOutput(server, "ERR: Unknown command received \"marker\"\n", kLineMs, mark))
      << server.output;
  EXPECT_TRUE(std::regex_match(server.output.substr(mark),
                               std::regex("R [^\n]* -> \"RUN touch [^\n]*\"\n"
                                          "ERR: Command not allowed \"RUN\"\n"
                                          "R [^\n]* -> \"run touch [^\n]*\"\n"
                                          "ERR: Command not allowed \"run\"\n"
                                          "R [^\n]* -> \"NEXT\"\n"
                                          "R [^\n]* -> \"marker\"\n"
                                          "ERR: Unknown command received \"marker\"\n")))
      << server.output.substr(mark);
  EXPECT_FALSE(std::filesystem::exists(made));
}

TEST_F(NativeServer, AListenAddressIsShownAndNoOtherAddressIsHeard) {
  StartWith("address=127.0.0.1\n", "Listening at 127.0.0.1:" + std::to_string(port) + "...");
  size_t mark = server.output.size();
  e2e::SendDatagram("lost", port, "127.0.0.2");
  Send("marker");
  ASSERT_TRUE(e2e::WaitForOutput(server, "\"marker\"\n", kLineMs, mark)) << server.output;
  EXPECT_EQ(server.output.find("lost"), std::string::npos) << server.output;
}

TEST_F(NativeServer, AnAddressThatIsNotLocalOrNoAddressClosesLikeAPortInUse) {
  ASSERT_FALSE(e2e::IsLocalAddress("203.0.113.77"));
  for (std::string address : {"203.0.113.77", "127.0.0.300", ""}) {
    Start("[settings]\nport=" + std::to_string(port) + "\naddress=" + address + "\n");
    ASSERT_TRUE(e2e::WaitForExit(server, 20000)) << server.output;
    EXPECT_NE(e2e::ExitCode(server), 0);
    EXPECT_NE(server.output.find('\a'), std::string::npos);
    EXPECT_EQ(server.output.find("Listening at"), std::string::npos);
    EXPECT_EQ(LineAfter("Help and updates"),
              "ERROR: cannot listen at " + address + ":" + std::to_string(port))
        << server.output;
    EXPECT_TRUE(server.output.ends_with("WAITING FOR THREAD TO STOP!\nTHREAD STOPPED!\n"))
        << server.output;
    e2e::StopProcess(server);
    server = e2e::Process();
  }
}

// In a network namespace of its own, whose host name ("localhost") gives a
// loopback address: the address shown is the one a controller could use.
TEST_F(NativeServer, TheAddressShownIsOfTheDefaultRouteElseOfAnInterfaceThatIsUp) {
  int exitCode = -1;
  e2e::RunProgram({"unshare", "--net", "--uts", "true"}, "", &exitCode);
  if (exitCode != 0) GTEST_SKIP() << "no network namespace can be made here (needs root)";
  const std::string program = e2e::BinaryDir() + "/shell/podiant-server";
  const std::string setUp =
      "set -e; hostname localhost; ip link set lo up\n"
      "if [ \"$1\" != lo ]; then\n"
      "  ip link add pa type veth peer name pb\n"
      "  ip addr add 10.11.0.1/24 dev pa; ip addr add 10.22.0.1/24 dev pb; ip link set pa up\n"
      "fi\n"
      "if [ \"$1\" = route ]; then\n"
      // The route on the later interface, so that the first one up is not it.
      "  ip link set pb up\n"
      "  a=$(ip -o link show pa | cut -d: -f1); b=$(ip -o link show pb | cut -d: -f1)\n"
      "  if [ \"$a\" -gt \"$b\" ]; then ip route add default via 10.11.0.2 dev pa; echo route-pa;\n"
      "  else ip route add default via 10.22.0.2 dev pb; echo route-pb; fi\n"
      "fi\n"
      "exec \"$0\"\n";
  e2e::WriteTextFile(directory + "/podiant.ini", "[settings]\nport=" + std::to_string(port) + "\n");
  for (std::string scene : {"lo", "one", "route"}) {
    server = e2e::StartProcess({"unshare", "--net", "--uts", "sh", "-c", setUp, program, scene},
                               directory, {"DISPLAY"});
    ASSERT_TRUE(e2e::WaitForOutput(server, "...\n", kStartMs)) << scene << "\n" << server.output;
    std::string expected = scene == "lo"                                         ? "127.0.0.1"
                           : scene == "one"                                      ? "10.11.0.1"
                           : server.output.find("route-pa") != std::string::npos ? "10.11.0.1"
                                                                                 : "10.22.0.1";
    EXPECT_NE(server.output.find("Listening at " + expected + ":" + std::to_string(port) + "..."),
              std::string::npos)
        << scene << "\n"
        << server.output;
    e2e::StopProcess(server);
    server = e2e::Process();
  }
}

// Started in the background of a terminal (`podiant-server &`): a notice that
// looks for an answer must not stop the program, and the next command is handled.
TEST_F(NativeServer, ANoticeInTheBackgroundOfATerminalDoesNotStopTheProgram) {
  e2e::WriteTextFile(directory + "/podiant.ini", "[settings]\nport=" + std::to_string(port) + "\n");
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  std::string terminal = ptsname(master);
  int output[2];
  int pidPipe[2];
  ASSERT_EQ(pipe2(output, O_CLOEXEC), 0);
  ASSERT_EQ(pipe2(pidPipe, O_CLOEXEC), 0);
  // A copy of the program without the office module beside it: OPEN shows
  // its notice at once, as on a machine without LibreOffice.
  std::string program = directory + "/bin/podiant-server";
  int copied = -1;
  e2e::RunProgram({"install", "-D", e2e::BinaryDir() + "/shell/podiant-server", program}, directory,
                  &copied);
  ASSERT_EQ(copied, 0);

  // A session whose controlling terminal is the pseudo-terminal: its leader is
  // the foreground job, the program a background job of its own.
  pid_t leader = fork();
  ASSERT_GE(leader, 0);
  if (leader == 0) {
    setsid();
    int slave = open(terminal.c_str(), O_RDWR);
    if (slave < 0 || ioctl(slave, TIOCSCTTY, 0) != 0) _exit(120);
    pid_t child = fork();
    if (child == 0) {
      setpgid(0, 0);
      if (chdir(directory.c_str()) != 0) _exit(121);
      dup2(slave, STDIN_FILENO);
      dup2(output[1], STDOUT_FILENO);
      dup2(output[1], STDERR_FILENO);
      unsetenv("DISPLAY");
      sigset_t none;
      sigemptyset(&none);
      sigprocmask(SIG_SETMASK, &none, nullptr);
      execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    setpgid(child, child);
    ssize_t written = write(pidPipe[1], &child, sizeof child);
    (void)written;
    int status = 0;
    waitpid(child, &status, 0);
    _exit(0);
  }
  close(output[1]);
  close(pidPipe[1]);
  pid_t child = -1;
  ASSERT_EQ(read(pidPipe[0], &child, sizeof child), static_cast<ssize_t>(sizeof child));
  close(pidPipe[0]);
  server.pid = child;  // signalled and killed by the fixture; reaped by the leader
  server.outputFd = output[0];

  EXPECT_TRUE(e2e::WaitForOutput(server, "...\n", kStartMs)) << server.output;
  Send("OPEN C:\\talk.pptx");
  EXPECT_TRUE(e2e::WaitForOutput(server, "Couldn't open presentation\n", kLineMs)) << server.output;
  size_t mark = server.output.size();
  Send("NEXT");
  EXPECT_TRUE(e2e::WaitForOutput(server, "-> \"NEXT\"\n", kLineMs, mark)) << server.output;

  kill(child, SIGKILL);
  int status = 0;
  waitpid(leader, &status, 0);
  close(master);
  server = e2e::Process();
}

}  // namespace
