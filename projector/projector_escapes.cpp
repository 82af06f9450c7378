#include "projector/projector_escapes.h"

namespace {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The byte that a backslash and `letter` stand for; 0 when they are no
// escape of one letter.
char EscapedByte(char letter) {
  switch (letter) {
    case 'r':
      return '\r';
    case 'n':
      return '\n';
    case 't':
      return '\t';
    case '\\':
      return '\\';
    default:
      return 0;
  }
}

}  // namespace

std::string DecodeProjectorEscapes(const std::string& text, std::vector<std::string>* notEscapes) {
  std::string bytes;
  bytes.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '\\') {
      bytes += text[i++];
      continue;
    }
    char next = i + 1 < text.size() ? text[i + 1] : '\0';
    size_t length = i + 1 < text.size() ? 2 : 1;  // the sequence as written
    if (char byte = EscapedByte(next)) {
      bytes += byte;
      i += 2;
      continue;
    }
    if (next == 'x') {
      int high = i + 2 < text.size() ? HexDigitValue(text[i + 2]) : -1;
      int low = i + 3 < text.size() ? HexDigitValue(text[i + 3]) : -1;
      if (high >= 0 && low >= 0) {
        bytes += static_cast<char>(high * 16 + low);
        i += 4;
        continue;
      }
      if (high >= 0) length = 3;  // "\x" and the one digit that follows
    }
    std::string sequence = text.substr(i, length);
    bytes += sequence;
    notEscapes->push_back(std::move(sequence));
    i += length;
  }
  return bytes;
}
