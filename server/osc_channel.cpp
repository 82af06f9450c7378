#include "server/osc_channel.h"

#include "common/utf8_text.h"
#include "config/access_lists.h"
#include "config/settings.h"
#include "osc/osc_commands.h"
#include "platform/code_page.h"
#include "server/show_values.h"

namespace {

std::string Address(const char* value) { return std::string(kOscAddressPrefix) + value; }

// A string (UTF-8) cut at a whole character so that its message fits in one
// datagram.
OscMessage Text(const char* value, const std::string& utf8) {
  OscMessage message{Address(value), {OscString(utf8)}};
  const size_t others = WriteOscMessage({message.address, {OscString("")}}).size() - 4;
  const size_t room = ((kDatagramBytesAtMost - others) & ~static_cast<size_t>(3)) - 1;
  std::string& text = message.arguments[0].bytes;
  text.resize(Utf8PrefixLength(text, room));
  return message;
}

void Send(const StateChannel& channel, const std::vector<StatusItem>& items,
          const SharedShowStatus& status) {
  for (const OscMessage& message : OscStatusMessages(items, *status)) {
    SendToDestinations(channel, WriteOscMessage(message));
  }
}

void SendLine(const StateChannel& channel, const std::string& line) {
  SendToDestinations(channel, WriteOscMessage(OscLogMessage(line)));
}

}  // namespace

bool OscSendsState() { return Settings.osc.has_value() && !Settings.osc->destinations.empty(); }

std::string OscChannelStartLine() {
  return "Sending OSC to " + FormatFeedbackList(Settings.osc->destinations);
}

StateChannel OscChannel(SocketHandle socket) {
  StateChannel channel = DatagramChannel("OSC", *Settings.osc, socket);
  // The slide's details go out whenever the state does; the notes with notes=on.
  channel.choice = StatusItemChoice{true, Settings.osc->notes};
  channel.send = Send;
  channel.sendLine = SendLine;
  return channel;
}

std::vector<OscMessage> OscStatusMessages(const std::vector<StatusItem>& items,
                                          const ShowStatus& status) {
  std::vector<OscMessage> messages;
  for (const StatusValue& value : StatusValues(items, status)) {
    messages.push_back(value.isNumber ? OscMessage{Address(value.name), {OscInt(value.number)}}
                                      : Text(value.name, value.text));
  }
  return messages;
}

OscMessage OscLogMessage(const std::string& line) {
  return Text(kLogValue, Utf8FromCodePage(line));
}
