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

  // From the tenth line on the label holds the last ten, without a leading CR.
  for (int i = 0; i < 4; ++i) e2e::SendDatagram("hello" + std::to_string(i), port);
  ASSERT_TRUE(WaitForLabel("received \"hello3\"", 0)) << label;
  EXPECT_NE(label[0], '\r');
  EXPECT_TRUE(label.ends_with("\rERR: Unknown command received \"hello3\"")) << label;
  EXPECT_EQ(e2e::CountOccurrences(label, "\r"),
            9);  // the limit counts CRs, the datagrams' own included
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

}  // namespace
