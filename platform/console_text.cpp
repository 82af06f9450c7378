#include "platform/console_text.h"

#include <cstdint>

#include "platform/single_byte_text.h"

std::string ConsoleSafeText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x20) {
      out += '^';
      out += static_cast<char>(c + 0x40);
    } else if (c == 0x7F) {
      out += "^?";
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      uint32_t mapped = UnicodeOfSingleByte(c);
      AppendUtf8(out, mapped != 0 ? mapped : 0xFFFD);
    }
  }
  return out;
}
