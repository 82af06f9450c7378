#include "server/server_thread.h"

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

#include "common/status_log.h"
#include "config/access_lists.h"
#include "config/settings.h"
#include "platform/automation.h"
#include "platform/main_window.h"
#include "platform/sockets.h"
#include "platform/timing.h"
#include "presentation/slide_images.h"
#include "presentation/slide_show_back_end.h"
#include "projector/projector_link.h"
#include "server/command_inbox.h"
#include "server/dispatch.h"
#include "server/feedback.h"
#include "server/log_relay.h"
#include "server/osc_door.h"
#include "server/sender_check.h"
#include "server/show_watch.h"

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
bool startUpLinesWritten = false;

void WaitForMainWindowInitialised() {
  std::unique_lock<std::mutex> lock(initialisedLock);
  initialisedChanged.wait(lock, [] { return mainWindowInitialised; });
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
// off the LOG feedback (and OSC's), and so does every line a feedback
// datagram causes (a peer server's status or LOG lines).
void HandleDatagram(const std::string& payload, uint32_t senderAddress, uint16_t senderPort,
                    bool sendingLines) {
  const bool feedbackDatagram = sendingLines && IsFeedbackDatagram(payload);
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

void SignalStartUpLinesWritten() {
  {
    std::lock_guard<std::mutex> guard(initialisedLock);
    startUpLinesWritten = true;
  }
  initialisedChanged.notify_all();
}

// The wake of the front doors on other threads: a datagram to a socket of the
// server thread's own on the loopback address, which ends its wait at once.
// Its content means nothing; what waits is in the inbox and the slide
// pictures' queue, looked at after every wait.
std::mutex wakeLock;
SocketHandle wakeSocketOpen = kNoSocket;
uint16_t wakePort = 0;
std::atomic<bool> wakePending{false};

uint32_t LoopbackAddress() {
  const unsigned char bytes[4] = {127, 0, 0, 1};
  uint32_t address;
  std::memcpy(&address, bytes, sizeof address);
  return address;
}

void WakeServerThread() {
  if (wakePending.exchange(true)) return;  // a wake is on its way already
  std::lock_guard<std::mutex> guard(wakeLock);
  if (wakeSocketOpen != kNoSocket) {
    SendDatagramFrom(wakeSocketOpen, LoopbackAddress(), wakePort, "w");
  }
}

SocketHandle OpenWakeSocket() {
  SocketHandle socket = OpenDatagramSocketOn(LoopbackAddress(), 0);
  if (socket == kNoSocket) return kNoSocket;
  {
    std::lock_guard<std::mutex> guard(wakeLock);
    wakeSocketOpen = socket;
    wakePort = BoundPort(socket);
  }
  ObserveInboxPosts(WakeServerThread);
  ObserveSlideImageRequests(WakeServerThread);
  return socket;
}

void DrainWakeSocket(SocketHandle socket, std::vector<char>& buffer) {
  // Cleared first: a wake asked for from now on sends a datagram of its own.
  wakePending = false;
  size_t length = 0;
  uint32_t address = 0;
  uint16_t port = 0;
  while (ReceiveDatagram(socket, 0, buffer.data(), buffer.size(), &length, &address, &port) ==
         ReceiveOutcome::kDatagram) {
  }
}

void CloseWakeSocket() {
  ObserveInboxPosts(nullptr);
  ObserveSlideImageRequests(nullptr);
  {
    std::lock_guard<std::mutex> guard(wakeLock);
    CloseDatagramSocket(wakeSocketOpen);
    wakeSocketOpen = kNoSocket;
  }
  // What still waits is answered: the server is stopping.
  DropInboxCommands();
  ChangeSlideImageSource(0, std::string());
}

// A command of a front door on another thread: a step sent from a slide and
// build that the show has left since is not carried out; the others are
// logged and dispatched like a datagram.
void HandleInboxCommand(InboxCommand& command) {
  if (command.from) {
    const ShowStatus status = CurrentShowStatus(MonotonicMilliseconds());
    if (status.slide != command.from->slide ||
        status.details.buildPosition != command.from->build) {
      if (command.done) command.done(InboxOutcome::kMovedOn);
      return;
    }
  }
  AddLogLine(command.logLine);
  DispatchCommand(command.commandText);
  if (command.done) command.done(InboxOutcome::kCarriedOut);
}

}  // namespace

bool WaitForStartUpLines() {
  std::unique_lock<std::mutex> lock(initialisedLock);
  initialisedChanged.wait(lock, [] { return startUpLinesWritten; });
  return !serverOpenFailed;
}

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
  startUpLinesWritten = false;
  serverThreadEnded = false;
  serverOpenFailed = false;
  stopRequested = 0;
  ForgetRefusalsForTesting();
}

std::string FormatArrivalLine(const std::string& head, const TimeOfDay& time,
                              const std::string& shown) {
  char clock[16];
  std::snprintf(clock, sizeof clock, "%02d:%02d:%02d", time.hour, time.minute, time.second);
  return head + " " + clock + " -> " + shown;
}

std::string FormatReceivedLine(uint32_t senderAddress, uint16_t senderPort, int hour, int minute,
                               int second, const std::string& payload) {
  return FormatArrivalLine("R " + FormatIpAddress(senderAddress) + ":" + std::to_string(senderPort),
                           TimeOfDay{hour, minute, second}, "\"" + payload + "\"");
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
    SignalStartUpLinesWritten();
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
  // The further doors: OSC on the same address, and the wake of the front
  // doors on other threads.
  const uint32_t listenAddress =
      Settings.listenAddress ? Settings.listenAddress->address.value_or(0) : 0;
  SocketHandle oscSocket =
      Settings.osc ? StartOsc(listenAddress, localAddress, MonotonicMilliseconds()) : kNoSocket;
  const bool osc = oscSocket != kNoSocket;
  // A front door on another thread (the web remote) is served from this loop;
  // without its wake socket it is served at the end of each wait instead.
  const bool frontDoor = ShowStatusObserved();
  SocketHandle wakeSocket = frontDoor ? OpenWakeSocket() : kNoSocket;
  if (frontDoor && wakeSocket == kNoSocket) {
    AddLogLine("ERROR: cannot open the wake socket of the web remote");
  }
  StartShowWatch(feedback, osc && OscSendsState());
  if (projectorConfigured) OpenProjectorLink();
  SignalStartUpLinesWritten();

  std::vector<SocketHandle> sockets{socket};
  if (osc) sockets.push_back(oscSocket);
  if (wakeSocket != kNoSocket) sockets.push_back(wakeSocket);
  const bool following = feedback || osc || frontDoor;
  size_t turn = 0;
  std::vector<char> buffer(kReceiveBufferSize);
  for (;;) {
    size_t length = 0;
    uint32_t senderAddress = 0;
    uint16_t senderPort = 0;
    // While the show is followed the wait is shorter, so that its changes and
    // the heartbeats go out on time; work that waits (a command of a front
    // door, a slide picture) makes it none.
    uint32_t wait =
        following ? ShowWatchReceiveWait(MonotonicMilliseconds()) : kReceiveWaitMilliseconds;
    const bool workWaiting = frontDoor && (InboxCommandWaiting() || SlideImagesWaiting());
    if (workWaiting) wait = 0;
    // With the command socket alone the loop is as it always was.
    SocketHandle from = socket;
    ReceiveOutcome outcome = ReceiveOutcome::kTimedOut;
    if (sockets.size() == 1) {
      outcome = ReceiveDatagram(socket, wait, buffer.data(), buffer.size(), &length, &senderAddress,
                                &senderPort);
    } else {
      size_t ready = WaitForSockets(sockets.data(), sockets.size(), turn, wait);
      if (ready < sockets.size()) {
        from = sockets[ready];
        turn = ready + 1;
        outcome = ReceiveDatagram(from, 0, buffer.data(), buffer.size(), &length, &senderAddress,
                                  &senderPort);
      }
    }
    // A datagram of the attempt during which the stop was asked for is dropped.
    if (stopRequested != 0) break;
    bool commandHandled = false;
    if (wakeSocket != kNoSocket && from == wakeSocket) {
      DrainWakeSocket(wakeSocket, buffer);
    } else if (outcome == ReceiveOutcome::kDatagram && from == oscSocket) {
      HandleOscPacket(buffer.data(), length, senderAddress, senderPort);
      commandHandled = true;
    } else if (outcome == ReceiveOutcome::kDatagram) {
      // The loop guard holds for the lines that OSC sends on too.
      HandleDatagram(std::string(buffer.data(), length), senderAddress, senderPort,
                     feedback || osc);
      commandHandled = true;
    } else if (outcome == ReceiveOutcome::kRefused && from == oscSocket) {
      OscRefused(senderAddress, senderPort, MonotonicMilliseconds());
    } else if (outcome == ReceiveOutcome::kRefused && feedback) {
      FeedbackRefused(senderAddress, senderPort, MonotonicMilliseconds());
    }
    if (frontDoor) {
      // The front doors' commands take turns with the datagrams; a slide
      // picture is made only when no command waited, one at a time.
      if (std::optional<InboxCommand> command = TakeInboxCommand()) {
        HandleInboxCommand(*command);
      } else if (!commandHandled && SlideImagesWaiting()) {
        ExportWaitingSlideImage();
      }
    }
    if (following) ServeShowWatch(MonotonicMilliseconds());
  }

  if (wakeSocket != kNoSocket) CloseWakeSocket();
  if (feedback) StopFeedback();
  if (osc) StopOsc();
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
