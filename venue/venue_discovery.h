// [mqtt] discovery=homeassistant: the room as one device of Home Assistant's
// MQTT integration, announced by retained configurations under
// homeassistant/<component>/<node id>/<object id>/config. Sensors read the
// room's state object, buttons publish on its command topic, the image
// entity shows its picture, and every entity is available while its status
// is "online". Pure: the link's thread publishes it.
#pragma once

#include <string>
#include <vector>

#include "common/command_words.h"
#include "config/settings.h"
#include "venue/venue_state.h"

// The node id of the room: "<prefix>_<room>" when both hold only letters,
// digits and '-'; otherwise the characters Home Assistant refuses ('/', '.')
// become '_' and the ids end in '_' and 8 hexadecimal digits taken from the
// exact "<prefix>/<room>", so that two rooms never share one.
std::string DiscoveryNodeId(const std::string& prefix, const std::string& room);

// Every entity's configuration topic, each with its configuration (retained)
// when `mqtt.discovery` is on and the entity exists, or with an empty
// retained message, which removes it, otherwise: all of them when discovery
// is off, and a button whose word the link may not have carried out, or the
// image without picture=, when it is on. So a room never keeps an entity of
// an earlier run's settings. The buttons are the words of `mqtt.commands`
// within `allowed` (the link's words: [settings] commands= as well).
std::vector<VenuePublish> DiscoveryPublishes(const MqttSettings& mqtt,
                                             CommandWordSet allowed = kEveryCommandWord);
