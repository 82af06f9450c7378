#include <windows.h>
// After windows.h:
#include <bcrypt.h>

#include <cstdint>

#include "platform/random.h"

bool FillRandomBytes(void* bytes, size_t count) {
  unsigned char* next = static_cast<unsigned char*>(bytes);
  while (count > 0) {
    const ULONG part = count > 0x10000000 ? 0x10000000 : static_cast<ULONG>(count);
    if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, next, part, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
      return false;
    }
    next += part;
    count -= part;
  }
  return true;
}
