// What the venue link publishes of the show: one retained value per topic
// under <prefix>/<room>/value/ (named as the feedback's table names them,
// as OSC's addresses are) and the whole state, retained, as one JSON object
// on <prefix>/<room>/state. Pure: the link's thread publishes it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "presentation/show_status.h"

struct VenuePublish {
  std::string topic;
  std::string payload;
  bool retained = true;
};

// <prefix>/<room>/<leaf>, from the settings.
std::string VenueTopic(const std::string& leaf);

// The state object of <prefix>/<room>/state: the web remote's (file, state,
// slide, count, title, notes, build, next), its number `seq`, and the room,
// the program's version and the web remote's address (null without one).
std::string VenueStateObject(const ShowStatus& status, uint64_t seq);

// What tells the broker `now`, when it was last told `told` (nullptr: nothing
// yet, or a new connection): the values that changed (every value, and an
// empty retained message that removes each value the status does not have,
// when nothing was told), then the state object.
std::vector<VenuePublish> VenueStatePublishes(const ShowStatus* told, const ShowStatus& now,
                                              uint64_t seq);
