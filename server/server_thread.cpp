#include "server/server_thread.h"

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <vector>

#include "common/status_log.h"
#include "config/access_lists.h"
#include "config/settings.h"
#include "platform/automation.h"
#include "platform/main_window.h"
#include "platform/sockets.h"
#include "platform/timing.h"
#include "presentation/slide_show_back_end.h"
#include "projector/projector_link.h"
#include "server/dispatch.h"
#include "server/feedback.h"
#include "server/sender_check.h"

std::atomic<int32_t> stopRequested{0};
std::atomic<bool> serverThreadEnded{false};
std::atomic<bool> serverOpenFailed{false};

namespace {

constexpr uint32_t kReceiveWaitMilliseconds = 1000;
constexpr size_t kReceiveBufferSize = 65536;

std::mutex initialisedLock;
std::condition_variable initialisedChanged;
bool mainWindowInitialised = false;
bool startingLineWritten = false;

void WaitForMainWindowInitialised() {
  std::unique_lock<std::mutex> lock(initialisedLock);
  initialisedChanged.wait(lock, [] { return mainWindowInitialised; });
}

std::string TwoDigits(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

// Opens the command socket on `port`: on every interface, or on the one
// address of the settings. `shownAddress` is the address for the "Listening
// at" line. A listen address that is no address of this computer fails like
// a port that cannot be opened, after its own line.
SocketHandle OpenReceiveSocket(int32_t port, uint32_t* shownAddress) {
  if (!Settings.listenAddress || Settings.listenAddress->address == 0u) {
    *shownAddress = LookUpLocalAddress();
    return OpenDatagramSocket(port);
  }
  const ListenAddressSetting& listen = *Settings.listenAddress;
  SocketHandle socket = kNoSocket;
  if (listen.address) {
    *shownAddress = *listen.address;
    socket = OpenDatagramSocketOn(*listen.address, port);
  }
  if (socket == kNoSocket) {
    AddLogLine("ERROR: cannot listen at " + listen.text + ":" + std::to_string(port));
  }
  return socket;
}

// One received datagram: checked, logged and carried out. Every R line stays
// off the LOG feedback, and so does every line a feedback datagram causes (a
// peer server's status or LOG lines).
void HandleDatagram(const std::string& payload, uint32_t senderAddress, uint16_t senderPort,
                    bool feedback) {
  const bool feedbackDatagram = feedback && IsFeedbackDatagram(payload);
  MuteFeedbackLog(feedbackDatagram);
  if (AcceptSender(senderAddress, senderPort, MonotonicMilliseconds())) {
    TimeOfDay now = LocalTimeOfDay();
    MuteFeedbackLog(true);
    AddLogLine(
        FormatReceivedLine(senderAddress, senderPort, now.hour, now.minute, now.second, payload));
    MuteFeedbackLog(feedbackDatagram);
    DispatchCommand(payload);
  }
  MuteFeedbackLog(false);
}

}  // namespace

void WaitForStartingLine() {
  std::unique_lock<std::mutex> lock(initialisedLock);
  initialisedChanged.wait(lock, [] { return startingLineWritten; });
}

void SignalMainWindowInitialised() {
  {
    std::lock_guard<std::mutex> guard(initialisedLock);
    mainWindowInitialised = true;
  }
  initialisedChanged.notify_all();
}

void ResetServerThreadForTesting() {
  std::lock_guard<std::mutex> guard(initialisedLock);
  mainWindowInitialised = false;
  startingLineWritten = false;
  serverThreadEnded = false;
  serverOpenFailed = false;
  stopRequested = 0;
  ForgetRefusalsForTesting();
}

std::string FormatReceivedLine(uint32_t senderAddress, uint16_t senderPort, int hour, int minute,
                               int second, const std::string& payload) {
  return "R " + FormatIpAddress(senderAddress) + ":" + std::to_string(senderPort) + " " +
         TwoDigits(hour) + ":" + TwoDigits(minute) + ":" + TwoDigits(second) + " -> \"" + payload +
         "\"";
}

void ServerThread() {
  InitialiseThreadAutomation();
  AddLogLine("Starting Podiant Server.");
  {
    std::lock_guard<std::mutex> guard(initialisedLock);
    startingLineWritten = true;
  }
  initialisedChanged.notify_all();
  WaitForMainWindowInitialised();
  const int32_t port = Settings.serverPort;
  const bool projectorConfigured = !Settings.projectorPort.empty();

  uint32_t localAddress = 0;
  SocketHandle socket = OpenReceiveSocket(port, &localAddress);
  if (socket == kNoSocket) {
    serverOpenFailed = true;
    SoundFailureBeep();
    RequestMainWindowClose();
    UninitialiseThreadAutomation();
    serverThreadEnded = true;
    return;
  }
  // The feedback's LOG lines begin with the "Listening at" line.
  const bool feedback = FeedbackConfigured();
  if (feedback) StartFeedback(socket, MonotonicMilliseconds());
  AddLogLine("Listening at " + FormatIpAddress(localAddress) + ":" + std::to_string(port) + "...");
  if (Settings.allowedSenders) {
    AddLogLine("Accepting commands from " + FormatAllowList(*Settings.allowedSenders));
  }
  if (Settings.allowedCommands) {
    AddLogLine("Commands allowed: " + FormatCommandList(*Settings.allowedCommands));
  }
  if (Settings.feedback) AddLogLine(FeedbackStartLine());
  if (projectorConfigured) OpenProjectorLink();

  std::vector<char> buffer(kReceiveBufferSize);
  for (;;) {
    size_t length = 0;
    uint32_t senderAddress = 0;
    uint16_t senderPort = 0;
    // With the feedback the wait is shorter, so that the show is followed and
    // the heartbeat sent on time; without it the loop is as it always was.
    const uint32_t wait =
        feedback ? FeedbackReceiveWait(MonotonicMilliseconds()) : kReceiveWaitMilliseconds;
    ReceiveOutcome outcome = ReceiveDatagram(socket, wait, buffer.data(), buffer.size(), &length,
                                             &senderAddress, &senderPort);
    // A datagram of the attempt during which the stop was asked for is dropped.
    if (stopRequested != 0) break;
    if (outcome == ReceiveOutcome::kDatagram) {
      HandleDatagram(std::string(buffer.data(), length), senderAddress, senderPort, feedback);
    } else if (outcome == ReceiveOutcome::kRefused && feedback) {
      FeedbackRefused(senderAddress, senderPort, MonotonicMilliseconds());
    }
    if (feedback) ServeFeedback(MonotonicMilliseconds());
  }

  if (feedback) StopFeedback();
  CloseDatagramSocket(socket);
  if (ProjectorLinkIsOpen()) CloseProjectorLink();
  if (ShowSessionStarted()) {
    AddLogLine(kShowStoppingLine);
    EndShowSession();
    AddLogLine("stopped");
  }
  stopRequested = 0;
  UninitialiseThreadAutomation();
  serverThreadEnded = true;
}
