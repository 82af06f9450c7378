// The web remote's HTTP and WebSocket server (Boost.Beast), on the web thread:
// it reads each request within its bounds, hands it to the routes
// (web_routes.h) and writes their answer; /api/live becomes a WebSocket.
#pragma once

#include <cstddef>
#include <cstdint>

// Connections served at once. For a further one the oldest connection that
// has shown no token is closed; when every one has (paired clients and live
// channels), the new one is answered 503 and closed.
constexpr size_t kWebClientsAtMost = 64;
// Connections from one address that have shown no token, at most: for a
// further one the oldest of them is closed.
constexpr size_t kUnpairedConnectionsPerAddressAtMost = 8;
// A request's header and body, and a live client's message, at most; a
// connection's read buffer holds at most a header and a body.
constexpr size_t kRequestHeaderBytesAtMost = 8 * 1024;
constexpr size_t kRequestBodyBytesAtMost = 16 * 1024;
constexpr size_t kReadBufferBytesAtMost = kRequestHeaderBytesAtMost + kRequestBodyBytesAtMost;
constexpr size_t kLiveMessageBytesAtMost = 4 * 1024;
// A request's first byte must have come within this time, and the whole
// request within kRequestSeconds (the first one from the connection, and each
// one after it); a response must have gone out within kRequestSeconds.
constexpr uint32_t kFirstByteSeconds = 3;
constexpr uint32_t kRequestSeconds = 10;
// After a refused request, what the client still sends is read and dropped
// for at most this long and this much before the connection is closed.
constexpr uint32_t kLingerSeconds = 2;
constexpr size_t kLingerBytesAtMost = 64 * 1024;
// A routed request that has had no answer within this time gets 503.
constexpr uint32_t kAnswerSeconds = 60;
// Live clients: a ping every 5 s; one that sent nothing (a pong included)
// for 15 s is dropped, and so is one that has this many messages unsent.
constexpr uint32_t kLivePingSeconds = 5;
constexpr uint32_t kLiveSilentSeconds = 15;
constexpr size_t kLiveMessagesQueuedAtMost = 64;

// The main thread, before the web thread starts: makes the server's context.
void PrepareWebServer();

// The web thread: opens the listening socket on `address` (network order; 0:
// every interface) and `port`. False when it cannot be opened.
bool OpenWebServer(uint32_t address, int port);

// The web thread's body: serves until StopWebServer.
void RunWebServer();

// Any thread: RunWebServer returns soon (or at once when it has not begun).
void StopWebServer();

// Once the web thread has ended: closes every connection and the socket.
void CloseWebServer();
