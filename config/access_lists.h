// The settings that limit who may send commands and which commands run: the
// sender allow-list ([settings] allow), the command allow-list ([settings]
// commands) and the listen address ([settings] address); and the list of
// addresses the feedback goes to ([feedback] to). Pure text rules, without the
// platform.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/command_words.h"

// An IPv4 address range: `prefixLength` leading bits of `address` (network
// order, as the sockets give it; the bits beyond the prefix are zero).
struct AddressRange {
  uint32_t address = 0;
  int prefixLength = 32;
};

// The four bytes of an IPv4 address in network order, dotted, as the status
// lines show senders, the listen address and the allow-list.
std::string FormatIpAddress(uint32_t address);

// A dotted IPv4 address: exactly four decimal numbers 0-255 joined by ".",
// without leading zeros (010 could be read as octal) and without anything
// else. The result is in network order.
std::optional<uint32_t> ParseIpv4Address(std::string_view text);

// One allow-list entry: an address ("10.0.0.5", the range of that address
// alone) or a range "address/length" with a length 0-32 (no leading zeros).
// The address of a range may have bits beyond the prefix set; they are
// cleared ("192.168.1.7/24" is 192.168.1.0/24).
std::optional<AddressRange> ParseAddressRange(std::string_view text);

// The entries of a list value: the pieces between commas and blanks (spaces
// and tabs); empty pieces (",,", a comma at an end) are no entries.
std::vector<std::string> SplitListEntries(std::string_view value);

// An allow= value: its ranges in the order written, and every entry that is
// neither an address nor a range, as written.
struct AllowList {
  std::vector<AddressRange> ranges;
  std::vector<std::string> badEntries;
};
AllowList ParseAllowList(std::string_view value);

bool AddressInRange(uint32_t address, const AddressRange& range);
bool AddressInRanges(uint32_t address, const std::vector<AddressRange>& ranges);

// "10.0.0.5" for a single address, "192.168.1.0/24" for a wider range.
std::string FormatAddressRange(const AddressRange& range);

// The ranges joined by ", "; "nobody" when there are none.
std::string FormatAllowList(const std::vector<AddressRange>& ranges);

// A commands= value: the command words it names (in any letter case), and
// every entry that is no command word, as written.
struct CommandList {
  CommandWordSet words = 0;
  std::vector<std::string> badEntries;
};
CommandList ParseCommandList(std::string_view value);

// The words of the set in the order of the command table, joined by blanks;
// "none" for the empty set.
std::string FormatCommandList(CommandWordSet words);

// A listen address: a dotted IPv4 address that can be one of this computer's
// own (not a multicast, reserved or broadcast address, 224.0.0.0 and up).
// 0.0.0.0 is every interface.
std::optional<uint32_t> ParseListenAddress(std::string_view text);

// A destination of the feedback: an IPv4 address (network order) and a UDP
// port (1-65535).
struct FeedbackDestination {
  uint32_t address = 0;
  uint16_t port = 0;
  bool operator==(const FeedbackDestination&) const = default;
};

constexpr size_t kFeedbackDestinationsAtMost = 8;

// "192.168.1.50:16002": a dotted address as ParseIpv4Address reads it, a colon
// and a port 1-65535 in decimal without leading zeros.
std::optional<FeedbackDestination> ParseFeedbackDestination(std::string_view text);

// "192.168.1.50:16002".
std::string FormatFeedbackDestination(const FeedbackDestination& destination);

// A to= value: its destinations in the order written, each once, at most
// kFeedbackDestinationsAtMost of them; and the entries left out, each as
// written and in the order written: those that are no destination and the
// destinations beyond the first eight.
struct FeedbackEntryLeftOut {
  std::string entry;
  bool beyondLimit = false;  // a destination, but after the first eight
};
struct FeedbackList {
  std::vector<FeedbackDestination> destinations;
  std::vector<FeedbackEntryLeftOut> leftOut;
};
FeedbackList ParseFeedbackList(std::string_view value);

// The destinations joined by ", "; "nobody" when there are none.
std::string FormatFeedbackList(const std::vector<FeedbackDestination>& destinations);

// A broker= value: a host (a name or a dotted IPv4 address: letters, digits,
// '-' and '.') and an optional ":port" (1-65535, without leading zeros);
// `defaultPort` without one.
struct HostAndPort {
  std::string host;
  int32_t port = 0;
};
std::optional<HostAndPort> ParseHostAndPort(std::string_view text, int32_t defaultPort);

// A name that may stand as one level of an MQTT topic: 1-64 letters, digits,
// '-', '_' and '.' (never '/', '+', '#' or a blank).
bool IsTopicName(std::string_view text);
