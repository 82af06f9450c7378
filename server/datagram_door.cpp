#include "server/datagram_door.h"

#include "common/status_log.h"
#include "config/access_lists.h"
#include "config/settings.h"
#include "osc/osc_commands.h"

SocketHandle OpenCommandSocket(uint32_t* shownAddress) {
  const int32_t port = Settings.serverPort;
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

Arrival DatagramArrival(std::string_view payload, uint32_t senderAddress, uint16_t senderPort,
                        const TimeOfDay& time, uint64_t arrivedAt) {
  Arrival arrival;
  arrival.origin = CommandOrigin{Door::kDatagram, senderAddress, senderPort, std::string()};
  arrival.time = time;
  arrival.arrivedAt = arrivedAt;
  arrival.shown.reserve(payload.size() + 2);
  arrival.shown += '"';
  arrival.shown += payload;
  arrival.shown += '"';
  arrival.command = ReadCommandText(payload, &arrival.feedback);
  // OSC out's packets too: an [osc] to= that names this port is no loop.
  if (!arrival.feedback) arrival.feedback = IsOscFeedbackPacket(payload);
  return arrival;
}
