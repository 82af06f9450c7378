#include "projector/projector_escapes.h"

namespace {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
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
    switch (next) {
      case 'r':
        bytes += '\r';
        i += 2;
        continue;
      case 'n':
        bytes += '\n';
        i += 2;
        continue;
      case 't':
        bytes += '\t';
        i += 2;
        continue;
      case '\\':
        bytes += '\\';
        i += 2;
        continue;
      case 'x': {
        int high = i + 2 < text.size() ? HexDigitValue(text[i + 2]) : -1;
        int low = i + 3 < text.size() ? HexDigitValue(text[i + 3]) : -1;
        if (high >= 0 && low >= 0) {
          bytes += static_cast<char>(high * 16 + low);
          i += 4;
          continue;
        }
        if (high >= 0) length = 3;  // "\x" and the one digit that follows
        break;
      }
      default:
        break;
    }
    std::string sequence = text.substr(i, length);
    bytes += sequence;
    notEscapes->push_back(std::move(sequence));
    i += length;
  }
  return bytes;
}
