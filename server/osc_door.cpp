#include "server/osc_door.h"

#include "common/status_log.h"
#include "config/access_lists.h"
#include "config/settings.h"
#include "osc/osc_commands.h"
#include "osc/osc_packet.h"
#include "server/sender_check.h"

namespace {

SenderReports serverThreadBadPacketReports;
SenderReports serverThreadLongPacketReports;

std::string Where(uint32_t address) {
  return FormatFeedbackDestination({address, static_cast<uint16_t>(Settings.osc->port)});
}

Arrival MessageArrival(const OscMessage& message, const CommandOrigin& origin,
                       const TimeOfDay& time, uint64_t arrivedAt) {
  OscCommand read = CommandFromOscMessage(message);
  Arrival arrival;
  arrival.origin = origin;
  arrival.time = time;
  arrival.arrivedAt = arrivedAt;
  arrival.shown = FormatOscMessage(message);
  arrival.feedback = read.feedback;
  switch (read.request) {
    case OscRequest::kCommand:
      arrival.command = std::move(read.command);
      break;
    case OscRequest::kUnknownAddress:
      arrival.doorLine = "ERR: unknown OSC address \"" + ShownOscAddress(message) + "\"";
      break;
    case OscRequest::kBadArguments:
      arrival.doorLine = "ERR: bad OSC arguments \"" + ShownOscAddress(message) + "\"";
      break;
    case OscRequest::kReleased:
    case OscRequest::kFeedback:
      break;
  }
  return arrival;
}

}  // namespace

SocketHandle OpenOscDoor(uint32_t listenAddress, uint32_t shownAddress) {
  serverThreadBadPacketReports.fill(SenderReport{});
  serverThreadLongPacketReports.fill(SenderReport{});
  const int port = Settings.osc->port;
  SocketHandle socket =
      listenAddress == 0 ? OpenDatagramSocket(port) : OpenDatagramSocketOn(listenAddress, port);
  if (socket == kNoSocket) AddLogLine("ERROR: cannot open OSC at " + Where(shownAddress));
  return socket;
}

std::string OscDoorStartLine(uint32_t shownAddress) { return "OSC at " + Where(shownAddress); }

std::vector<Arrival> ReadOscDatagram(std::string_view packet, const CommandOrigin& origin,
                                     const TimeOfDay& time, uint64_t arrivedAt) {
  std::vector<Arrival> arrivals;
  const uint64_t now = MonotonicMilliseconds();
  if (!AdmitSender(origin, now)) return arrivals;
  std::vector<OscMessage> messages;
  if (!ReadOscPacket(packet, &messages)) {
    if (SenderReportDue(serverThreadBadPacketReports, origin.address, now)) {
      AddLogLine("ERR: bad OSC packet from " +
                 FormatFeedbackDestination({origin.address, origin.port}));
    }
    return arrivals;
  }
  if (messages.size() > kOscMessagesPerPacketAtMost) {
    if (SenderReportDue(serverThreadLongPacketReports, origin.address, now)) {
      AddLogLine("ERR: OSC packet from " +
                 FormatFeedbackDestination({origin.address, origin.port}) + " holds " +
                 std::to_string(messages.size()) + " messages: the first " +
                 std::to_string(kOscMessagesPerPacketAtMost) + " are taken");
    }
    messages.resize(kOscMessagesPerPacketAtMost);
  }
  for (const OscMessage& message : messages) {
    arrivals.push_back(MessageArrival(message, origin, time, arrivedAt));
  }
  return arrivals;
}
