// The program's single-byte text (Windows-1252) and Unicode: the one table of
// the code page, for every back end and area that hands text to a Unicode
// world (the console, X11, file URLs).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The Unicode code point of one Windows-1252 byte; 0 for the five bytes that
// the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D). Byte 0 is
// U+0000 as well.
uint32_t UnicodeOfSingleByte(unsigned char byte);

// The Windows-1252 byte of a code point, or '?' when the code page has none.
unsigned char SingleByteOfUnicode(uint32_t codePoint);

// Appends the UTF-8 form of a code point of the Basic Multilingual Plane (all
// that Windows-1252 reaches, U+FFFD included).
void AppendUtf8(std::string& out, uint32_t codePoint);

// The well-formed UTF-8 sequence that begins at `utf8[at]`: its length (1 to
// 4) and its code point; 0 when the bytes there are none (a stray
// continuation byte, an overlong form, a surrogate, beyond U+10FFFF, or a
// sequence cut short by the end).
size_t NextUtf8Character(std::string_view utf8, size_t at, uint32_t* codePoint);

// UTF-8 text as single-byte text: one byte per code point, '?' for code points
// the code page cannot hold and for each byte of a malformed sequence.
std::string SingleByteFromUtf8(std::string_view utf8);
