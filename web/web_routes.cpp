#include "web/web_routes.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "common/status_log.h"
#include "common/text_rules.h"
#include "common/utf8_text.h"
#include "config/access_lists.h"
#include "config/settings.h"
#include "config/shows_folder.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "platform/timing.h"
#include "presentation/slide_images.h"
#include "server/arrival.h"
#include "server/outcome_words.h"
#include "server/server_mailbox.h"
#include "server/state_object.h"
#include "web/live_state.h"
#include "web/page_files.h"
#include "web/venue_view.h"
#include "web/web_access.h"
#include "web/web_thread.h"

namespace {

using json = nlohmann::ordered_json;

// The longest command text a client may send, in bytes of UTF-8, and the most
// commands of one live client that may wait for the server thread.
constexpr size_t kCommandBytesAtMost = 1024;
constexpr int kLiveCommandsWaitingAtMost = 16;
constexpr int32_t kDefaultSlideImageWidth = 640;
constexpr const char* kTokenCookieAttributes =
    "; Path=/; HttpOnly; SameSite=Strict; Max-Age=31536000";

WebRoutesSettings webThreadRoutes;

std::string Dump(const json& value) {
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

WebResponse TextResponse(int status, std::string contentType, std::string body) {
  WebResponse response;
  response.status = status;
  response.contentType = std::move(contentType);
  response.owner = std::make_shared<const std::string>(std::move(body));
  response.body = *response.owner;
  return response;
}

WebResponse JsonResponse(int status, const json& value) {
  WebResponse response = TextResponse(status, "application/json", Dump(value));
  response.headers.emplace_back("Cache-Control", "no-store");
  return response;
}

bool HasControlCharacters(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  }
  return false;
}

// --- Commands -------------------------------------------------------------

struct CheckedCommand {
  int status = 0;  // 0: it may be posted; else the HTTP status of its refusal
  std::string error;
  std::string given;  // as the client sent it (UTF-8)
  std::string text;   // in the program's code page, as its line shows it
  Command command;
  std::optional<ShowPosition> from;
};

// {"command":"GOTO 5"}, with "from":{"slide":3,"build":1} for NEXT and PREV.
CheckedCommand CheckCommand(const json& message) {
  auto text = message.find("command");
  if (text == message.end() || !text->is_string()) {
    CheckedCommand command;
    command.status = 400;
    command.error = "no command";
    return command;
  }
  const std::string& utf8 = text->get_ref<const std::string&>();
  CheckedCommand command;
  command.given = utf8.substr(0, Utf8PrefixLength(utf8, kCommandBytesAtMost));
  auto refuse = [&command](int status, std::string error) {
    command.status = status;
    command.error = std::move(error);
    return command;
  };
  if (utf8.size() > kCommandBytesAtMost) return refuse(400, "the command is too long");
  if (HasControlCharacters(utf8)) return refuse(400, "the command has control characters");
  command.text = CodePageFromUtf8(utf8);
  command.command = ReadCommandText(command.text);
  if (command.command.wordAsSent.empty()) return refuse(400, "no command");
  if (!command.command.word) {
    return refuse(
        400, "unknown command word " + Utf8FromCodePage(FoldUpper(command.command.wordAsSent)));
  }
  const CommandWord known = *command.command.word;
  if ((webThreadRoutes.commands & CommandWordBit(known)) == 0) {
    return refuse(
        403, std::string("the remote may not send ") + kCommandWords[static_cast<size_t>(known)]);
  }
  auto from = message.find("from");
  if (from != message.end() && (known == CommandWord::kNext || known == CommandWord::kPrev)) {
    command.from = ReadShowPosition(*from);
    if (!command.from) return refuse(400, "from needs a slide and a build");
  }
  return command;
}

// Hands the command of the device `name` (as kept, UTF-8) to the server
// thread, stamped with its arrival. `done`, when given, is called on the web
// thread with the outcome. False when the server thread does not take it
// (`done` is then told kDropped).
bool PostWebCommand(const std::string& name, uint32_t address, const CheckedCommand& command,
                    std::function<void(ArrivalOutcome)> done) {
  Arrival arrival;
  arrival.arrivedAt = ArrivalClockNow();
  arrival.time = LocalTimeOfDay();
  arrival.origin = CommandOrigin{Door::kWeb, address, 0, CodePageFromUtf8(name)};
  arrival.shown = "\"" + command.text + "\"";
  arrival.command = command.command;
  arrival.from = command.from;
  if (done) {
    arrival.done = [done = std::move(done)](ArrivalOutcome outcome) {
      PostToWebThread([done, outcome] { done(outcome); });
    };
  }
  return PostArrival(std::move(arrival));
}

json CommandAnswer(const std::string& command, int status, const char* outcome,
                   const std::string& error) {
  json answer;
  answer["command"] = command;
  answer["status"] = status;
  answer["outcome"] = outcome;
  if (!error.empty()) answer["error"] = error;
  return answer;
}

// --- Requests -------------------------------------------------------------

std::optional<json> JsonBody(const WebRequest& request) {
  json body = json::parse(request.body, nullptr, false);
  if (body.is_discarded() || !body.is_object()) return std::nullopt;
  return body;
}

// The checks that every request passes first, the WebSocket upgrade too.
std::optional<WebResponse> RefuseForeign(const WebRequest& request) {
  if (!HostIsThisComputer(request.host, request.localAddress, MonotonicMilliseconds())) {
    return ErrorResponse(403, "the request is for another host");
  }
  if (!SenderAllowed(request.peerAddress)) {
    return ErrorResponse(403, "this address may not use the remote");
  }
  if (request.origin && !OriginMatchesHost(*request.origin, request.host)) {
    return ErrorResponse(403, "a request from another site");
  }
  return std::nullopt;
}

WebResponse PageFileResponse(const WebRequest& request, const PageFile& file) {
  const std::string tag = "\"" + std::string(file.tag) + "\"";
  WebResponse response;
  response.headers.emplace_back("ETag", tag);
  response.headers.emplace_back("Cache-Control", "no-cache");
  if (request.ifNoneMatch == tag) {
    response.status = 304;
    return response;
  }
  response.contentType = std::string(file.contentType);
  response.body = file.Bytes();
  return response;
}

WebResponse ServePage(const WebRequest& request, std::string_view path) {
  if (request.method != "GET") return ErrorResponse(405, "only GET here");
  if (path == "/pair" || path == "/pair.html") {
    if (!IsLoopbackAddress(request.peerAddress)) {
      return ErrorResponse(403, "the pairing page opens on this computer only");
    }
    path = "/pair.html";
  }
  const PageFile* file = FindPageFile(path);
  if (file == nullptr) return ErrorResponse(404, "no such page");
  return PageFileResponse(request, *file);
}

WebResponse Pair(const WebRequest& request) {
  std::optional<json> body = JsonBody(request);
  if (!body) return ErrorResponse(400, "the body is no JSON object");
  auto code = body->find("code");
  auto name = body->find("name");
  if (code == body->end() || !code->is_string()) return ErrorResponse(400, "no code");
  std::string nameText;
  if (name != body->end() && name->is_string()) nameText = name->get<std::string>();
  PairAnswer answer = PairDevice(request.peerAddress, code->get_ref<const std::string&>(), nameText,
                                 MonotonicMilliseconds());
  if (answer.outcome == PairOutcome::kRefused) {
    WebResponse response = ErrorResponse(429, "too many wrong codes: try again in a minute");
    response.headers.emplace_back("Retry-After", "60");
    return response;
  }
  if (answer.codeDrawnAnew) AddLogLine(WebRemoteLine());
  if (answer.outcome == PairOutcome::kWrongCode) return ErrorResponse(403, "wrong code");
  // The token in the answer is for API clients; the page (a browser's
  // request has an Origin) gets the cookie alone and never sees it.
  json paired;
  if (!request.origin) paired["token"] = answer.token;
  paired["name"] = DeviceName(nameText);
  WebResponse response = JsonResponse(200, paired);
  response.headers.emplace_back("Set-Cookie",
                                TokenCookieName() + "=" + answer.token + kTokenCookieAttributes);
  return response;
}

std::vector<std::string> RemoteCommandWords() {
  std::vector<std::string> words;
  for (size_t i = 0; i < kCommandWordCount; ++i) {
    if ((webThreadRoutes.commands & (1u << i)) != 0) words.emplace_back(kCommandWords[i]);
  }
  return words;
}

json Info(const std::string& name) {
  json info;
  info["name"] = name;
  info["commands"] = RemoteCommandWords();
  info["shows"] = !webThreadRoutes.showsFolder.empty();
  info["venue"] = VenueViewOn();
  return info;
}

void Command(const WebRequest& request, const std::string& name, const WebRespond& respond) {
  std::optional<json> body = JsonBody(request);
  if (!body) return respond(ErrorResponse(400, "the body is no JSON object"));
  CheckedCommand command = CheckCommand(*body);
  const std::string& shown = command.given;
  if (command.status != 0) {
    return respond(
        JsonResponse(command.status,
                     CommandAnswer(shown, command.status,
                                   command.status == 403 ? "refused" : "invalid", command.error)));
  }
  if (!command.from) {
    // Answered as soon as the server thread has it.
    if (PostWebCommand(name, request.peerAddress, command, nullptr)) {
      return respond(JsonResponse(202, CommandAnswer(shown, 202, "queued", std::string())));
    }
    return respond(JsonResponse(
        503, CommandAnswer(shown, 503, "dropped", WordsOfOutcome(ArrivalOutcome::kDropped).error)));
  }
  // A step from a slide and build: answered once the server thread has
  // compared them with the show.
  PostWebCommand(name, request.peerAddress, command, [respond, shown](ArrivalOutcome outcome) {
    const OutcomeWords words = WordsOfOutcome(outcome);
    respond(
        JsonResponse(words.status, CommandAnswer(shown, words.status, words.outcome, words.error)));
  });
}

void Open(const WebRequest& request, const std::string& name, const WebRespond& respond) {
  if (webThreadRoutes.showsFolder.empty()) return respond(ErrorResponse(404, "no shows folder"));
  std::optional<json> body = JsonBody(request);
  if (!body) return respond(ErrorResponse(400, "the body is no JSON object"));
  auto show = body->find("name");
  if (show == body->end() || !show->is_string() || show->get_ref<const std::string&>().empty()) {
    return respond(ErrorResponse(400, "no name"));
  }
  const std::string& utf8 = show->get_ref<const std::string&>();
  if (utf8.find('/') != std::string::npos || utf8.find('\\') != std::string::npos ||
      utf8.find("..") != std::string::npos || HasControlCharacters(utf8)) {
    return respond(ErrorResponse(400, "a name of the list, not a path"));
  }
  if ((CommandsAllowedAt(Door::kWeb) & CommandWordBit(CommandWord::kOpen)) == 0) {
    return respond(ErrorResponse(403, "OPEN is not allowed"));
  }
  const std::vector<std::string> names = ShowNames(webThreadRoutes.showsFolder);
  if (std::find(names.begin(), names.end(), utf8) == names.end()) {
    return respond(ErrorResponse(404, "no such show"));
  }
  CheckedCommand command;
  command.command.word = CommandWord::kOpen;
  command.command.wordAsSent = "OPEN";
  command.command.argument = ShowPath(webThreadRoutes.showsFolder, utf8);
  command.text = "OPEN " + command.command.argument;
  if (!PostWebCommand(name, request.peerAddress, command, nullptr)) {
    return respond(ErrorResponse(503, WordsOfOutcome(ArrivalOutcome::kDropped).error));
  }
  respond(JsonResponse(202, CommandAnswer("OPEN " + utf8, 202, "queued", std::string())));
}

std::optional<int32_t> DigitsValue(std::string_view digits) {
  if (digits.empty() || digits.size() > 6 ||
      digits.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  int32_t value = 0;
  for (char c : digits) value = value * 10 + (c - '0');
  return value;
}

// The value of `key` in a query "a=1&width=640"; none when it is not there.
std::optional<std::string_view> QueryValue(std::string_view query, std::string_view key) {
  while (!query.empty()) {
    const size_t end = std::min(query.find('&'), query.size());
    std::string_view pair = query.substr(0, end);
    if (pair.size() > key.size() && pair.substr(0, key.size()) == key && pair[key.size()] == '=') {
      return pair.substr(key.size() + 1);
    }
    query.remove_prefix(std::min(end + 1, query.size()));
  }
  return std::nullopt;
}

void SlideImage(const WebRequest& request, std::string_view path, std::string_view query,
                const WebRespond& respond) {
  constexpr std::string_view kPrefix = "/api/slides/";
  constexpr std::string_view kSuffix = ".png";
  std::string_view number = path.substr(kPrefix.size());
  if (number.size() <= kSuffix.size() || number.substr(number.size() - kSuffix.size()) != kSuffix) {
    return respond(ErrorResponse(404, "no such route"));
  }
  std::optional<int32_t> slide = DigitsValue(number.substr(0, number.size() - kSuffix.size()));
  if (!slide || *slide < 1) return respond(ErrorResponse(404, "no such slide"));
  int32_t width = kDefaultSlideImageWidth;
  if (std::optional<std::string_view> text = QueryValue(query, "width")) {
    std::optional<int32_t> value = DigitsValue(*text);
    if (!value || *value < kSlideImageWidthMin || *value > kSlideImageWidthMax) {
      return respond(ErrorResponse(400, "width is " + std::to_string(kSlideImageWidthMin) + "-" +
                                            std::to_string(kSlideImageWidthMax)));
    }
    width = *value;
  }
  const bool waits = RequestSlideImage(
      *slide, width, [respond, ifNoneMatch = request.ifNoneMatch](const SlideImageAnswer& answer) {
        PostToWebThread([respond, ifNoneMatch, answer] {
          switch (answer.outcome) {
            case SlideImageOutcome::kImage: {
              const std::string tag = "\"" + answer.tag + "\"";
              WebResponse response;
              response.headers.emplace_back("ETag", tag);
              response.headers.emplace_back("Cache-Control", "private, no-cache");
              if (ifNoneMatch == tag) {
                response.status = 304;
              } else {
                response.contentType = "image/png";
                response.owner = answer.png;
                response.body = *answer.png;
              }
              return respond(std::move(response));
            }
            case SlideImageOutcome::kNoShow:
              return respond(ErrorResponse(404, "no show"));
            case SlideImageOutcome::kNoSlide:
              return respond(ErrorResponse(404, "no such slide"));
            case SlideImageOutcome::kFailed:
              break;
          }
          respond(ErrorResponse(500, "the application could not make the picture"));
        });
      });
  if (waits) WakeServerThread();
}

void ServeApi(const WebRequest& request, std::string_view path, std::string_view query,
              const WebRespond& respond) {
  const bool get = request.method == "GET";
  const bool post = request.method == "POST";
  if (path == "/api/pair") {
    return respond(post ? Pair(request) : ErrorResponse(405, "only POST here"));
  }
  if (path == "/api/pairing") {
    if (!IsLoopbackAddress(request.peerAddress)) {
      return respond(ErrorResponse(403, "the pairing code shows on this computer only"));
    }
    json pairing;
    pairing["url"] = webThreadRoutes.remoteUrl + "#code=" + PairingCode();
    pairing["code"] = PairingCode();
    return respond(get ? JsonResponse(200, pairing) : ErrorResponse(405, "only GET here"));
  }
  const std::optional<std::string> device =
      DeviceOfToken(TokenOfRequest(request.cookie, request.authorization));
  if (!device) {
    WebResponse response = ErrorResponse(401, "not paired: POST /api/pair with the code first");
    response.headers.emplace_back("WWW-Authenticate", "Bearer");
    return respond(std::move(response));
  }
  const std::string name = *device;
  if (path == "/api/state") {
    if (!get) return respond(ErrorResponse(405, "only GET here"));
    WebResponse response =
        TextResponse(200, "application/json", StateMessage(MonotonicMilliseconds()));
    response.headers.emplace_back("Cache-Control", "no-store");
    return respond(std::move(response));
  }
  if (path == "/api/info") {
    return respond(get ? JsonResponse(200, Info(name)) : ErrorResponse(405, "only GET here"));
  }
  if (path == "/api/command") {
    return post ? Command(request, name, respond) : respond(ErrorResponse(405, "only POST here"));
  }
  if (path == "/api/shows") {
    if (!get) return respond(ErrorResponse(405, "only GET here"));
    if (webThreadRoutes.showsFolder.empty()) return respond(ErrorResponse(404, "no shows folder"));
    json shows = json::array();
    for (const std::string& show : ShowNames(webThreadRoutes.showsFolder)) shows.push_back(show);
    return respond(JsonResponse(200, json{{"shows", shows}}));
  }
  if (path == "/api/open") {
    return post ? Open(request, name, respond) : respond(ErrorResponse(405, "only POST here"));
  }
  if (path.substr(0, 12) == "/api/slides/") {
    return get ? SlideImage(request, path, query, respond)
               : respond(ErrorResponse(405, "only GET here"));
  }
  if (path == "/api/venue" || path.substr(0, 11) == "/api/venue/") {
    return respond(ServeVenue(request, path));
  }
  if (path == "/api/live")
    return respond(ErrorResponse(400, "a WebSocket upgrade is expected here"));
  respond(ErrorResponse(404, "no such route"));
}

json ResultMessage(const json& id, json answer) {
  json message;
  message["type"] = "result";
  if (!id.is_null()) message["id"] = id;
  message.update(answer);
  return message;
}

}  // namespace

void StartWebRoutes(WebRoutesSettings settings) { webThreadRoutes = std::move(settings); }

std::string WebRemoteLine() {
  return "Web remote at " + webThreadRoutes.remoteUrl + " code " + PairingCode();
}

WebResponse ErrorResponse(int status, std::string_view message) {
  return JsonResponse(status, json{{"error", message}});
}

void HandleWebRequest(const WebRequest& request, WebRespond respond) {
  if (std::optional<WebResponse> refusal = RefuseForeign(request))
    return respond(std::move(*refusal));
  std::string_view target = request.target;
  const size_t question = target.find('?');
  const std::string_view path = target.substr(0, question);
  const std::string_view query =
      question == std::string_view::npos ? std::string_view() : target.substr(question + 1);
  if (path.substr(0, 5) == "/api/") return ServeApi(request, path, query, respond);
  respond(ServePage(request, path));
}

std::optional<WebResponse> CheckLiveUpgrade(const WebRequest& request, LiveClient* client) {
  if (std::optional<WebResponse> refusal = RefuseForeign(request)) return refusal;
  if (request.target != "/api/live") return ErrorResponse(404, "no such route");
  const std::optional<std::string> device =
      DeviceOfToken(TokenOfRequest(request.cookie, request.authorization));
  if (!device) return ErrorResponse(401, "not paired: POST /api/pair with the code first");
  client->name = *device;
  client->address = request.peerAddress;
  return std::nullopt;
}

std::vector<std::string> LiveGreeting(const LiveClient& client) {
  json hello = Info(client.name);
  json message;
  message["type"] = "hello";
  message.update(hello);
  return {Dump(message), StateMessage(MonotonicMilliseconds())};
}

std::string LivePingMessage() { return "{\"type\":\"ping\"}"; }

void HandleLiveMessage(std::string_view text, const LiveClient& client, LiveAnswer answer) {
  json message = json::parse(text, nullptr, false);
  if (message.is_discarded() || !message.is_object()) {
    return answer(Dump(ResultMessage(
        nullptr, CommandAnswer("", 400, "invalid", "the message is no JSON object"))));
  }
  json id = nullptr;
  if (auto found = message.find("id");
      found != message.end() &&
      (found->is_number() ||
       (found->is_string() && found->get_ref<const std::string&>().size() <= 64))) {
    id = *found;
  }
  if (auto type = message.find("type"); type != message.end() && *type == "ping") {
    json pong;
    pong["type"] = "pong";
    if (!id.is_null()) pong["id"] = id;
    return answer(Dump(pong));
  }
  CheckedCommand command = CheckCommand(message);
  const std::string& shown = command.given;
  if (command.status != 0) {
    return answer(Dump(ResultMessage(
        id, CommandAnswer(shown, command.status, command.status == 403 ? "refused" : "invalid",
                          command.error))));
  }
  if (*client.commandsWaiting >= kLiveCommandsWaitingAtMost) {
    return answer(
        Dump(ResultMessage(id, CommandAnswer(shown, 429, "dropped", "too many commands wait"))));
  }
  ++*client.commandsWaiting;
  PostWebCommand(client.name, client.address, command,
                 [answer, id, shown, waiting = client.commandsWaiting](ArrivalOutcome outcome) {
                   --*waiting;
                   const OutcomeWords words = WordsOfOutcome(outcome);
                   answer(Dump(ResultMessage(
                       id, CommandAnswer(shown, words.status, words.outcome, words.error))));
                 });
}
