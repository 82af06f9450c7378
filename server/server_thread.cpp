#include "server/server_thread.h"

#include <condition_variable>
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
#include "server/arrival.h"
#include "server/datagram_door.h"
#include "server/feedback.h"
#include "server/osc_channel.h"
#include "server/osc_door.h"
#include "server/sender_check.h"
#include "server/server_mailbox.h"
#include "server/show_watch.h"
#include "server/state_channels.h"

std::atomic<int32_t> stopRequested{0};
std::atomic<bool> serverThreadEnded{false};
std::atomic<bool> serverOpenFailed{false};

namespace {

constexpr uint32_t kReceiveWaitMilliseconds = 1000;
constexpr size_t kReceiveBufferSize = 65536;

// The start-up handshake of the main thread, the server thread and the
// front doors' threads: one-shot signals under one lock.
struct StartUpRecord {
  bool mainWindowInitialised = false;  // by the main thread
  bool startingLineWritten = false;    // by the server thread
  bool startUpLinesWritten = false;    // by the server thread
};
std::mutex startUpLock;
std::condition_variable startUpChanged;
StartUpRecord lockedStartUp;

void WaitFor(const bool& flag) {
  std::unique_lock<std::mutex> lock(startUpLock);
  startUpChanged.wait(lock, [&flag] { return flag; });
}

void Signal(bool& flag) {
  {
    std::lock_guard<std::mutex> guard(startUpLock);
    flag = true;
  }
  startUpChanged.notify_all();
}

// A door's socket, and the one datagram of it that waits to be carried out.
// With several doors, each door's next datagram is received before any is
// carried out, so that the one that arrived first goes first.
struct DoorSocket {
  Door door = Door::kDatagram;
  SocketHandle socket = kNoSocket;
  std::vector<char> buffer = std::vector<char>(kReceiveBufferSize);
  bool held = false;
  size_t length = 0;
  uint32_t senderAddress = 0;
  uint16_t senderPort = 0;
  uint64_t arrivedAt = 0;
  TimeOfDay time{};
};

// Receives what waits at the door's socket (waiting up to `wait`): a datagram
// is held; the refusal of one that the socket sent goes to its channel.
void ReceiveAt(DoorSocket& door, uint32_t wait, bool stamped) {
  const ReceiveOutcome outcome =
      ReceiveDatagram(door.socket, wait, door.buffer.data(), door.buffer.size(), &door.length,
                      &door.senderAddress, &door.senderPort, stamped ? &door.arrivedAt : nullptr);
  if (outcome == ReceiveOutcome::kDatagram) {
    door.held = true;
    door.time = LocalTimeOfDay();
  } else if (outcome == ReceiveOutcome::kRefused) {
    StateChannelRefused(door.socket, door.senderAddress, door.senderPort, MonotonicMilliseconds());
  }
}

// The held datagram, read by its door and carried out.
void CarryOut(DoorSocket& door) {
  door.held = false;
  const std::string_view payload(door.buffer.data(), door.length);
  if (door.door == Door::kOsc) {
    const CommandOrigin origin{Door::kOsc, door.senderAddress, door.senderPort, std::string()};
    for (Arrival& arrival : ReadOscDatagram(payload, origin, door.time, door.arrivedAt)) {
      Arrive(std::move(arrival));
    }
    return;
  }
  Arrive(DatagramArrival(payload, door.senderAddress, door.senderPort, door.time, door.arrivedAt));
}

// Every door's next datagram (for each door that holds none), and the wakes
// of the mailbox, from one wait of up to `wait`.
void ReceiveAtEveryDoor(std::vector<DoorSocket>& doors, SocketHandle wakeSocket, uint32_t wait,
                        size_t& turn) {
  constexpr size_t kAtMost = 4;  // the doors' sockets and the wake socket
  SocketHandle sockets[kAtMost];
  DoorSocket* door[kAtMost];
  size_t count = 0;
  for (DoorSocket& each : doors) {
    if (!each.held && count < kAtMost) {
      door[count] = &each;
      sockets[count++] = each.socket;
    }
  }
  if (wakeSocket != kNoSocket && count < kAtMost) {
    door[count] = nullptr;
    sockets[count++] = wakeSocket;
  }
  if (count == 0) return;
  bool ready[kAtMost] = {};
  const size_t first = WaitForSockets(sockets, count, turn % count, wait, ready);
  if (first >= count) return;
  turn = first + 1;
  for (size_t i = 0; i < count; ++i) {
    if (!ready[i]) continue;
    if (door[i] == nullptr) {
      TakeMailboxWakes();
    } else {
      ReceiveAt(*door[i], 0, true);
    }
  }
}

// Carries out what arrived first: a held datagram or a posted arrival. False
// when nothing waited.
bool CarryOutTheOldest(std::vector<DoorSocket>& doors, bool mailbox) {
  DoorSocket* oldest = nullptr;
  for (DoorSocket& door : doors) {
    if (door.held && (oldest == nullptr || door.arrivedAt < oldest->arrivedAt)) oldest = &door;
  }
  if (mailbox) {
    std::optional<uint64_t> posted = OldestPostedArrival();
    if (posted && (oldest == nullptr || *posted < oldest->arrivedAt)) {
      if (std::optional<Arrival> arrival = TakePostedArrival()) Arrive(std::move(*arrival));
      return true;
    }
  }
  if (oldest == nullptr) return false;
  CarryOut(*oldest);
  return true;
}

bool AnyHeld(const std::vector<DoorSocket>& doors) {
  for (const DoorSocket& door : doors) {
    if (door.held) return true;
  }
  return false;
}

}  // namespace

bool WaitForStartUpLines() {
  WaitFor(lockedStartUp.startUpLinesWritten);
  return !serverOpenFailed;
}

void WaitForStartingLine() { WaitFor(lockedStartUp.startingLineWritten); }

void SignalMainWindowInitialised() { Signal(lockedStartUp.mainWindowInitialised); }

void ResetServerThreadForTesting() {
  std::lock_guard<std::mutex> guard(startUpLock);
  lockedStartUp = StartUpRecord{};
  serverThreadEnded = false;
  serverOpenFailed = false;
  stopRequested = 0;
  ForgetRefusalsForTesting();
}

void ServerThread() {
  InitialiseThreadAutomation();
  AddLogLine("Starting Podiant Server.");
  Signal(lockedStartUp.startingLineWritten);
  WaitFor(lockedStartUp.mainWindowInitialised);
  const int32_t port = Settings.serverPort;
  const bool projectorConfigured = !Settings.projectorPort.empty();

  uint32_t localAddress = 0;
  SocketHandle socket = OpenCommandSocket(&localAddress);
  if (socket == kNoSocket) {
    serverOpenFailed = true;
    SoundFailureBeep();
    RequestMainWindowClose();
    UninitialiseThreadAutomation();
    Signal(lockedStartUp.startUpLinesWritten);
    serverThreadEnded = true;
    return;
  }
  // The feedback's status lines begin with the "Listening at" line.
  if (FeedbackConfigured()) AddStateChannel(FeedbackChannel(socket), MonotonicMilliseconds());
  AddLogLine("Listening at " + FormatIpAddress(localAddress) + ":" + std::to_string(port) + "...");
  if (Settings.allowedSenders) {
    AddLogLine("Accepting commands from " + FormatAllowList(*Settings.allowedSenders));
  }
  if (Settings.allowedCommands) {
    AddLogLine("Commands allowed: " + FormatCommandList(*Settings.allowedCommands));
  }
  if (Settings.feedback) AddLogLine(FeedbackStartLine());
  // The further doors: OSC on the same address, and the mailbox of the front
  // doors on other threads.
  std::vector<DoorSocket> doors(1);
  doors[0].door = Door::kDatagram;
  doors[0].socket = socket;
  const uint32_t listenAddress =
      Settings.listenAddress ? Settings.listenAddress->address.value_or(0) : 0;
  SocketHandle oscSocket = Settings.osc ? OpenOscDoor(listenAddress, localAddress) : kNoSocket;
  if (oscSocket != kNoSocket) {
    if (OscSendsState()) AddStateChannel(OscChannel(oscSocket), MonotonicMilliseconds());
    AddLogLine(OscDoorStartLine(localAddress));
    if (OscSendsState()) AddLogLine(OscChannelStartLine());
    doors.emplace_back();
    doors.back().door = Door::kOsc;
    doors.back().socket = oscSocket;
  }
  // Without its wake socket the mailbox is looked at at the end of each wait.
  const bool mailbox = PostedArrivalsExpected();
  SocketHandle wakeSocket = mailbox ? OpenMailbox() : kNoSocket;
  if (mailbox && wakeSocket == kNoSocket) {
    AddLogLine("ERROR: cannot open the wake socket of the web remote");
  }
  StartShowWatch();
  if (projectorConfigured) OpenProjectorLink();
  Signal(lockedStartUp.startUpLinesWritten);

  // With the command socket alone the loop is as it always was; with several
  // sources the system stamps each datagram's arrival, where it can.
  const bool single = doors.size() == 1 && !mailbox;
  if (!single) {
    for (DoorSocket& door : doors) StampArrivals(door.socket);
  }
  const bool following = StateChannelsFollowShow();
  size_t turn = 0;
  for (;;) {
    // While the show is followed the wait is shorter, so that its changes and
    // the heartbeats go out on time; work that waits (a held datagram, a
    // posted command, a slide picture) makes it none.
    uint32_t wait =
        following ? ShowWatchReceiveWait(MonotonicMilliseconds()) : kReceiveWaitMilliseconds;
    if (AnyHeld(doors) || (mailbox && (OldestPostedArrival() || SlideImagesWaiting()))) wait = 0;
    if (single) {
      ReceiveAt(doors[0], wait, false);
    } else {
      ReceiveAtEveryDoor(doors, wakeSocket, wait, turn);
    }
    // A datagram of the attempt during which the stop was asked for is dropped.
    if (stopRequested != 0) break;
    // One command at a time; a slide picture is made only in a pass that
    // carried out none, one at a time.
    if (!CarryOutTheOldest(doors, mailbox) && mailbox && SlideImagesWaiting()) {
      ExportWaitingSlideImage();
    }
    if (following) ServeShowWatch(MonotonicMilliseconds());
  }

  if (mailbox) {
    // What still waits is answered: the server is stopping.
    CloseMailbox();
    ChangeSlideImageSource(0, std::string());
  }
  StopStateChannels();
  if (oscSocket != kNoSocket) CloseDatagramSocket(oscSocket);
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
