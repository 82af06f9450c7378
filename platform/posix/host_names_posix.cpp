#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>

#include "platform/host_names.h"

LocalNames LookUpLocalNames() {
  LocalNames local;
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) == 0 && host[0] != '\0') {
    std::string name(host);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    local.names.push_back(name);
    local.names.push_back(name + ".local");
  }
  ifaddrs* interfaces = nullptr;
  if (getifaddrs(&interfaces) == 0) {
    for (ifaddrs* i = interfaces; i != nullptr; i = i->ifa_next) {
      if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET) continue;
      if ((i->ifa_flags & IFF_UP) == 0) continue;
      local.addresses.push_back(reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr);
    }
    freeifaddrs(interfaces);
  }
  return local;
}
