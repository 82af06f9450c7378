// Sockets: the UDP socket of the command server, which receives the commands
// and sends the feedback.
#pragma once

#include <cstddef>
#include <cstdint>

using SocketHandle = std::intptr_t;
constexpr SocketHandle kNoSocket = -1;

// The address to show as the server's own, its four bytes in network order as
// they lie in memory (the first byte is the first number of the dotted form);
// 0 when there is none.
//   Windows: the first IPv4 address of the host lookup of the host's name.
//   Linux: the same, unless it gives a loopback address or none: then the
//   IPv4 address of the interface that carries the default route, else that
//   of the first interface that is up and not a loopback, else the lookup's.
uint32_t LookUpLocalAddress();

// The receive buffer the command socket asks for: room for a burst of short
// commands while the server thread is busy with the ones before them (the
// systems' defaults hold only a few hundred). A refusal keeps the default;
// Linux cuts the request to net.core.rmem_max and doubles it for its
// bookkeeping (about 830 bytes per short datagram on loopback).
constexpr int kCommandReceiveBufferBytes = 4 * 1024 * 1024;

// Opens an IPv4 datagram socket bound to the wildcard address and `port`, with
// broadcast permitted. Returns kNoSocket when any step fails (the socket service
// cannot start, no socket, bind or option refused, port outside 0-65535).
SocketHandle OpenDatagramSocket(int port);

// The same, bound to the one local address `address` (network order) instead
// of the wildcard: only datagrams sent to that address arrive. Fails (kNoSocket)
// when the address is not one of this computer's.
SocketHandle OpenDatagramSocketOn(uint32_t address, int port);

enum class ReceiveOutcome { kDatagram, kTimedOut, kFailed, kRefused };

// Waits up to `waitMilliseconds` for one datagram and receives it into
// `buffer` (`capacity` bytes). On kDatagram, `length`, `senderAddress` (network
// order, as LookUpLocalAddress) and `senderPort` (host order) are set, and
// `arrivedAt` (when given) to the moment the datagram arrived on the arrival
// clock (platform/timing.h): the system's stamp where StampArrivals has it
// stamp them, else the moment it was received here.
// kRefused: instead of a datagram, the news that one this socket sent was
// refused (ICMP port unreachable); `senderAddress` and `senderPort` are then
// the destination that refused it, or 0 when the system does not say. A
// datagram that waits is received by the next call: a refusal costs none.
ReceiveOutcome ReceiveDatagram(SocketHandle socket, uint32_t waitMilliseconds, char* buffer,
                               size_t capacity, size_t* length, uint32_t* senderAddress,
                               uint16_t* senderPort, uint64_t* arrivedAt = nullptr);

// Has the system stamp each datagram of `socket` with the moment it arrived,
// so that the datagrams of several sockets, and what other threads stamp with
// ArrivalClockNow, can be put in the order in which they arrived even when
// they waited. True when it does.
//   Linux: SO_TIMESTAMPNS, the kernel's stamp at the datagram's arrival.
//   Windows: no (its receive stamps need a system-wide setting of the
//   network adapter): a datagram counts as arrived when it is received.
bool StampArrivals(SocketHandle socket);

void CloseDatagramSocket(SocketHandle socket);

// Gives a TCP socket that is about to listen (one that another library
// opened: the web remote's) the system's rule for a port of the last run: on
// Linux it may be bound again while connections of the last run linger
// (SO_REUSEADDR); on Windows, where that is the default and the option would
// let another program take the port over, no other program may bind it
// (SO_EXCLUSIVEADDRUSE). The programs that RUN starts inherit no socket on
// either system (see the process back ends).
void PrepareListeningSocket(SocketHandle socket);

// Waits up to `waitMilliseconds` until one of the `count` sockets has
// something for ReceiveDatagram (a datagram, or a refusal it reports), and
// gives the index of such a socket: the first one from `first` on, going
// round, so that a caller that passes the one after the last it served takes
// turns. `count` when the wait ran out (or failed). `ready`, when given (an
// array of `count`), says of every socket whether it has something.
size_t WaitForSockets(const SocketHandle* sockets, size_t count, size_t first,
                      uint32_t waitMilliseconds, bool* ready = nullptr);

// The local port `socket` is bound to (host order); 0 when it cannot be read.
uint16_t BoundPort(SocketHandle socket);

// Has ReceiveDatagram report the refusals of datagrams that `socket` sent.
//   Linux: an unconnected UDP socket hears of them only with IP_RECVERR, which
//   this switches on; they then wait on the socket's error queue, which names
//   the destination.
//   Windows: the system reports them anyway: a refusal makes the next recvfrom
//   fail with WSAECONNRESET (unless SIO_UDP_CONNRESET is switched off, which
//   the program never does); the address that recvfrom then gives, if any, is
//   taken as the destination. Wine 8 reports none at all.
void ReportRefusals(SocketHandle socket);

#include <string>

// Sends `payload` as one datagram from `socket` to `address` (network order)
// and `port`, without waiting: what the system cannot take at once is dropped.
// False when it was not sent.
bool SendDatagramFrom(SocketHandle socket, uint32_t address, uint16_t port,
                      const std::string& payload);

// Sends `payload` as one datagram to `host` (a name or dotted address; a
// broadcast address works) and `port`. On failure returns false and sets
// `error` to a short reason.
bool SendDatagramTo(const std::string& host, int port, const std::string& payload,
                    std::string* error);
