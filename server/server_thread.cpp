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
  AddLogLine("Listening at " + FormatIpAddress(localAddress) + ":" + std::to_string(port) + "...");
  if (Settings.allowedSenders) {
    AddLogLine("Accepting commands from " + FormatAllowList(*Settings.allowedSenders));
  }
  if (Settings.allowedCommands) {
    AddLogLine("Commands allowed: " + FormatCommandList(*Settings.allowedCommands));
  }
  if (projectorConfigured) OpenProjectorLink();

  std::vector<char> buffer(kReceiveBufferSize);
  for (;;) {
    size_t length = 0;
    uint32_t senderAddress = 0;
    uint16_t senderPort = 0;
    ReceiveOutcome outcome = ReceiveDatagram(socket, kReceiveWaitMilliseconds, buffer.data(),
                                             buffer.size(), &length, &senderAddress, &senderPort);
    // A datagram of the attempt during which the stop was asked for is dropped.
    if (stopRequested != 0) break;
    if (outcome != ReceiveOutcome::kDatagram) continue;
    if (!AcceptSender(senderAddress, senderPort, MonotonicMilliseconds())) continue;
    std::string payload(buffer.data(), length);
    TimeOfDay now = LocalTimeOfDay();
    AddLogLine(
        FormatReceivedLine(senderAddress, senderPort, now.hour, now.minute, now.second, payload));
    DispatchCommand(payload);
  }

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
