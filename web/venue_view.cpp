#include "web/venue_view.h"

#include <cstdio>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <utility>
#include <vector>

#include "config/access_lists.h"
#include "config/settings.h"
#include "web/web_thread.h"

namespace {

using json = nlohmann::ordered_json;

constexpr std::string_view kVenuePath = "/api/venue";
constexpr std::string_view kPictureLeaf = "/picture";
// A room's remote is a link on the page: an http(s) address of no more.
constexpr size_t kRemoteBytesAtMost = 256;

// A room's picture as the web thread last saw it, and its tag: the room's
// `changes` when that picture first came, so that its address stays the same
// while only the room's state changes.
struct SeenPicture {
  std::shared_ptr<const std::string> png;
  uint64_t tag = 0;
};

struct VenueViewRecord {
  std::map<std::string, SeenPicture> pictures;
  // The rooms that changed since their messages last went out.
  std::set<std::string> changed;
  bool sendPending = false;
};

VenueViewRecord webThreadVenueView;

// The link's thread: never waits for the web thread.
void ObserveRoom(const std::string& room) {
  PostToWebThread([room] { VenueRoomChanged(room); });
}

uint64_t PictureTag(const VenueRoom& room) {
  SeenPicture& seen = webThreadVenueView.pictures[room.room];
  // A room that connects again publishes the same picture anew: same tag.
  if (seen.png != room.picture && !(seen.png && room.picture && *seen.png == *room.picture)) {
    seen.tag = room.changes;
  }
  seen.png = room.picture;
  return seen.tag;
}

// A remote address that the page may link to: http:// or https:// and no
// blank, control character, quote or angle bracket.
bool IsRemoteAddress(const std::string& text) {
  if (text.size() > kRemoteBytesAtMost) return false;
  if (text.rfind("http://", 0) != 0 && text.rfind("https://", 0) != 0) return false;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F || c == '"' || c == '\'' || c == '<' || c == '>' ||
        c == '\\' || c == '`') {
      return false;
    }
  }
  return true;
}

std::string StringMember(const json& object, const char* name) {
  auto found = object.find(name);
  return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

int64_t NumberMember(const json& object, const char* name) {
  auto found = object.find(name);
  if (found == object.end() || !found->is_number_integer()) return 0;
  const int64_t value = found->get<int64_t>();
  return value < 0 || value > INT32_MAX ? 0 : value;
}

json RoomObject(const VenueRoom& room) {
  // The state as the room published it; what is missing or odd reads as
  // "no show".
  json state = json::parse(room.state, nullptr, false);
  if (!state.is_object()) state = json::object();
  std::string screen = StringMember(state, "state");
  if (screen != "RUNNING" && screen != "BLACK" && screen != "WHITE" && screen != "ENDED") {
    screen = "NONE";
  }
  json object;
  object["room"] = room.room;
  object["online"] = room.online;
  object["offlineSince"] = nullptr;
  if (!room.online) {
    char since[8];
    std::snprintf(since, sizeof since, "%02d:%02d", room.offlineSince.hour % 24,
                  room.offlineSince.minute % 60);
    object["offlineSince"] = since;
  }
  object["file"] = StringMember(state, "file");
  object["slide"] = NumberMember(state, "slide");
  object["count"] = NumberMember(state, "count");
  object["state"] = screen;
  object["title"] = StringMember(state, "title");
  const std::string remote = StringMember(state, "remote");
  object["remote"] = IsRemoteAddress(remote) ? json(remote) : json(nullptr);
  object["picture"] = nullptr;
  if (room.picture && !room.picture->empty()) {
    object["picture"] = std::string(kVenuePath) + "/" + room.room +
                        "/picture?tag=" + std::to_string(PictureTag(room));
  }
  object["changes"] = room.changes;
  return object;
}

std::string Dump(const json& value) {
  // The rooms' texts are UTF-8; a byte that is none becomes U+FFFD.
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

WebResponse JsonAnswer(std::string body) {
  WebResponse response;
  response.contentType = "application/json";
  response.owner = std::make_shared<const std::string>(std::move(body));
  response.body = *response.owner;
  response.headers.emplace_back("Cache-Control", "no-store");
  return response;
}

WebResponse Refuse(int status, std::string_view error) {
  WebResponse response = JsonAnswer(Dump(json{{"error", error}}));
  response.status = status;
  return response;
}

WebResponse Picture(const WebRequest& request, const std::string& name) {
  VenueRoom room;
  if (!FindVenueRoom(name, &room) || !room.picture || room.picture->empty()) {
    return Refuse(404, "no picture of that room");
  }
  const std::string tag = "\"" + std::to_string(PictureTag(room)) + "\"";
  WebResponse response;
  response.headers.emplace_back("ETag", tag);
  response.headers.emplace_back("Cache-Control", "private, no-cache");
  if (request.ifNoneMatch == tag) {
    response.status = 304;
    return response;
  }
  response.contentType = "image/png";
  response.owner = room.picture;
  response.body = *room.picture;
  return response;
}

// The messages of the rooms that changed: one per room, each encoded once
// for every live client.
void SendRoomMessages() {
  VenueViewRecord& view = webThreadVenueView;
  view.sendPending = false;
  const std::vector<std::string> changed(view.changed.begin(), view.changed.end());
  view.changed.clear();
  for (const std::string& name : changed) {
    VenueRoom room;
    if (!FindVenueRoom(name, &room)) continue;
    json message;
    message["type"] = "room";
    message.update(RoomObject(room));
    BroadcastLiveMessage(std::make_shared<const std::string>(Dump(message)));
  }
}

}  // namespace

void StartVenueView() {
  if (VenueViewOn()) ObserveVenueRooms(ObserveRoom);
}

bool VenueViewOn() { return Settings.web && Settings.mqtt && Settings.mqtt->venue; }

WebResponse ServeVenue(const WebRequest& request, std::string_view path) {
  if (!VenueViewOn()) return Refuse(404, "no venue view: [mqtt] venue=on is not set");
  if (request.method != "GET") return Refuse(405, "only GET here");
  if (path == kVenuePath) {
    json rooms = json::array();
    for (const VenueRoom& room : VenueRooms()) {
      // A room of a name that no settings take is none of the venue's.
      if (IsTopicName(room.room)) rooms.push_back(RoomObject(room));
    }
    return JsonAnswer(Dump(json{{"rooms", std::move(rooms)}}));
  }
  // /api/venue/<room>/picture
  std::string_view rest = path.substr(kVenuePath.size());
  if (rest.size() > 1 + kPictureLeaf.size() && rest[0] == '/' &&
      rest.substr(rest.size() - kPictureLeaf.size()) == kPictureLeaf) {
    const std::string_view name = rest.substr(1, rest.size() - 1 - kPictureLeaf.size());
    if (IsTopicName(name)) return Picture(request, std::string(name));
  }
  return Refuse(404, "no such room");
}

void VenueRoomChanged(const std::string& room) {
  VenueViewRecord& view = webThreadVenueView;
  if (!IsTopicName(room)) return;
  view.changed.insert(room);
  if (view.sendPending) return;
  view.sendPending = true;
  PostToWebThread(SendRoomMessages);
}

std::string VenueRoomJson(const VenueRoom& room) { return Dump(RoomObject(room)); }

void ResetVenueViewForTesting() { webThreadVenueView = VenueViewRecord{}; }
