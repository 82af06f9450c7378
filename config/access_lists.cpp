#include "config/access_lists.h"

#include <algorithm>

#include "common/text_rules.h"

namespace {

// A decimal number of 1 to `digits` digits without a leading zero (but "0"
// itself), at most `largest`.
std::optional<int> DecimalNumber(std::string_view text, size_t digits, int largest) {
  if (text.empty() || text.size() > digits) return std::nullopt;
  if (text.size() > 1 && text[0] == '0') return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value > largest) return std::nullopt;
  return value;
}

// Network order (the first byte in memory is the first number) to a number
// whose highest byte is the first number, and back.
uint32_t ToHostOrder(uint32_t address) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&address);
  return static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
         static_cast<uint32_t>(bytes[2]) << 8 | static_cast<uint32_t>(bytes[3]);
}

uint32_t ToNetworkOrder(uint32_t value) {
  uint32_t address = 0;
  unsigned char* bytes = reinterpret_cast<unsigned char*>(&address);
  bytes[0] = static_cast<unsigned char>(value >> 24);
  bytes[1] = static_cast<unsigned char>(value >> 16);
  bytes[2] = static_cast<unsigned char>(value >> 8);
  bytes[3] = static_cast<unsigned char>(value);
  return address;
}

uint32_t PrefixMask(int prefixLength) {
  return prefixLength == 0 ? 0 : ~uint32_t{0} << (32 - prefixLength);
}

// The items' texts joined by ", "; "nobody" for none (the start-up lines).
template <typename Item>
std::string JoinedOrNobody(const std::vector<Item>& items, std::string (*format)(const Item&)) {
  if (items.empty()) return "nobody";
  std::string text;
  for (const Item& item : items) {
    if (!text.empty()) text += ", ";
    text += format(item);
  }
  return text;
}

}  // namespace

std::string FormatIpAddress(uint32_t address) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&address);
  return std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
         std::to_string(bytes[2]) + "." + std::to_string(bytes[3]);
}

std::optional<uint32_t> ParseIpv4Address(std::string_view text) {
  uint32_t value = 0;
  for (int part = 0; part < 4; ++part) {
    size_t dot = text.find('.');
    std::string_view piece = part < 3 ? text.substr(0, dot) : text;
    if (part < 3 && dot == std::string_view::npos) return std::nullopt;
    std::optional<int> number = DecimalNumber(piece, 3, 255);
    if (!number) return std::nullopt;
    value = value << 8 | static_cast<uint32_t>(*number);
    if (part < 3) text.remove_prefix(dot + 1);
  }
  return ToNetworkOrder(value);
}

std::optional<AddressRange> ParseAddressRange(std::string_view text) {
  size_t slash = text.find('/');
  std::optional<uint32_t> address = ParseIpv4Address(text.substr(0, slash));
  if (!address) return std::nullopt;
  AddressRange range;
  if (slash != std::string_view::npos) {
    std::optional<int> length = DecimalNumber(text.substr(slash + 1), 2, 32);
    if (!length) return std::nullopt;
    range.prefixLength = *length;
  }
  range.address = ToNetworkOrder(ToHostOrder(*address) & PrefixMask(range.prefixLength));
  return range;
}

std::vector<std::string> SplitListEntries(std::string_view value) {
  std::vector<std::string> entries;
  size_t start = 0;
  while (start < value.size()) {
    size_t end = value.find_first_of(", \t", start);
    if (end == std::string_view::npos) end = value.size();
    if (end > start) entries.emplace_back(value.substr(start, end - start));
    start = end + 1;
  }
  return entries;
}

AllowList ParseAllowList(std::string_view value) {
  AllowList list;
  for (const std::string& entry : SplitListEntries(value)) {
    std::optional<AddressRange> range = ParseAddressRange(entry);
    if (range) {
      list.ranges.push_back(*range);
    } else {
      list.badEntries.push_back(entry);
    }
  }
  return list;
}

bool AddressInRange(uint32_t address, const AddressRange& range) {
  uint32_t mask = PrefixMask(range.prefixLength);
  return (ToHostOrder(address) & mask) == (ToHostOrder(range.address) & mask);
}

bool AddressInRanges(uint32_t address, const std::vector<AddressRange>& ranges) {
  for (const AddressRange& range : ranges) {
    if (AddressInRange(address, range)) return true;
  }
  return false;
}

std::string FormatAddressRange(const AddressRange& range) {
  std::string text = FormatIpAddress(range.address);
  if (range.prefixLength != 32) {
    text += '/';
    text += std::to_string(range.prefixLength);
  }
  return text;
}

std::string FormatAllowList(const std::vector<AddressRange>& ranges) {
  return JoinedOrNobody(ranges, FormatAddressRange);
}

CommandList ParseCommandList(std::string_view value) {
  CommandList list;
  for (const std::string& entry : SplitListEntries(value)) {
    CommandWord word;
    if (FindCommandWord(FoldUpper(entry), &word)) {
      list.words |= CommandWordBit(word);
    } else {
      list.badEntries.push_back(entry);
    }
  }
  return list;
}

std::string FormatCommandList(CommandWordSet words) {
  std::string text;
  for (size_t i = 0; i < kCommandWordCount; ++i) {
    if ((words & (1u << i)) == 0) continue;
    if (!text.empty()) text += ' ';
    text += kCommandWords[i];
  }
  return text.empty() ? "none" : text;
}

std::optional<uint32_t> ParseListenAddress(std::string_view text) {
  std::optional<uint32_t> address = ParseIpv4Address(text);
  if (!address || ToHostOrder(*address) >= 0xE0000000u) return std::nullopt;
  return address;
}

std::optional<FeedbackDestination> ParseFeedbackDestination(std::string_view text) {
  size_t colon = text.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  std::optional<uint32_t> address = ParseIpv4Address(text.substr(0, colon));
  std::optional<int> port = DecimalNumber(text.substr(colon + 1), 5, 65535);
  if (!address || !port || *port == 0) return std::nullopt;
  return FeedbackDestination{*address, static_cast<uint16_t>(*port)};
}

std::string FormatFeedbackDestination(const FeedbackDestination& destination) {
  return FormatIpAddress(destination.address) + ":" + std::to_string(destination.port);
}

FeedbackList ParseFeedbackList(std::string_view value) {
  FeedbackList list;
  for (const std::string& entry : SplitListEntries(value)) {
    std::optional<FeedbackDestination> destination = ParseFeedbackDestination(entry);
    if (!destination) {
      list.leftOut.push_back({entry, false});
    } else if (std::find(list.destinations.begin(), list.destinations.end(), *destination) !=
               list.destinations.end()) {
      continue;  // named twice: sent to once
    } else if (list.destinations.size() == kFeedbackDestinationsAtMost) {
      list.leftOut.push_back({entry, true});
    } else {
      list.destinations.push_back(*destination);
    }
  }
  return list;
}

std::string FormatFeedbackList(const std::vector<FeedbackDestination>& destinations) {
  return JoinedOrNobody(destinations, FormatFeedbackDestination);
}

namespace {

bool IsNameCharacter(char c, std::string_view others) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         others.find(c) != std::string_view::npos;
}

}  // namespace

std::optional<HostAndPort> ParseHostAndPort(std::string_view text, int32_t defaultPort) {
  HostAndPort parsed;
  parsed.port = defaultPort;
  const size_t colon = text.find(':');
  std::string_view host = text.substr(0, colon);
  if (colon != std::string_view::npos) {
    std::string_view port = text.substr(colon + 1);
    if (port.empty() || port.size() > 5 || port[0] == '0' ||
        port.find_first_not_of("0123456789") != std::string_view::npos) {
      return std::nullopt;
    }
    parsed.port = std::stoi(std::string(port));
    if (parsed.port > 65535) return std::nullopt;
  }
  if (host.empty() || host.size() > 253) return std::nullopt;
  for (char c : host) {
    if (!IsNameCharacter(c, "-.")) return std::nullopt;
  }
  parsed.host = std::string(host);
  return parsed;
}

bool IsTopicName(std::string_view text) {
  if (text.empty() || text.size() > 64) return false;
  for (char c : text) {
    if (!IsNameCharacter(c, "-_.")) return false;
  }
  return true;
}
