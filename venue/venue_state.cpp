#include "venue/venue_state.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "common/feedback_words.h"
#include "config/access_lists.h"
#include "config/settings.h"
#include "platform/sockets.h"
#include "server/show_changes.h"
#include "server/show_values.h"
#include "server/state_object.h"

#ifndef PODIANT_VERSION
#error "PODIANT_VERSION names the program's version"
#endif

namespace {

constexpr StatusItemChoice kEverything{true, true};

// The web remote's address as its start-up line shows it; empty without one.
std::string WebRemoteAddress() {
  if (!Settings.web) return std::string();
  const uint32_t listen = Settings.listenAddress ? Settings.listenAddress->address.value_or(0) : 0;
  return "http://" + FormatIpAddress(listen != 0 ? listen : LookUpLocalAddress()) + ":" +
         std::to_string(Settings.web->port) + "/";
}

}  // namespace

std::string VenueTopic(const std::string& leaf) {
  return Settings.mqtt->prefix + "/" + Settings.mqtt->room + "/" + leaf;
}

std::string VenueStateObject(const ShowStatus& status, uint64_t seq) {
  nlohmann::ordered_json object = ShowStateObject(status);
  object["seq"] = seq;
  object["room"] = Settings.mqtt->room;
  object["version"] = PODIANT_VERSION;
  const std::string remote = WebRemoteAddress();
  object["remote"] =
      remote.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(remote);
  return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::vector<VenuePublish> VenueStatePublishes(const ShowStatus* told, const ShowStatus& now,
                                              uint64_t seq) {
  const std::vector<StatusItem> items = told != nullptr ? StatusChangeItems(*told, now, kEverything)
                                                        : StatusSnapshotItems(now, kEverything);
  std::vector<VenuePublish> publishes;
  std::vector<std::string> named;
  for (const StatusValue& value : StatusValues(items, now)) {
    named.push_back(value.name);
    publishes.push_back({VenueTopic(std::string("value/") + value.name),
                         value.isNumber ? std::to_string(value.number) : value.text, true});
  }
  if (told == nullptr) {
    // A value of an earlier run that the status no longer has is removed.
    for (const StatusItemNames& names : kStatusItemNames) {
      for (const char* value : names.values) {
        if (value != nullptr && std::find(named.begin(), named.end(), value) == named.end()) {
          publishes.push_back({VenueTopic(std::string("value/") + value), std::string(), true});
        }
      }
    }
  }
  publishes.push_back({VenueTopic("state"), VenueStateObject(now, seq), true});
  return publishes;
}
