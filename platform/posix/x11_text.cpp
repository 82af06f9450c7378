#include "platform/posix/x11_text.h"

std::string SingleByteFromUtf8(const std::string& utf8) {
  std::string text;
  size_t i = 0;
  while (i < utf8.size()) {
    unsigned char lead = static_cast<unsigned char>(utf8[i]);
    int length = 0;
    uint32_t codePoint = 0;
    if (lead < 0x80) {
      length = 1;
      codePoint = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      codePoint = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      codePoint = lead & 0x07;
    }
    bool wellFormed = length > 0 && i + length <= utf8.size();
    for (int k = 1; wellFormed && k < length; ++k) {
      unsigned char next = static_cast<unsigned char>(utf8[i + k]);
      if ((next & 0xC0) != 0x80) {
        wellFormed = false;
      } else {
        codePoint = (codePoint << 6) | (next & 0x3F);
      }
    }
    // Overlong forms, surrogates and values beyond U+10FFFF are malformed too.
    if (wellFormed && ((length == 3 && codePoint < 0x800) ||
                       (length == 4 && (codePoint < 0x10000 || codePoint > 0x10FFFF)) ||
                       (codePoint >= 0xD800 && codePoint <= 0xDFFF))) {
      wellFormed = false;
    }
    if (!wellFormed) {
      text += '?';
      ++i;
      continue;
    }
    text += static_cast<char>(SingleByteOfUnicode(codePoint));
    i += length;
  }
  return text;
}

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
