#include "web/web_server.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "common/status_log.h"
#include "platform/sockets.h"
#include "platform/timing.h"
#include "web/web_access.h"
#include "web/web_routes.h"
#include "web/web_thread.h"

namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
using tcp = net::ip::tcp;

class HttpSession;
class LiveSession;

struct WebServerRecord {
  std::unique_ptr<net::io_context> context;
  std::unique_ptr<tcp::acceptor> acceptor;
  std::unique_ptr<net::steady_timer> acceptRetry;
  // The connections: each owned here until it ends.
  std::set<std::shared_ptr<HttpSession>> httpSessions;
  std::set<std::shared_ptr<LiveSession>> liveSessions;
  uint64_t connections = 0;  // accepted so far
};

// The web thread's, but for `context`, which is made and ended on the main
// thread while the web thread does not run.
WebServerRecord webThreadServer;

// What other threads post to; none while no web thread runs.
std::mutex postLock;
net::io_context* lockedPostContext = nullptr;

size_t OpenConnections() {
  return webThreadServer.httpSessions.size() + webThreadServer.liveSessions.size();
}

uint32_t Ipv4Of(const tcp::endpoint& endpoint) {
  if (!endpoint.address().is_v4()) return 0;
  const net::ip::address_v4::bytes_type bytes = endpoint.address().to_v4().to_bytes();
  uint32_t address;
  std::memcpy(&address, bytes.data(), sizeof address);
  return address;
}

// Headers that every answer carries: the page runs only its own code, is
// framed by nobody, and is never guessed at by type.
template <class Message>
void SetCommonHeaders(Message& message, std::string_view host) {
  message.set(http::field::server, "Podiant Server");
  std::string policy = "default-src 'self'";
  // Browsers that do not count ws: as 'self' yet are told so for this host
  // (a Host of a name's or an address's characters only).
  if (!host.empty() && host.find_first_not_of(
                           "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-:[]") ==
                           std::string_view::npos) {
    policy += "; connect-src 'self' ws://" + std::string(host);
  }
  message.set("Content-Security-Policy", policy);
  message.set("X-Content-Type-Options", "nosniff");
  message.set("X-Frame-Options", "DENY");
  message.set("Referrer-Policy", "no-referrer");
}

// The answer to one connection too many: written at once (it fits in the
// socket's buffer), then the connection is closed.
void RefuseConnection(tcp::socket socket) {
  static const std::string kBusy =
      "HTTP/1.1 503 Service Unavailable\r\nServer: Podiant Server\r\n"
      "Content-Type: application/json\r\nContent-Length: 37\r\nConnection: close\r\n\r\n"
      "{\"error\":\"too many clients at once\"}";
  beast::error_code ignored;
  socket.non_blocking(true, ignored);
  socket.write_some(net::buffer(kBusy), ignored);
  socket.shutdown(tcp::socket::shutdown_send, ignored);
  socket.close(ignored);
}

class LiveSession : public std::enable_shared_from_this<LiveSession> {
 public:
  LiveSession(tcp::socket socket, LiveClient client)
      : ws(std::move(socket)), pingTimer(ws.get_executor()), client(std::move(client)) {}

  void Accept(http::request<http::string_body> request) {
    ws.set_option(websocket::stream_base::timeout{std::chrono::seconds(kRequestSeconds),
                                                  websocket::stream_base::none(), false});
    ws.set_option(websocket::stream_base::decorator([](websocket::response_type& response) {
      response.set(http::field::server, "Podiant Server");
    }));
    ws.read_message_max(kLiveMessageBytesAtMost);
    // Pongs count as hearing from the client; the callback belongs to `ws`,
    // which this session owns.
    ws.control_callback(
        [this](websocket::frame_type, beast::string_view) { lastHeard = MonotonicMilliseconds(); });
    beast::get_lowest_layer(ws).expires_never();
    ws.async_accept(
        request, [self = shared_from_this()](beast::error_code error) { self->Accepted(error); });
  }

  void Send(std::string message) { Send(std::make_shared<const std::string>(std::move(message))); }

  // A message shared with other clients (the state): queued, not copied.
  void Send(std::shared_ptr<const std::string> message) {
    if (!open) return;
    if (queue.size() >= kLiveMessagesQueuedAtMost) return Close();
    queue.push_back(std::move(message));
    if (!writing) WriteNext();
  }

  void Close() {
    if (closed) return;
    closed = true;
    open = false;
    pingTimer.cancel();
    beast::error_code ignored;
    beast::get_lowest_layer(ws).socket().close(ignored);
    webThreadServer.liveSessions.erase(shared_from_this());
  }

 private:
  void Accepted(beast::error_code error) {
    if (error) return Close();
    open = true;
    lastHeard = MonotonicMilliseconds();
    for (std::string& message : LiveGreeting(client)) Send(std::move(message));
    Read();
    SchedulePing();
  }

  void Read() {
    ws.async_read(buffer, [self = shared_from_this()](beast::error_code error, size_t) {
      self->Received(error);
    });
  }

  void Received(beast::error_code error) {
    if (error) return Close();
    lastHeard = MonotonicMilliseconds();
    if (ws.got_text()) {
      std::weak_ptr<LiveSession> weak = weak_from_this();
      HandleLiveMessage(beast::buffers_to_string(buffer.data()), client,
                        [weak](std::string answer) {
                          if (std::shared_ptr<LiveSession> self = weak.lock())
                            self->Send(std::move(answer));
                        });
    }
    buffer.consume(buffer.size());
    if (!closed) Read();
  }

  void WriteNext() {
    writing = true;
    ws.text(true);
    ws.async_write(
        net::buffer(*queue.front()),
        [self = shared_from_this()](beast::error_code error, size_t) { self->Written(error); });
  }

  void Written(beast::error_code error) {
    writing = false;
    if (error) return Close();
    queue.pop_front();
    if (!queue.empty() && !closed) WriteNext();
  }

  void SchedulePing() {
    pingTimer.expires_after(std::chrono::seconds(kLivePingSeconds));
    pingTimer.async_wait([self = shared_from_this()](beast::error_code error) {
      if (!error) self->Ping();
    });
  }

  void Ping() {
    if (closed) return;
    if (MonotonicMilliseconds() - lastHeard >= kLiveSilentSeconds * 1000ull) return Close();
    if (!pinging) {
      pinging = true;
      ws.async_ping({}, [self = shared_from_this()](beast::error_code error) {
        self->pinging = false;
        if (error) self->Close();
      });
    }
    Send(LivePingMessage());
    SchedulePing();
  }

  websocket::stream<beast::tcp_stream> ws;
  net::steady_timer pingTimer;
  beast::flat_buffer buffer{kLiveMessageBytesAtMost};
  LiveClient client;
  std::deque<std::shared_ptr<const std::string>> queue;
  uint64_t lastHeard = 0;
  bool open = false;
  bool closed = false;
  bool writing = false;
  bool pinging = false;
};

class HttpSession : public std::enable_shared_from_this<HttpSession> {
 public:
  HttpSession(tcp::socket socket, uint32_t peer, uint64_t serial)
      : peer(peer),
        serial(serial),
        stream(std::move(socket)),
        answerTimer(stream.get_executor()),
        buffer(kReadBufferBytesAtMost) {}

  // The client's address, the connection's place in the order of arrival,
  // and whether a request of it has shown a valid token.
  const uint32_t peer;
  const uint64_t serial;
  bool Paired() const { return paired; }

  // Waits for a request's first byte (unless it is here already), then for
  // the rest of it.
  void ReadRequest() {
    parser.emplace();
    parser->header_limit(kRequestHeaderBytesAtMost);
    parser->body_limit(kRequestBodyBytesAtMost);
    requestDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(kRequestSeconds);
    if (buffer.size() > 0) return ReadHeader();
    stream.expires_after(std::chrono::seconds(kFirstByteSeconds));
    stream.async_read_some(buffer.prepare(beast::read_size(buffer, 65536)),
                           [self = shared_from_this()](beast::error_code error, size_t received) {
                             self->buffer.commit(received);
                             if (error) return self->Failed(error);
                             self->ReadHeader();
                           });
  }

  void Close() {
    if (closed) return;
    closed = true;
    answerTimer.cancel();
    beast::error_code ignored;
    stream.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream.close();
    webThreadServer.httpSessions.erase(shared_from_this());
  }

 private:
  void ReadHeader() {
    stream.expires_at(requestDeadline);
    http::async_read_header(
        stream, buffer, *parser,
        [self = shared_from_this()](beast::error_code error, size_t) { self->HeaderRead(error); });
  }

  // A header that the remote does not take is refused before the body is
  // read: a Transfer-Encoding (the remote takes no chunked body, and a body
  // that something before the remote framed otherwise would smuggle a second
  // request in), two Host or Origin headers, or a Host that names no host.
  void HeaderRead(beast::error_code error) {
    if (error) return Failed(error);
    const http::request<http::string_body>& message = parser->get();
    if (message.find(http::field::transfer_encoding) != message.end()) {
      return Refuse(400, "no Transfer-Encoding here: send a Content-Length");
    }
    if (message.count(http::field::host) > 1) return Refuse(400, "more than one Host");
    if (message.count(http::field::origin) > 1) return Refuse(400, "more than one Origin");
    auto host = message.find(http::field::host);
    if (host == message.end() ? message.version() >= 11 : !HostIsWellFormed(host->value())) {
      return Refuse(400, "no host and port 1-65535 in Host");
    }
    if (!paired) {
      paired = DeviceOfToken(TokenOfRequest(message[http::field::cookie],
                                            message[http::field::authorization]))
                   .has_value();
    }
    http::async_read(
        stream, buffer, *parser,
        [self = shared_from_this()](beast::error_code error, size_t) { self->RequestRead(error); });
  }

  void Failed(beast::error_code error) {
    const bool header = !parser->is_header_done();
    if (error == http::error::body_limit) return Refuse(413, "the request is too large");
    if (error == http::error::header_limit) return Refuse(431, "the request's header is too large");
    if (error == http::error::buffer_overflow) {
      return header ? Refuse(431, "the request's header is too large")
                    : Refuse(413, "the request is too large");
    }
    if (error == http::error::end_of_stream || error == beast::error::timeout ||
        error == net::error::operation_aborted || error == net::error::connection_reset ||
        error == net::error::eof) {
      return Close();
    }
    Refuse(400, "a malformed request");
  }

  void RequestRead(beast::error_code error) {
    if (error) return Failed(error);

    http::request<http::string_body>& message = parser->get();
    WebRequest request;
    request.method = std::string(message.method_string());
    request.target = std::string(message.target());
    request.host = std::string(message[http::field::host]);
    if (message.find(http::field::origin) != message.end()) {
      request.origin = std::string(message[http::field::origin]);
    }
    request.cookie = std::string(message[http::field::cookie]);
    request.authorization = std::string(message[http::field::authorization]);
    request.ifNoneMatch = std::string(message[http::field::if_none_match]);
    request.body = std::move(message.body());
    beast::error_code ignored;
    request.peerAddress = Ipv4Of(stream.socket().remote_endpoint(ignored));
    request.localAddress = Ipv4Of(stream.socket().local_endpoint(ignored));
    host = request.host;
    version = message.version();
    keepAlive = message.keep_alive();
    answered = false;

    if (websocket::is_upgrade(message)) {
      LiveClient client;
      if (std::optional<WebResponse> refusal = CheckLiveUpgrade(request, &client)) {
        keepAlive = false;
        return Respond(std::move(*refusal));
      }
      auto live = std::make_shared<LiveSession>(stream.release_socket(), std::move(client));
      webThreadServer.liveSessions.insert(live);
      live->Accept(parser->release());
      closed = true;
      webThreadServer.httpSessions.erase(shared_from_this());
      return;
    }

    // An answer that comes after its request was answered 503 belongs to no
    // later request of the connection.
    const uint64_t number = ++requests;
    answerTimer.expires_after(std::chrono::seconds(kAnswerSeconds));
    answerTimer.async_wait([self = shared_from_this(), number](beast::error_code timerError) {
      if (!timerError && self->requests == number) {
        self->Respond(ErrorResponse(503, "no answer in time: the server is busy"));
      }
    });
    std::weak_ptr<HttpSession> weak = weak_from_this();
    HandleWebRequest(request, [weak, number](WebResponse response) {
      std::shared_ptr<HttpSession> self = weak.lock();
      if (self && self->requests == number) self->Respond(std::move(response));
    });
  }

  void Refuse(int status, std::string_view message) {
    keepAlive = false;
    linger = true;
    version = 11;
    answered = false;
    Respond(ErrorResponse(status, message));
  }

  void Respond(WebResponse answer) {
    if (answered || closed) return;
    answered = true;
    answerTimer.cancel();
    owner = std::move(answer.owner);  // the body stays while it is written
    response = {};
    response.version(version);
    response.result(static_cast<unsigned>(answer.status));
    SetCommonHeaders(response, host);
    if (!answer.contentType.empty()) response.set(http::field::content_type, answer.contentType);
    for (const auto& [name, value] : answer.headers) response.set(name, value);
    response.body() =
        http::span_body<const char>::value_type(answer.body.data(), answer.body.size());
    response.keep_alive(keepAlive);
    response.prepare_payload();
    stream.expires_after(std::chrono::seconds(kRequestSeconds));
    http::async_write(
        stream, response,
        [self = shared_from_this()](beast::error_code error, size_t) { self->Written(error); });
  }

  void Written(beast::error_code error) {
    owner.reset();
    if (!error && linger) return Linger();
    if (error || !keepAlive) return Close();
    ReadRequest();
  }

  // After refusing a request that was not read to its end: what the client
  // still sends is read and dropped for a moment before the connection is
  // closed, so that the close does not reset it before it has read the
  // answer. The moment is set once, and so is how much is read in it.
  void Linger() {
    beast::error_code ignored;
    stream.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream.expires_after(std::chrono::seconds(kLingerSeconds));
    LingerRead();
  }

  void LingerRead() {
    stream.async_read_some(net::buffer(discard),
                           [self = shared_from_this()](beast::error_code error, size_t received) {
                             self->lingered += received;
                             if (error || self->lingered >= kLingerBytesAtMost)
                               return self->Close();
                             self->LingerRead();
                           });
  }

  beast::tcp_stream stream;
  net::steady_timer answerTimer;
  beast::flat_buffer buffer;
  std::optional<http::request_parser<http::string_body>> parser;
  std::chrono::steady_clock::time_point requestDeadline;
  http::response<http::span_body<const char>> response;
  std::shared_ptr<const std::string> owner;
  std::string host;
  unsigned version = 11;
  bool keepAlive = false;
  bool answered = true;
  bool closed = false;
  bool linger = false;
  bool paired = false;
  size_t lingered = 0;
  uint64_t requests = 0;  // the requests read on this connection
  char discard[4096];
};

// Room for a new connection from `peer`: the oldest of the address's
// connections without a token is closed when it has its most of them, else
// the oldest of all connections without a token when there are as many
// connections as are served. False when there is no room (every connection
// has shown a token).
bool MakeRoomFor(uint32_t peer) {
  HttpSession* oldest = nullptr;
  HttpSession* oldestOfPeer = nullptr;
  size_t ofPeer = 0;
  for (const std::shared_ptr<HttpSession>& session : webThreadServer.httpSessions) {
    if (session->Paired()) continue;
    if (oldest == nullptr || session->serial < oldest->serial) oldest = session.get();
    if (session->peer != peer) continue;
    ++ofPeer;
    if (oldestOfPeer == nullptr || session->serial < oldestOfPeer->serial) {
      oldestOfPeer = session.get();
    }
  }
  if (ofPeer >= kUnpairedConnectionsPerAddressAtMost) {
    oldestOfPeer->Close();
  } else if (OpenConnections() >= kWebClientsAtMost) {
    if (oldest == nullptr) return false;
    oldest->Close();
  }
  return true;
}

void Accept();

void Accepted(beast::error_code error, tcp::socket socket) {
  if (error == net::error::operation_aborted || !webThreadServer.acceptor) return;
  if (error) {
    // Out of descriptors or the like: try again shortly rather than spin.
    webThreadServer.acceptRetry->expires_after(std::chrono::milliseconds(100));
    webThreadServer.acceptRetry->async_wait([](beast::error_code timerError) {
      if (!timerError) Accept();
    });
    return;
  }
  beast::error_code ignored;
  const uint32_t peer = Ipv4Of(socket.remote_endpoint(ignored));
  if (MakeRoomFor(peer)) {
    auto session =
        std::make_shared<HttpSession>(std::move(socket), peer, ++webThreadServer.connections);
    webThreadServer.httpSessions.insert(session);
    session->ReadRequest();
  } else {
    RefuseConnection(std::move(socket));
  }
  Accept();
}

void Accept() { webThreadServer.acceptor->async_accept(Accepted); }

}  // namespace

void PrepareWebServer() { webThreadServer.context = std::make_unique<net::io_context>(1); }

bool OpenWebServer(uint32_t address, int port) {
  net::ip::address_v4::bytes_type bytes;
  std::memcpy(bytes.data(), &address, sizeof address);
  const tcp::endpoint endpoint(net::ip::address_v4(bytes), static_cast<unsigned short>(port));
  auto acceptor = std::make_unique<tcp::acceptor>(*webThreadServer.context);
  beast::error_code error;
  acceptor->open(endpoint.protocol(), error);
  if (!error) PrepareListeningSocket(static_cast<SocketHandle>(acceptor->native_handle()));
  if (!error) acceptor->bind(endpoint, error);
  if (!error) acceptor->listen(net::socket_base::max_listen_connections, error);
  if (error) return false;
  webThreadServer.acceptor = std::move(acceptor);
  webThreadServer.acceptRetry = std::make_unique<net::steady_timer>(*webThreadServer.context);
  {
    std::lock_guard<std::mutex> guard(postLock);
    lockedPostContext = webThreadServer.context.get();
  }
  Accept();
  return true;
}

void RunWebServer() {
  for (;;) {
    try {
      webThreadServer.context->run();
      return;
    } catch (const std::exception& failure) {
      // A fault in one request must not end the remote.
      AddLogLine(std::string("ERROR: web remote: ") + failure.what());
    }
  }
}

void StopWebServer() {
  std::lock_guard<std::mutex> guard(postLock);
  lockedPostContext = nullptr;
  if (webThreadServer.context) webThreadServer.context->stop();
}

void CloseWebServer() {
  webThreadServer.acceptor.reset();
  webThreadServer.acceptRetry.reset();
  webThreadServer.httpSessions.clear();
  webThreadServer.liveSessions.clear();
  webThreadServer.context.reset();
}

void PostToWebThread(std::function<void()> work) {
  std::lock_guard<std::mutex> guard(postLock);
  if (lockedPostContext != nullptr) net::post(*lockedPostContext, std::move(work));
}

void BroadcastLiveMessage(std::shared_ptr<const std::string> message) {
  // Copied first: a client that cannot take it is closed and leaves the set.
  std::vector<std::shared_ptr<LiveSession>> clients(webThreadServer.liveSessions.begin(),
                                                    webThreadServer.liveSessions.end());
  for (const std::shared_ptr<LiveSession>& client : clients) client->Send(message);
}
