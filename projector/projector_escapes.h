// Control bytes in projector command texts: with [projector] escapes=on, the
// texts of the [functions] section are decoded once, at start-up.
#pragma once

#include <string>
#include <vector>

// `text` with its escapes replaced by the bytes they stand for: \r (CR), \n
// (LF), \t (TAB), \\ (one backslash) and \x followed by exactly two
// hexadecimal digits in either letter case (that byte, 00 to FF). Any other
// backslash stays as written together with what follows it ("\q", "\x4",
// a lone "\" at the end); each such sequence is added to `notEscapes`.
std::string DecodeProjectorEscapes(const std::string& text, std::vector<std::string>* notEscapes);
