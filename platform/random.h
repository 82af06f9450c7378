// Random bytes from the system, for what must not be guessed: the web
// remote's pairing code and its tokens.
//   Linux: getrandom. Windows: BCryptGenRandom with the system's generator.
#pragma once

#include <cstddef>

// Fills `bytes` with `count` random bytes; false when the system gave none.
bool FillRandomBytes(void* bytes, size_t count);
