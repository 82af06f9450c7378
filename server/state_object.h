// The show's state as one JSON object, the same for every channel that
// sends it whole (the web remote's state message, the venue link's state
// topic): the fields of the feedback's table, in the table's order.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>

#include "presentation/show_status.h"
#include "server/arrival.h"

// {"file":"...","state":"RUNNING","slide":3,"count":24,"title":"...",
//  "notes":"...","build":{"position":1,"count":2},"next":{"slide":4,"title":"..."}}
// ("next" is null on the last slide). Texts are UTF-8 as the status holds
// them; dump it with nlohmann::json::error_handler_t::replace.
nlohmann::ordered_json ShowStateObject(const ShowStatus& status);

// Where a step was sent from, as the web remote and the venue link take it:
// {"slide":3,"build":1}, both 32-bit integers; none for anything else.
std::optional<ShowPosition> ReadShowPosition(const nlohmann::json& from);
