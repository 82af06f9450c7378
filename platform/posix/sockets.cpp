#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/sockets.h"

uint32_t LookUpLocalAddress() {
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0) return 0;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* answer = nullptr;
  if (getaddrinfo(host, nullptr, &hints, &answer) != 0) return 0;
  uint32_t address = 0;
  for (addrinfo* a = answer; a != nullptr; a = a->ai_next) {
    if (a->ai_family == AF_INET) {
      address = reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr.s_addr;
      break;
    }
  }
  freeaddrinfo(answer);
  return address;
}

SocketHandle OpenDatagramSocket(int port) {
  if (port < 0 || port > 65535) return kNoSocket;
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return kNoSocket;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(static_cast<uint16_t>(port));
  int on = 1;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
    close(fd);
    return kNoSocket;
  }
  int bufferBytes = kCommandReceiveBufferBytes;  // a refusal keeps the default
  setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
  return fd;
}

ReceiveOutcome ReceiveDatagram(SocketHandle socket, uint32_t waitMilliseconds, char* buffer,
                               size_t capacity, size_t* length, uint32_t* senderAddress,
                               uint16_t* senderPort) {
  int fd = static_cast<int>(socket);
  pollfd wait{fd, POLLIN, 0};
  int ready = poll(&wait, 1, static_cast<int>(waitMilliseconds));
  if (ready == 0) return ReceiveOutcome::kTimedOut;
  if (ready < 0) return ReceiveOutcome::kFailed;
  sockaddr_in sender{};
  socklen_t senderLength = sizeof sender;
  ssize_t n = recvfrom(fd, buffer, capacity, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&sender),
                       &senderLength);
  if (n < 0) return ReceiveOutcome::kFailed;
  *length = static_cast<size_t>(n);
  *senderAddress = sender.sin_addr.s_addr;
  *senderPort = ntohs(sender.sin_port);
  return ReceiveOutcome::kDatagram;
}

void CloseDatagramSocket(SocketHandle socket) {
  if (socket != kNoSocket) close(static_cast<int>(socket));
}

bool SendDatagramTo(const std::string& host, int port, const std::string& payload,
                    std::string* error) {
  if (port < 1 || port > 65535) {
    *error = "port out of range";
    return false;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* answer = nullptr;
  int lookup = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &answer);
  if (lookup != 0 || answer == nullptr) {
    *error = std::string("cannot resolve ") + host + ": " + gai_strerror(lookup);
    return false;
  }
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  int on = 1;
  bool sent = fd >= 0 && setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) == 0 &&
              sendto(fd, payload.data(), payload.size(), 0, answer->ai_addr, answer->ai_addrlen) ==
                  static_cast<ssize_t>(payload.size());
  if (!sent) *error = std::strerror(errno);
  if (fd >= 0) close(fd);
  freeaddrinfo(answer);
  return sent;
}
