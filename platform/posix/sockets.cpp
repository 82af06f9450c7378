#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/errqueue.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/sockets.h"
#include "platform/timing.h"

namespace {

// The first IPv4 address that the host lookup of the host's own name gives; 0
// for none.
uint32_t HostNameAddress() {
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

bool IsLoopback(uint32_t address) { return (ntohl(address) >> 24) == 127; }

// The interface of the default route of the main routing table (the one of
// lowest metric when there are several), from the kernel's table as text;
// empty when there is none. Read, not asked for with a socket: nothing is
// sent and no destination has to be made up.
std::string DefaultRouteInterface() {
  std::ifstream table("/proc/net/route");
  std::string line;
  std::getline(table, line);  // the column heads
  std::string chosen;
  unsigned long chosenMetric = 0;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string name, destination, gateway, mask;
    unsigned long flags = 0, references = 0, use = 0, metric = 0;
    if (!(fields >> name >> destination >> gateway >> std::hex >> flags >> std::dec >> references >>
          use >> metric >> mask)) {
      continue;
    }
    constexpr unsigned long kRouteUp = 0x1;  // RTF_UP
    if (destination != "00000000" || mask != "00000000" || (flags & kRouteUp) == 0) continue;
    if (chosen.empty() || metric < chosenMetric) {
      chosen = name;
      chosenMetric = metric;
    }
  }
  return chosen;
}

// The first IPv4 address of the interface `wanted` if it is up (of the first
// interface that is up and not a loopback when `wanted` is empty); 0 when
// there is none.
uint32_t InterfaceAddress(const std::string& wanted) {
  ifaddrs* interfaces = nullptr;
  if (getifaddrs(&interfaces) != 0) return 0;
  uint32_t address = 0;
  for (ifaddrs* i = interfaces; i != nullptr && address == 0; i = i->ifa_next) {
    if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET) continue;
    if ((i->ifa_flags & IFF_UP) == 0) continue;
    uint32_t candidate = reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr;
    if (wanted.empty() ? (i->ifa_flags & IFF_LOOPBACK) != 0 || IsLoopback(candidate)
                       : wanted != i->ifa_name) {
      continue;
    }
    address = candidate;
  }
  freeifaddrs(interfaces);
  return address;
}

// The oldest error waiting on the socket: a refusal, with the destination it
// concerns, or another error, which is dropped. A pending error that the queue
// does not hold is read (and so cleared) too, so that the socket is quiet
// again.
ReceiveOutcome TakeSocketError(int fd, uint32_t* address, uint16_t* port) {
  sockaddr_in destination{};
  char control[512];
  msghdr message{};
  message.msg_name = &destination;
  message.msg_namelen = sizeof destination;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  if (recvmsg(fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0) {
    int error = 0;
    socklen_t length = sizeof error;
    getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
    return ReceiveOutcome::kFailed;
  }
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level != SOL_IP || c->cmsg_type != IP_RECVERR) continue;
    const auto* error = reinterpret_cast<const sock_extended_err*>(CMSG_DATA(c));
    if (error->ee_errno != ECONNREFUSED) continue;
    *address = destination.sin_addr.s_addr;
    *port = ntohs(destination.sin_port);
    return ReceiveOutcome::kRefused;
  }
  return ReceiveOutcome::kFailed;
}

}  // namespace

uint32_t LookUpLocalAddress() {
  uint32_t address = HostNameAddress();
  // Debian and others give the host's name a loopback address (127.0.1.1):
  // no controller could send to that.
  if (address != 0 && !IsLoopback(address)) return address;
  std::string routeInterface = DefaultRouteInterface();
  uint32_t found = routeInterface.empty() ? 0 : InterfaceAddress(routeInterface);
  if (found == 0 || IsLoopback(found)) found = InterfaceAddress("");
  return found != 0 ? found : address;
}

SocketHandle OpenDatagramSocket(int port) { return OpenDatagramSocketOn(htonl(INADDR_ANY), port); }

SocketHandle OpenDatagramSocketOn(uint32_t bindAddress, int port) {
  if (port < 0 || port > 65535) return kNoSocket;
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return kNoSocket;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = bindAddress;
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
                               uint16_t* senderPort, uint64_t* arrivedAt) {
  int fd = static_cast<int>(socket);
  pollfd wait{fd, POLLIN, 0};
  int ready = poll(&wait, 1, static_cast<int>(waitMilliseconds));
  if (ready == 0) return ReceiveOutcome::kTimedOut;
  if (ready < 0) return ReceiveOutcome::kFailed;
  if ((wait.revents & POLLERR) != 0) return TakeSocketError(fd, senderAddress, senderPort);
  sockaddr_in sender{};
  iovec data{buffer, capacity};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
  msghdr message{};
  message.msg_name = &sender;
  message.msg_namelen = sizeof sender;
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  if (arrivedAt != nullptr) {
    message.msg_control = control;
    message.msg_controllen = sizeof control;
  }
  ssize_t n = recvmsg(fd, &message, MSG_DONTWAIT);
  if (n < 0) return ReceiveOutcome::kFailed;
  *length = static_cast<size_t>(n);
  *senderAddress = sender.sin_addr.s_addr;
  *senderPort = ntohs(sender.sin_port);
  if (arrivedAt != nullptr) {
    *arrivedAt = 0;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
      if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMPNS) continue;
      timespec stamp;
      std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
      *arrivedAt =
          static_cast<uint64_t>(stamp.tv_sec) * 1000000000u + static_cast<uint64_t>(stamp.tv_nsec);
    }
    if (*arrivedAt == 0) *arrivedAt = ArrivalClockNow();  // one that came before the stamps
  }
  return ReceiveOutcome::kDatagram;
}

bool StampArrivals(SocketHandle socket) {
  int on = 1;
  return setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) == 0;
}

size_t WaitForSockets(const SocketHandle* sockets, size_t count, size_t first,
                      uint32_t waitMilliseconds, bool* ready) {
  constexpr size_t kAtMost = 8;
  if (count == 0 || count > kAtMost) return count;
  pollfd waits[kAtMost];
  for (size_t i = 0; i < count; ++i) waits[i] = pollfd{static_cast<int>(sockets[i]), POLLIN, 0};
  const int found = poll(waits, count, static_cast<int>(waitMilliseconds));
  if (ready != nullptr) {
    for (size_t i = 0; i < count; ++i) ready[i] = found > 0 && waits[i].revents != 0;
  }
  if (found <= 0) return count;
  for (size_t turn = 0; turn < count; ++turn) {
    size_t i = (first + turn) % count;
    if (waits[i].revents != 0) return i;
  }
  return count;
}

uint16_t BoundPort(SocketHandle socket) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (getsockname(static_cast<int>(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return 0;
  }
  return ntohs(address.sin_port);
}

void CloseDatagramSocket(SocketHandle socket) {
  if (socket != kNoSocket) close(static_cast<int>(socket));
}

void PrepareListeningSocket(SocketHandle socket) {
  int on = 1;
  setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
}

void ReportRefusals(SocketHandle socket) {
  int on = 1;
  setsockopt(static_cast<int>(socket), SOL_IP, IP_RECVERR, &on, sizeof on);
}

bool SendDatagramFrom(SocketHandle socket, uint32_t address, uint16_t port,
                      const std::string& payload) {
  sockaddr_in destination{};
  destination.sin_family = AF_INET;
  destination.sin_addr.s_addr = address;
  destination.sin_port = htons(port);
  // A refusal of an earlier datagram (to any destination) is also reported
  // by failing the next send once, which clears it: that send is made again.
  for (int attempt = 0; attempt < 3; ++attempt) {
    ssize_t sent = sendto(static_cast<int>(socket), payload.data(), payload.size(),
                          MSG_DONTWAIT | MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&destination),
                          sizeof destination);
    if (sent >= 0) return sent == static_cast<ssize_t>(payload.size());
    if (errno != ECONNREFUSED) return false;
  }
  return false;
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
