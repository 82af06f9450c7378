// Cutting UTF-8 text without splitting a character.
#pragma once

#include <cstddef>
#include <string_view>

// The length of the longest beginning of `text` of at most `bytes` bytes that
// ends between two characters (before a byte that is no continuation byte).
size_t Utf8PrefixLength(std::string_view text, size_t bytes);
