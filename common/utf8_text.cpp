#include "common/utf8_text.h"

size_t Utf8PrefixLength(std::string_view text, size_t bytes) {
  if (bytes >= text.size()) return text.size();
  size_t length = bytes;
  // Back over the continuation bytes (10xxxxxx) of the character cut in two;
  // at most three of them belong to one character.
  for (int back = 0; back < 3 && length > 0; ++back) {
    if ((static_cast<unsigned char>(text[length]) & 0xC0) != 0x80) break;
    --length;
  }
  return length;
}
