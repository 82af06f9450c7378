// Who may use the web remote: the pairing code, the paired devices' tokens,
// the limit on wrong codes, and the checks of a request's Host and Origin.
// Used on the web thread only (nothing here locks).
//
// Nothing is written to disk and no token is kept: a token carries the
// device's name and a signature of it with a key that only this program
// makes. The key is drawn at each start, or, with a fixed code, derived from
// the code and the port, so that a paired device stays paired when the
// program starts again with the same code and port.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// At most this many codes are compared for one address within a minute: the
// one that makes them five wrong refuses the address for a minute.
constexpr int kWrongCodesPerMinute = 5;
constexpr uint64_t kPairingWindowMilliseconds = 60 * 1000;
// The wrong codes of every address together that close pairing for a minute.
constexpr int kAllWrongCodesPerMinute = 20;
// A drawn code (no fixed code) is drawn anew after this many wrong codes.
constexpr int kWrongCodesPerDrawnCode = 20;
// The most addresses whose wrong codes are counted (an address is counted
// until its minute is over; while the table is full, a new address is
// refused).
constexpr size_t kPairingAddressesAtMost = 1024;
// The rounds of PBKDF2 that make the tokens' key from a fixed code (about
// 70 ms here), so that each guess of the code from a token takes as long.
constexpr uint32_t kTokenKeyRounds = 100000;
// A device's name in the status list: at most this many characters.
constexpr size_t kDeviceNameCharactersAtMost = 32;

// Sets the pairing code (`fixedCode`, 6 digits, or a new random one when it is
// empty), forgets every count and makes the tokens' key and cookie for the web
// remote's `port`. False when the system gave no random bytes.
bool StartWebAccess(const std::string& fixedCode, int port = 0);
const std::string& PairingCode();

enum class PairOutcome {
  kPaired,     // `token` holds the device's new token
  kWrongCode,  // 403
  kRefused,    // 429: too many wrong codes from the address, or from all, within a minute
};
struct PairAnswer {
  PairOutcome outcome = PairOutcome::kWrongCode;
  std::string token;
  bool codeDrawnAnew = false;  // this wrong code had the code drawn anew
};

// A pairing request from `address` (network order) with the code and the
// device's name as sent (UTF-8). The code is compared only while neither the
// address nor pairing as a whole is refused. The wrong code that refuses the
// address writes "Web pairing refused from <address>", the one that closes
// pairing "Web pairing closed for a minute: <n> wrong codes" (so each at most
// once a minute).
PairAnswer PairDevice(uint32_t address, std::string_view code, std::string_view nameUtf8,
                      uint64_t nowMilliseconds);

// The paired device's name as kept (DeviceName), or none when the token is
// not one that this key signed.
std::optional<std::string> DeviceOfToken(std::string_view token);

// The name of the cookie that holds the token, with the port in it
// ("podiant_token_8080"): a browser sends a computer's cookies to every port
// of it, and two servers on one computer must not overwrite each other's.
const std::string& TokenCookieName();

// The token a request carries: a valid one of the cookie TokenCookieName(),
// else the "Authorization: Bearer" header; empty when neither.
std::string TokenOfRequest(std::string_view cookieHeader, std::string_view authorizationHeader);

// A device's name as it is kept (UTF-8): one word, so that the status list's
// "W <name> <address> ..." cannot read as another device's line. Letters,
// digits and the ASCII punctuation but for the quote and the backslash are
// kept (the typographic apostrophes U+2018 and U+2019 as '); every run of
// anything else (blanks, quotes, control and invisible characters, symbols)
// becomes one "_", and none is left at either end. At most 32 characters;
// "web" when nothing is left.
std::string DeviceName(std::string_view nameUtf8);

// Whether a Host header is a host name, an IPv4 address or an IP literal in
// brackets, with an optional port 1-65535.
bool HostIsWellFormed(std::string_view host);

// Whether a Host header names this computer: localhost, 127.0.0.0/8, [::1],
// the address the request came in on (`localAddress`), or one of the
// computer's names and addresses (looked up again, at most every 10 s, when a
// host is not found among them). An optional ":port" is allowed.
bool HostIsThisComputer(std::string_view host, uint32_t localAddress, uint64_t nowMilliseconds);

// Whether an Origin header is this page's own: "http://" and the Host.
bool OriginMatchesHost(std::string_view origin, std::string_view host);

bool IsLoopbackAddress(uint32_t address);
