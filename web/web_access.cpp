#include "web/web_access.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <vector>

#include "common/status_log.h"
#include "config/access_lists.h"
#include "platform/host_names.h"
#include "platform/random.h"
#include "web/hmac_sha256.h"

namespace {

constexpr uint64_t kNamesLookUpMilliseconds = 10 * 1000;
// A token: the hexadecimal digits of a random number of kTokenNonceBytes,
// then of the first kTokenSignatureBytes of its signature (HMAC-SHA256 of
// kTokenContext, the number and the name), then of the device's name as kept.
constexpr size_t kTokenNonceBytes = 16;
constexpr size_t kTokenSignatureBytes = 16;
constexpr size_t kTokenNameBytesAtMost = 4 * kDeviceNameCharactersAtMost;
constexpr std::string_view kTokenContext = "podiant-server web token\n";

struct WrongCodes {
  std::deque<uint64_t> times;  // the wrong codes of the last minute
  uint64_t refusedUntil = 0;
};

struct WebAccessRecord {
  std::string code;
  bool codeDrawn = false;
  int wrongCodesOfThisCode = 0;
  std::string tokenKey;  // what signs the tokens
  std::string tokenCookie;
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

bool SameBytes(std::string_view given, const std::string& expected) {
  // Every byte compared, whatever the first difference.
  unsigned difference = given.size() == expected.size() ? 0 : 1;
  for (size_t i = 0; i < expected.size(); ++i) {
    difference |= static_cast<unsigned char>(i < given.size() ? given[i] : 0) ^
                  static_cast<unsigned char>(expected[i]);
  }
  return difference == 0;
}

// The bytes of hexadecimal digits; none when `hex` holds anything else.
std::optional<std::string> FromHex(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  auto value = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  std::string bytes;
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int high = value(hex[i]);
    const int low = value(hex[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes += static_cast<char>(high * 16 + low);
  }
  return bytes;
}

std::string TokenSignature(std::string_view nonce, std::string_view name) {
  std::string message(kTokenContext);
  message += nonce;
  message += name;
  const Sha256Digest signature = HmacSha256(webThreadAccess.tokenKey, message);
  return std::string(reinterpret_cast<const char*>(signature.data()), kTokenSignatureBytes);
}

// A new token for the device `name` (as kept); empty when the system gave no
// random bytes.
std::string NewToken(const std::string& name) {
  unsigned char nonce[kTokenNonceBytes];
  if (!FillRandomBytes(nonce, sizeof nonce)) return std::string();
  const std::string_view nonceBytes(reinterpret_cast<const char*>(nonce), sizeof nonce);
  const std::string signature = TokenSignature(nonceBytes, name);
  return Hex(nonce, sizeof nonce) +
         Hex(reinterpret_cast<const unsigned char*>(signature.data()), signature.size()) +
         Hex(reinterpret_cast<const unsigned char*>(name.data()), name.size());
}

// The key of the tokens: with a fixed code, from the code and the port (the
// same for every start with them; slow to make, so that guessing the code
// from a token is as slow); else drawn for this run.
bool MakeTokenKey(const std::string& fixedCode, int port) {
  std::string& key = webThreadAccess.tokenKey;
  if (!fixedCode.empty()) {
    const Sha256Digest derived = Pbkdf2HmacSha256(
        fixedCode, "podiant-server web tokens, port " + std::to_string(port), kTokenKeyRounds);
    key.assign(reinterpret_cast<const char*>(derived.data()), derived.size());
    return true;
  }
  key.assign(32, '\0');
  return FillRandomBytes(key.data(), key.size());
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

// The next character of UTF-8 `text` from `*at`, which moves past it; a
// byte that begins no valid character reads as U+FFFD.
char32_t NextCharacter(std::string_view text, size_t* at) {
  const unsigned char first = static_cast<unsigned char>(text[(*at)++]);
  if (first < 0x80) return first;
  size_t more = 0;
  char32_t c = 0;
  if (first >= 0xC2 && first <= 0xDF) {
    more = 1;
    c = first & 0x1F;
  } else if (first >= 0xE0 && first <= 0xEF) {
    more = 2;
    c = first & 0x0F;
  } else if (first >= 0xF0 && first <= 0xF4) {
    more = 3;
    c = first & 0x07;
  } else {
    return 0xFFFD;
  }
  const size_t start = *at;
  for (size_t i = 0; i < more; ++i) {
    if (start + i >= text.size() || (static_cast<unsigned char>(text[start + i]) & 0xC0) != 0x80) {
      return 0xFFFD;
    }
    c = (c << 6) | (static_cast<unsigned char>(text[start + i]) & 0x3F);
  }
  *at = start + more;
  // Overlong forms, surrogates and what lies beyond Unicode are no characters.
  if ((more == 2 && c < 0x800) || (more == 3 && (c < 0x10000 || c > 0x10FFFF)) ||
      (c >= 0xD800 && c <= 0xDFFF)) {
    return 0xFFFD;
  }
  return c;
}

// Whether a device's name keeps character `c`: letters and digits (of the
// scripts a show's people are likely to name a phone in) and the ASCII
// punctuation but for the quote and the backslash. Blanks, control and
// invisible characters, quotes and symbols are left out.
bool KeptInName(char32_t c) {
  if (c < 0x80) return c > 0x20 && c < 0x7F && c != '"' && c != '\\';
  if (c == U'\u2018' || c == U'\u2019') return true;  // kept as '
  struct Range {
    char32_t first, last;
  };
  static constexpr Range kLetters[] = {
      {0x00C0, 0x00D6}, {0x00D8, 0x00F6}, {0x00F8, 0x024F},  // Latin
      {0x0386, 0x0386}, {0x0388, 0x03FF},                    // Greek
      {0x0400, 0x04FF},                                      // Cyrillic
      {0x3041, 0x30FA},                                      // Hiragana, Katakana
      {0x4E00, 0x9FFF},                                      // CJK ideographs
      {0xAC00, 0xD7A3},                                      // Hangul
  };
  for (const Range& range : kLetters) {
    if (c >= range.first && c <= range.last) return true;
  }
  return false;
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

bool StartWebAccess(const std::string& fixedCode, int port) {
  webThreadAccess = WebAccessRecord{};
  webThreadAccess.tokenCookie =
      port == 0 ? std::string("podiant_token") : "podiant_token_" + std::to_string(port);
  if (!MakeTokenKey(fixedCode, port)) return false;
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
  if (SameBytes(code, access.code)) {
    answer.token = NewToken(DeviceName(nameUtf8));
    if (answer.token.empty()) return answer;  // no random bytes: as a wrong code
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

std::optional<std::string> DeviceOfToken(std::string_view token) {
  constexpr size_t kSigned = kTokenNonceBytes + kTokenSignatureBytes;
  if (token.size() <= 2 * kSigned || token.size() > 2 * (kSigned + kTokenNameBytesAtMost)) {
    return std::nullopt;
  }
  std::optional<std::string> bytes = FromHex(token);
  if (!bytes) return std::nullopt;
  const std::string_view nonce = std::string_view(*bytes).substr(0, kTokenNonceBytes);
  const std::string_view signature =
      std::string_view(*bytes).substr(kTokenNonceBytes, kTokenSignatureBytes);
  std::string name = bytes->substr(kSigned);
  if (!SameBytes(signature, TokenSignature(nonce, name))) return std::nullopt;
  return name;
}

const std::string& TokenCookieName() { return webThreadAccess.tokenCookie; }

std::string TokenOfRequest(std::string_view cookieHeader, std::string_view authorizationHeader) {
  // Cookies: "a=1; podiant_token_8080=...; b=2".
  const std::string_view name = webThreadAccess.tokenCookie;
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
      if (DeviceOfToken(value)) return std::string(value);
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

std::string DeviceName(std::string_view nameUtf8) {
  std::string name;
  size_t characters = 0;
  bool gap = false;  // a run of left-out characters since the last one kept
  size_t at = 0;
  while (at < nameUtf8.size() && characters < kDeviceNameCharactersAtMost) {
    const size_t start = at;
    const char32_t c = NextCharacter(nameUtf8, &at);
    std::string_view kept = nameUtf8.substr(start, at - start);
    if (c == U'\u2018' || c == U'\u2019') kept = "'";
    if (!KeptInName(c)) {
      gap = !name.empty();
      continue;
    }
    if (gap) {
      name += '_';
      ++characters;
      gap = false;
      if (characters == kDeviceNameCharactersAtMost) break;
    }
    name += kept;
    ++characters;
  }
  if (!name.empty() && name.back() == '_') name.pop_back();
  return name.empty() ? std::string("web") : name;
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
