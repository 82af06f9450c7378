#include "server/wake_socket.h"

#include <cstring>

namespace {

uint32_t LoopbackAddress() {
  const unsigned char bytes[4] = {127, 0, 0, 1};
  uint32_t address;
  std::memcpy(&address, bytes, sizeof address);
  return address;
}

}  // namespace

SocketHandle OpenWake(WakeRecord& wake) {
  SocketHandle socket = OpenDatagramSocketOn(LoopbackAddress(), 0);
  std::lock_guard<std::mutex> guard(wake.lock);
  wake.socket = socket;
  wake.port = socket == kNoSocket ? 0 : BoundPort(socket);
  return socket;
}

void Wake(WakeRecord& wake) {
  if (wake.pending.exchange(true)) return;  // a wake is on its way already
  std::lock_guard<std::mutex> guard(wake.lock);
  if (wake.socket != kNoSocket) SendDatagramFrom(wake.socket, LoopbackAddress(), wake.port, "w");
}

void TakeWakes(WakeRecord& wake) {
  SocketHandle socket;
  {
    std::lock_guard<std::mutex> guard(wake.lock);
    socket = wake.socket;
  }
  // Cleared first: a wake asked for from now on sends a datagram of its own.
  wake.pending = false;
  if (socket == kNoSocket) return;
  char datagram[16];
  size_t length = 0;
  uint32_t address = 0;
  uint16_t port = 0;
  while (ReceiveDatagram(socket, 0, datagram, sizeof datagram, &length, &address, &port) ==
         ReceiveOutcome::kDatagram) {
  }
}

void CloseWake(WakeRecord& wake) {
  SocketHandle socket;
  {
    std::lock_guard<std::mutex> guard(wake.lock);
    socket = wake.socket;
    wake.socket = kNoSocket;
  }
  if (socket != kNoSocket) CloseDatagramSocket(socket);
}
