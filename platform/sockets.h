// Sockets: the UDP receive socket of the command server.
#pragma once

#include <cstddef>
#include <cstdint>

using SocketHandle = std::intptr_t;
constexpr SocketHandle kNoSocket = -1;

// The host's first IPv4 address, its four bytes in network order as they lie
// in memory (the first byte is the first number of the dotted form); 0 when
// the host lookup gives none.
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

enum class ReceiveOutcome { kDatagram, kTimedOut, kFailed };

// Waits up to `waitMilliseconds` for one datagram and receives it into
// `buffer` (`capacity` bytes). On kDatagram, `length`, `senderAddress` (network
// order, as LookUpLocalAddress) and `senderPort` (host order) are set.
ReceiveOutcome ReceiveDatagram(SocketHandle socket, uint32_t waitMilliseconds, char* buffer,
                               size_t capacity, size_t* length, uint32_t* senderAddress,
                               uint16_t* senderPort);

void CloseDatagramSocket(SocketHandle socket);

#include <string>

// Sends `payload` as one datagram to `host` (a name or dotted address; a
// broadcast address works) and `port`. On failure returns false and sets
// `error` to a short reason.
bool SendDatagramTo(const std::string& host, int port, const std::string& payload,
                    std::string* error);
