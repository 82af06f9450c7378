// Text conversions between the program's single-byte text (Windows-1252) and
// the encodings of the X window system.
#pragma once

#include <cstdint>
#include <string>

// The Unicode code point of one Windows-1252 byte; 0 for the five bytes that
// the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D). Byte 0 is
// U+0000 as well.
uint32_t UnicodeOfSingleByte(unsigned char byte);

// The Windows-1252 byte of a code point, or '?' when the code page has none.
unsigned char SingleByteOfUnicode(uint32_t codePoint);

// UTF-8 text as single-byte text: one byte per code point, '?' for code points
// the code page cannot hold and for each byte of a malformed sequence.
std::string SingleByteFromUtf8(const std::string& utf8);

// ISO 8859-1 text (the X STRING encoding) as single-byte text; the C1 control
// characters, which Windows-1252 does not have, become '?'.
std::string SingleByteFromLatin1(const std::string& latin1);
