// The venue's rooms as the venue link hears them ([mqtt] venue=on): each
// room's status, the time it went offline, its state object and its picture.
// The link's thread writes them; the web remote's thread reads them for its
// Venue view, told of each change by the one observer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/timing.h"

struct VenueRoom {
  std::string room;
  bool online = false;
  TimeOfDay offlineSince{};                    // when it went offline (local time)
  std::string state;                           // its state object (JSON); empty before one came
  std::shared_ptr<const std::string> picture;  // PNG; none when it publishes none
  uint64_t changes = 0;                        // counts the room's changes (the picture's tag)
};

// The link's thread: what a room's topics said.
void SetVenueRoomStatus(const std::string& room, bool online, const TimeOfDay& now);
void SetVenueRoomState(const std::string& room, std::string state);
void SetVenueRoomPicture(const std::string& room, std::shared_ptr<const std::string> png);

// Any thread: every room, sorted by name; one room (false when unknown).
std::vector<VenueRoom> VenueRooms();
bool FindVenueRoom(const std::string& room, VenueRoom* found);

// Told the room's name after each change, on the link's thread; it must not
// block. Set once before the link starts (nullptr: none).
using VenueRoomsObserver = void (*)(const std::string& room);
void ObserveVenueRooms(VenueRoomsObserver observer);
