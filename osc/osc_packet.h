// OSC 1.0 packets: the reader of the packets that arrive (messages and
// bundles) and the writer of the messages that the server sends. Nothing here
// knows what a message means (osc_commands.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One argument of a message, by its type tag:
//   i int32, h int64, c char (as int32), r RGBA colour, m MIDI message (their
//   4 bytes as an unsigned number), t time tag (its 64 bits): `integer`;
//   f float32, d float64: `number`;
//   s string, S symbol (UTF-8 by convention, without the terminating NUL),
//   b blob (its bytes): `bytes`;
//   T true, F false, N nil, I impulse ("infinitum"): no data.
// Arrays ('[' and ']') and other tags are not known.
struct OscArgument {
  char type = 'N';
  int64_t integer = 0;
  double number = 0;
  std::string bytes;
  bool operator==(const OscArgument&) const = default;
};

struct OscMessage {
  std::string address;  // begins with '/'
  std::vector<OscArgument> arguments;
  bool operator==(const OscMessage&) const = default;
};

OscArgument OscInt(int32_t value);
OscArgument OscFloat(float value);
OscArgument OscString(std::string_view text);

// Bundles nest at most this deep (the top bundle is the first); a deeper one
// makes the packet no valid OSC for this program.
constexpr int kOscBundleDepthAtMost = 8;

// Reads one packet (the payload of one datagram) into its messages, in the
// order they are written: a message alone, or a bundle's elements one after
// the other, those of a nested bundle where it stands. Time tags are read
// and dropped (nothing waits for them). False, with `messages` empty, when
// the packet is no valid OSC: its size (or a bundle element's) is not a
// positive multiple of 4, a string, blob or number runs past the end, a
// string's padding is not zero bytes, a type tag is unknown, an element
// claims more than what is left, bytes are left over after the arguments,
// an address does not begin with '/', or bundles nest too deep. The reader
// never looks outside `packet`.
bool ReadOscPacket(std::string_view packet, std::vector<OscMessage>* messages);

// The bytes of `message` as one OSC packet. A string or symbol ends at its
// first NUL byte, if it has one.
std::string WriteOscMessage(const OscMessage& message);
