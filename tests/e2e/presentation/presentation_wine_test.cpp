// OPEN, NEXT and GOTO of the real podiant-server.exe under Wine, through real
// COM, against the stand-in automation server registered in the test's Wine
// prefix as "Powerpoint.Application". The stand-in writes every call it
// receives to calls.log in the test's directory; the server's window label is
// read back with the Windows probe.
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/e2e_support.h"
#include "tests/support/mqtt_broker.h"

namespace {

constexpr const char* kTitle = "Podiant Server";
constexpr int kLabel = 101;
constexpr int kWaitMs = 30000;
// Long enough for a call that is given up after its 30 s bound, on a busy machine.
constexpr int kHungWaitMs = 90000;
constexpr const char* kNoticeText =
    "Powerpoint could not be opened.\rPlease check that Powerpoint and VBA are installed.";

// Polls `condition` every 50 ms until it holds or `waitMs` of real time
// have passed (each poll may itself take a while under Wine).
template <typename Condition>
bool PollUntil(Condition condition, int waitMs = kWaitMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    usleep(50000);
  }
}

int Count(const std::string& text, const std::string& part) {
  int count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// Milliseconds since `start`, for the times the tests report.
long long MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start)
      .count();
}

// The processes of the stand-ins started for `directory` (their Linux pids).
std::vector<pid_t> StandInProcesses(const std::string& directory) {
  return e2e::LiveProcessesWith({"powerpoint-standin.exe", e2e::WindowsPath(directory)});
}

// Kills them; true once none is left.
bool KillStandIns(const std::string& directory) {
  for (pid_t pid : StandInProcesses(directory)) kill(pid, SIGKILL);
  return PollUntil([&] { return StandInProcesses(directory).empty(); });
}

class WineSlideShow : public ::testing::Test {
 protected:
  void SetUp() override {
    directory = e2e::MakeTemporaryDirectory();
    port = e2e::FreeUdpPort();
  }

  void TearDown() override {
    if (registered) Register(false);
    // Without its directory a stand-in left over from a failed step ends by
    // itself (and a running one revokes its registration); one that hangs in
    // a call is killed.
    e2e::RemoveTree(directory);
    if (standIn.pid > 0) {
      e2e::WaitForExit(standIn, 10000);
      e2e::StopProcess(standIn);
    }
    if (!PollUntil([&] { return StandInProcesses(directory).empty(); }, 2000)) {
      KillStandIns(directory);
    }
    e2e::StopProcess(watcher);
    e2e::StopProcess(server);
    int ignored = 0;
    e2e::RunProbe({"wait-gone", kTitle, "5000"}, &ignored);
  }

  // Registers the stand-in as PowerPoint (HKCR\Powerpoint.Application, the
  // versioned ProgID its class names, the class with its LocalServer32), or
  // with `registering` false only removes every trace of it.
  void Register(bool registering) {
    registered = registering;
    std::string output;
    ASSERT_EQ(e2e::RegisterStandIn(directory, registering, &output), 0) << output;
  }

  // Starts the stand-in as a running application, registered as the active
  // object of its class, the way a PowerPoint that the user started is found.
  void StartRunningStandIn() {
    standIn = e2e::StartProcess(
        {e2e::WineLoader(), e2e::StandInPath(), "--running", "--dir", e2e::WindowsPath(directory)},
        directory);
    ASSERT_TRUE(WaitForCall("ready")) << e2e::ReadTextFile(directory + "/calls.log");
  }

  void FailMembers(const std::string& lines) {
    e2e::WriteTextFile(directory + "/failures.txt", lines);
  }

  // The stand-in's next call begins a busy spell of 2 s, refused with `code`.
  void BeginBusySpell(const char* code) {
    e2e::WriteTextFile(directory + "/busy.tmp", std::string("2000 ") + code + "\n");
    ASSERT_EQ(std::rename((directory + "/busy.tmp").c_str(), (directory + "/busy.txt").c_str()), 0);
  }

  void StartServer(const std::string& moreSettings = "") {
    e2e::WriteTextFile(directory + "/podiant.ini",
                       "[settings]\nport=" + std::to_string(port) + "\n" + moreSettings);
    server = e2e::StartProcess(
        {e2e::WineLoader(), e2e::WindowsBinaryDir() + "/shell/podiant-server.exe"}, directory);
    ASSERT_TRUE(WaitForLabel("Listening at", 1)) << label;
    watcher = e2e::StartProcess(
        {e2e::WineLoader(), e2e::WindowsBinaryDir() + "/tests/wine_probe/podiant-probe.exe",
         "watch-control", kTitle, std::to_string(kLabel), "20000"},
        "");
    ASSERT_TRUE(e2e::WaitForOutput(watcher, "\n", kWaitMs));
  }

  // Sends one command and waits until the server has logged its R line.
  void Send(const std::string& command) {
    std::string part = "-> \"" + command + "\"";
    int before = e2e::ReadWindowControlText(kTitle, kLabel, &label) ? Count(label, part) : 0;
    e2e::SendDatagram(command, port);
    ASSERT_TRUE(WaitForLabel(part, before + 1)) << label;
  }

  // Polls the label until it contains `part` at least `times` times.
  bool WaitForLabel(const std::string& part, int times, int waitMs = kWaitMs) {
    return PollUntil(
        [&] {
          return e2e::ReadWindowControlText(kTitle, kLabel, &label) && Count(label, part) >= times;
        },
        waitMs);
  }

  // Every text the watcher saw, oldest first (complete once it has ended).
  std::vector<std::string> WatchedTexts() {
    std::vector<std::string> texts;
    std::stringstream in(watcher.output);
    for (std::string line; std::getline(in, line);) texts.push_back(e2e::FromHex(line));
    return texts;
  }
  // The last text the watcher saw (an empty one of the vanishing window aside).
  std::string LastWatchedText() {
    std::vector<std::string> texts = WatchedTexts();
    while (!texts.empty() && texts.back().empty()) texts.pop_back();
    return texts.empty() ? std::string() : texts.back();
  }

  // The stand-in's log: its "call" lines without the "result=" part (the
  // marshalled IDispatch asks for a result whatever the caller did), and all
  // other lines as they are.
  std::vector<std::string> CallLog() {
    std::vector<std::string> lines;
    std::stringstream in(e2e::ReadTextFile(directory + "/calls.log"));
    for (std::string line; std::getline(in, line);) {
      size_t result = line.find(" result=");
      size_t arrow = line.find(" -> ");
      if (line.rfind("call ", 0) == 0 && result != std::string::npos &&
          arrow != std::string::npos) {
        line = line.substr(0, result) + line.substr(arrow);
      }
      lines.push_back(line);
    }
    return lines;
  }
  std::vector<std::string> Calls() {
    std::vector<std::string> calls;
    for (const std::string& line : CallLog()) {
      if (line.rfind("call ", 0) == 0) calls.push_back(line.substr(5));
    }
    return calls;
  }

  // How many lines of the stand-in's log begin with `prefix`.
  int LoggedLines(const std::string& prefix) {
    int n = 0;
    for (const std::string& line : CallLog()) n += line.rfind(prefix, 0) == 0;
    return n;
  }

  // Waits until the stand-in has logged a line that begins with `prefix`
  // `times` times.
  bool WaitForCall(const std::string& prefix, int times = 1) {
    return PollUntil([&] { return LoggedLines(prefix) >= times; });
  }

  // The next `count` datagrams on the socket `feedback` (fewer when none
  // comes for the wait).
  std::vector<std::string> Heard(int feedback, size_t count) {
    std::vector<std::string> texts;
    std::string text;
    while (texts.size() < count && e2e::ReceiveDatagram(feedback, kWaitMs, &text)) {
      texts.push_back(text);
    }
    return texts;
  }

  // Closes the window and waits for the program's end, which must exit with
  // code 0; the last label text.
  std::string CloseServer(int waitMs = kWaitMs) {
    int exitCode = -1;
    e2e::RunProbe({"post-close", kTitle}, &exitCode);
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(e2e::WaitForExit(server, waitMs));
    EXPECT_EQ(e2e::ExitCode(server), 0);
    EXPECT_TRUE(e2e::WaitForExit(watcher, kWaitMs));
    return LastWatchedText();
  }

  std::string directory;
  int port = 0;
  std::string label;
  e2e::Process server;
  e2e::Process watcher;
  e2e::Process standIn;
  bool registered = false;
};

const std::vector<std::string> kOpenCalls = {
    "application1 2030 flags=4 named=-3 args=R8:1 -> 0x00000000",
    "application1 2001 flags=2 named=- args=- -> presentations1",
    "presentations1 2005 flags=1 named=- args=BSTR:\"C:\\My Shows\\talk.pptx\" -> presentation1",
    "presentation1 2015 flags=2 named=- args=- -> slideshowsettings1",
    "slideshowsettings1 2008 flags=1 named=- args=- -> 0x00000000",
    "presentation1 2047 flags=2 named=- args=- -> slideshowwindow1",
    "slideshowwindow1 2003 flags=2 named=- args=- -> slideshowview1",
};

TEST_F(WineSlideShow, OpenStartsTheSlideShowNextAndGotoReachTheViewCloseQuits) {
  Register(true);
  StartServer();

  Send("OPEN C:\\My Shows\\talk.pptx");
  ASSERT_TRUE(WaitForCall("call slideshowwindow1 2003"))
      << e2e::ReadTextFile(directory + "/calls.log");
  EXPECT_EQ(Calls(), kOpenCalls);
  std::vector<std::string> log = CallLog();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log[0].rfind("start mode=embedding", 0), 0u) << log[0];
  EXPECT_EQ(log[1], "create application1");

  Send("NEXT");
  Send("GOTO 3.5");
  Send("GOTO 0");
  Send("GOTO abc");
  Send("GOTO");
  Send("next");  // the last one: when it has arrived, the GOTOs before it have been handled
  ASSERT_TRUE(WaitForCall("call slideshowview1 2019", 2));
  std::vector<std::string> expected = kOpenCalls;
  expected.push_back("slideshowview1 2019 flags=1 named=- args=- -> 0x00000000");
  expected.push_back("slideshowview1 2021 flags=1 named=- args=R8:4 -> 0x00000000");
  expected.push_back("slideshowview1 2019 flags=1 named=- args=- -> 0x00000000");
  EXPECT_EQ(Calls(), expected);

  // For the OPEN the label shows "Starting Powerpoint..." and nothing else.
  ASSERT_TRUE(e2e::ReadWindowControlText(kTitle, kLabel, &label));
  std::string text = label;
  size_t open = text.find("-> \"OPEN C:\\My Shows\\talk.pptx\"");
  ASSERT_NE(open, std::string::npos) << text;
  size_t end = text.find('\r', open);
  size_t next = text.find("\rR ", end);
  ASSERT_NE(next, std::string::npos) << text;
  EXPECT_EQ(text.substr(end, next - end), "\rStarting Powerpoint...") << text;

  std::string last = CloseServer();
  for (const std::string& seen : WatchedTexts()) {
    EXPECT_EQ(seen.find("Couldn't"), std::string::npos) << seen;
  }
  EXPECT_TRUE(
      last.ends_with("\rWAITING FOR THREAD TO STOP!\rstopping PowerPoint...\rstopped"
                     "\rTHREAD STOPPED!"))
      << last;
  ASSERT_TRUE(WaitForCall("end"));
  expected.push_back("application1 2004 flags=2 named=- args=- -> activepresentation1");
  expected.push_back("activepresentation1 2019 flags=1 named=- args=- -> 0x00000000");
  expected.push_back("application1 2021 flags=1 named=- args=- -> 0x00000000");
  EXPECT_EQ(Calls(), expected);
  EXPECT_EQ(Count(e2e::ReadTextFile(directory + "/calls.log"), "start mode="), 1);
  EXPECT_EQ(LoggedLines("names "), 0);  // nothing is looked up by name without the new words
}

TEST_F(WineSlideShow, ARunningInstanceIsAttachedToNotCreated) {
  Register(true);
  ASSERT_NO_FATAL_FAILURE(StartRunningStandIn());
  StartServer();

  Send("OPEN C:\\My Shows\\talk.pptx");
  ASSERT_TRUE(WaitForCall("call slideshowwindow1 2003"));
  EXPECT_EQ(Calls(), kOpenCalls);
  // A second OPEN attaches again, to the same application.
  Send("OPEN C:\\My Shows\\talk.pptx");
  ASSERT_TRUE(WaitForCall("call slideshowwindow2 2003"));
  std::vector<std::string> calls = Calls();
  ASSERT_EQ(calls.size(), 14u);
  EXPECT_EQ(calls[7], "application1 2030 flags=4 named=-3 args=R8:1 -> 0x00000000");
  EXPECT_EQ(calls[8], "application1 2001 flags=2 named=- args=- -> presentations2");
  Send("NEXT");
  ASSERT_TRUE(WaitForCall("call slideshowview2 2019"));

  std::string log = e2e::ReadTextFile(directory + "/calls.log");
  EXPECT_EQ(Count(log, "start mode="), 1) << log;
  EXPECT_EQ(Count(log, "start mode=running"), 1) << log;
  EXPECT_EQ(Count(log, "create "), 0) << log;

  std::string last = CloseServer();
  EXPECT_TRUE(last.ends_with("\rstopping PowerPoint...\rstopped\rTHREAD STOPPED!")) << last;
  EXPECT_TRUE(e2e::WaitForExit(standIn, kWaitMs));  // Quit ends it
  calls = Calls();
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls[calls.size() - 3],
            "application1 2004 flags=2 named=- args=- -> activepresentation1");
  EXPECT_EQ(calls[calls.size() - 2],
            "activepresentation1 2019 flags=1 named=- args=- -> 0x00000000");
  EXPECT_EQ(calls[calls.size() - 1], "application1 2021 flags=1 named=- args=- -> 0x00000000");
}

TEST_F(WineSlideShow, OpenAndSlideShowSettingsFailuresAreLogged) {
  Register(true);
  StartServer();

  FailMembers("presentations 2005 1\n");
  Send("OPEN C:\\My Shows\\missing.pptx");
  ASSERT_TRUE(WaitForLabel("Couldn't open presentation", 1)) << label;
  EXPECT_TRUE(
      label.ends_with("-> \"OPEN C:\\My Shows\\missing.pptx\"\rStarting Powerpoint...\r"
                      "Couldn't open presentation"))
      << label;

  FailMembers("presentation 2015 2\n");
  Send("OPEN C:\\My Shows\\talk.pptx");
  ASSERT_TRUE(WaitForLabel("Couldn't get slide show settings...?", 1)) << label;
  EXPECT_TRUE(
      label.ends_with("-> \"OPEN C:\\My Shows\\talk.pptx\"\rStarting Powerpoint...\r"
                      "Couldn't get slide show settings...?"))
      << label;

  // No slide show was started: NEXT and GOTO reach nothing.
  Send("NEXT");
  Send("GOTO 2");
  FailMembers("");
  std::vector<std::string> calls = Calls();
  ASSERT_EQ(calls.size(), 7u);
  EXPECT_EQ(
      calls[2],
      "presentations1 2005 flags=1 named=- args=BSTR:\"C:\\My Shows\\missing.pptx\" -> 0x80020009");
  EXPECT_EQ(calls[6], "presentation1 2015 flags=2 named=- args=- -> 0x80020009");
  for (const std::string& call : calls) EXPECT_EQ(call.find("2008"), std::string::npos) << call;

  std::string last = CloseServer();
  EXPECT_TRUE(last.ends_with("\rstopping PowerPoint...\rstopped\rTHREAD STOPPED!")) << last;
}

// PowerPoint going away under a running slide show (first the user's
// instance, found as the running one, then the one the next OPEN started,
// both killed): NEXT and GOTO fail at once and silently, and the next OPEN
// starts PowerPoint afresh.
TEST_F(WineSlideShow, AfterTheApplicationDiedNextAndGotoAreSilentAndOpenStartsItAfresh) {
  Register(true);
  ASSERT_NO_FATAL_FAILURE(StartRunningStandIn());
  StartServer();
  Send("OPEN C:\\My Shows\\talk.pptx");
  ASSERT_TRUE(WaitForCall("call slideshowwindow1 2003"));

  for (int died = 1; died <= 2; ++died) {
    SCOPED_TRACE(died);
    ASSERT_TRUE(KillStandIns(directory));
    auto sent = std::chrono::steady_clock::now();
    Send("NEXT");
    Send("GOTO 2");  // its line comes when NEXT has returned
    long long next = MillisecondsSince(sent);
    Send("hello");  // handled after the two before it
    ASSERT_TRUE(WaitForLabel("ERR: Unknown command received \"hello\"", died)) << label;
    std::string tail = label.substr(label.rfind("-> \"NEXT\""));
    // The R lines of GOTO and hello and the unknown-command line, nothing else.
    EXPECT_EQ(e2e::CountOccurrences(tail, "\r"), 3) << tail;
    // Neither waited for nor tried again (the busy rule alone would take 10 s).
    std::printf("NEXT on a PowerPoint that is gone: %lld ms to the next command's line\n", next);
    RecordProperty("next_on_gone_ms_" + std::to_string(died), std::to_string(next));
    EXPECT_LT(next, 10000);

    Send("OPEN C:\\My Shows\\talk.pptx");
    ASSERT_TRUE(WaitForCall("create application1", died))
        << e2e::ReadTextFile(directory + "/calls.log");
    ASSERT_TRUE(WaitForCall("call slideshowwindow1 2003", died + 1))
        << e2e::ReadTextFile(directory + "/calls.log");
    Send("NEXT");
    ASSERT_TRUE(WaitForCall("call slideshowview1 2019", died));
  }
  ASSERT_TRUE(e2e::ReadWindowControlText(kTitle, kLabel, &label));
  EXPECT_EQ(label.find("Couldn't"), std::string::npos) << label;
  std::string log = e2e::ReadTextFile(directory + "/calls.log");
  EXPECT_EQ(e2e::CountOccurrences(log, "start mode=running"), 1) << log;
  EXPECT_EQ(e2e::CountOccurrences(log, "start mode=embedding"), 2) << log;

  std::string last = CloseServer();
  EXPECT_TRUE(last.ends_with("\rstopping PowerPoint...\rstopped\rTHREAD STOPPED!")) << last;
  ASSERT_TRUE(WaitForCall("end"));
}

// PowerPoint refusing calls while it starts and in a busy moment of the show
// (every call refused for 2 s): the OPEN still runs the show and the NEXT is
// carried out, with the very calls of a PowerPoint that never refused one.
TEST_F(WineSlideShow, CallsRefusedWhileBusyAreMadeAgain) {
  Register(true);
  StartServer();

  BeginBusySpell("8001010A");  // RPC_E_SERVERCALL_RETRYLATER, from the first call on
  auto sent = std::chrono::steady_clock::now();
  Send("OPEN C:\\My Shows\\talk.pptx");
  ASSERT_TRUE(WaitForCall("call slideshowwindow1 2003"))
      << e2e::ReadTextFile(directory + "/calls.log");
  long long open = MillisecondsSince(sent);
  EXPECT_EQ(Calls(), kOpenCalls);
  int refusedOpen = LoggedLines("refused application1 2030 flags=4 -> 0x8001010A");
  EXPECT_GT(refusedOpen, 0);

  BeginBusySpell("80010001");  // RPC_E_CALL_REJECTED
  sent = std::chrono::steady_clock::now();
  Send("NEXT");
  ASSERT_TRUE(WaitForCall("call slideshowview1 2019"))
      << e2e::ReadTextFile(directory + "/calls.log");
  long long next = MillisecondsSince(sent);
  int refusedNext = LoggedLines("refused slideshowview1 2019 flags=1 -> 0x80010001");
  EXPECT_GT(refusedNext, 0);
  std::vector<std::string> expected = kOpenCalls;
  expected.push_back("slideshowview1 2019 flags=1 named=- args=- -> 0x00000000");
  EXPECT_EQ(Calls(), expected);
  std::printf("busy for 2 s: OPEN %lld ms (%d refusals), NEXT %lld ms (%d refusals)\n", open,
              refusedOpen, next, refusedNext);
  RecordProperty("busy_open_ms", std::to_string(open));
  RecordProperty("busy_next_ms", std::to_string(next));

  std::string last = CloseServer();
  EXPECT_TRUE(last.ends_with("\rstopping PowerPoint...\rstopped\rTHREAD STOPPED!")) << last;
}

// A PowerPoint that stops answering (a call of the stand-in does not return
// for two minutes): the command ends after the call's bound with the line of
// its step, the next datagram is handled, the next OPEN starts a new
// PowerPoint, and a close during such a hang ends the program normally
// without another call on the PowerPoint that hangs.
TEST_F(WineSlideShow, ACallThatIsNotAnsweredIsGivenUpAfterItsBound) {
  Register(true);
  StartServer();

  FailMembers("hang presentations 2005 1\n");
  auto sent = std::chrono::steady_clock::now();
  Send("OPEN C:\\My Shows\\talk.pptx");
  e2e::SendDatagram("hello", port);
  ASSERT_TRUE(WaitForCall("hang presentations1 2005"));
  ASSERT_TRUE(WaitForLabel("ERR: Unknown command received \"hello\"", 1, kHungWaitMs)) << label;
  long long given = MillisecondsSince(sent);
  size_t failed = label.find("\rStarting Powerpoint...\rCouldn't open presentation\rR ");
  ASSERT_NE(failed, std::string::npos) << label;
  EXPECT_NE(label.find("-> \"hello\"", failed), std::string::npos) << label;
  EXPECT_GE(given, 29000);  // the call was waited for
  std::printf("OPEN with a call that hangs: given up after %lld ms\n", given);
  RecordProperty("hung_open_ms", std::to_string(given));

  FailMembers("hang slideshowview 2019 1\n");
  Send("OPEN C:\\My Shows\\talk.pptx");
  ASSERT_TRUE(WaitForCall("call slideshowwindow1 2003"))
      << e2e::ReadTextFile(directory + "/calls.log");
  EXPECT_EQ(LoggedLines("start mode=embedding"), 2);
  Send("NEXT");
  ASSERT_TRUE(WaitForCall("hang slideshowview1 2019"));
  auto closing = std::chrono::steady_clock::now();
  std::string last = CloseServer(kHungWaitMs);
  long long close = MillisecondsSince(closing);
  EXPECT_TRUE(
      last.ends_with("\rWAITING FOR THREAD TO STOP!\rstopping PowerPoint...\rstopped"
                     "\rTHREAD STOPPED!"))
      << last;
  std::vector<std::string> log = CallLog();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "hang slideshowview1 2019 flags=1");
  std::printf("close during a NEXT that hangs: %lld ms until the program had ended\n", close);
  RecordProperty("close_during_hang_ms", std::to_string(close));
}

// The further words and, with [feedback] to a socket of the test, the show's
// state: each word's member looked up by name once per object and invoked on
// the view, a move at the PC (the stand-in's position.txt) reported as SLIDE,
// END reported as SHOW ENDED, and the view read at most every 250 ms.
TEST_F(WineSlideShow, TheFurtherWordsSteerTheShowAndTheFeedbackFollowsIt) {
  Register(true);
  const int feedbackPort = e2e::FreeUdpPort();
  const int feedback = e2e::HoldUdpPort(feedbackPort);
  ASSERT_GE(feedback, 0);
  StartServer("[feedback]\nto=127.0.0.1:" + std::to_string(feedbackPort) + "\ninterval=0\n");
  auto heard = [&](size_t count) { return Heard(feedback, count); };
  using Lines = std::vector<std::string>;

  Send("OPEN C:\\My Shows\\talk.pptx");
  EXPECT_EQ(heard(3), (Lines{"FILE C:\\My Shows\\talk.pptx", "SHOW RUNNING", "SLIDE 1 5"}));
  e2e::WriteTextFile(directory + "/position.txt", "4\n");
  EXPECT_EQ(heard(1), Lines{"SLIDE 4 5"});
  const std::pair<const char*, const char*> words[] = {
      {"PREV", "SLIDE 3 5"},    {"first", "SLIDE 1 5"},
      {"LAST", "SLIDE 5 5"},    {"NEXT", "SHOW ENDED"},  // the end screen
      {"PREV", "SHOW RUNNING"}, {"BLACK", "SHOW BLACK"},
      {"WHITE", "SHOW WHITE"},  {"RESUME", "SHOW RUNNING"},
  };
  for (const auto& [word, text] : words) {
    Send(word);
    EXPECT_EQ(heard(1), Lines{text}) << word;
  }

  // The reads of the view's State over a span of quiet.
  const std::string stateRead = "call slideshowview1 7105 flags=2 ";
  auto spanStart = std::chrono::steady_clock::now();
  int readsBefore = LoggedLines(stateRead);
  usleep(3000000);
  int reads = LoggedLines(stateRead) - readsBefore;
  long long span = MillisecondsSince(spanStart);
  std::printf("the show's state read %d times in %lld ms\n", reads, span);
  RecordProperty("state_reads_per_3s", std::to_string(reads));
  EXPECT_LE(reads, span / 250 + 2);

  Send("END");
  EXPECT_EQ(heard(1), Lines{"SHOW ENDED"});
  // The last nine lines: the R lines of the words, and nothing else.
  ASSERT_TRUE(e2e::ReadWindowControlText(kTitle, kLabel, &label));
  EXPECT_EQ(Count(label, "\rR "), 9) << label;

  std::vector<std::string> names;
  for (const std::string& line : CallLog()) {
    if (line.rfind("names ", 0) == 0) names.push_back(line.substr(6));
  }
  EXPECT_EQ(names,
            (Lines{"slideshowview1 State -> 7105", "slideshowview1 CurrentShowPosition -> 7106",
                   "presentation1 Slides -> 7201", "slides1 Count -> 7301",
                   "slideshowview1 Previous -> 7101", "slideshowview1 First -> 7102",
                   "slideshowview1 Last -> 7103", "slideshowview1 Exit -> 7104"}));
  // Every call but the reads of the show's state, which the feedback repeats.
  std::vector<std::string> calls;
  for (const std::string& call : Calls()) {
    if (call.find(" flags=2 ") == std::string::npos ||
        (call.rfind("slideshowview1 710", 0) != 0 && call.rfind("slides1 ", 0) != 0)) {
      calls.push_back(call);
    }
  }
  Lines expected = kOpenCalls;
  expected.push_back("presentation1 7201 flags=2 named=- args=- -> slides1");
  for (const char* call :
       {"7101 flags=1 named=- args=-", "7102 flags=1 named=- args=-", "7103 flags=1 named=- args=-",
        "2019 flags=1 named=- args=-", "7101 flags=1 named=- args=-",
        "7105 flags=4 named=-3 args=R8:3", "7105 flags=4 named=-3 args=R8:4",
        "7105 flags=4 named=-3 args=R8:1", "7104 flags=1 named=- args=-"}) {
    expected.push_back(std::string("slideshowview1 ") + call + " -> 0x00000000");
  }
  EXPECT_EQ(calls, expected);
  close(feedback);

  std::string last = CloseServer();
  EXPECT_TRUE(last.ends_with("\rstopping PowerPoint...\rstopped\rTHREAD STOPPED!")) << last;
}

// With notes=on, the slide's details as the presenter walks the slide with
// two clicks forwards and backwards: each slide change brings TITLE, BUILD,
// NEXTSLIDE and NOTES (texts in the program's code page, paragraphs as CR),
// a click BUILD alone; the hidden slide 4 is skipped by NEXT, PREV and
// NEXTSLIDE; a title that is a picture and a notes page without a body read
// empty; every member is looked up once per kind of object.
TEST_F(WineSlideShow, TheSlidesDetailsFollowTheShowWithNotesOn) {
  Register(true);
  const int feedbackPort = e2e::FreeUdpPort();
  const int feedback = e2e::HoldUdpPort(feedbackPort);
  ASSERT_GE(feedback, 0);
  StartServer("[feedback]\nto=127.0.0.1:" + std::to_string(feedbackPort) +
              "\ninterval=0\nnotes=on\n");
  using Lines = std::vector<std::string>;
  const Lines slide2 = {"SLIDE 2 5", "TITLE Caf\xe9 \xd6lberg", "BUILD 0 2", "NEXTSLIDE 3 ",
                        "NOTES First the chart,\rthen the total."};
  Lines slide2Built = slide2;
  slide2Built[2] = "BUILD 2 2";
  const Lines slide3 = {"SLIDE 3 5", "TITLE ", "BUILD 0 0", "NEXTSLIDE 5 Questions", "NOTES "};

  Send("OPEN C:\\My Shows\\talk.pptx");
  EXPECT_EQ(Heard(feedback, 7),
            (Lines{"FILE C:\\My Shows\\talk.pptx", "SHOW RUNNING", "SLIDE 1 5", "TITLE Welcome",
                   "BUILD 0 0", "NEXTSLIDE 2 Caf\xe9 \xd6lberg",
                   "NOTES Good morning.\rThe agenda has three parts.\r\rGr\xfc\xdf"
                   "e \x96 caf\xe9 ? next"}));
  const std::pair<const char*, Lines> steps[] = {
      {"NEXT", slide2},
      {"NEXT", {"BUILD 1 2"}},
      {"NEXT", {"BUILD 2 2"}},
      {"NEXT", slide3},
      {"PREV", slide2Built},
      {"PREV", {"BUILD 1 2"}},
      {"GOTO 3", slide3},
      {"NEXT", {"SLIDE 5 5", "TITLE Questions", "NEXTSLIDE 0 ", "NOTES Thank you."}},
      {"PREV", {"SLIDE 3 5", "TITLE ", "NEXTSLIDE 5 Questions", "NOTES "}},
  };
  for (const auto& [word, lines] : steps) {
    Send(word);
    EXPECT_EQ(Heard(feedback, lines.size()), lines) << word;
  }
  std::string more;
  EXPECT_FALSE(e2e::ReceiveDatagram(feedback, 1000, &more)) << more;
  close(feedback);

  // The calls of each slide change's own details: from the view's
  // GetClickCount (7108) to the next call on the view but its Slide (7109),
  // objects by their kind.
  struct Change {
    std::string calls;
    int count = 0, releases = 0;
  };
  std::vector<Change> changes;
  bool inChange = false;
  std::set<std::string> looked;
  for (const std::string& line : CallLog()) {
    std::istringstream words(line);
    std::string what, object, member;
    words >> what >> object >> member;
    object = object.substr(0, object.find_first_of("0123456789"));
    if (what == "names") {
      EXPECT_TRUE(looked.insert(object + " " + member).second) << line;  // once per kind
    }
    if (what == "call" && object == "slideshowview" && member < "7108") inChange = false;
    if (what == "call" && member == "7108") inChange = true, changes.emplace_back();
    if (inChange && what == "call") {
      changes.back().calls += object + " " + member + ",";
      ++changes.back().count;
    }
    if (inChange && what == "release") ++changes.back().releases;
  }
  ASSERT_EQ(changes.size(), 7u);  // slides 1, 2, 3, 2, 3, 5, 3
  // Slide 3: a title that is a picture, a notes page without a body, slide 4
  // hidden, slide 5's title.
  EXPECT_EQ(changes[2].calls,
            "slideshowview 7108,slideshowview 7109,slide 7405,"         // the slide
            "slide 7401,shapes 7501,shapes 7502,shape 7801,"            // its title
            "slide 7402,notespage 7601,shapes 7503,placeholders 7701,"  // its notes
            "placeholders 7702,shape 7802,placeholderformat 7901,"      //
            "slides 7302,slide 7403,slideshowtransition 8201,"          // 4: hidden
            "slides 7302,slide 7403,slideshowtransition 8201,"          // 5: shown
            "slide 7401,shapes 7501,shapes 7502,shape 7801,textframe 8001,textrange 8101,");
  for (size_t i = 0; i < changes.size(); ++i) {
    std::printf("slide change %zu: %d calls and %d releases beyond the reading's GetClickIndex\n",
                i + 1, changes[i].count, changes[i].releases);
    RecordProperty("change_" + std::to_string(i + 1) + "_calls", changes[i].count);
  }

  std::string last = CloseServer();
  EXPECT_TRUE(last.ends_with("\rstopping PowerPoint...\rstopped\rTHREAD STOPPED!")) << last;
}

TEST_F(WineSlideShow, WithoutPowerPointTheNoticeAppearsThenOpenFails) {
  Register(false);
  StartServer();

  e2e::SendDatagram("OPEN C:\\My Shows\\talk.pptx", port);
  int exitCode = -1;
  std::string notice = e2e::RunProbe({"answer-notice", "", "20000"}, &exitCode);
  ASSERT_EQ(exitCode, 0);
  EXPECT_EQ(e2e::FromHex(notice), kNoticeText);
  ASSERT_TRUE(WaitForLabel("Couldn't open presentation", 1)) << label;
  EXPECT_TRUE(label.ends_with("\rStarting Powerpoint...\rCouldn't open presentation")) << label;

  // The server goes on; the session was started, so the close ends it.
  Send("NEXT");
  std::string last = CloseServer();
  EXPECT_TRUE(last.ends_with("\rstopping PowerPoint...\rstopped\rTHREAD STOPPED!")) << last;
}

// The Windows program on the venue's broker: commands in by MQTT (with their
// M lines and results), the stand-in PowerPoint's show out as retained values
// and the state object, and "offline" once it has closed.
TEST_F(WineSlideShow, TheVenueLinkCarriesCommandsAndTellsTheShow) {
  Register(true);
  e2e::Broker broker;
  std::filesystem::create_directories(directory + "/broker");
  ASSERT_TRUE(e2e::StartBroker(&broker, directory + "/broker")) << broker.process.output;
  StartServer("[mqtt]\nbroker=127.0.0.1:" + std::to_string(broker.port) +
              "\nroom=hall-w\ncommands=OPEN NEXT GOTO STATE\n");
  ASSERT_TRUE(WaitForLabel("MQTT connected to 127.0.0.1:", 1)) << label;
  auto retains = [&](const std::string& leaf, const std::string& value) {
    return PollUntil(
        [&] {
          std::string payload;
          return e2e::Retained(broker, "podiant/hall-w/" + leaf, &payload, 1000) &&
                 payload == value;
        },
        kWaitMs);
  };
  EXPECT_TRUE(retains("value/state", "NONE"));
  e2e::Process results = e2e::Subscribe(broker, "podiant/hall-w/result");
  ASSERT_TRUE(e2e::Publish(broker, "podiant/hall-w/command", "OPEN C:\\My Shows\\talk.pptx"));
  ASSERT_TRUE(WaitForLabel("M mqtt ", 1)) << label;
  EXPECT_TRUE(retains("value/state", "RUNNING"));
  EXPECT_TRUE(retains("value/slide", "1"));
  EXPECT_TRUE(retains("value/title", "Welcome"));
  EXPECT_TRUE(retains("value/file", "C:\\My Shows\\talk.pptx"));
  ASSERT_TRUE(e2e::Publish(broker, "podiant/hall-w/command",
                           R"({"command":"GOTO 2","id":"g2","name":"Desk"})"));
  EXPECT_TRUE(retains("value/slide", "2"));
  EXPECT_TRUE(retains("value/title", "Caf\xC3\xA9 \xC3\x96lberg"));
  EXPECT_TRUE(WaitForLabel("M Desk ", 1)) << label;
  EXPECT_TRUE(e2e::WaitForOutput(
      results,
      R"(podiant/hall-w/result {"id":"g2","command":"GOTO 2","status":202,"outcome":"done"})",
      kWaitMs))
      << results.output;
  e2e::StopProcess(results);

  int exitCode = -1;
  e2e::RunProbe({"post-close", kTitle}, &exitCode);
  ASSERT_TRUE(e2e::WaitForExit(server, kWaitMs));
  EXPECT_EQ(e2e::ExitCode(server), 0);
  EXPECT_TRUE(retains("status", "offline"));
  e2e::StopBroker(&broker);
}

// The program as the backup of a main whose status and state the broker
// keeps: it opens the main's file and goes to its slide, then to black, each
// step an M line of its own, and says once that the main went offline.
TEST_F(WineSlideShow, ABackupFollowsItsMainThroughTheBroker) {
  Register(true);
  e2e::Broker broker;
  std::filesystem::create_directories(directory + "/broker");
  ASSERT_TRUE(e2e::StartBroker(&broker, directory + "/broker")) << broker.process.output;
  e2e::WriteTextFile(directory + "/talk.pptx", "");
  std::string file = e2e::WindowsPath(directory + "/talk.pptx");
  auto state = [&](const std::string& show, int slide) {
    std::string escaped;
    for (char c : file) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return "{\"file\":\"" + escaped + "\",\"state\":\"" + show +
           "\",\"slide\":" + std::to_string(slide) +
           ",\"count\":3,\"build\":{\"position\":0,\"count\":0}}";
  };
  ASSERT_TRUE(e2e::Publish(broker, "podiant/main/status", "online", true));
  ASSERT_TRUE(e2e::Publish(broker, "podiant/main/state", state("RUNNING", 2), true));
  StartServer("[mqtt]\nbroker=127.0.0.1:" + std::to_string(broker.port) +
              "\nroom=backup-w\nfollow=main\n");
  auto retains = [&](const std::string& leaf, const std::string& value) {
    return PollUntil(
        [&] {
          std::string payload;
          return e2e::Retained(broker, "podiant/backup-w/" + leaf, &payload, 1000) &&
                 payload == value;
        },
        kWaitMs);
  };
  EXPECT_TRUE(retains("value/file", file));
  EXPECT_TRUE(retains("value/slide", "2"));
  EXPECT_TRUE(WaitForLabel("M follow main ", 2)) << label;  // OPEN, GOTO 2
  ASSERT_TRUE(e2e::Publish(broker, "podiant/main/state", state("BLACK", 2), true));
  EXPECT_TRUE(retains("value/state", "BLACK"));
  ASSERT_TRUE(e2e::Publish(broker, "podiant/main/status", "offline", true));
  EXPECT_TRUE(WaitForLabel("Following \"main\": it is offline", 1)) << label;

  int exitCode = -1;
  e2e::RunProbe({"post-close", kTitle}, &exitCode);
  ASSERT_TRUE(e2e::WaitForExit(server, kWaitMs));
  EXPECT_EQ(e2e::ExitCode(server), 0);
  e2e::StopBroker(&broker);
}

}  // namespace
