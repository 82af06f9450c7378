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

std::string CodePageFromUtf8(std::string_view utf8) { return SingleByteFromUtf8(utf8); }
