#include "osc/osc_packet.h"

#include <cstring>

namespace {

constexpr char kBundleHead[8] = {'#', 'b', 'u', 'n', 'd', 'l', 'e', '\0'};
constexpr size_t kBundleHeadBytes = 16;  // "#bundle", NUL, the 8-byte time tag

// `bytes` rounded up to a multiple of 4.
size_t Padded(size_t bytes) { return (bytes + 3) & ~static_cast<size_t>(3); }

uint64_t BigEndian(std::string_view part, size_t at, size_t bytes) {
  uint64_t value = 0;
  for (size_t i = 0; i < bytes; ++i) value = value << 8 | static_cast<unsigned char>(part[at + i]);
  return value;
}

// `part` is one message or bundle element; every position is counted from its
// start, which lies on a multiple of 4 of the packet.
struct Cursor {
  std::string_view part;
  size_t at = 0;

  size_t Left() const { return part.size() - at; }

  bool Number(size_t bytes, uint64_t* value) {
    if (Left() < bytes) return false;
    *value = BigEndian(part, at, bytes);
    at += bytes;
    return true;
  }

  // `bytes` bytes and their padding, which must be zero bytes.
  bool Bytes(size_t bytes, std::string* text) {
    if (Left() < bytes || Left() - bytes < Padded(bytes) - bytes) return false;
    for (size_t i = at + bytes; i < at + Padded(bytes); ++i) {
      if (part[i] != '\0') return false;
    }
    text->assign(part.substr(at, bytes));
    at += Padded(bytes);
    return true;
  }

  // A NUL-terminated string and its padding.
  bool String(std::string* text) {
    size_t nul = part.find('\0', at);
    if (nul == std::string_view::npos || !Bytes(nul - at + 1, text)) return false;
    text->pop_back();  // the NUL
    return true;
  }
};

bool ReadArgument(Cursor& cursor, OscArgument& argument) {
  uint64_t bits = 0;
  switch (argument.type) {
    case 'i':
      if (!cursor.Number(4, &bits)) return false;
      argument.integer = static_cast<int32_t>(static_cast<uint32_t>(bits));
      return true;
    case 'c':
    case 'r':
    case 'm':
      if (!cursor.Number(4, &bits)) return false;
      argument.integer = static_cast<int64_t>(bits);
      return true;
    case 'h':
    case 't':
      if (!cursor.Number(8, &bits)) return false;
      argument.integer = static_cast<int64_t>(bits);
      return true;
    case 'f': {
      if (!cursor.Number(4, &bits)) return false;
      const uint32_t word = static_cast<uint32_t>(bits);
      float value;
      std::memcpy(&value, &word, sizeof value);
      argument.number = value;
      return true;
    }
    case 'd': {
      if (!cursor.Number(8, &bits)) return false;
      double value;
      std::memcpy(&value, &bits, sizeof value);
      argument.number = value;
      return true;
    }
    case 's':
    case 'S':
      return cursor.String(&argument.bytes);
    case 'b': {
      if (!cursor.Number(4, &bits)) return false;
      const int32_t size = static_cast<int32_t>(static_cast<uint32_t>(bits));
      return size >= 0 && cursor.Bytes(static_cast<size_t>(size), &argument.bytes);
    }
    case 'T':
    case 'F':
    case 'N':
    case 'I':
      return true;
    default:
      return false;
  }
}

bool ReadMessage(std::string_view part, std::vector<OscMessage>& messages) {
  Cursor cursor{part};
  OscMessage message;
  if (!cursor.String(&message.address) || message.address.empty() || message.address[0] != '/') {
    return false;
  }
  // Senders of old leave out the type tags of a message without arguments.
  if (cursor.Left() > 0) {
    std::string tags;
    if (!cursor.String(&tags) || tags.empty() || tags[0] != ',') return false;
    for (size_t i = 1; i < tags.size(); ++i) {
      OscArgument argument;
      argument.type = tags[i];
      if (!ReadArgument(cursor, argument)) return false;
      message.arguments.push_back(std::move(argument));
    }
    if (cursor.Left() > 0) return false;
  }
  messages.push_back(std::move(message));
  return true;
}

bool ReadElement(std::string_view part, int depth, std::vector<OscMessage>& messages) {
  if (part.size() < sizeof kBundleHead ||
      std::memcmp(part.data(), kBundleHead, sizeof kBundleHead) != 0) {
    return ReadMessage(part, messages);
  }
  if (depth >= kOscBundleDepthAtMost || part.size() < kBundleHeadBytes) return false;
  Cursor cursor{part, kBundleHeadBytes};
  while (cursor.Left() > 0) {
    uint64_t size = 0;
    if (!cursor.Number(4, &size)) return false;
    if (size == 0 || size % 4 != 0 || size > cursor.Left()) return false;
    if (!ReadElement(part.substr(cursor.at, size), depth + 1, messages)) return false;
    cursor.at += size;
  }
  return true;
}

void AppendBigEndian(std::string& out, uint64_t value, size_t bytes) {
  for (size_t i = bytes; i-- > 0;) out += static_cast<char>(value >> (8 * i) & 0xFF);
}

void AppendPadded(std::string& out, std::string_view bytes, bool terminated) {
  const size_t length = bytes.size() + (terminated ? 1 : 0);
  out.append(bytes);
  out.append(Padded(length) - bytes.size(), '\0');
}

std::string_view UpToNul(std::string_view text) { return text.substr(0, text.find('\0')); }

}  // namespace

OscArgument OscInt(int32_t value) {
  OscArgument argument;
  argument.type = 'i';
  argument.integer = value;
  return argument;
}

OscArgument OscFloat(float value) {
  OscArgument argument;
  argument.type = 'f';
  argument.number = value;
  return argument;
}

OscArgument OscString(std::string_view text) {
  OscArgument argument;
  argument.type = 's';
  argument.bytes = std::string(UpToNul(text));
  return argument;
}

bool ReadOscPacket(std::string_view packet, std::vector<OscMessage>* messages) {
  messages->clear();
  if (packet.empty() || packet.size() % 4 != 0 || !ReadElement(packet, 0, *messages)) {
    messages->clear();
    return false;
  }
  return true;
}

std::string WriteOscMessage(const OscMessage& message) {
  std::string out;
  AppendPadded(out, UpToNul(message.address), true);
  std::string tags = ",";
  for (const OscArgument& argument : message.arguments) tags += argument.type;
  AppendPadded(out, tags, true);
  for (const OscArgument& argument : message.arguments) {
    switch (argument.type) {
      case 'i':
      case 'c':
      case 'r':
      case 'm':
        AppendBigEndian(out, static_cast<uint64_t>(argument.integer), 4);
        break;
      case 'h':
      case 't':
        AppendBigEndian(out, static_cast<uint64_t>(argument.integer), 8);
        break;
      case 'f': {
        const float value = static_cast<float>(argument.number);
        uint32_t word;
        std::memcpy(&word, &value, sizeof word);
        AppendBigEndian(out, word, 4);
        break;
      }
      case 'd': {
        uint64_t bits;
        std::memcpy(&bits, &argument.number, sizeof bits);
        AppendBigEndian(out, bits, 8);
        break;
      }
      case 's':
      case 'S':
        AppendPadded(out, UpToNul(argument.bytes), true);
        break;
      case 'b':
        AppendBigEndian(out, argument.bytes.size(), 4);
        AppendPadded(out, argument.bytes, false);
        break;
      default:  // T, F, N, I carry no data
        break;
    }
  }
  return out;
}
