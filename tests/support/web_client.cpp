#include "tests/support/web_client.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <optional>

namespace e2e {

namespace {

namespace beast = boost::beast;
namespace websocket = beast::websocket;
namespace net = boost::asio;

using Deadline = std::chrono::steady_clock::time_point;

Deadline DeadlineIn(int milliseconds) {
  return std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
}

int MillisecondsLeft(Deadline deadline) {
  return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count());
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

sockaddr_in LoopbackAddress(const std::string& host, int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, host.c_str(), &address.sin_addr);
  return address;
}

}  // namespace

int ConnectTcp(int port, const std::string& host, const std::string& from) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (!from.empty()) {
    sockaddr_in local = LoopbackAddress(from, 0);
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
      close(fd);
      return -1;
    }
  }
  sockaddr_in address = LoopbackAddress(host, port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

std::string HttpRequest(const std::string& method, const std::string& target, int port,
                        const std::string& body, const std::vector<std::string>& headers) {
  std::string request = method + " " + target + " HTTP/1.1\r\n";
  bool host = false;
  for (const std::string& header : headers) {
    if (Lower(header).rfind("host:", 0) == 0) host = true;
    request += header + "\r\n";
  }
  if (!host) request += "Host: 127.0.0.1:" + std::to_string(port) + "\r\n";
  request += "Connection: close\r\n";
  if (!body.empty() || method == "POST") {
    request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  }
  return request + "\r\n" + body;
}

HttpAnswer HttpExchange(int port, const std::string& request, int timeoutMs,
                        const std::string& from) {
  HttpAnswer answer;
  int fd = ConnectTcp(port, "127.0.0.1", from);
  if (fd < 0) return answer;
  size_t sent = 0;
  while (sent < request.size()) {
    ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;  // the server may answer (413) before it has read everything
    sent += static_cast<size_t>(n);
  }
  std::string text;
  const Deadline deadline = DeadlineIn(timeoutMs);
  for (;;) {
    const int left = MillisecondsLeft(deadline);
    pollfd waiting{fd, POLLIN, 0};
    if (left <= 0 || poll(&waiting, 1, left) <= 0) break;
    char buffer[65536];
    ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  const size_t end = text.find("\r\n\r\n");
  if (end == std::string::npos || text.rfind("HTTP/1.", 0) != 0) return answer;
  answer.head = text.substr(0, end + 2);
  answer.body = text.substr(end + 4);
  answer.status = std::atoi(text.c_str() + 9);
  return answer;
}

std::string HeaderValue(const HttpAnswer& answer, const std::string& name) {
  const std::string head = Lower(answer.head);
  const size_t at = head.find("\r\n" + Lower(name) + ":");
  if (at == std::string::npos) return std::string();
  const size_t start = answer.head.find_first_not_of(' ', at + 3 + name.size());
  return answer.head.substr(start, answer.head.find("\r\n", start) - start);
}

bool ClosedWithin(int fd, int timeoutMs) {
  const Deadline deadline = DeadlineIn(timeoutMs);
  for (;;) {
    const int left = MillisecondsLeft(deadline);
    pollfd waiting{fd, POLLIN, 0};
    if (left <= 0 || poll(&waiting, 1, left) <= 0) return false;
    char buffer[4096];
    if (recv(fd, buffer, sizeof buffer, 0) <= 0) return true;
  }
}

int CountClosedWithin(const std::vector<int>& fds, int timeoutMs) {
  std::vector<bool> closed(fds.size(), false);
  int count = 0;
  const Deadline deadline = DeadlineIn(timeoutMs);
  while (count < static_cast<int>(fds.size())) {
    std::vector<pollfd> waiting;
    std::vector<size_t> places;
    for (size_t i = 0; i < fds.size(); ++i) {
      if (!closed[i]) {
        waiting.push_back({fds[i], POLLIN, 0});
        places.push_back(i);
      }
    }
    // Looked at once at least, however short the time.
    if (poll(waiting.data(), waiting.size(), std::max(0, MillisecondsLeft(deadline))) <= 0) break;
    for (size_t j = 0; j < waiting.size(); ++j) {
      if (waiting[j].revents == 0) continue;
      char buffer[4096];
      if (recv(waiting[j].fd, buffer, sizeof buffer, MSG_DONTWAIT) <= 0) {
        closed[places[j]] = true;
        ++count;
      }
    }
    if (MillisecondsLeft(deadline) <= 0) break;
  }
  return count;
}

bool TrickleUntilClosed(int fd, int everyMs, int timeoutMs, std::string* received) {
  const Deadline deadline = DeadlineIn(timeoutMs);
  Deadline nextByte = DeadlineIn(0);
  bool ended = false;  // the peer sends no more; whether it still reads, a byte tells
  for (;;) {
    if (MillisecondsLeft(nextByte) <= 0) {
      if (send(fd, "x", 1, MSG_NOSIGNAL | MSG_DONTWAIT) < 0 && errno != EAGAIN) return true;
      nextByte = DeadlineIn(everyMs);
    }
    const int left = MillisecondsLeft(deadline);
    if (left <= 0) return false;
    pollfd waiting{fd, static_cast<short>(ended ? 0 : POLLIN), 0};
    if (poll(&waiting, 1, std::max(0, std::min(left, MillisecondsLeft(nextByte)))) <= 0) continue;
    if ((waiting.revents & (POLLERR | POLLHUP)) != 0) return true;
    char buffer[4096];
    const ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0 && errno != EAGAIN) return true;
    if (n == 0) ended = true;
    if (n > 0) received->append(buffer, static_cast<size_t>(n));
  }
}

void Flood(int fd, size_t bytes, int timeoutMs) {
  // Each send waits for room at most this long.
  const timeval wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
  const std::string block(65536, 'x');
  for (size_t sent = 0; sent < bytes;) {
    const ssize_t n = send(fd, block.data(), std::min(block.size(), bytes - sent), MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

struct LiveConnection {
  net::io_context context;
  websocket::stream<beast::tcp_stream> ws{context};
  beast::flat_buffer buffer;
};

void LiveConnectionDeleter::operator()(LiveConnection* connection) const { delete connection; }

namespace {

// Runs the context until `done` or `timeoutMs` has passed.
bool RunUntil(LiveConnection& connection, const bool& done, int timeoutMs) {
  connection.context.restart();
  const Deadline deadline = DeadlineIn(timeoutMs);
  while (!done && std::chrono::steady_clock::now() < deadline) {
    connection.context.run_one_until(deadline);
  }
  return done;
}

}  // namespace

LiveHandle OpenLive(int port, const std::vector<std::string>& headers, int* status) {
  LiveHandle connection(new LiveConnection);
  beast::error_code error;
  net::ip::tcp::endpoint endpoint(net::ip::make_address("127.0.0.1"),
                                  static_cast<unsigned short>(port));
  beast::get_lowest_layer(connection->ws).connect(endpoint, error);
  if (error) return nullptr;
  connection->ws.set_option(
      websocket::stream_base::decorator([headers](websocket::request_type& r) {
        for (const std::string& header : headers) {
          const size_t colon = header.find(':');
          r.set(header.substr(0, colon), header.substr(header.find_first_not_of(' ', colon + 1)));
        }
      }));
  websocket::response_type response;
  bool done = false;
  connection->ws.async_handshake(response, "127.0.0.1:" + std::to_string(port), "/api/live",
                                 [&](beast::error_code e) {
                                   error = e;
                                   done = true;
                                 });
  if (!RunUntil(*connection, done, 10000) || error) {
    if (status != nullptr) *status = static_cast<int>(response.result_int());
    return nullptr;
  }
  if (status != nullptr) *status = 101;
  return connection;
}

bool ReceiveLive(LiveConnection& connection, int timeoutMs, std::string* text) {
  bool done = false;
  beast::error_code error;
  connection.buffer.clear();
  connection.ws.async_read(connection.buffer, [&](beast::error_code e, size_t) {
    error = e;
    done = true;
  });
  if (!RunUntil(connection, done, timeoutMs)) {
    // Given up: the read is cancelled, which ends the connection's use.
    beast::get_lowest_layer(connection.ws).cancel();
    RunUntil(connection, done, 1000);
    return false;
  }
  if (error) return false;
  *text = beast::buffers_to_string(connection.buffer.data());
  return true;
}

bool ReceiveLiveWith(LiveConnection& connection, const std::string& part, int timeoutMs,
                     std::string* text) {
  const Deadline deadline = DeadlineIn(timeoutMs);
  for (;;) {
    const int left = MillisecondsLeft(deadline);
    if (left <= 0 || !ReceiveLive(connection, left, text)) return false;
    if (text->find(part) != std::string::npos) return true;
  }
}

bool SendLive(LiveConnection& connection, const std::string& text) {
  beast::error_code error;
  connection.ws.text(true);
  connection.ws.write(net::buffer(text), error);
  return !error;
}

}  // namespace e2e
