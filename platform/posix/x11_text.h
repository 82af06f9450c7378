// Text conversions between the program's single-byte text (Windows-1252) and
// the encodings of the X window system.
#pragma once

#include <cstdint>
#include <string>

#include "platform/single_byte_text.h"

// ISO 8859-1 text (the X STRING encoding) as single-byte text; the C1 control
// characters, which Windows-1252 does not have, become '?'.
std::string SingleByteFromLatin1(const std::string& latin1);
