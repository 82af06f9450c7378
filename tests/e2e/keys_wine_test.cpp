// The keystroke commands of podiant-server.exe under Wine, over real UDP, with
// Wine's notepad as the target window.
#include <gtest/gtest.h>
#include <time.h>

#include <cstdio>
#include <string>

#include "tests/support/e2e_support.h"

namespace {

constexpr const char* kServerTitle = "Podiant Server";
constexpr const char* kNotepadTitle = "Untitled - Notepad";
constexpr int kStatusLabelId = 101;

long long NowMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

std::string StatusLabelText() {
  std::string text;
  if (!e2e::ReadWindowControlText(kServerTitle, kStatusLabelId, &text)) return std::string();
  return text;
}

// Polls the status label until it contains `text`.
bool WaitForStatusLine(const std::string& text, int timeoutMs, std::string* label = nullptr) {
  long long deadline = NowMilliseconds() + timeoutMs;
  for (;;) {
    std::string shown = StatusLabelText();
    if (label != nullptr) *label = shown;
    if (shown.find(text) != std::string::npos) return true;
    if (NowMilliseconds() >= deadline) return false;
  }
}

// The text of notepad's edit control; false when the window is not there.
bool NotepadText(std::string* text) {
  int exitCode = -1;
  std::string output = e2e::RunProbe({"edit-text", kNotepadTitle}, &exitCode);
  if (exitCode != 0) return false;
  *text = e2e::FromHex(output);
  return true;
}

// Polls notepad's text until it is `expected`; the last text seen in `seen`.
bool WaitForNotepadText(const std::string& expected, int timeoutMs, std::string* seen) {
  long long deadline = NowMilliseconds() + timeoutMs;
  for (;;) {
    if (NotepadText(seen) && *seen == expected) return true;
    if (NowMilliseconds() >= deadline) return false;
  }
}

std::string ForegroundTitle() {
  int exitCode = -1;
  std::string output = e2e::RunProbe({"foreground"}, &exitCode);
  return exitCode == 0 ? e2e::FromHex(output) : std::string();
}

bool WaitForForeground(const std::string& title, int timeoutMs) {
  long long deadline = NowMilliseconds() + timeoutMs;
  for (;;) {
    if (ForegroundTitle() == title) return true;
    if (NowMilliseconds() >= deadline) return false;
  }
}

// Stops a helper process however the test ends.
struct StopAtEnd {
  e2e::Process& process;
  ~StopAtEnd() { e2e::StopProcess(process); }
};

bool ProbeSucceeds(const std::vector<std::string>& arguments) {
  int exitCode = -1;
  e2e::RunProbe(arguments, &exitCode);
  return exitCode == 0;
}

// A helper window of the probe (show-window and its kin), which prints
// "typed XX" for each character it receives.
e2e::Process StartHelperWindow(const std::vector<std::string>& arguments,
                               const std::string& workDir) {
  std::vector<std::string> command = {
      e2e::WineLoader(), e2e::WindowsBinaryDir() + "/tests/wine_probe/podiant-probe.exe"};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return e2e::StartProcess(command, workDir);
}

class KeysWineTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    workDir = new std::string(e2e::MakeTemporaryDirectory());
    e2e::WriteTextFile(*workDir + "/podiant.ini",
                       "[settings]\r\nport=" + std::to_string(e2e::FreeUdpPort()) + "\r\n");
    server = new e2e::Process(e2e::StartProcess(
        {e2e::WineLoader(), e2e::WindowsBinaryDir() + "/shell/podiant-server.exe"}, *workDir));
    std::string label;
    if (WaitForStatusLine("Listening at ", 60000, &label)) {
      // The port the server took, from "Listening at a.b.c.d:port...".
      size_t listening = label.find("Listening at ");
      size_t colon = label.find(':', listening);
      serverPort = std::atoi(label.c_str() + colon + 1);
    }
  }

  static void TearDownTestSuite() {
    if (server != nullptr) {
      ProbeSucceeds({"post-close", kServerTitle});
      if (!e2e::WaitForExit(*server, 20000)) e2e::StopProcess(*server);
      e2e::StopProcess(*server);
      delete server;
      server = nullptr;
    }
    if (workDir != nullptr) {
      e2e::RemoveTree(*workDir);
      delete workDir;
      workDir = nullptr;
    }
  }

  void SetUp() override {
    ASSERT_GT(serverPort, 0) << "the server did not start listening";
    ASSERT_TRUE(ProbeSucceeds({"wait-gone", kNotepadTitle, "10000"}))
        << "a notepad of an earlier test is still there";
    notepad = e2e::StartProcess({e2e::WineLoader(), "notepad.exe"}, *workDir);
    ASSERT_TRUE(ProbeSucceeds({"wait-window", kNotepadTitle, "30000"}));
    // The window exists before notepad shows it; a shown notepad is in front.
    ASSERT_TRUE(WaitForForeground(kNotepadTitle, 30000)) << "in front: " << ForegroundTitle();
  }

  void TearDown() override {
    e2e::StopProcess(notepad);
    ProbeSucceeds({"wait-gone", kNotepadTitle, "10000"});
  }

  static void Send(const std::string& command) { e2e::SendDatagram(command, serverPort); }

  static std::string* workDir;
  static e2e::Process* server;
  static int serverPort;
  e2e::Process notepad;
};

std::string* KeysWineTest::workDir = nullptr;
e2e::Process* KeysWineTest::server = nullptr;
int KeysWineTest::serverPort = 0;

TEST_F(KeysWineTest, SendTypesCapitalsPunctuationAndNamedKeysIntoNotepad) {
  Send("SEND |Untitled|Hello, World!{ENTER}{SHIFT_D}abc{SHIFT_U}{LEFT}{BACKSPACE}");
  std::string seen;
  EXPECT_TRUE(WaitForNotepadText("Hello, World!\r\nAC", 20000, &seen))
      << "notepad shows \"" << seen << "\"";
}

TEST_F(KeysWineTest, ADelayGroupHoldsTheNextKeyBack) {
  long long sent = NowMilliseconds();
  Send("SEND |Untitled|{DELAY300}x");
  std::string seen;
  ASSERT_TRUE(WaitForNotepadText("x", 20000, &seen))
      << "notepad shows \"" << seen << "\"; in front: " << ForegroundTitle() << "; label "
      << StatusLabelText();
  EXPECT_GE(NowMilliseconds() - sent, 300);
}

TEST_F(KeysWineTest, HundredCharacterSendTakesAboutAHundredGaps) {
  std::string keyText;
  for (int i = 0; i < 100; ++i) keyText += static_cast<char>('a' + i % 26);
  long long sent = NowMilliseconds();
  Send("SEND |Untitled|" + keyText);
  std::string seen;
  ASSERT_TRUE(WaitForNotepadText(keyText, 60000, &seen)) << "notepad shows \"" << seen << "\"";
  long long elapsed = NowMilliseconds() - sent;
  std::printf(
      "100-character SEND: %lld ms until the last character was seen (100 x 20 ms = 2000)\n",
      elapsed);
  RecordProperty("hundred_character_send_ms", std::to_string(elapsed));
  EXPECT_GE(elapsed, 2000);
}

TEST_F(KeysWineTest, ActivateBringsNotepadInFrontOfAnotherWindow) {
  e2e::Process front = StartHelperWindow({"show-window", "Window in front", "60000"}, *workDir);
  StopAtEnd stopFront{front};
  ASSERT_TRUE(e2e::WaitForOutput(front, "shown", 30000));
  ASSERT_TRUE(WaitForForeground("Window in front", 10000));
  Send("ACTIVATE untitled");
  EXPECT_TRUE(WaitForForeground(kNotepadTitle, 10000)) << "in front: " << ForegroundTitle();
}

TEST_F(KeysWineTest, StopClosesAnUnchangedNotepad) {
  Send("STOP Untitled");
  EXPECT_TRUE(e2e::WaitForExit(notepad, 20000));
  EXPECT_TRUE(ProbeSucceeds({"wait-gone", kNotepadTitle, "5000"}));
}

TEST_F(KeysWineTest, FailuresAreReportedInTheStatusLabel) {
  Send("SEND |No such window here|abc");
  std::string label;
  EXPECT_TRUE(WaitForStatusLine("ERR No Window\"No such window here\"", 20000, &label)) << label;
  Send("SEND |Un|abc");
  EXPECT_TRUE(WaitForStatusLine("ERR: Windowname\"Un\" too short", 20000, &label)) << label;
  std::string text;
  ASSERT_TRUE(NotepadText(&text));
  EXPECT_EQ(text, "");
}

// Wine never refuses SetForegroundWindow itself: this target refuses its own
// activation, and notepad keeps the foreground.
TEST_F(KeysWineTest, AWindowThatStaysBehindGetsNoKeysAndIsReported) {
  e2e::Process refusing =
      StartHelperWindow({"refuse-window", "Refusing window", "60000"}, *workDir);
  StopAtEnd stopRefusing{refusing};
  ASSERT_TRUE(e2e::WaitForOutput(refusing, "shown", 30000));
  ASSERT_TRUE(WaitForForeground(kNotepadTitle, 10000)) << "in front: " << ForegroundTitle();
  Send("SEND |Refusing|abc");
  std::string label;
  EXPECT_TRUE(WaitForStatusLine("ERR: Window not activated\"Refusing\"", 20000, &label)) << label;
  std::string text;
  ASSERT_TRUE(NotepadText(&text));
  EXPECT_EQ(text, "");
  EXPECT_FALSE(e2e::WaitForOutput(refusing, "typed", 0)) << refusing.output;
}

// A window takes the foreground during the delay (once notepad shows the
// keys before it): nothing after the delay is typed anywhere, and the held
// Shift is released, into that window. (Wine itself may also let Shift go in
// its key state when an X focus change shows the X keyboard without it, so
// the release that proves the program's is the one the window receives.)
TEST_F(KeysWineTest, AWindowThatTakesTheForegroundMidwayEndsTheSend) {
  e2e::Process thief = StartHelperWindow(
      {"show-window-when", "Window taking over", kNotepadTitle, "AB", "60000"}, *workDir);
  StopAtEnd stopThief{thief};
  Send("SEND |Untitled|{SHIFT_D}ab{DELAY2000}cd");
  ASSERT_TRUE(e2e::WaitForOutput(thief, "shown", 30000)) << thief.output;
  std::string label;
  EXPECT_TRUE(WaitForStatusLine("ERR: Window lost focus\"Untitled\"", 20000, &label)) << label;
  EXPECT_TRUE(e2e::WaitForOutput(thief, "released 10", 10000)) << thief.output;
  std::string text;
  ASSERT_TRUE(NotepadText(&text));
  EXPECT_EQ(text, "AB");
  EXPECT_FALSE(e2e::WaitForOutput(thief, "typed", 0)) << thief.output;
  EXPECT_FALSE(ProbeSucceeds({"key-down", "10"})) << "Shift is still down";
}

TEST_F(KeysWineTest, AMinimisedNotepadIsRestoredAndTypedInto) {
  ASSERT_TRUE(ProbeSucceeds({"minimise", kNotepadTitle}));
  Send("SEND |Untitled|back");
  std::string seen;
  EXPECT_TRUE(WaitForNotepadText("back", 20000, &seen)) << "notepad shows \"" << seen << "\"";
  EXPECT_FALSE(ProbeSucceeds({"iconic", kNotepadTitle}));
  EXPECT_EQ(ForegroundTitle(), kNotepadTitle);
}

}  // namespace
