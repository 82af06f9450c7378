#include "server/osc_door.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>
#include <vector>

#include "common/status_log.h"
#include "common/utf8_text.h"
#include "config/access_lists.h"
#include "config/settings.h"
#include "osc/osc_commands.h"
#include "osc/osc_packet.h"
#include "platform/code_page.h"
#include "platform/timing.h"
#include "server/dispatch.h"
#include "server/feedback.h"
#include "server/log_relay.h"
#include "server/sender_check.h"
#include "server/server_thread.h"
#include "server/show_changes.h"

namespace {

// The largest payload of a UDP datagram over IPv4: a longer string is cut.
constexpr size_t kDatagramBytesAtMost = 65507;

struct OscRecord {
  SocketHandle socket = kNoSocket;
  bool sending = false;  // to= names somebody
  ShowStatus sent;       // what the destinations were told last
  uint64_t heartbeatAt = 0;
  DestinationRefusals refusals;
  SenderReports badPacketReports;
};

// Used on the server thread only.
OscRecord Osc;

const OscSettings& OscSetup() { return *Settings.osc; }

void SendToAll(const OscMessage& message) {
  const std::string packet = WriteOscMessage(message);
  for (const FeedbackDestination& destination : OscSetup().destinations) {
    SendDatagramFrom(Osc.socket, destination.address, destination.port, packet);
  }
}

void SendNumber(const char* address, int32_t value) { SendToAll({address, {OscInt(value)}}); }

// A string (UTF-8) cut at a whole character so that its message fits in one
// datagram.
void SendString(const char* address, const std::string& utf8) {
  OscMessage message{address, {OscString(utf8)}};
  const size_t others = WriteOscMessage({address, {OscString("")}}).size() - 4;
  const size_t room = ((kDatagramBytesAtMost - others) & ~static_cast<size_t>(3)) - 1;
  std::string& text = message.arguments[0].bytes;
  text.resize(Utf8PrefixLength(text, room));
  SendToAll(message);
}

void SendItem(StatusItem item, const ShowStatus& status) {
  const SlideDetails& details = status.details;
  switch (item) {
    case StatusItem::kFile:
      SendString("/podiant/file", Utf8FromCodePage(status.fileName));
      break;
    case StatusItem::kState:
      SendString("/podiant/state", ShowStateWord(status.state));
      break;
    case StatusItem::kSlide:
      SendNumber("/podiant/slide", status.slide);
      SendNumber("/podiant/slides", status.slideCount);
      break;
    case StatusItem::kTitle:
      SendString("/podiant/title", details.title);
      break;
    case StatusItem::kBuild:
      SendNumber("/podiant/build", details.buildPosition);
      SendNumber("/podiant/builds", details.buildCount);
      break;
    case StatusItem::kNextSlide:
      SendNumber("/podiant/nextslide", details.nextSlide);
      break;
    case StatusItem::kNotes:
      SendString("/podiant/notes", details.notes);
      break;
  }
}

StatusItemChoice OscChoice() { return StatusItemChoice{true, OscSetup().notes}; }

void SendItems(const std::vector<StatusItem>& items, const ShowStatus& status) {
  for (StatusItem item : items) SendItem(item, status);
  Osc.sent = status;
}

void SendWaitingLines() {
  for (const std::string& line : TakeRelayedLines(LogChannel::kOsc)) {
    SendString("/podiant/log", Utf8FromCodePage(line));
  }
}

bool HeartbeatDue(uint64_t now) {
  return Osc.sending && OscSetup().intervalSeconds > 0 && now >= Osc.heartbeatAt;
}

std::string SenderText(uint32_t address, uint16_t port) {
  return FormatFeedbackDestination({address, port});
}

// "O 192.168.1.7:53000 14:03:07 -> /podiant/goto 5"
std::string ReceivedLine(const std::string& sender, const TimeOfDay& time,
                         const OscMessage& message) {
  return FormatArrivalLine("O " + sender, time, FormatOscMessage(message));
}

// One message: logged, then carried out or answered with its error line. A
// message that is another server's feedback is logged only, and neither its
// line nor what it causes is sent on (the loop guard); nor is any O line.
void HandleOscMessage(const OscMessage& message, const std::string& sender, const TimeOfDay& time) {
  const OscCommand command = CommandFromOscMessage(message);
  const bool feedback =
      command.request == OscRequest::kFeedback ||
      (command.request == OscRequest::kCommand && IsFeedbackDatagram(command.commandText));
  MuteFeedbackLog(true);
  AddLogLine(ReceivedLine(sender, time, message));
  MuteFeedbackLog(feedback);
  switch (command.request) {
    case OscRequest::kCommand:
      DispatchCommand(command.commandText);
      break;
    case OscRequest::kUnknownAddress:
      AddLogLine("ERR: unknown OSC address \"" + ShownOscAddress(message) + "\"");
      break;
    case OscRequest::kBadArguments:
      AddLogLine("ERR: bad OSC arguments \"" + ShownOscAddress(message) + "\"");
      break;
    case OscRequest::kReleased:
    case OscRequest::kFeedback:
      break;
  }
  MuteFeedbackLog(false);
}

}  // namespace

SocketHandle StartOsc(uint32_t listenAddress, uint32_t shownAddress, uint64_t nowMilliseconds) {
  Osc = OscRecord{};
  const OscSettings& setup = OscSetup();
  const std::string where = SenderText(shownAddress, static_cast<uint16_t>(setup.port));
  SocketHandle socket = listenAddress == 0 ? OpenDatagramSocket(setup.port)
                                           : OpenDatagramSocketOn(listenAddress, setup.port);
  if (socket == kNoSocket) {
    AddLogLine("ERROR: cannot open OSC at " + where);
    return kNoSocket;
  }
  Osc.socket = socket;
  Osc.sending = !setup.destinations.empty();
  Osc.heartbeatAt = nowMilliseconds;
  if (Osc.sending) {
    ReportRefusals(socket);
    if (setup.log) RelayLogLines(LogChannel::kOsc, true);
  }
  AddLogLine("OSC at " + where);
  if (Osc.sending) AddLogLine("Sending OSC to " + FormatFeedbackList(setup.destinations));
  return socket;
}

void HandleOscPacket(const char* data, size_t length, uint32_t senderAddress, uint16_t senderPort) {
  const uint64_t now = MonotonicMilliseconds();
  if (!AcceptSender(senderAddress, senderPort, now)) return;
  std::vector<OscMessage> messages;
  const std::string sender = SenderText(senderAddress, senderPort);
  if (!ReadOscPacket(std::string_view(data, length), &messages)) {
    if (SenderReportDue(Osc.badPacketReports, senderAddress, now)) {
      AddLogLine("ERR: bad OSC packet from " + sender);
    }
    return;
  }
  const TimeOfDay time = LocalTimeOfDay();
  for (const OscMessage& message : messages) HandleOscMessage(message, sender, time);
}

void OscRefused(uint32_t address, uint16_t port, uint64_t nowMilliseconds) {
  if (!Osc.sending) return;
  if (const FeedbackDestination* refused =
          RefusalToReport(Osc.refusals, OscSetup().destinations, address, port, nowMilliseconds)) {
    AddLogLine("OSC to " + FormatFeedbackDestination(*refused) + " refused");
  }
}

bool OscSendsState() { return Osc.sending; }

uint64_t OscDueAt() {
  return Osc.sending && OscSetup().intervalSeconds > 0 ? Osc.heartbeatAt
                                                       : std::numeric_limits<uint64_t>::max();
}

bool OscHeartbeatDue(uint64_t nowMilliseconds) { return HeartbeatDue(nowMilliseconds); }

void ServeOsc(uint64_t nowMilliseconds, const ShowStatus& status) {
  if (!Osc.sending) return;
  SendWaitingLines();
  if (HeartbeatDue(nowMilliseconds)) {
    SendItems(StatusSnapshotItems(status, OscChoice()), status);
    Osc.heartbeatAt = nowMilliseconds + static_cast<uint64_t>(OscSetup().intervalSeconds) * 1000;
    return;
  }
  SendItems(StatusChangeItems(Osc.sent, status, OscChoice()), status);
}

void SendOscSnapshot(const ShowStatus& status) {
  if (Osc.sending) SendItems(StatusSnapshotItems(status, OscChoice()), status);
}

void StopOsc() {
  if (Osc.sending) {
    RelayLogLines(LogChannel::kOsc, false);
    SendWaitingLines();
  }
  CloseDatagramSocket(Osc.socket);
  Osc.socket = kNoSocket;
}
