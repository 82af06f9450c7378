#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/sockets.h"
#include "platform/timing.h"

namespace {

bool StartWinsock() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 0), &data) == 0;
}

// True when `address` is one of this computer's: Windows takes every address
// of 127.0.0.0/8 as its own, the others must be an interface's. Asked before
// the bind, because Wine's bind accepts any address and then listens on every
// interface instead.
bool IsOwnAddress(SOCKET s, uint32_t address) {
  if ((ntohl(address) >> 24) == 127) return true;
  std::vector<char> buffer(4096);
  DWORD bytes = 0;
  while (WSAIoctl(s, SIO_ADDRESS_LIST_QUERY, nullptr, 0, buffer.data(),
                  static_cast<DWORD>(buffer.size()), &bytes, nullptr, nullptr) != 0) {
    if (WSAGetLastError() != WSAEFAULT || bytes <= buffer.size() || bytes > (1u << 20)) {
      return false;
    }
    buffer.resize(bytes);
  }
  const SOCKET_ADDRESS_LIST* list = reinterpret_cast<const SOCKET_ADDRESS_LIST*>(buffer.data());
  for (INT i = 0; i < list->iAddressCount; ++i) {
    const SOCKET_ADDRESS& entry = list->Address[i];
    if (entry.lpSockaddr == nullptr || entry.lpSockaddr->sa_family != AF_INET) continue;
    if (reinterpret_cast<const sockaddr_in*>(entry.lpSockaddr)->sin_addr.s_addr == address) {
      return true;
    }
  }
  return false;
}

}  // namespace

uint32_t LookUpLocalAddress() {
  if (!StartWinsock()) return 0;
  uint32_t address = 0;
  hostent* host = gethostbyname(nullptr);
  if (host != nullptr && host->h_addrtype == AF_INET && host->h_addr_list[0] != nullptr) {
    std::memcpy(&address, host->h_addr_list[0], sizeof address);
  }
  WSACleanup();
  return address;
}

SocketHandle OpenDatagramSocket(int port) { return OpenDatagramSocketOn(htonl(INADDR_ANY), port); }

SocketHandle OpenDatagramSocketOn(uint32_t bindAddress, int port) {
  if (port < 0 || port > 65535) return kNoSocket;
  if (!StartWinsock()) return kNoSocket;
  SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
  if (s == INVALID_SOCKET) {
    WSACleanup();
    return kNoSocket;
  }
  // Started programs must not inherit the socket.
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = bindAddress;
  address.sin_port = htons(static_cast<u_short>(port));
  BOOL on = TRUE;
  if ((bindAddress != htonl(INADDR_ANY) && !IsOwnAddress(s, bindAddress)) ||
      bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      setsockopt(s, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on) != 0) {
    closesocket(s);
    WSACleanup();
    return kNoSocket;
  }
  int bufferBytes = kCommandReceiveBufferBytes;  // a refusal keeps the default
  setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bufferBytes),
             sizeof bufferBytes);
  return static_cast<SocketHandle>(s);
}

ReceiveOutcome ReceiveDatagram(SocketHandle socket, uint32_t waitMilliseconds, char* buffer,
                               size_t capacity, size_t* length, uint32_t* senderAddress,
                               uint16_t* senderPort, uint64_t* arrivedAt) {
  SOCKET s = static_cast<SOCKET>(socket);
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(s, &readable);
  timeval wait{static_cast<long>(waitMilliseconds / 1000),
               static_cast<long>(waitMilliseconds % 1000) * 1000};
  int ready = select(0, &readable, nullptr, nullptr, &wait);
  if (ready == 0) return ReceiveOutcome::kTimedOut;
  if (ready < 0) return ReceiveOutcome::kFailed;
  sockaddr_in sender{};
  int senderLength = sizeof sender;
  int n = recvfrom(s, buffer, static_cast<int>(capacity), 0, reinterpret_cast<sockaddr*>(&sender),
                   &senderLength);
  if (n < 0 && WSAGetLastError() == WSAECONNRESET) {
    // A datagram sent from this socket was refused; the waiting ones stay.
    bool named = senderLength >= static_cast<int>(sizeof sender) && sender.sin_family == AF_INET;
    *senderAddress = named ? sender.sin_addr.s_addr : 0;
    *senderPort = named ? ntohs(sender.sin_port) : 0;
    return ReceiveOutcome::kRefused;
  }
  if (n < 0) return ReceiveOutcome::kFailed;
  *length = static_cast<size_t>(n);
  *senderAddress = sender.sin_addr.s_addr;
  *senderPort = ntohs(sender.sin_port);
  if (arrivedAt != nullptr) *arrivedAt = ArrivalClockNow();
  return ReceiveOutcome::kDatagram;
}

bool StampArrivals(SocketHandle) { return false; }

size_t WaitForSockets(const SocketHandle* sockets, size_t count, size_t first,
                      uint32_t waitMilliseconds, bool* ready) {
  if (count == 0 || count > FD_SETSIZE) return count;
  fd_set readable;
  FD_ZERO(&readable);
  for (size_t i = 0; i < count; ++i) FD_SET(static_cast<SOCKET>(sockets[i]), &readable);
  timeval wait{static_cast<long>(waitMilliseconds / 1000),
               static_cast<long>(waitMilliseconds % 1000) * 1000};
  const int found = select(0, &readable, nullptr, nullptr, &wait);
  if (ready != nullptr) {
    for (size_t i = 0; i < count; ++i) {
      ready[i] = found > 0 && FD_ISSET(static_cast<SOCKET>(sockets[i]), &readable);
    }
  }
  if (found <= 0) return count;
  for (size_t turn = 0; turn < count; ++turn) {
    size_t i = (first + turn) % count;
    if (FD_ISSET(static_cast<SOCKET>(sockets[i]), &readable)) return i;
  }
  return count;
}

uint16_t BoundPort(SocketHandle socket) {
  sockaddr_in address{};
  int length = sizeof address;
  if (getsockname(static_cast<SOCKET>(socket), reinterpret_cast<sockaddr*>(&address), &length) !=
      0) {
    return 0;
  }
  return ntohs(address.sin_port);
}

void CloseDatagramSocket(SocketHandle socket) {
  if (socket == kNoSocket) return;
  closesocket(static_cast<SOCKET>(socket));
  WSACleanup();
}

void PrepareListeningSocket(SocketHandle socket) {
  BOOL on = TRUE;
  setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
             reinterpret_cast<const char*>(&on), sizeof on);
}

// Windows reports refusals by itself (see sockets.h).
void ReportRefusals(SocketHandle) {}

bool SendDatagramFrom(SocketHandle socket, uint32_t address, uint16_t port,
                      const std::string& payload) {
  sockaddr_in destination{};
  destination.sin_family = AF_INET;
  destination.sin_addr.s_addr = address;
  destination.sin_port = htons(port);
  return sendto(static_cast<SOCKET>(socket), payload.data(), static_cast<int>(payload.size()), 0,
                reinterpret_cast<sockaddr*>(&destination),
                sizeof destination) == static_cast<int>(payload.size());
}

bool SendDatagramTo(const std::string& host, int port, const std::string& payload,
                    std::string* error) {
  if (port < 1 || port > 65535) {
    *error = "port out of range";
    return false;
  }
  if (!StartWinsock()) {
    *error = "Windows Sockets cannot start";
    return false;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* answer = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &answer) != 0 ||
      answer == nullptr) {
    *error = "cannot resolve " + host;
    WSACleanup();
    return false;
  }
  SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
  BOOL on = TRUE;
  bool sent =
      s != INVALID_SOCKET &&
      setsockopt(s, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on) == 0 &&
      sendto(s, payload.data(), static_cast<int>(payload.size()), 0, answer->ai_addr,
             static_cast<int>(answer->ai_addrlen)) == static_cast<int>(payload.size());
  if (!sent) *error = "send failed, error " + std::to_string(WSAGetLastError());
  if (s != INVALID_SOCKET) closesocket(s);
  freeaddrinfo(answer);
  WSACleanup();
  return sent;
}
