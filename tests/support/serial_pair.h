// A serial cable for the end-to-end tests: socat with two linked
// pseudo-terminals. The program opens end A as its projector port; the test
// reads what arrives at end B.
#pragma once

#include <cstddef>
#include <string>

#include "tests/support/e2e_support.h"

namespace e2e {

struct SerialPair {
  Process socat;
  std::string endA;  // the pseudo-terminal the program opens
  std::string endB;  // the link to the test's end
  int readFd = -1;   // the test's end, B, opened for reading
};

// Starts socat with the links `directory`/A and `directory`/B; false when the
// pair did not come up.
bool StartSerialPair(const std::string& directory, SerialPair* pair);

// Closes the test's end and ends socat.
void StopSerialPair(SerialPair* pair);

// Reads from `fd` until `count` bytes have come or `timeoutMs` passes without
// completing them.
std::string ReadSerialBytes(int fd, size_t count, int timeoutMs);

}  // namespace e2e
