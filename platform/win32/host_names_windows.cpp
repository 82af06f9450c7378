#include <winsock2.h>
// After winsock2.h:
#include <iphlpapi.h>
#include <windows.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cctype>
#include <vector>

#include "platform/host_names.h"

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

void AddName(LocalNames& local, const std::string& name) {
  if (name.empty()) return;
  const std::string lower = Lower(name);
  if (std::find(local.names.begin(), local.names.end(), lower) == local.names.end()) {
    local.names.push_back(lower);
  }
}

std::string ComputerName(COMPUTER_NAME_FORMAT format) {
  char name[256] = {};
  DWORD size = sizeof name;
  if (!GetComputerNameExA(format, name, &size)) return std::string();
  return std::string(name, size);
}

}  // namespace

LocalNames LookUpLocalNames() {
  LocalNames local;
  const std::string host = ComputerName(ComputerNameDnsHostname);
  AddName(local, host);
  if (!host.empty()) AddName(local, host + ".local");
  AddName(local, ComputerName(ComputerNameDnsFullyQualified));
  AddName(local, ComputerName(ComputerNameNetBIOS));

  ULONG size = 16 * 1024;
  std::vector<unsigned char> buffer;
  ULONG result = ERROR_BUFFER_OVERFLOW;
  for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buffer.resize(size);
    result = GetAdaptersAddresses(
        AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER,
        nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
  }
  if (result == NO_ERROR) {
    for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter != nullptr;
         adapter = adapter->Next) {
      if (adapter->OperStatus != IfOperStatusUp) continue;
      for (auto* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
           unicast = unicast->Next) {
        const sockaddr* address = unicast->Address.lpSockaddr;
        if (address == nullptr || address->sa_family != AF_INET) continue;
        local.addresses.push_back(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr);
      }
    }
  }
  return local;
}
