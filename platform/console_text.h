// Received bytes made safe for a terminal.
#pragma once

#include <string>

// Bytes 0x00-0x1F and 0x7F in caret notation (CR as ^M, ESC as ^[), bytes
// 0x80-0xFF as their Windows-1252 characters in UTF-8 (the five bytes that
// Windows-1252 leaves undefined as U+FFFD); everything else unchanged.
std::string ConsoleSafeText(const std::string& text);
