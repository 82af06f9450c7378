// The names and addresses by which this computer may be asked for, for the
// web remote's check of a request's Host (a request for another name reached
// it through a name that an attacker pointed at it).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct LocalNames {
  // Lower case: the host name, the host name with ".local" (mDNS); on Windows
  // also the computer's fully qualified DNS name when it has one.
  std::vector<std::string> names;
  // The IPv4 addresses of the interfaces that are up (network order),
  // loopback included.
  std::vector<uint32_t> addresses;
};

LocalNames LookUpLocalNames();
