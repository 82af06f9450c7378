// The server thread's start-up, receive loop and shutdown, against a scripted
// fake of the socket and recording fakes of everything else it calls.
#include "server/server_thread.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/status_log.h"
#include "config/settings.h"
#include "platform/automation.h"
#include "platform/code_page.h"
#include "platform/main_window.h"
#include "platform/sockets.h"
#include "platform/timing.h"
#include "presentation/powerpoint_session.h"
#include "presentation/slide_images.h"
#include "presentation/slide_show_back_end.h"
#include "projector/projector_link.h"
#include "server/arrival.h"
#include "server/dispatch.h"
#include "server/sender_check.h"
#include "tests/fakes/fake_display.h"

namespace {

struct ScriptedReceive {
  ReceiveOutcome outcome;
  std::string payload;
  bool stopDuringWait;  // the main thread asks for the stop during this wait
};

std::mutex callsLock;
std::vector<std::string> calls;  // every platform and handler call, in order
std::deque<ScriptedReceive> script;
bool socketOpens = true;
bool projectorOpens = true;
bool projectorOpen = false;
uint32_t localAddress = 0;
int openedPort = -1;

void Record(const std::string& call) {
  std::lock_guard<std::mutex> guard(callsLock);
  calls.push_back(call);
}

uint32_t Address(unsigned char a, unsigned char b, unsigned char c, unsigned char d) {
  unsigned char bytes[4] = {a, b, c, d};
  uint32_t address;
  std::memcpy(&address, bytes, sizeof address);
  return address;
}

}  // namespace

SettingsRecord Settings;
PowerPointSessionRecord PowerPointSession;

void InitialiseThreadAutomation() { Record("InitialiseThreadAutomation"); }
void UninitialiseThreadAutomation() { Record("UninitialiseThreadAutomation"); }
void RequestMainWindowClose() { Record("RequestMainWindowClose"); }
void SoundFailureBeep() { Record("SoundFailureBeep"); }
uint32_t LookUpLocalAddress() { return localAddress; }
SocketHandle OpenDatagramSocket(int port) {
  Record("OpenDatagramSocket " + std::to_string(port));
  openedPort = port;
  return socketOpens ? 7 : kNoSocket;
}
SocketHandle OpenDatagramSocketOn(uint32_t address, int port) {
  Record("OpenDatagramSocketOn " + FormatIpAddress(address) + " " + std::to_string(port));
  openedPort = port;
  return socketOpens ? 7 : kNoSocket;
}
ReceiveOutcome ReceiveDatagram(SocketHandle, uint32_t waitMilliseconds, char* buffer,
                               size_t capacity, size_t* length, uint32_t* senderAddress,
                               uint16_t* senderPort, uint64_t* arrivedAt) {
  EXPECT_EQ(waitMilliseconds, 1000u);
  EXPECT_EQ(capacity, 65536u);
  ScriptedReceive next{ReceiveOutcome::kTimedOut, "", true};  // past the script: stop
  if (!script.empty()) {
    next = script.front();
    script.pop_front();
  }
  if (next.stopDuringWait) stopRequested = 1;
  if (next.outcome != ReceiveOutcome::kDatagram) return next.outcome;
  std::memcpy(buffer, next.payload.data(), next.payload.size());
  *length = next.payload.size();
  *senderAddress = Address(192, 168, 1, 7);
  *senderPort = 50311;
  if (arrivedAt != nullptr) *arrivedAt = 0;
  return ReceiveOutcome::kDatagram;
}
bool StampArrivals(SocketHandle) { return false; }
void CloseDatagramSocket(SocketHandle socket) {
  Record("CloseDatagramSocket " + std::to_string(socket));
}
TimeOfDay LocalTimeOfDay() { return TimeOfDay{14, 3, 7}; }
void SleepMilliseconds(uint32_t) {}
uint64_t MonotonicMilliseconds() { return 0; }
uint64_t ArrivalClockNow() { return 0; }
void DispatchCommand(const Command& command) {
  Record("DispatchCommand " + command.wordAsSent +
         (command.argument.empty() ? "" : " " + command.argument));
}
void OpenProjectorLink() {
  Record("OpenProjectorLink");
  projectorOpen = projectorOpens;
}
void CloseProjectorLink() {
  Record("CloseProjectorLink");
  projectorOpen = false;
}
bool ProjectorLinkIsOpen() { return projectorOpen; }
// The slide-show back end, as the Windows program has it: PowerPoint's session.
const char* const kShowStoppingLine = "stopping PowerPoint...";
bool ShowSessionStarted() { return PowerPointSession.started != 0; }
void EndShowSession() { Record("StopPowerPoint"); }
// The feedback, which these runs do not configure.
void ReportRefusals(SocketHandle) {}
bool SendDatagramFrom(SocketHandle, uint32_t, uint16_t, const std::string&) { return true; }
void TrackShowStatus(bool) {}
void TrackShowDetails(bool) {}
std::string CodePageFromUtf8(std::string_view utf8) { return std::string(utf8); }
std::string Utf8FromCodePage(std::string_view text) { return std::string(text); }
// The further doors, which these runs do not configure either.
size_t WaitForSockets(const SocketHandle*, size_t count, size_t, uint32_t, bool*) { return count; }
uint16_t BoundPort(SocketHandle) { return 0; }
void ChangeSlideImageSource(uint32_t, const std::string&) {}
void ExportWaitingSlideImage() {}
bool SlideImagesWaiting() { return false; }
SharedShowStatus RefreshShowStatus(uint64_t, bool) { return std::make_shared<const ShowStatus>(); }
uint64_t ShowStatusDueAt() { return UINT64_MAX; }
const char* ShowStateWord(ShowState) { return "NONE"; }

namespace {

class ServerThreadRun : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetServerThreadForTesting();
    ClearLogForTesting();
    ClearShownLines();
    calls.clear();
    script.clear();
    socketOpens = true;
    projectorOpens = true;
    projectorOpen = false;
    localAddress = Address(192, 168, 1, 20);
    Settings = SettingsRecord{};
    Settings.serverPort = 16001;
    PowerPointSession = PowerPointSessionRecord{};
  }

  // Runs the thread to its end; the main window's initialisation is signalled
  // once the thread has written its first line.
  void RunServerThread() {
    std::thread server(ServerThread);
    while (ShownLines().empty()) std::this_thread::yield();
    {
      std::lock_guard<std::mutex> guard(callsLock);
      // Nothing beyond the first line before the signal.
      EXPECT_EQ(calls, std::vector<std::string>{"InitialiseThreadAutomation"});
    }
    SignalMainWindowInitialised();
    server.join();
    EXPECT_TRUE(serverThreadEnded);
  }

  // Calls other than the apartment's.
  std::vector<std::string> Calls() { return calls; }
};

TEST_F(ServerThreadRun, LogsAndDispatchesEachDatagramUntilTheStop) {
  script = {
      {ReceiveOutcome::kDatagram, "NEXT", false},
      {ReceiveOutcome::kTimedOut, "", false},
      {ReceiveOutcome::kFailed, "", false},
      {ReceiveOutcome::kDatagram, "NEXT\r\n", false},
      {ReceiveOutcome::kDatagram, "", false},
      {ReceiveOutcome::kDatagram, "GOTO 5", true},  // arrives in the stopping attempt
  };
  RunServerThread();
  EXPECT_EQ(ShownLines(), (std::vector<std::string>{
                              "Starting Podiant Server.",
                              "Listening at 192.168.1.20:16001...",
                              "R 192.168.1.7:50311 14:03:07 -> \"NEXT\"",
                              "R 192.168.1.7:50311 14:03:07 -> \"NEXT\r\n\"",
                              "R 192.168.1.7:50311 14:03:07 -> \"\"",
                          }));
  EXPECT_EQ(Calls(), (std::vector<std::string>{
                         "InitialiseThreadAutomation", "OpenDatagramSocket 16001",
                         "DispatchCommand NEXT", "DispatchCommand NEXT\r\n", "DispatchCommand ",
                         "CloseDatagramSocket 7", "UninitialiseThreadAutomation"}));
  EXPECT_EQ(stopRequested, 0);
}

TEST_F(ServerThreadRun, ProjectorLinkAndPowerPointAreOpenedAndEndedInOrder) {
  Settings.projectorPort = "COM1";
  PowerPointSession.started = 1;
  localAddress = 0;
  RunServerThread();
  EXPECT_EQ(ShownLines(),
            (std::vector<std::string>{"Starting Podiant Server.", "Listening at 0.0.0.0:16001...",
                                      "stopping PowerPoint...", "stopped"}));
  EXPECT_EQ(Calls(), (std::vector<std::string>{"InitialiseThreadAutomation",
                                               "OpenDatagramSocket 16001", "OpenProjectorLink",
                                               "CloseDatagramSocket 7", "CloseProjectorLink",
                                               "StopPowerPoint", "UninitialiseThreadAutomation"}));
}

TEST_F(ServerThreadRun, AProjectorLinkThatFailedToOpenIsNotClosed) {
  Settings.projectorPort = "COM9";
  projectorOpens = false;
  RunServerThread();
  EXPECT_EQ(Calls(),
            (std::vector<std::string>{"InitialiseThreadAutomation", "OpenDatagramSocket 16001",
                                      "OpenProjectorLink", "CloseDatagramSocket 7",
                                      "UninitialiseThreadAutomation"}));
}

TEST_F(ServerThreadRun, ASocketThatCannotBeOpenedEndsTheThreadWithABeepAndACloseRequest) {
  socketOpens = false;
  Settings.projectorPort = "COM1";
  stopRequested = 0;
  RunServerThread();
  EXPECT_EQ(ShownLines(), std::vector<std::string>{"Starting Podiant Server."});
  EXPECT_EQ(Calls(),
            (std::vector<std::string>{"InitialiseThreadAutomation", "OpenDatagramSocket 16001",
                                      "SoundFailureBeep", "RequestMainWindowClose",
                                      "UninitialiseThreadAutomation"}));
  EXPECT_TRUE(serverOpenFailed);
}

TEST_F(ServerThreadRun, ThePortIsReadOnlyAfterTheInitialisation) {
  Settings.serverPort = 1;  // what the settings hold before the load
  std::thread server(ServerThread);
  while (ShownLines().empty()) std::this_thread::yield();
  Settings.serverPort = 0;  // the load ends with port 0: the platform picks one
  SignalMainWindowInitialised();
  server.join();
  EXPECT_EQ(openedPort, 0);
  EXPECT_EQ(ShownLines().at(1), "Listening at 192.168.1.20:0...");
}

// The clock is the caller's: a minute passes here without waiting for it.
TEST(RefusalToBeReported, OncePerAddressAMinuteWithABoundedMemory) {
  ForgetRefusalsForTesting();
  const uint32_t sender = Address(10, 0, 0, 9);
  EXPECT_TRUE(RefusalToBeReported(sender, 5000));
  EXPECT_FALSE(RefusalToBeReported(sender, 5000));
  EXPECT_TRUE(RefusalToBeReported(Address(10, 0, 0, 8), 5001));  // each address for itself
  EXPECT_FALSE(RefusalToBeReported(sender, 5000 + kRefusalReportMilliseconds - 1));
  EXPECT_TRUE(RefusalToBeReported(sender, 5000 + kRefusalReportMilliseconds));
  EXPECT_FALSE(RefusalToBeReported(sender, 5000 + kRefusalReportMilliseconds + 1));

  // Every place taken within the minute: a further address is refused silently
  // until the oldest report is due again, and then takes that place.
  ForgetRefusalsForTesting();
  const uint64_t start = 1000000;
  for (size_t i = 0; i < kRefusedSendersRemembered; ++i) {
    EXPECT_TRUE(RefusalToBeReported(Address(10, 1, 0, static_cast<unsigned char>(i)), start + i));
  }
  const uint32_t late = Address(10, 2, 0, 1);
  EXPECT_FALSE(RefusalToBeReported(late, start + 100));
  EXPECT_FALSE(RefusalToBeReported(Address(10, 1, 0, 5), start + 100));
  EXPECT_TRUE(RefusalToBeReported(late, start + kRefusalReportMilliseconds));
  EXPECT_FALSE(RefusalToBeReported(late, start + kRefusalReportMilliseconds + 1));
  EXPECT_FALSE(RefusalToBeReported(Address(10, 2, 0, 2), start + kRefusalReportMilliseconds));
  EXPECT_TRUE(RefusalToBeReported(Address(10, 1, 0, 0), start + kRefusalReportMilliseconds + 1));
}

TEST(FormatIpAddress, DottedDecimalWithoutLeadingZeros) {
  EXPECT_EQ(FormatIpAddress(Address(192, 168, 1, 20)), "192.168.1.20");
  EXPECT_EQ(FormatIpAddress(0), "0.0.0.0");
  EXPECT_EQ(FormatIpAddress(Address(10, 0, 100, 255)), "10.0.100.255");
  EXPECT_EQ(FormatIpAddress(Address(255, 255, 255, 255)), "255.255.255.255");
}

TEST(ArrivalLine, TwoDigitTimeAndWhatArrivedAsReceived) {
  EXPECT_EQ(ArrivalLine({Door::kDatagram, Address(127, 0, 0, 1), 9, ""}, {0, 0, 0}, "\"a\"b\""),
            "R 127.0.0.1:9 00:00:00 -> \"a\"b\"");
  EXPECT_EQ(
      ArrivalLine({Door::kOsc, Address(1, 2, 3, 4), 65535, ""}, {23, 59, 59}, "/podiant/goto 5"),
      "O 1.2.3.4:65535 23:59:59 -> /podiant/goto 5");
  EXPECT_EQ(ArrivalLine({Door::kWeb, Address(10, 0, 0, 2), 0, "Anna's phone"}, {9, 5, 0},
                        "\"" + std::string("\0x", 2) + "\""),
            "W Anna's phone 10.0.0.2 09:05:00 -> \"" + std::string("\0x", 2) + "\"");
}

}  // namespace
