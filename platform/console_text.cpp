#include "platform/console_text.h"

#include <cstdint>

namespace {

// Windows-1252 0x80-0x9F; 0 marks the five undefined bytes.
constexpr uint16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

void AppendUtf8(std::string& out, uint32_t codePoint) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

}  // namespace

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
    } else if (c < 0xA0) {
      uint16_t mapped = kHighControls[c - 0x80];
      AppendUtf8(out, mapped != 0 ? mapped : 0xFFFD);
    } else {
      AppendUtf8(out, c);  // 0xA0-0xFF are U+00A0-U+00FF
    }
  }
  return out;
}
