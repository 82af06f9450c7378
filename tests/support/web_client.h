// Plain clients of the web remote for the end-to-end tests: HTTP written and
// read by hand over a TCP connection (so that a test can send anything, a
// wrong Host or half a request), and a WebSocket client (Boost.Beast).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/support/e2e_support.h"

namespace e2e {

// A connection to host:port (from the local address `from` when given); -1
// when it cannot be made. Close it with close().
int ConnectTcp(int port, const std::string& host = "127.0.0.1", const std::string& from = "");

struct HttpAnswer {
  int status = 0;    // 0: no answer
  std::string head;  // the status line and the headers
  std::string body;
};

// The text of a request with Host 127.0.0.1:<port> (unless `headers` name a
// Host) and Connection: close; a body gets its Content-Length.
std::string HttpRequest(const std::string& method, const std::string& target, int port,
                        const std::string& body = "", const std::vector<std::string>& headers = {});

// Sends `request` on a new connection and reads the answer until the
// connection closes (at most `timeoutMs`).
HttpAnswer HttpExchange(int port, const std::string& request, int timeoutMs = 10000,
                        const std::string& from = "");

// The value of a header of the answer (the first one, name in any case);
// empty when there is none.
std::string HeaderValue(const HttpAnswer& answer, const std::string& name);

// Whether the peer closes `fd` within `timeoutMs` (what it sends meanwhile
// is read and dropped).
bool ClosedWithin(int fd, int timeoutMs);

// How many of `fds` the peer closes within `timeoutMs` (what it sends
// meanwhile is read and dropped). The others stay open.
int CountClosedWithin(const std::vector<int>& fds, int timeoutMs);

// Sends a byte on `fd` every `everyMs` until the peer no longer takes them
// (it closed the connection, not only its sending half); whether it did
// within `timeoutMs`. What the peer sends is added to `received`.
bool TrickleUntilClosed(int fd, int everyMs, int timeoutMs, std::string* received);

// Sends `bytes` bytes on `fd` as fast as the peer takes them, until they are
// sent, the peer has closed the connection, or it has taken nothing for
// `timeoutMs`.
void Flood(int fd, size_t bytes, int timeoutMs);

// A WebSocket client of /api/live.
struct LiveConnection;
struct LiveConnectionDeleter {
  void operator()(LiveConnection* connection) const;
};
using LiveHandle = std::unique_ptr<LiveConnection, LiveConnectionDeleter>;

// Opens ws://127.0.0.1:<port>/api/live with `headers` ("Name: value") on the
// upgrade request; null when the handshake fails (`status` then holds the
// HTTP status of the refusal, when there was one).
LiveHandle OpenLive(int port, const std::vector<std::string>& headers, int* status = nullptr);

// The next text message within `timeoutMs`; false when none came (or the
// connection ended).
bool ReceiveLive(LiveConnection& connection, int timeoutMs, std::string* text);

// The next message whose text contains `part`, skipping the others.
bool ReceiveLiveWith(LiveConnection& connection, const std::string& part, int timeoutMs,
                     std::string* text);

bool SendLive(LiveConnection& connection, const std::string& text);

}  // namespace e2e
