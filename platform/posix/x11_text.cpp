#include "platform/posix/x11_text.h"

std::string SingleByteFromLatin1(const std::string& latin1) {
  std::string text = latin1;
  for (char& c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 && byte <= 0x9F) {
      c = '?';
    }
  }
  return text;
}
