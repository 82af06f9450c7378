// The Venue view's routes and messages over the real store of rooms, with the
// web thread's queue and its live clients recorded: what a room's entry says
// of what the room published, the picture's address and tag, the addresses
// that are no room, and one message per room for a burst of changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "config/settings.h"
#include "server/venue_rooms.h"
#include "web/venue_view.h"
#include "web/web_thread.h"

SettingsRecord Settings;

namespace {

using nlohmann::json;

std::deque<std::function<void()>> posted;
std::vector<std::string> broadcast;

void RunPosted() {
  while (!posted.empty()) {
    std::function<void()> work = std::move(posted.front());
    posted.pop_front();
    work();
  }
}

class VenueView : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings = SettingsRecord{};
    Settings.web = WebSettings{};
    Settings.mqtt = MqttSettings{};
    Settings.mqtt->venue = true;
    posted.clear();
    broadcast.clear();
    ResetVenueViewForTesting();
  }
  void TearDown() override { ObserveVenueRooms(nullptr); }

  static WebResponse Get(const std::string& path, const std::string& ifNoneMatch = "") {
    WebRequest request;
    request.method = "GET";
    request.target = path;
    request.ifNoneMatch = ifNoneMatch;
    return ServeVenue(request, path);
  }

  static json Entry(const std::string& room) {
    VenueRoom found;
    EXPECT_TRUE(FindVenueRoom(room, &found)) << room;
    return json::parse(VenueRoomJson(found));
  }

  static std::string Header(const WebResponse& response, const std::string& name) {
    for (const auto& [key, value] : response.headers) {
      if (key == name) return value;
    }
    return {};
  }
};

}  // namespace

void PostToWebThread(std::function<void()> work) { posted.push_back(std::move(work)); }
void BroadcastLiveMessage(std::shared_ptr<const std::string> message) {
  broadcast.push_back(*message);
}

TEST_F(VenueView, AnEntrySaysWhatTheRoomPublishedAndNoMore) {
  SetVenueRoomStatus("entry-1", true, TimeOfDay{9, 5, 7});
  SetVenueRoomState("entry-1", R"({"file":"C:\\Shows\\talk.pptx","state":"BLACK","slide":3,
      "count":24,"title":"Results","notes":"secret","seq":9,"room":"entry-1",
      "remote":"http://192.168.1.21:8080/"})");
  json entry = Entry("entry-1");
  EXPECT_EQ(entry, json::parse(R"({"room":"entry-1","online":true,"offlineSince":null,
      "file":"C:\\Shows\\talk.pptx","slide":3,"count":24,"state":"BLACK","title":"Results",
      "remote":"http://192.168.1.21:8080/","picture":null,"changes":2})"));

  // Offline: since when, in hours and minutes of local time.
  SetVenueRoomStatus("entry-1", false, TimeOfDay{14, 2, 59});
  entry = Entry("entry-1");
  EXPECT_EQ(entry["online"], false);
  EXPECT_EQ(entry["offlineSince"], "14:02");

  // What a page must not take as it came: a link that runs code, a state that
  // is no state, numbers that are none; a state that is no JSON at all.
  for (const char* remote : {"javascript:alert(1)", "http://a b/", "http://x/\"onclick=\"",
                             "data:text/html,x", "//evil/"}) {
    SetVenueRoomState(
        "entry-1",
        json{{"remote", remote}, {"state", "DANCING"}, {"slide", -4}, {"count", "24"}, {"title", 7}}
            .dump());
    entry = Entry("entry-1");
    EXPECT_TRUE(entry["remote"].is_null()) << remote;
    EXPECT_EQ(entry["state"], "NONE");
    EXPECT_EQ(entry["slide"], 0);
    EXPECT_EQ(entry["count"], 0);
    EXPECT_EQ(entry["title"], "");
  }
  SetVenueRoomState("entry-1", "{not json");
  EXPECT_EQ(Entry("entry-1")["state"], "NONE");
  SetVenueRoomState("entry-1", R"({"remote":"https://hall.example/","title":"Caf\u00e9"})");
  EXPECT_EQ(Entry("entry-1")["remote"], "https://hall.example/");
  EXPECT_EQ(Entry("entry-1")["title"], "Café");
}

TEST_F(VenueView, ThePictureKeepsItsAddressUntilItChanges) {
  SetVenueRoomStatus("picture-1", true, TimeOfDay{});
  SetVenueRoomPicture("picture-1", std::make_shared<const std::string>("PNG one"));
  const std::string first = Entry("picture-1")["picture"];
  EXPECT_EQ(first, "/api/venue/picture-1/picture?tag=2");
  // The state changes, or the room publishes the same picture again.
  SetVenueRoomState("picture-1", R"({"slide":2})");
  SetVenueRoomPicture("picture-1", std::make_shared<const std::string>("PNG one"));
  EXPECT_EQ(Entry("picture-1")["picture"], first);

  WebResponse picture = Get("/api/venue/picture-1/picture");
  EXPECT_EQ(picture.status, 200);
  EXPECT_EQ(picture.contentType, "image/png");
  EXPECT_EQ(picture.body, "PNG one");
  EXPECT_EQ(Header(picture, "ETag"), "\"2\"");
  EXPECT_EQ(Get("/api/venue/picture-1/picture", "\"2\"").status, 304);

  SetVenueRoomPicture("picture-1", std::make_shared<const std::string>("PNG two"));
  EXPECT_EQ(Entry("picture-1")["picture"], "/api/venue/picture-1/picture?tag=5");
  picture = Get("/api/venue/picture-1/picture", "\"2\"");
  EXPECT_EQ(picture.status, 200);
  EXPECT_EQ(picture.body, "PNG two");
  EXPECT_EQ(Header(picture, "ETag"), "\"5\"");

  SetVenueRoomPicture("picture-1", nullptr);
  EXPECT_TRUE(Entry("picture-1")["picture"].is_null());
  EXPECT_EQ(Get("/api/venue/picture-1/picture").status, 404);
}

TEST_F(VenueView, OnlyRoomsOfGoodNamesAndOnlyWithVenueOn) {
  SetVenueRoomStatus("list-b", true, TimeOfDay{});
  SetVenueRoomStatus("list-a", true, TimeOfDay{});
  SetVenueRoomStatus("list bad", true, TimeOfDay{});
  SetVenueRoomPicture("list-a", std::make_shared<const std::string>("PNG"));
  WebResponse list = Get("/api/venue");
  ASSERT_EQ(list.status, 200);
  std::vector<std::string> listed;
  const json rooms = json::parse(list.body)["rooms"];
  for (const json& room : rooms) listed.push_back(room["room"]);
  EXPECT_TRUE(std::is_sorted(listed.begin(), listed.end()));
  EXPECT_NE(std::find(listed.begin(), listed.end(), "list-a"), listed.end());
  EXPECT_NE(std::find(listed.begin(), listed.end(), "list-b"), listed.end());
  EXPECT_EQ(std::find(listed.begin(), listed.end(), "list bad"), listed.end());

  EXPECT_EQ(Get("/api/venue/list-a/picture").status, 200);
  for (const std::string& path : std::vector<std::string>{
           "/api/venue/list bad/picture", "/api/venue/list%20bad/picture", "/api/venue//picture",
           "/api/venue/../picture", "/api/venue/list-a/picture/", "/api/venue/list-a",
           "/api/venue/list-a/state", "/api/venue/a/b/picture", "/api/venue/list-c/picture",
           "/api/venue/" + std::string(65, 'a') + "/picture", "/api/venue/"}) {
    EXPECT_EQ(Get(path).status, 404) << path;
  }

  WebRequest post;
  post.method = "POST";
  EXPECT_EQ(ServeVenue(post, "/api/venue").status, 405);

  Settings.mqtt->venue = false;
  EXPECT_EQ(Get("/api/venue").status, 404);
  EXPECT_EQ(Get("/api/venue/list-a/picture").status, 404);
}

TEST_F(VenueView, ABurstOfChangesIsOneMessagePerRoomWithItsLatestState) {
  StartVenueView();  // the store now tells the view, by the web thread's queue
  for (int slide = 1; slide <= 5; ++slide) {
    for (const char* room : {"burst-2", "burst-1"}) {
      SetVenueRoomState(room, json{{"slide", slide}, {"count", 5}}.dump());
    }
  }
  SetVenueRoomStatus("burst 3", true, TimeOfDay{});  // no room of the view
  EXPECT_TRUE(broadcast.empty());                    // nothing on the link's thread itself
  RunPosted();
  ASSERT_EQ(broadcast.size(), 2u);
  json first = json::parse(broadcast[0]), second = json::parse(broadcast[1]);
  EXPECT_EQ(first["type"], "room");
  EXPECT_EQ(first["room"], "burst-1");
  EXPECT_EQ(second["room"], "burst-2");
  EXPECT_EQ(second["slide"], 5);
  first.erase("type");
  EXPECT_EQ(first, Entry("burst-1"));

  // A later change is a message of its own.
  SetVenueRoomState("burst-1", R"({"slide":6})");
  RunPosted();
  ASSERT_EQ(broadcast.size(), 3u);
  EXPECT_EQ(json::parse(broadcast[2])["slide"], 6);
}
