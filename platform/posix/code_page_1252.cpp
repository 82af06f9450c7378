// The program's code page elsewhere than on Windows: Windows-1252.
#include "platform/code_page.h"
#include "platform/single_byte_text.h"

std::string Utf8FromCodePage(std::string_view text) {
  std::string utf8;
  utf8.reserve(text.size());
  for (char c : text) {
    uint32_t codePoint = UnicodeOfSingleByte(static_cast<unsigned char>(c));
    if (codePoint == 0 && c != 0) codePoint = 0xFFFD;
    AppendUtf8(utf8, codePoint);
  }
  return utf8;
}

std::string CodePageFromUtf8(std::string_view utf8) {
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
