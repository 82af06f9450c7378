#include <sys/random.h>

#include <cerrno>

#include "platform/random.h"

bool FillRandomBytes(void* bytes, size_t count) {
  unsigned char* next = static_cast<unsigned char*>(bytes);
  while (count > 0) {
    ssize_t got = getrandom(next, count, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    next += got;
    count -= static_cast<size_t>(got);
  }
  return true;
}
