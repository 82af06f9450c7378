#include "venue/venue_discovery.h"

#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>

#ifndef PODIANT_VERSION
#error "PODIANT_VERSION names the program's version"
#endif

namespace {

using json = nlohmann::ordered_json;

constexpr const char* kDiscoveryPrefix = "homeassistant";
constexpr const char* kProgram = "Podiant Server";
// The sender's name in the M line of a button's command.
constexpr const char* kSender = "homeassistant";

// A sensor reads its value out of the state object, which every change
// publishes whole and which, unlike a value topic, is never removed.
struct Sensor {
  const char* object;
  const char* name;
  const char* valueTemplate;
};

constexpr Sensor kSensors[] = {
    {"slide", "Slide", "{{ value_json.slide }}"},
    {"count", "Slide count", "{{ value_json.count }}"},
    {"state", "State", "{{ value_json.state }}"},
    // Home Assistant keeps the last state when a new one is over 255
    // characters.
    {"title", "Title", "{{ value_json.title[:255] }}"},
    // 0 on the last slide, as value/nextslide has it.
    {"next_slide", "Next slide", "{{ value_json.next.slide if value_json.next else 0 }}"},
};

struct Button {
  CommandWord word;
  const char* object;
  const char* name;
};

constexpr Button kButtons[] = {
    {CommandWord::kNext, "next", "Next"},       {CommandWord::kPrev, "prev", "Previous"},
    {CommandWord::kBlack, "black", "Black"},    {CommandWord::kWhite, "white", "White"},
    {CommandWord::kResume, "resume", "Resume"},
};

constexpr const char* kPictureObject = "picture";

bool KeptAsItIs(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

// FNV-1a: the same on every platform and in every build.
uint32_t Fnv1a(const std::string& text) {
  uint32_t hash = 2166136261u;
  for (char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  return hash;
}

std::string Dump(const json& value) {
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string ConfigTopic(const char* component, const std::string& node, const char* object) {
  return std::string(kDiscoveryPrefix) + "/" + component + "/" + node + "/" + object + "/config";
}

}  // namespace

std::string DiscoveryNodeId(const std::string& prefix, const std::string& room) {
  const std::string joined = prefix + "/" + room;
  bool clean = true;
  for (char c : prefix + room) clean = clean && KeptAsItIs(c);
  std::string node;
  for (char c : joined) node += KeptAsItIs(c) || c == '_' ? c : '_';
  if (clean) return node;
  char hash[16];
  std::snprintf(hash, sizeof hash, "_%08x", static_cast<unsigned>(Fnv1a(joined)));
  return node + hash;
}

std::vector<VenuePublish> DiscoveryPublishes(const MqttSettings& mqtt, CommandWordSet allowed) {
  const std::string node = DiscoveryNodeId(mqtt.prefix, mqtt.room);
  const std::string room = mqtt.prefix + "/" + mqtt.room + "/";
  const json common = {
      {"availability", json::array({{{"topic", room + "status"},
                                     {"payload_available", "online"},
                                     {"payload_not_available", "offline"}}})},
      {"device",
       {{"identifiers", json::array({node})},
        {"name", "Podiant " + mqtt.room},
        {"model", kProgram},
        {"sw_version", PODIANT_VERSION}}},
      {"origin", {{"name", kProgram}, {"sw_version", PODIANT_VERSION}}},
  };

  std::vector<VenuePublish> publishes;
  auto add = [&](const char* component, const char* object, bool present, const char* name,
                 const json& fields) {
    VenuePublish publish{ConfigTopic(component, node, object), std::string(), true};
    if (mqtt.discovery && present) {
      json config = {{"name", name}, {"unique_id", node + "_" + object}};
      config.update(fields);
      config.update(common);
      publish.payload = Dump(config);
    }
    publishes.push_back(std::move(publish));
  };

  for (const Sensor& sensor : kSensors) {
    add("sensor", sensor.object, true, sensor.name,
        {{"state_topic", room + "state"}, {"value_template", sensor.valueTemplate}});
  }
  const CommandWordSet words = mqtt.commands & allowed;
  for (const Button& button : kButtons) {
    const json press = {{"command", kCommandWords[static_cast<int>(button.word)]},
                        {"name", kSender}};
    add("button", button.object, (words & CommandWordBit(button.word)) != 0, button.name,
        {{"command_topic", room + "command"}, {"payload_press", Dump(press)}, {"retain", false}});
  }
  add("image", kPictureObject, mqtt.pictureWidth > 0, "Picture",
      {{"image_topic", room + "picture"}, {"content_type", "image/png"}});
  return publishes;
}
