// The real podiant-server.exe under Wine on the test run's X display: its
// window's status label is read back with the Windows probe after each step.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/e2e_support.h"

namespace {

constexpr const char* kTitle = "Podiant Server";
constexpr int kLabel = 101;
constexpr int kWaitMs = 30000;

class WineServer : public ::testing::Test {
 protected:
  void SetUp() override {
    directory = e2e::MakeTemporaryDirectory();
    port = e2e::FreeUdpPort();
  }
  void TearDown() override {
    e2e::StopProcess(watcher);
    e2e::StopProcess(server);
    int ignored = 0;
    e2e::RunProbe({"wait-gone", kTitle, "5000"}, &ignored);
    e2e::RemoveTree(directory);
  }

  void Start(const std::string& ini) {
    e2e::WriteTextFile(directory + "/podiant.ini", ini);
    server = e2e::StartProcess(
        {e2e::WineLoader(), e2e::WindowsBinaryDir() + "/shell/podiant-server.exe"}, directory);
  }

  void StartListening() {
    Start("[settings]\nport=" + std::to_string(port) + "\n");
    ASSERT_TRUE(WaitForLabel("...", 0)) << label;
  }

  // Starts with `settingsLines` in [settings] after the port, and waits until
  // the label shows `line`.
  void StartWith(const std::string& settingsLines, const std::string& line) {
    Start("[settings]\nport=" + std::to_string(port) + "\n" + settingsLines);
    ASSERT_TRUE(WaitForLabel(line, 0)) << label;
  }

  // Ends the program through its close box and waits for the window to go.
  void Close() {
    int exitCode = -1;
    e2e::RunProbe({"post-close", kTitle}, &exitCode);
    ASSERT_TRUE(e2e::WaitForExit(server, kWaitMs));
    e2e::RunProbe({"wait-gone", kTitle, "5000"}, &exitCode);
    server = e2e::Process();
  }

  // A directory made by a started program, named as Windows programs under
  // Wine see it (drive Z: is the root).
  std::string WindowsPath(const std::string& name) {
    std::string path = "Z:" + directory + "/" + name;
    for (char& c : path) c = c == '/' ? '\\' : c;
    return path;
  }

  // Polls the label until it contains `part` at least `times` times (0: once).
  bool WaitForLabel(const std::string& part, int times) {
    for (int waited = 0; waited < kWaitMs; waited += 50) {
      if (e2e::ReadWindowControlText(kTitle, kLabel, &label)) {
        int n = e2e::CountOccurrences(label, part);
        if (times == 0 ? n > 0 : n >= times) return true;
      }
      usleep(50000);
    }
    return false;
  }

  // Records every text the label shows until the window is gone.
  void StartWatching() {
    watcher = e2e::StartProcess(
        {e2e::WineLoader(), e2e::WindowsBinaryDir() + "/tests/wine_probe/podiant-probe.exe",
         "watch-control", kTitle, std::to_string(kLabel), "20000"},
        "");
    // The watcher prints the current text first: it is watching from then on.
    ASSERT_TRUE(e2e::WaitForOutput(watcher, "\n", kWaitMs));
  }

  // The last label text the watcher saw.
  std::string LastWatchedText() {
    std::vector<std::string> texts;
    std::stringstream in(watcher.output);
    for (std::string line; std::getline(in, line);) texts.push_back(e2e::FromHex(line));
    return texts.empty() ? std::string() : texts.back();
  }

  void ExpectClosedOnceWithExitCode(int expectedExitCode) {
    ASSERT_TRUE(e2e::WaitForExit(server, kWaitMs));
    ASSERT_TRUE(e2e::WaitForExit(watcher, kWaitMs));
    EXPECT_EQ(e2e::ExitCode(server), expectedExitCode);
    std::string last = LastWatchedText();
    EXPECT_TRUE(last.ends_with("\rWAITING FOR THREAD TO STOP!\rTHREAD STOPPED!")) << last;
    EXPECT_EQ(e2e::CountOccurrences(last, "WAITING FOR THREAD TO STOP!"), 1);
    EXPECT_EQ(e2e::CountOccurrences(last, "THREAD STOPPED!"), 1);
  }

  std::string directory;
  int port = 0;
  std::string label;
  e2e::Process server;
  e2e::Process watcher;
};

TEST_F(WineServer, TheLabelShowsTheStartUpLinesThenEveryDatagram) {
  StartListening();
  std::smatch match;
  ASSERT_TRUE(std::regex_match(
      label, match,
      std::regex("\rStarting Podiant Server\\.\r(Podiant[^\r]*Version 1\\.2)\r([^\r]+)\r"
                 "Listening at \\d+\\.\\d+\\.\\d+\\.\\d+:" +
                 std::to_string(port) + "\\.\\.\\.")))
      << label;

  // A picture of the window for the README and the test artefacts.
  std::filesystem::create_directories(e2e::BinaryDir() + "/e2e-artefacts");
  int exitCode = -1;
  std::string windowId =
      e2e::RunProgram({"xdotool", "search", "--name", "^Podiant Server$"}, "", &exitCode);
  windowId = windowId.substr(0, windowId.find('\n'));
  e2e::RunProgram({"import", "-window", windowId.empty() ? "root" : windowId,
                   e2e::BinaryDir() + "/e2e-artefacts/podiant-server-wine.png"},
                  "", &exitCode);

  std::string before = label;
  e2e::SendDatagram("NEXT", port);
  ASSERT_TRUE(WaitForLabel("\"NEXT\"", 0)) << label;
  EXPECT_TRUE(
      std::regex_match(label.substr(before.size()),
                       std::regex("\rR 127\\.0\\.0\\.1:\\d+ \\d\\d:\\d\\d:\\d\\d -> \"NEXT\"")))
      << label;
  EXPECT_EQ(label.substr(0, before.size()), before);

  // CR LF inside a datagram: logged inside the quotes, then the unknown word.
  e2e::SendDatagram("NEXT\r\n", port);
  ASSERT_TRUE(WaitForLabel("ERR: Unknown command received \"NEXT\r\n\"", 0)) << label;
  EXPECT_TRUE(label.ends_with(" -> \"NEXT\r\n\"\rERR: Unknown command received \"NEXT\r\n\""))
      << label;

  // A zero byte inside a datagram is shown as ^@, and the next line below it.
  e2e::SendDatagram(std::string("ab\0cd", 5), port);
  e2e::SendDatagram("NEXT", port);
  ASSERT_TRUE(WaitForLabel("\"ab^@cd\"\rERR: Unknown command received \"ab^@cd\"\rR ", 0)) << label;
  EXPECT_TRUE(label.ends_with(" -> \"NEXT\"")) << label;

  // From the tenth line on the label holds the last ten, without a leading CR.
  for (int i = 0; i < 4; ++i) e2e::SendDatagram("hello" + std::to_string(i), port);
  ASSERT_TRUE(WaitForLabel("received \"hello3\"", 0)) << label;
  EXPECT_NE(label[0], '\r');
  EXPECT_TRUE(label.ends_with("\rERR: Unknown command received \"hello3\"")) << label;
  EXPECT_EQ(e2e::CountOccurrences(label, "\r"),
            9);  // the limit counts CRs, the datagrams' own included
}

// Both programs' manifests as Windows reads them from the resources; version
// 6 of the common controls for the server's window alone.
TEST_F(WineServer, BothProgramsCarryTheirApplicationManifest) {
  for (std::string program : {"shell/podiant-server.exe", "server/podiant-send.exe"}) {
    int exitCode = -1;
    std::string manifest = e2e::FromHex(
        e2e::RunProbe({"manifest", e2e::WindowsBinaryDir() + "/" + program}, &exitCode));
    ASSERT_EQ(exitCode, 0) << program;
    for (const char* setting : {"<requestedExecutionLevel level=\"asInvoker\"",
                                "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>",
                                ">PerMonitorV2, System</dpiAwareness>", ">true</dpiAware>"}) {
      EXPECT_EQ(e2e::CountOccurrences(manifest, setting), 1) << program << ": " << setting;
    }
    EXPECT_EQ(e2e::CountOccurrences(manifest, "Common-Controls\" version=\"6.0.0.0\""),
              program.starts_with("shell/") ? 1 : 0)
        << manifest;
  }
}

TEST_F(WineServer, TheCloseButtonRunsTheCloseSequenceOnce) {
  StartListening();
  StartWatching();
  int exitCode = -1;
  e2e::RunProbe({"post-command", kTitle, "2"}, &exitCode);
  ASSERT_EQ(exitCode, 0);
  e2e::RunProbe({"post-command", kTitle, "2"}, &exitCode);  // a second click while closing
  ExpectClosedOnceWithExitCode(0);
}

TEST_F(WineServer, TheCloseBoxRunsTheCloseSequenceOnce) {
  StartListening();
  StartWatching();
  int exitCode = -1;
  e2e::RunProbe({"post-close", kTitle}, &exitCode);
  ASSERT_EQ(exitCode, 0);
  e2e::RunProbe({"post-close", kTitle}, &exitCode);
  ExpectClosedOnceWithExitCode(0);
}

TEST_F(WineServer, PodiantSendUnderWineReachesTheServer) {
  StartListening();
  int exitCode = -1;
  e2e::RunProgram({e2e::WineLoader(), e2e::WindowsBinaryDir() + "/server/podiant-send.exe",
                   "--port", std::to_string(port), "127.0.0.1", "hello", "from", "Windows"},
                  directory, &exitCode);
  EXPECT_EQ(exitCode, 0);
  EXPECT_TRUE(WaitForLabel("-> \"hello from Windows\"", 0)) << label;
  std::string usage = e2e::RunProgram(
      {e2e::WineLoader(), e2e::WindowsBinaryDir() + "/server/podiant-send.exe", "--help"},
      directory, &exitCode);
  EXPECT_EQ(exitCode, 0);
  EXPECT_NE(usage.find("podiant-send --listen PORT"), std::string::npos) << usage;
}

// The feedback of the Windows program: its start line, STATE answered from the
// server port, and no command lost to a destination that refuses (Wine 8 tells
// the program of no refusal, so there is no line to see).
TEST_F(WineServer, TheFeedbackAnswersStateFromTheServerPort) {
  const int listenPort = e2e::FreeUdpPort();
  int listener = e2e::HoldUdpPort(listenPort);
  const std::string destinations = "127.0.0.1:" + std::to_string(listenPort) +
                                   ", 127.0.0.1:" + std::to_string(e2e::FreeUdpPort());
  StartWith("[feedback]\nto=" + destinations + "\ninterval=0\n",
            "\rSending feedback to " + destinations);
  for (int i = 0; i < 5; ++i) e2e::SendDatagram("state", port);
  e2e::SendDatagram("marker", port);
  ASSERT_TRUE(WaitForLabel("received \"marker\"", 0)) << label;
  EXPECT_EQ(e2e::CountOccurrences(label, "-> \"state\"\r"), 5) << label;
  std::string payload;
  int from = 0;
  for (int i = 0; i < 5 && e2e::ReceiveDatagram(listener, kWaitMs, &payload, &from); ++i) {
    EXPECT_EQ(payload + " from " + std::to_string(from), "SHOW NONE from " + std::to_string(port));
  }
  close(listener);
}

// OSC of the Windows program: its start-up lines, a message of liblo's oscsend
// logged and carried out, a bad packet, and STATE answered as an OSC message
// from the OSC port.
TEST_F(WineServer, OscMessagesAreCarriedOutAndTheStateIsSentFromTheOscPort) {
  const int oscPort = e2e::FreeUdpPort(), listenPort = e2e::FreeUdpPort();
  int listener = e2e::HoldUdpPort(listenPort);
  const std::string osc = std::to_string(oscPort), to = "127.0.0.1:" + std::to_string(listenPort);
  StartWith("[osc]\nport=" + osc + "\nto=" + to + "\ninterval=0\n", "\rSending OSC to " + to);
  EXPECT_TRUE(std::regex_search(
      label, std::regex("\rListening at [^\r]*\rOSC at [^\r]*:" + osc + "\rSending OSC to ")))
      << label;
  int exitCode = -1;
  e2e::RunProgram({"oscsend", "127.0.0.1", osc, "/podiant/goto", "f", "2.5"}, "", &exitCode);
  e2e::SendDatagram("abcde", oscPort);
  e2e::RunProgram({"oscsend", "127.0.0.1", osc, "/podiant/State", "i", "1"}, "", &exitCode);
  ASSERT_TRUE(WaitForLabel("-> /podiant/State 1", 0)) << label;
  EXPECT_TRUE(
      std::regex_search(label, std::regex("\rO 127\\.0\\.0\\.1:\\d+ \\d\\d:\\d\\d:\\d\\d -> "
                                          "/podiant/goto 2\\.5\r"
                                          "ERR: bad OSC packet from 127\\.0\\.0\\.1:\\d+\r"
                                          "O [^\r]* -> /podiant/State 1$")))
      << label;
  std::string payload;
  int from = 0;
  ASSERT_TRUE(e2e::ReceiveDatagram(listener, kWaitMs, &payload, &from));
  EXPECT_EQ(payload, std::string("/podiant/state\0\0,s\0\0NONE\0\0\0\0", 28));
  EXPECT_EQ(from, oscPort);
  close(listener);
}

TEST_F(WineServer, OnlyTheAllowedSendersAreHeardAndARefusedAddressIsShownOnce) {
  StartWith("allow=127.0.0.2\n", "Accepting commands from 127.0.0.2");
  EXPECT_TRUE(std::regex_search(
      label,
      std::regex("\rListening at [^\r]*\\.\\.\\.\rAccepting commands from 127\\.0\\.0\\.2$")))
      << label;
  for (int i = 0; i < 25; ++i) {
    e2e::SendDatagram("RUN cmd /c mkdir " + WindowsPath("refused"), port, "127.0.0.1", "127.0.0.1");
  }
  e2e::SendDatagram("RUN cmd /c mkdir " + WindowsPath("allowed"), port, "127.0.0.1", "127.0.0.2");
  ASSERT_TRUE(WaitForLabel("\" Started", 0)) << label;
  EXPECT_TRUE(std::regex_search(
      label, std::regex("\rAccepting commands from 127\\.0\\.0\\.2\r"
                        "Refused datagram from 127\\.0\\.0\\.1:\\d+\r"
                        "R 127\\.0\\.0\\.2:\\d+ [^\r]* -> \"RUN cmd /c mkdir [^\r]*allowed\"\r"
                        "Run \"[^\r]*\" Started$")))
      << label;
  std::string allowed = directory + "/allowed";
  EXPECT_TRUE(e2e::WaitUntil(
      kWaitMs, [](void* path) { return std::filesystem::exists(*static_cast<std::string*>(path)); },
      &allowed));
  EXPECT_FALSE(std::filesystem::exists(directory + "/refused"));
}

TEST_F(WineServer, AnAllowListTakesRangesReportsBadEntriesAndFailsClosedWhenEmpty) {
  StartWith("allow=127.0.0.0/8, bogus\n", "Accepting commands from 127.0.0.0/8");
  EXPECT_NE(label.find("\rERROR: allow entry \"bogus\" is neither an address nor a range\r"),
            std::string::npos)
      << label;
  e2e::SendDatagram("NEXT", port, "127.0.0.1", "127.0.0.3");
  EXPECT_TRUE(WaitForLabel("\rR 127.0.0.3:", 0)) << label;
  Close();

  StartWith("allow=\n", "Accepting commands from nobody");
  e2e::SendDatagram("NEXT", port);
  EXPECT_TRUE(WaitForLabel("\rRefused datagram from 127.0.0.1:", 0)) << label;
  EXPECT_EQ(label.find("\rR 127.0.0.1:"), std::string::npos) << label;
}

TEST_F(WineServer, ACommandOutsideTheCommandListIsLoggedAndRefused) {
  StartWith("commands=OPEN NEXT GOTO PROJECTOR\n", "Commands allowed: OPEN NEXT GOTO PROJECTOR");
  e2e::SendDatagram("Run cmd /c mkdir " + WindowsPath("made"), port);
  e2e::SendDatagram("marker", port);
  ASSERT_TRUE(WaitForLabel("ERR: Unknown command received \"marker\"", 0)) << label;
  EXPECT_TRUE(std::regex_search(label, std::regex(" -> \"Run cmd /c mkdir [^\r]*made\"\r"
                                                  "ERR: Command not allowed \"Run\"\r"
                                                  "R [^\r]* -> \"marker\"\r")))
      << label;
  EXPECT_FALSE(std::filesystem::exists(directory + "/made"));
}

TEST_F(WineServer, AListenAddressIsShownAndNoOtherAddressIsHeard) {
  StartWith("address=127.0.0.1\n", "\rListening at 127.0.0.1:" + std::to_string(port) + "...");
  e2e::SendDatagram("lost", port, "127.0.0.2");
  e2e::SendDatagram("marker", port);
  ASSERT_TRUE(WaitForLabel("-> \"marker\"", 0)) << label;
  EXPECT_EQ(label.find("lost"), std::string::npos) << label;
}

TEST_F(WineServer, AnAddressThatIsNotLocalClosesTheWindowByItself) {
  ASSERT_FALSE(e2e::IsLocalAddress("203.0.113.77"));
  // Watching from before the start: the window is not there for long.
  watcher = e2e::StartProcess(
      {e2e::WineLoader(), e2e::WindowsBinaryDir() + "/tests/wine_probe/podiant-probe.exe",
       "watch-control", kTitle, std::to_string(kLabel), "30000"},
      "");
  Start("[settings]\nport=" + std::to_string(port) + "\naddress=203.0.113.77\n");
  ASSERT_TRUE(e2e::WaitForExit(server, kWaitMs));
  EXPECT_NE(e2e::ExitCode(server), 0);
  ASSERT_TRUE(e2e::WaitForExit(watcher, kWaitMs));
  std::string last = LastWatchedText();
  EXPECT_EQ(last.find("Listening at"), std::string::npos) << last;
  EXPECT_TRUE(last.ends_with("\rERROR: cannot listen at 203.0.113.77:" + std::to_string(port) +
                             "\rWAITING FOR THREAD TO STOP!\rTHREAD STOPPED!"))
      << last;
}

TEST_F(WineServer, APortInUseClosesTheWindowByItself) {
  int holder = e2e::HoldUdpPort(port);
  ASSERT_GE(holder, 0);
  Start("[settings]\nport=" + std::to_string(port) + "\n");
  // The watcher may start after the window is gone; then the exit alone tells.
  watcher = e2e::StartProcess(
      {e2e::WineLoader(), e2e::WindowsBinaryDir() + "/tests/wine_probe/podiant-probe.exe",
       "watch-control", kTitle, std::to_string(kLabel), "20000"},
      "");
  ASSERT_TRUE(e2e::WaitForExit(server, kWaitMs));
  close(holder);
  EXPECT_NE(e2e::ExitCode(server), 0);
  ASSERT_TRUE(e2e::WaitForExit(watcher, kWaitMs));
  std::string last = LastWatchedText();
  if (!last.empty()) {
    EXPECT_EQ(last.find("Listening at"), std::string::npos) << last;
    EXPECT_TRUE(last.ends_with("\rWAITING FOR THREAD TO STOP!\rTHREAD STOPPED!")) << last;
  }
}

// The Windows program has no TLS: with tls=on it makes no link, never one
// in clear, and says so.
TEST_F(WineServer, TheVenueLinkWithTlsOnMakesNoLink) {
  StartWith("[mqtt]\nbroker=127.0.0.1:1\nroom=hall\ntls=on\n",
            "ERROR: mqtt tls=on: this program has no TLS, so no link");
  EXPECT_EQ(label.find("MQTT lost"), std::string::npos) << label;
  Close();
}

}  // namespace
