#include "web/web_access.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <unordered_map>
#include <vector>

#include "common/status_log.h"
#include "config/access_lists.h"
#include "platform/code_page.h"
#include "platform/host_names.h"
#include "platform/random.h"

namespace {

constexpr uint64_t kNamesLookUpMilliseconds = 10 * 1000;
constexpr size_t kTokenBytes = 32;

struct WrongCodes {
  std::deque<uint64_t> times;  // the wrong codes of the last minute
  uint64_t refusedUntil = 0;
};

struct Device {
  std::string name;  // as the status list shows it
  uint64_t serial = 0;
};

struct WebAccessRecord {
  std::string code;
  bool codeDrawn = false;
  int wrongCodesOfThisCode = 0;
  std::unordered_map<std::string, Device> tokens;
  uint64_t tokenSerial = 0;
  std::map<uint32_t, WrongCodes> wrongCodes;
  WrongCodes allWrongCodes;  // every address's; refusedUntil: pairing is closed
  LocalNames localNames;
  bool namesLookedUp = false;
  uint64_t namesLookedUpAt = 0;
};

WebAccessRecord webThreadAccess;

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

std::string Hex(const unsigned char* bytes, size_t count) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

// Six digits, every code as likely as any other.
bool DrawCode(std::string* code) {
  constexpr uint32_t kCodes = 1000000;
  constexpr uint32_t kFairLimit = (UINT32_MAX / kCodes) * kCodes;
  for (;;) {
    uint32_t value = 0;
    if (!FillRandomBytes(&value, sizeof value)) return false;
    if (value >= kFairLimit) continue;
    std::string digits = std::to_string(value % kCodes);
    *code = std::string(6 - digits.size(), '0') + digits;
    return true;
  }
}

bool SameCode(std::string_view given, const std::string& code) {
  // Every byte compared, whatever the first difference.
  unsigned difference = given.size() == code.size() ? 0 : 1;
  for (size_t i = 0; i < code.size(); ++i) {
    difference |= static_cast<unsigned char>(i < given.size() ? given[i] : 0) ^
                  static_cast<unsigned char>(code[i]);
  }
  return difference == 0;
}

std::string NewToken() {
  unsigned char bytes[kTokenBytes];
  if (!FillRandomBytes(bytes, sizeof bytes)) return std::string();
  return Hex(bytes, sizeof bytes);
}

void KeepToken(const std::string& token, std::string name) {
  WebAccessRecord& access = webThreadAccess;
  if (access.tokens.size() >= kTokensAtMost) {
    auto oldest = std::min_element(
        access.tokens.begin(), access.tokens.end(),
        [](const auto& a, const auto& b) { return a.second.serial < b.second.serial; });
    access.tokens.erase(oldest);
  }
  access.tokens[token] = Device{std::move(name), ++access.tokenSerial};
}

// Forgets the wrong codes of more than a minute ago.
void ForgetOldWrongCodes(WrongCodes& wrong, uint64_t now) {
  while (!wrong.times.empty() && now - wrong.times.front() >= kPairingWindowMilliseconds) {
    wrong.times.pop_front();
  }
}

// Counts a wrong code in `wrong`: true when it makes `most` within a minute,
// and so refuses for a minute from now.
bool CountWrongCode(WrongCodes& wrong, uint64_t now, int most) {
  ForgetOldWrongCodes(wrong, now);
  wrong.times.push_back(now);
  if (wrong.times.size() < static_cast<size_t>(most)) return false;
  wrong.times.clear();
  wrong.refusedUntil = now + kPairingWindowMilliseconds;
  return true;
}

// Whether `address` may have its code compared now. A new address needs a
// free place in the table: the addresses whose minute is over are forgotten
// for it, never one that is still counted or refused.
bool MayCompare(uint32_t address, uint64_t now) {
  WebAccessRecord& access = webThreadAccess;
  if (now < access.allWrongCodes.refusedUntil) return false;
  std::map<uint32_t, WrongCodes>& table = access.wrongCodes;
  auto found = table.find(address);
  if (found != table.end()) return now >= found->second.refusedUntil;
  if (table.size() < kPairingAddressesAtMost) return true;
  for (auto entry = table.begin(); entry != table.end();) {
    ForgetOldWrongCodes(entry->second, now);
    if (entry->second.times.empty() && now >= entry->second.refusedUntil) {
      entry = table.erase(entry);
    } else {
      ++entry;
    }
  }
  return table.size() < kPairingAddressesAtMost;
}

// A port of a Host header: 1-65535, leading zeros allowed.
bool IsPort(std::string_view digits) {
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) {
    return false;
  }
  uint32_t value = 0;
  for (char c : digits) {
    value = value * 10 + static_cast<uint32_t>(c - '0');
    if (value > 65535) return false;
  }
  return value >= 1;
}

// The host part of a Host header (lower case, without a port and a final
// dot); empty when the header is malformed.
std::string HostName(std::string_view host) {
  std::string_view name = host;
  std::string_view port;
  bool hasPort = false;
  if (!host.empty() && host.front() == '[') {
    const size_t close = host.find(']');
    if (close == std::string_view::npos ||
        host.substr(1, close - 1).find_first_not_of("0123456789abcdefABCDEF:.") !=
            std::string_view::npos) {
      return std::string();
    }
    name = host.substr(0, close + 1);
    std::string_view rest = host.substr(close + 1);
    if (!rest.empty() && rest.front() != ':') return std::string();
    hasPort = !rest.empty();
    if (hasPort) port = rest.substr(1);
  } else {
    const size_t colon = host.find(':');
    if (colon != std::string_view::npos) {
      name = host.substr(0, colon);
      port = host.substr(colon + 1);
      hasPort = true;
    }
    if (name.empty() ||
        name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
                               "-._~!$&'()*+,;=%") != std::string_view::npos) {
      return std::string();
    }
    if (name.size() > 1 && name.back() == '.') name.remove_suffix(1);
  }
  if (hasPort && !IsPort(port)) return std::string();
  return Lower(name);
}

bool KnownHost(const std::string& name, uint32_t localAddress) {
  const LocalNames& local = webThreadAccess.localNames;
  if (std::optional<uint32_t> address = ParseIpv4Address(name)) {
    return IsLoopbackAddress(*address) || *address == localAddress ||
           std::find(local.addresses.begin(), local.addresses.end(), *address) !=
               local.addresses.end();
  }
  return std::find(local.names.begin(), local.names.end(), name) != local.names.end();
}

}  // namespace

bool StartWebAccess(const std::string& fixedCode) {
  webThreadAccess = WebAccessRecord{};
  if (!fixedCode.empty()) {
    webThreadAccess.code = fixedCode;
    return true;
  }
  webThreadAccess.codeDrawn = true;
  return DrawCode(&webThreadAccess.code);
}

const std::string& PairingCode() { return webThreadAccess.code; }

PairAnswer PairDevice(uint32_t address, std::string_view code, std::string_view nameUtf8,
                      uint64_t nowMilliseconds) {
  WebAccessRecord& access = webThreadAccess;
  PairAnswer answer;
  if (!MayCompare(address, nowMilliseconds)) {
    answer.outcome = PairOutcome::kRefused;
    return answer;
  }
  if (SameCode(code, access.code)) {
    answer.token = NewToken();
    if (answer.token.empty()) return answer;  // no random bytes: as a wrong code
    KeepToken(answer.token, DeviceNameForLog(nameUtf8));
    answer.outcome = PairOutcome::kPaired;
    return answer;
  }
  answer.outcome = PairOutcome::kWrongCode;
  if (CountWrongCode(access.wrongCodes[address], nowMilliseconds, kWrongCodesPerMinute)) {
    AddLogLine("Web pairing refused from " + FormatIpAddress(address));
  }
  if (CountWrongCode(access.allWrongCodes, nowMilliseconds, kAllWrongCodesPerMinute)) {
    AddLogLine("Web pairing closed for a minute: " + std::to_string(kAllWrongCodesPerMinute) +
               " wrong codes");
  }
  if (access.codeDrawn && ++access.wrongCodesOfThisCode >= kWrongCodesPerDrawnCode) {
    // A new code makes what was learnt of the old one worthless; if no random
    // bytes come, the old one stays.
    if (DrawCode(&access.code)) answer.codeDrawnAnew = true;
    access.wrongCodesOfThisCode = 0;
  }
  return answer;
}

const std::string* DeviceOfToken(std::string_view token) {
  if (token.empty()) return nullptr;
  auto found = webThreadAccess.tokens.find(std::string(token));
  return found == webThreadAccess.tokens.end() ? nullptr : &found->second.name;
}

std::string TokenOfRequest(std::string_view cookieHeader, std::string_view authorizationHeader) {
  // Cookies: "a=1; podiant_token=...; b=2".
  const std::string_view name = kTokenCookie;
  size_t start = 0;
  while (start < cookieHeader.size()) {
    size_t end = cookieHeader.find(';', start);
    if (end == std::string_view::npos) end = cookieHeader.size();
    std::string_view pair = cookieHeader.substr(start, end - start);
    while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
    if (pair.size() > name.size() && pair.substr(0, name.size()) == name &&
        pair[name.size()] == '=') {
      std::string_view value = pair.substr(name.size() + 1);
      while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
      if (DeviceOfToken(value) != nullptr) return std::string(value);
    }
    start = end + 1;
  }
  constexpr std::string_view kBearer = "bearer ";
  if (authorizationHeader.size() > kBearer.size() &&
      Lower(authorizationHeader.substr(0, kBearer.size())) == kBearer) {
    std::string_view value = authorizationHeader.substr(kBearer.size());
    while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
    return std::string(value);
  }
  return std::string();
}

std::string DeviceNameForLog(std::string_view nameUtf8) {
  // The first 32 characters: a character begins with any byte that is no
  // continuation byte.
  size_t characters = 0;
  size_t end = 0;
  while (end < nameUtf8.size()) {
    if ((static_cast<unsigned char>(nameUtf8[end]) & 0xC0) != 0x80) {
      if (characters == kDeviceNameCharactersAtMost) break;
      ++characters;
    }
    ++end;
  }
  const std::string text = CodePageFromUtf8(nameUtf8.substr(0, end));
  std::string shown;
  for (char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20) {
      shown += '^';
      shown += static_cast<char>(byte + '@');
    } else if (byte == 0x7F) {
      shown += "^?";
    } else {
      shown += c;
    }
  }
  return shown.empty() ? std::string("web") : shown;
}

bool HostIsWellFormed(std::string_view host) { return !HostName(host).empty(); }

bool HostIsThisComputer(std::string_view host, uint32_t localAddress, uint64_t nowMilliseconds) {
  const std::string name = HostName(host);
  if (name.empty()) return false;
  if (name == "localhost" || name == "[::1]") return true;
  WebAccessRecord& access = webThreadAccess;
  if (access.namesLookedUp && KnownHost(name, localAddress)) return true;
  if (access.namesLookedUp && nowMilliseconds - access.namesLookedUpAt < kNamesLookUpMilliseconds) {
    return false;
  }
  access.localNames = LookUpLocalNames();
  access.namesLookedUp = true;
  access.namesLookedUpAt = nowMilliseconds;
  return KnownHost(name, localAddress);
}

bool OriginMatchesHost(std::string_view origin, std::string_view host) {
  constexpr std::string_view kScheme = "http://";
  if (origin.size() <= kScheme.size() || Lower(origin.substr(0, kScheme.size())) != kScheme) {
    return false;
  }
  return Lower(origin.substr(kScheme.size())) == Lower(host);
}

bool IsLoopbackAddress(uint32_t address) {
  unsigned char bytes[4];
  std::memcpy(bytes, &address, sizeof bytes);
  return bytes[0] == 127;
}
