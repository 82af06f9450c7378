// The program's single-byte text and UTF-8, for what crosses into a Unicode
// world and back: the slide's texts that the applications give, the web
// remote's JSON and OSC strings.
//   Windows: the system's ANSI code page (CP_ACP), as the rest of the program.
//   Elsewhere: Windows-1252 (platform/single_byte_text.h).
#pragma once

#include <string>
#include <string_view>

// Every byte as its character in UTF-8 (a byte the code page leaves undefined
// as U+FFFD).
std::string Utf8FromCodePage(std::string_view text);

// Every character as its byte(s) in the code page; a character the code page
// lacks, and every byte of a sequence that is no UTF-8, becomes '?'.
std::string CodePageFromUtf8(std::string_view utf8);
