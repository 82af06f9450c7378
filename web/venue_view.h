// The Venue view of the web remote ([mqtt] venue=on): every room the venue
// link hears of, as /api/venue lists them, each room's picture, and a "room"
// message to every live client when a room changes. Read only: nothing here
// sends a command to another room.
#pragma once

#include <string>
#include <string_view>

#include "server/venue_rooms.h"
#include "web/web_routes.h"

// The main thread, before the web thread and the venue link start: with
// [web] and [mqtt] venue=on, the rooms' changes go to the web thread.
void StartVenueView();

// Whether the server has the view ([mqtt] venue=on).
bool VenueViewOn();

// The web thread: a request under /api/venue (`path` without the query) of
// a paired client.
WebResponse ServeVenue(const WebRequest& request, std::string_view path);

// The web thread: `room` changed. Rooms that change again before the
// messages go out are told once, with what they are then.
void VenueRoomChanged(const std::string& room);

// The web thread: one room as /api/venue lists it and the "room" message
// carries it (without the type):
// {"room":"hall-1","online":false,"offlineSince":"14:02","file":"...",
//  "slide":3,"count":24,"state":"RUNNING","title":"...","remote":"http://...",
//  "picture":"/api/venue/hall-1/picture?tag=17","changes":42}
std::string VenueRoomJson(const VenueRoom& room);

// Forgets the pictures' tags and what waits to be sent (tests).
void ResetVenueViewForTesting();
