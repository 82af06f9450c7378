// The venue link's reading of what arrives on its command topic: a plain
// command text, or {"command":"NEXT","from":{"slide":3,"build":1},"id":"a1",
// "name":"Desk"}. Used on the link's thread.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "server/arrival.h"

// The longest command message, in bytes.
constexpr size_t kVenueCommandBytesAtMost = 1024;

// How long an id is remembered: a command with an id seen within it is not
// carried out again.
constexpr uint64_t kVenueIdMilliseconds = 60 * 1000;

// The ids of the commands taken within the last minute (at most 256; beyond
// them the oldest goes first).
struct VenueIds {
  struct Seen {
    std::string id;
    uint64_t at = 0;
  };
  std::deque<Seen> seen;
};

// What one message asks: an arrival for the server thread (whose outcome is
// then published as its result), or, for a message that is not carried out
// at all, a line and the result at once.
struct VenueReading {
  std::optional<Arrival> arrival;
  std::string line;    // written at once (a retained command)
  std::string result;  // published at once (JSON), when no arrival
};

// `publish` is told each result (JSON) to publish on the result topic; the
// arrival's `done` calls it on the server thread.
VenueReading ReadVenueCommand(std::string_view payload, bool retained, const TimeOfDay& time,
                              uint64_t arrivedAt, uint64_t nowMilliseconds, VenueIds& ids,
                              std::function<void(std::string)> publish);
