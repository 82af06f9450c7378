#include "server/venue_rooms.h"

#include <atomic>
#include <map>
#include <mutex>

namespace {

constexpr size_t kRoomsAtMost = 1000;

// Written by the link's thread, read by the web's, under `roomsLock`.
std::mutex roomsLock;
std::map<std::string, VenueRoom> lockedRooms;
std::atomic<VenueRoomsObserver> roomsObserver{nullptr};

template <typename Edit>
void Change(const std::string& room, Edit change) {
  {
    std::lock_guard<std::mutex> guard(roomsLock);
    auto found = lockedRooms.find(room);
    if (found == lockedRooms.end()) {
      if (lockedRooms.size() >= kRoomsAtMost) return;
      found = lockedRooms.emplace(room, VenueRoom{}).first;
      found->second.room = room;
    }
    change(found->second);
    ++found->second.changes;
  }
  if (VenueRoomsObserver observer = roomsObserver.load()) observer(room);
}

}  // namespace

void SetVenueRoomStatus(const std::string& room, bool online, const TimeOfDay& now) {
  Change(room, [&](VenueRoom& entry) {
    if (entry.online && !online) entry.offlineSince = now;
    if (!online && entry.state.empty()) entry.offlineSince = now;
    entry.online = online;
  });
}

void SetVenueRoomState(const std::string& room, std::string state) {
  Change(room, [&](VenueRoom& entry) { entry.state = std::move(state); });
}

void SetVenueRoomPicture(const std::string& room, std::shared_ptr<const std::string> png) {
  Change(room, [&](VenueRoom& entry) { entry.picture = std::move(png); });
}

std::vector<VenueRoom> VenueRooms() {
  std::lock_guard<std::mutex> guard(roomsLock);
  std::vector<VenueRoom> rooms;
  for (const auto& [name, room] : lockedRooms) rooms.push_back(room);
  return rooms;
}

bool FindVenueRoom(const std::string& room, VenueRoom* found) {
  std::lock_guard<std::mutex> guard(roomsLock);
  auto entry = lockedRooms.find(room);
  if (entry == lockedRooms.end()) return false;
  *found = entry->second;
  return true;
}

void ObserveVenueRooms(VenueRoomsObserver observer) { roomsObserver = observer; }
