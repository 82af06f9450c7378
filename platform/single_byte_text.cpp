#include "platform/single_byte_text.h"

namespace {

// Windows-1252 0x80 to 0x9F; 0 marks the undefined bytes.
constexpr uint32_t kUpperControlRange[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

}  // namespace

uint32_t UnicodeOfSingleByte(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F) {
    return kUpperControlRange[byte - 0x80];
  }
  return byte;
}

unsigned char SingleByteOfUnicode(uint32_t codePoint) {
  if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) {
    return static_cast<unsigned char>(codePoint);
  }
  for (int i = 0; i < 32; ++i) {
    if (kUpperControlRange[i] != 0 && kUpperControlRange[i] == codePoint) {
      return static_cast<unsigned char>(0x80 + i);
    }
  }
  return '?';
}

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

size_t NextUtf8Character(std::string_view utf8, size_t at, uint32_t* codePoint) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(utf8[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) {
    *codePoint = lead;
    return 1;
  }
  size_t length = 0;
  uint32_t value = 0;
  uint32_t smallest = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1F, smallest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0F, smallest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07, smallest = 0x10000;
  } else {
    return 0;
  }
  if (utf8.size() - at < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    value = value << 6 | (byte(at + i) & 0x3F);
  }
  if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *codePoint = value;
  return length;
}

std::string SingleByteFromUtf8(std::string_view utf8) {
  std::string text;
  text.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    uint32_t codePoint = 0;
    size_t length = NextUtf8Character(utf8, i, &codePoint);
    if (length == 0) {
      text += '?';  // no UTF-8: one mark per byte
      ++i;
      continue;
    }
    text += static_cast<char>(SingleByteOfUnicode(codePoint));
    i += length;
  }
  return text;
}
