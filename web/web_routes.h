// The web remote's routes, apart from the HTTP library: the page's files,
// pairing, the HTTP API and the messages of the live channel. The transport
// (web_server.cpp) hands each request over as a WebRequest and writes the
// WebResponse it gets back. Used on the web thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/command_words.h"

// What the routes need of the settings and of the start.
struct WebRoutesSettings {
  std::string remoteUrl;        // http://<address>:<port>/, for /pair and the lines
  std::string showsFolder;      // empty: no shows
  CommandWordSet commands = 0;  // the words the remote may send
};
void StartWebRoutes(WebRoutesSettings settings);

// "Web remote at http://<address>:<port>/ code <code>": at the start, and
// whenever the code is drawn anew.
std::string WebRemoteLine();

struct WebRequest {
  std::string method;
  std::string target;  // path and query
  std::string host;
  std::optional<std::string> origin;
  std::string cookie;
  std::string authorization;
  std::string ifNoneMatch;
  std::string body;
  uint32_t peerAddress = 0;   // network order
  uint32_t localAddress = 0;  // the address the request came in on
};

struct WebResponse {
  int status = 200;
  std::string contentType;
  std::string_view body;  // in `owner`, or in the program's own data
  std::shared_ptr<const std::string> owner;
  std::vector<std::pair<std::string, std::string>> headers;
};

// A JSON response: {"error":"<message>"} with the status.
WebResponse ErrorResponse(int status, std::string_view message);

// Called once with the response, on the web thread: at once or later.
using WebRespond = std::function<void(WebResponse)>;
void HandleWebRequest(const WebRequest& request, WebRespond respond);

// A client of /api/live: who it is, and how many of its commands wait.
struct LiveClient {
  std::string name;  // the device's, as kept (UTF-8)
  uint32_t address = 0;
  std::shared_ptr<int> commandsWaiting = std::make_shared<int>(0);
};

// A WebSocket upgrade of `request`: none when it may go on (`client` then
// filled in), else the response that refuses it.
std::optional<WebResponse> CheckLiveUpgrade(const WebRequest& request, LiveClient* client);

// The messages a live client gets first: hello, then the state.
std::vector<std::string> LiveGreeting(const LiveClient& client);

// The periodic message that tells a live client the link is alive.
std::string LivePingMessage();

// One text message of a live client; `answer` sends a message back to it (on
// the web thread, at once or later; a client that has gone ignores it).
using LiveAnswer = std::function<void(std::string)>;
void HandleLiveMessage(std::string_view text, const LiveClient& client, LiveAnswer answer);
