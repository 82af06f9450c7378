// The venue link's reading of its command topic and what it publishes of the
// show, without a broker: what is carried out and what is answered at once,
// which topics a new connection and a change publish, and the room's
// entities for Home Assistant.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common/text_rules.h"
#include "config/settings.h"
#include "config/shows_folder.h"
#include "platform/sockets.h"
#include "venue/venue_commands.h"
#include "venue/venue_discovery.h"
#include "venue/venue_follow.h"
#include "venue/venue_state.h"

SettingsRecord Settings;
uint32_t LookUpLocalAddress() { return 0x1402A8C0; }  // 192.168.2.20

namespace {

using json = nlohmann::json;

const TimeOfDay kTime{9, 30, 0};

class Venue : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings = SettingsRecord{};
    Settings.mqtt = MqttSettings{};
    Settings.mqtt->room = "hall-1";
  }

  VenueReading Read(const std::string& payload, bool retained = false, uint64_t now = 1000) {
    return ReadVenueCommand(payload, retained, kTime, 0, now, ids,
                            [this](std::string result) { results.push_back(json::parse(result)); });
  }

  // The result of carrying the arrival out with `outcome`.
  json Outcome(VenueReading& reading, ArrivalOutcome outcome) {
    results.clear();
    reading.arrival->done(outcome);
    return results.empty() ? json() : results.back();
  }

  VenueIds ids;
  std::vector<json> results;
};

// Plain texts and JSON commands become arrivals with their M line's sender
// and text; what cannot be read is an arrival with the door's line, answered
// as invalid once it has been logged.
TEST_F(Venue, CommandMessagesAreReadOnceIntoArrivals) {
  struct Case {
    const char* payload;
    const char* sender;
    const char* shown;
    const char* word;  // the command's word as sent; "" for none
    const char* doorLine;
  };
  const Case cases[] = {
      {"NEXT", "mqtt", "\"NEXT\"", "NEXT", ""},
      {"  goto  5 ", "mqtt", "\"  goto  5 \"", "goto", ""},
      {R"({"command":"GOTO 3","name":"Desk-2"})", "Desk-2", "\"GOTO 3\"", "GOTO", ""},
      {R"({"command":"NEXT","name":"a \"b\""})", "mqtt", "\"NEXT\"", "NEXT", ""},
      {R"({"command":"caf\u00e9"})", "mqtt", "\"caf\xE9\"", "caf\xE9", ""},
      {R"({"command":3})", "mqtt", "\"{\"command\":3}\"", "", "ERR: bad MQTT command: no command"},
      {"{bad", "mqtt", "\"{bad\"", "", "ERR: bad MQTT command: the message is no JSON object"},
      {"NEXT\xFF", "mqtt", "\"NEXT?\"", "", "ERR: bad MQTT command: the command is no UTF-8"},
      {"NEXT\r\n", "mqtt", "\"NEXT\r\n\"", "",
       "ERR: bad MQTT command: the command has control characters"},
      {R"({"command":"NEXT","from":{"slide":2}})", "mqtt",
       "\"{\"command\":\"NEXT\",\"from\":{\"slide\":2}}\"", "",
       "ERR: bad MQTT command: from needs a slide and a build"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.payload);
    VenueReading reading = Read(c.payload);
    ASSERT_TRUE(reading.arrival.has_value());
    const Arrival& arrival = *reading.arrival;
    EXPECT_EQ(arrival.origin.door, Door::kMqtt);
    EXPECT_EQ(arrival.origin.name, c.sender);
    EXPECT_EQ(arrival.shown, c.shown);
    EXPECT_EQ(arrival.command ? arrival.command->wordAsSent : std::string(), c.word);
    EXPECT_EQ(arrival.doorLine, c.doorLine);
  }
  VenueReading tooLong = Read(std::string(1025, 'x'));
  EXPECT_EQ(tooLong.arrival->doorLine, "ERR: bad MQTT command: the command is too long");
  EXPECT_EQ(tooLong.arrival->shown.size(), 1024u + 2);
  EXPECT_EQ(Outcome(tooLong, ArrivalOutcome::kNoCommand)["error"], "the command is too long");
}

// A retained command is answered and never carried out; an id is taken once a
// minute; `from` only with NEXT and PREV; the results say what the web's say.
TEST_F(Venue, RetainedAndRepeatedCommandsAreNotCarriedOutAndEveryCommandHasItsResult) {
  VenueReading retained = Read("NEXT", true);
  EXPECT_FALSE(retained.arrival.has_value());
  EXPECT_EQ(retained.line, "ERROR: MQTT command retained on the broker, not carried out: \"NEXT\"");
  EXPECT_EQ(json::parse(retained.result),
            json::parse(R"({"id":null,"command":"NEXT","status":400,"outcome":"invalid",
                            "error":"a retained command is never carried out"})"));

  const std::string step = R"({"command":"NEXT","id":"a7","from":{"slide":3,"build":1}})";
  VenueReading first = Read(step, false, 1000);
  ASSERT_TRUE(first.arrival && first.arrival->from);
  EXPECT_EQ(first.arrival->from->slide, 3);
  EXPECT_EQ(Outcome(first, ArrivalOutcome::kCarriedOut),
            json::parse(R"({"id":"a7","command":"NEXT","status":202,"outcome":"done"})"));
  VenueReading again = Read(step, false, 1000 + kVenueIdMilliseconds - 1);
  EXPECT_FALSE(again.arrival.has_value());
  EXPECT_EQ(json::parse(again.result)["status"], 409);
  EXPECT_TRUE(Read(step, false, 1000 + 2 * kVenueIdMilliseconds).arrival.has_value());

  VenueReading moved = Read(R"({"command":"PREV","id":7,"from":{"slide":3,"build":0}})");
  EXPECT_EQ(Outcome(moved, ArrivalOutcome::kMovedOn),
            json::parse(R"({"id":7,"command":"PREV","status":409,"outcome":"moved-on",
                            "error":"the show has moved on since"})"));
  EXPECT_FALSE(Read(R"({"command":"GOTO 2","from":{"slide":3,"build":0}})").arrival->from);
  VenueReading unknown = Read("hello world");
  EXPECT_EQ(Outcome(unknown, ArrivalOutcome::kUnknownWord)["error"], "unknown command word HELLO");
  VenueReading refused = Read("run x");
  EXPECT_EQ(Outcome(refused, ArrivalOutcome::kWordRefused),
            json::parse(R"({"id":null,"command":"run x","status":403,"outcome":"refused",
                            "error":"the venue link may not send RUN"})"));
}

std::vector<std::string> Topics(const std::vector<VenuePublish>& publishes) {
  std::vector<std::string> topics;
  for (const VenuePublish& publish : publishes) {
    topics.push_back(publish.topic.substr(std::string("podiant/hall-1/").size()) +
                     (publish.payload.empty() ? " (removed)" : "=" + publish.payload));
  }
  return topics;
}

// A new connection publishes every value (and removes those the status does
// not have, left from an earlier run), a change the values that changed; the
// state object comes last each time.
TEST_F(Venue, ANewConnectionPublishesEveryValueAndAChangeWhatChanged) {
  Settings.web = WebSettings{};
  Settings.web->port = 8080;
  ShowStatus none;
  std::vector<VenuePublish> first = VenueStatePublishes(nullptr, none, 1);
  EXPECT_EQ(Topics(first),
            (std::vector<std::string>{"value/state=NONE", "value/file (removed)",
                                      "value/slide (removed)", "value/slides (removed)",
                                      "value/title (removed)", "value/build (removed)",
                                      "value/builds (removed)", "value/nextslide (removed)",
                                      "value/notes (removed)", "state=" + first.back().payload}));
  const json state = json::parse(first.back().payload);
  EXPECT_EQ(state["room"], "hall-1");
  EXPECT_EQ(state["remote"], "http://192.168.2.20:8080/");
  EXPECT_EQ(state["seq"], 1);
  EXPECT_EQ(state["state"], "NONE");

  ShowStatus running;
  running.show = 1;
  running.fileName = "talk.odp";
  running.state = ShowState::kRunning;
  running.slide = 2;
  running.slideCount = 9;
  running.details.title = "Two";
  running.details.nextSlide = 3;
  ShowStatus black = running;
  black.state = ShowState::kBlack;
  EXPECT_EQ(Topics(VenueStatePublishes(&running, black, 2)).front(), "value/state=BLACK");
  EXPECT_EQ(VenueStatePublishes(&running, black, 2).size(), 2u);
  ShowStatus next = running;
  next.slide = 3;
  next.details.title = "Three";
  next.details.nextSlide = 4;
  const std::vector<std::string> topics = Topics(VenueStatePublishes(&running, next, 3));
  EXPECT_EQ(std::vector<std::string>(topics.begin(), topics.end() - 1),
            (std::vector<std::string>{"value/slide=3", "value/slides=9", "value/title=Three",
                                      "value/nextslide=4"}));
}

// With discovery on, every entity's configuration names the one device, its
// own unique id and the room's status as availability; sensors read the
// state object, each button's press is a command the link reads, and the
// image shows the picture. What is not there (a word commands= leaves out,
// the picture when off, everything when discovery is off) is removed on the
// same topics.
TEST_F(Venue, DiscoveryAnnouncesTheRoomsEntitiesAndRemovesWhatIsNotThere) {
  MqttSettings mqtt = *Settings.mqtt;
  mqtt.discovery = true;
  mqtt.pictureWidth = 320;
  const std::vector<VenuePublish> all = DiscoveryPublishes(mqtt);
  std::vector<std::string> topics, uniqueIds;
  for (const VenuePublish& publish : all) {
    SCOPED_TRACE(publish.topic);
    topics.push_back(publish.topic);
    EXPECT_TRUE(publish.retained);
    const json config = json::parse(publish.payload);
    const std::string component = publish.topic.substr(14, publish.topic.find('/', 14) - 14);
    uniqueIds.push_back(config["unique_id"]);
    const std::string object = uniqueIds.back().substr(15);  // after "podiant_hall-1_"
    EXPECT_EQ(publish.topic,
              "homeassistant/" + component + "/podiant_hall-1/" + object + "/config");
    EXPECT_EQ(config["device"]["identifiers"], json::array({"podiant_hall-1"}));
    EXPECT_EQ(config["device"]["name"], "Podiant hall-1");
    EXPECT_EQ(config["availability"],
              json::parse(R"([{"topic":"podiant/hall-1/status","payload_available":"online",
                               "payload_not_available":"offline"}])"));
    EXPECT_EQ(config.contains("state_topic"), component == "sensor");
    EXPECT_EQ(config.contains("command_topic"), component == "button");
    EXPECT_EQ(config.contains("image_topic"), component == "image");
    if (component == "sensor") {
      EXPECT_EQ(config["state_topic"], "podiant/hall-1/state");
      EXPECT_NE(config["value_template"].get<std::string>().find("value_json."), std::string::npos);
    } else if (component == "button") {
      EXPECT_EQ(config["command_topic"], "podiant/hall-1/command");
      VenueReading reading = Read(config["payload_press"]);
      ASSERT_TRUE(reading.arrival.has_value());
      EXPECT_EQ(reading.arrival->origin.name, "homeassistant");
      ASSERT_TRUE(reading.arrival->command.has_value());
      EXPECT_TRUE(reading.arrival->command->word.has_value());
      EXPECT_EQ(reading.arrival->command->wordAsSent, FoldUpper(object));
    } else {
      EXPECT_EQ(config["image_topic"], "podiant/hall-1/picture");
      EXPECT_EQ(config["content_type"], "image/png");
    }
  }
  EXPECT_EQ(uniqueIds,
            (std::vector<std::string>{
                "podiant_hall-1_slide", "podiant_hall-1_count", "podiant_hall-1_state",
                "podiant_hall-1_title", "podiant_hall-1_next_slide", "podiant_hall-1_next",
                "podiant_hall-1_prev", "podiant_hall-1_black", "podiant_hall-1_white",
                "podiant_hall-1_resume", "podiant_hall-1_picture"}));

  // NEXT and PREV in commands=, PREV not within the link's words, no picture.
  mqtt.commands = CommandWordBit(CommandWord::kNext) | CommandWordBit(CommandWord::kPrev) |
                  CommandWordBit(CommandWord::kGoto);
  mqtt.pictureWidth = 0;
  std::vector<std::string> kept;
  for (const VenuePublish& publish :
       DiscoveryPublishes(mqtt, kEveryCommandWord & ~CommandWordBit(CommandWord::kPrev))) {
    EXPECT_TRUE(publish.retained);
    if (!publish.payload.empty()) kept.push_back(publish.topic);
    EXPECT_NE(std::find(topics.begin(), topics.end(), publish.topic), topics.end());
  }
  EXPECT_EQ(kept.size(), 6u);
  EXPECT_EQ(kept.back(), "homeassistant/button/podiant_hall-1/next/config");

  // Off: every topic of the full set, each emptied.
  mqtt.discovery = false;
  mqtt.pictureWidth = 320;
  mqtt.commands = 0;
  std::vector<std::string> removed;
  for (const VenuePublish& publish : DiscoveryPublishes(mqtt)) {
    EXPECT_TRUE(publish.retained);
    EXPECT_EQ(publish.payload, "");
    removed.push_back(publish.topic);
  }
  EXPECT_EQ(removed, topics);
}

// Node ids hold only what Home Assistant takes, are the same in every build,
// and differ between rooms whose names differ only in what had to be replaced.
TEST_F(Venue, DiscoveryNodeIdsAreSafeStableAndDistinct) {
  EXPECT_EQ(DiscoveryNodeId("podiant", "hall-1"), "podiant_hall-1");
  EXPECT_EQ(DiscoveryNodeId("venue/podiant", "hall.1"), "venue_podiant_hall_1_c662f323");
  const std::vector<std::string> ids = {DiscoveryNodeId("a/b", "c"), DiscoveryNodeId("a", "b_c"),
                                        DiscoveryNodeId("a_b", "c"), DiscoveryNodeId("a", "b.c"),
                                        DiscoveryNodeId("a", "b-c"), DiscoveryNodeId("a.b", "c")};
  for (size_t i = 0; i < ids.size(); ++i) {
    EXPECT_EQ(ids[i].find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                       "0123456789_-"),
              std::string::npos)
        << ids[i];
    for (size_t j = 0; j < i; ++j) EXPECT_NE(ids[i], ids[j]);
  }
}

}  // namespace

// A backup steps towards its main one command at a time: the file of the
// same name from its own folder of shows, then the slide, the build and
// black/white; nothing while a step is unanswered, nothing while the main is
// offline, and one ERROR line for a file found nowhere.
TEST_F(Venue, AFollowerStepsTowardsItsMainOneCommandAtATime) {
  const std::filesystem::path temporary =
      std::filesystem::temp_directory_path() /
      ("podiant-follow-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  std::filesystem::create_directories(temporary);
  const std::string folder = temporary.string();
  std::ofstream(temporary / "deck.odp") << "x";
  Settings.web = WebSettings{};
  Settings.web->showsFolder = folder;
  Settings.mqtt->follow = "main";
  const std::string here = ShowPath(folder, "deck.odp");
  auto own = [&](const std::string& file, ShowState state, int32_t slide, int32_t build = 0) {
    ShowStatus status;
    status.fileName = file;
    status.state = state;
    status.slide = slide;
    status.slideCount = file.empty() ? 0 : 5;
    status.details.buildPosition = build;
    return std::make_shared<const ShowStatus>(status);
  };
  Follower follower;
  std::string line;
  auto next = [&](const SharedShowStatus& status, uint64_t now) {
    line.clear();
    return NextFollowStep(follower, status, now, &line);
  };
  const SharedShowStatus none = own("", ShowState::kNone, 0);
  EXPECT_EQ(next(none, 0), "");  // nothing known of the main yet
  ASSERT_TRUE(ReadFollowedState(
      R"({"file":"C:\\Shows\\deck.odp","state":"RUNNING","slide":3,"build":{"position":1}})",
      &follower.main));
  EXPECT_EQ(next(none, 0), "");  // not online
  follower.main.online = true;
  follower.catchingUp = true;
  EXPECT_EQ(next(none, 0), "OPEN " + here);
  EXPECT_EQ(next(none, 100), "");                          // unanswered
  EXPECT_EQ(next(own("", ShowState::kNone, 0), 150), "");  // starting, not yet open
  EXPECT_TRUE(follower.catchingUp);
  const SharedShowStatus opened = own(here, ShowState::kRunning, 1);
  EXPECT_EQ(next(opened, 200), "GOTO 3");
  EXPECT_EQ(next(own(here, ShowState::kRunning, 3), 300), "NEXT");
  const SharedShowStatus there = own(here, ShowState::kRunning, 3, 1);
  EXPECT_EQ(next(there, 400), "");
  EXPECT_FALSE(follower.catchingUp);  // an operator's steps from here are left alone
  EXPECT_EQ(next(there, 400), "");
  ReadFollowedState(
      R"({"file":"C:\\Shows\\deck.odp","state":"BLACK","slide":3,"build":{"position":1}})",
      &follower.main);
  EXPECT_EQ(next(there, 500), "BLACK");
  EXPECT_EQ(next(there, 600), "");                                 // a step on its way ...
  EXPECT_EQ(next(there, 500 + kFollowStepMilliseconds), "BLACK");  // ... until it went unanswered
  follower.waiting = false;
  EXPECT_EQ(next(own(here, ShowState::kBlack, 3, 1), 5000), "");
  ReadFollowedState(R"({"file":"C:\\Shows\\deck.odp","state":"ENDED","slide":3})", &follower.main);
  EXPECT_EQ(next(own(here, ShowState::kBlack, 3, 1), 6000), "END");
  ReadFollowedState(R"({"file":"/elsewhere/other deck.odp","state":"RUNNING","slide":1})",
                    &follower.main);
  EXPECT_EQ(next(own(here, ShowState::kEnded, 3), 7000), "");
  EXPECT_EQ(line, "ERROR: Following \"main\": no file \"/elsewhere/other deck.odp\" here");
  EXPECT_EQ(next(own(here, ShowState::kEnded, 3), 8000), "");
  EXPECT_EQ(line, "");  // said once
  EXPECT_FALSE(ReadFollowedState("not json", &follower.main));
  std::filesystem::remove_all(temporary);
}
