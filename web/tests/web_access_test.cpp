#include "web/web_access.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "common/status_log.h"
#include "config/access_lists.h"

namespace {

uint32_t Address(const char* text) { return *ParseIpv4Address(text); }

TEST(WebAccess, TheHostMustNameThisComputer) {
  ASSERT_TRUE(StartWebAccess("123456"));
  const uint32_t local = Address("192.168.1.20");
  for (const char* host : {"localhost", "LOCALHOST:8080", "127.0.0.1", "127.8.9.10:80",
                           "[::1]:8080", "192.168.1.20:8080", "localhost."}) {
    EXPECT_TRUE(HostIsThisComputer(host, local, 1000)) << host;
  }
  for (const char* host :
       {"", "attacker.example", "attacker.example:8080", "192.168.1.21", "localhost:80x",
        "localhost:", "[::2]", "[::1", "127.0.0.1.evil", "0x7f.0.0.1", "192.168.1.20:123456"}) {
    EXPECT_FALSE(HostIsThisComputer(host, local, 1000)) << host;
  }
  // A port 1-65535; a name, an address or an IP literal.
  for (const char* host : {"localhost:65535", "LOCALHOST:00080", "[fe80::1]:1", "a-b.example."}) {
    EXPECT_TRUE(HostIsWellFormed(host)) << host;
  }
  for (const char* host :
       {"", "localhost:0", "localhost:00000", "localhost:65536", "localhost:99999",
        "localhost:", ":80", "[::1]x", "[x]", "a b", "a\"b", "a/b", "a:1:2"}) {
    EXPECT_FALSE(HostIsWellFormed(host)) << host;
    EXPECT_FALSE(HostIsThisComputer(host, local, 1000)) << host;
  }
}

TEST(WebAccess, AnOriginMustBeThePagesOwn) {
  EXPECT_TRUE(OriginMatchesHost("http://127.0.0.1:8080", "127.0.0.1:8080"));
  EXPECT_TRUE(OriginMatchesHost("HTTP://Show-PC:8080", "show-pc:8080"));
  EXPECT_FALSE(OriginMatchesHost("http://127.0.0.1:8081", "127.0.0.1:8080"));
  EXPECT_FALSE(OriginMatchesHost("https://127.0.0.1:8080", "127.0.0.1:8080"));
  EXPECT_FALSE(OriginMatchesHost("null", "127.0.0.1:8080"));
  EXPECT_FALSE(OriginMatchesHost("http://", ""));
}

// A name is one word of the status list's line: nothing in it reads as a
// blank, a quote or the end of the line, and nothing in it is invisible.
TEST(WebAccess, ADeviceNameIsOneWordOfAtMost32Characters) {
  const struct {
    const char* given;
    const char* kept;
  } kNames[] = {
      {"Phone", "Phone"},
      {"", "web"},
      {" \t\"\r\n", "web"},
      {" Stage  left ", "Stage_left"},
      {"a\rb\x7f", "a_b"},
      {"iPad 10.0.0.9 14:02:11 -> \"NEXT\"", "iPad_10.0.0.9_14:02:11_->_NEXT"},
      {"Back\\slash", "Back_slash"},
      {"Marie\xe2\x80\x99s iPhone", "Marie's_iPhone"},  // U+2019
      {"R\xc3\xa9gie\xc2\xa0"
       "1",
       "R\xc3\xa9gie_1"},                       // no-break space
      {"Zero\xe2\x80\x8bwidth", "Zero_width"},  // U+200B
      {"left\xe2\x80\xaeright", "left_right"},  // U+202E
      {"\xd0\xa1\xd1\x86\xd0\xb5\xd0\xbd\xd0\xb0",
       "\xd0\xa1\xd1\x86\xd0\xb5\xd0\xbd\xd0\xb0"},  // Cyrillic
      {"Phone \xf0\x9f\x93\xb1", "Phone"},           // a symbol
      {"bad\xff\xc3(utf8", "bad_(utf8"},
      {"\xe0\x80\xaf"
       "over\xed\xa0\x80long",
       "over_long"},  // overlong, surrogate
  };
  for (const auto& name : kNames) EXPECT_EQ(DeviceName(name.given), name.kept) << name.given;
  // 31 letters and two two-byte characters: the second one is the 33rd.
  EXPECT_EQ(DeviceName(std::string(31, 'x') + "\xc3\xa9\xc3\xa9"),
            std::string(31, 'x') + "\xc3\xa9");
  // A run left out counts as its "_"; none is left at the end of a cut.
  EXPECT_EQ(DeviceName(std::string(31, 'x') + "  y"), std::string(31, 'x'));
  EXPECT_EQ(DeviceName(std::string(30, 'x') + "  y"), std::string(30, 'x') + "_y");
}

// A token is the device's name signed with a key that this program makes:
// from a fixed code and the port the same at every start, else drawn anew.
TEST(WebAccess, TokensAreSignedForTheirCodeAndPortAndComeFromTheCookieOrTheHeader) {
  auto name = [](const std::string& token) { return DeviceOfToken(token).value_or("(none)"); };
  ASSERT_TRUE(StartWebAccess("123456", 8080));
  EXPECT_EQ(TokenCookieName(), "podiant_token_8080");
  PairAnswer paired = PairDevice(Address("10.0.0.5"), "123456", "Stage left", 0);
  ASSERT_EQ(paired.outcome, PairOutcome::kPaired);
  const std::string token = paired.token;
  EXPECT_EQ(name(token), "Stage_left");
  EXPECT_NE(PairDevice(Address("10.0.0.5"), "123456", "Stage left", 0).token, token);
  EXPECT_EQ(TokenOfRequest("a=1; podiant_token_8080=" + token + "; b=2", ""), token);
  EXPECT_EQ(TokenOfRequest("podiant_token_8080=stale; podiant_token_8080=" + token, ""), token);
  EXPECT_EQ(TokenOfRequest("", "bearer  " + token), token);
  EXPECT_EQ(TokenOfRequest("podiant_token_8081=" + token, ""), "");
  EXPECT_EQ(TokenOfRequest("x_podiant_token_8080=" + token, ""), "");

  // Nothing of it can be changed: the signature, the name, the case, the
  // length.
  std::string signature = token, named = token, upper = token;
  signature[40] = signature[40] == '0' ? '1' : '0';
  named.back() = named.back() == '0' ? '1' : '0';
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const std::string& changed : {signature, named, upper, token + "00", token.substr(0, 64)}) {
    EXPECT_EQ(name(changed), "(none)") << changed;
  }

  // A new start with the same code and port keeps it; another port or code,
  // or a drawn code, does not.
  ASSERT_TRUE(StartWebAccess("123456", 8080));
  EXPECT_EQ(name(token), "Stage_left");
  ASSERT_TRUE(StartWebAccess("123456", 8081));
  EXPECT_EQ(name(token), "(none)");
  ASSERT_TRUE(StartWebAccess("654321", 8080));
  EXPECT_EQ(name(token), "(none)");
  ASSERT_TRUE(StartWebAccess("", 8080));
  EXPECT_EQ(PairingCode().size(), 6u);
  const std::string drawn = PairDevice(Address("10.0.0.5"), PairingCode(), "", 0).token;
  EXPECT_EQ(name(drawn), "web");
  ASSERT_TRUE(StartWebAccess("", 8080));
  EXPECT_EQ(name(drawn), "(none)");
}

TEST(WebAccess, FiveWrongCodesAMinuteAreComparedForAnAddressAndTwentyForAll) {
  ClearLogForTesting();
  ASSERT_TRUE(StartWebAccess("123456"));
  const uint32_t guesser = Address("10.0.0.9");
  auto pair = [](uint32_t address, const char* code, uint64_t milliseconds) {
    return PairDevice(address, code, "", milliseconds).outcome;
  };
  // Wrong codes spread over more than a minute are never too many: at 61 s
  // those of 0 s and 1 s are over.
  for (uint64_t t = 0; t < 4000; t += 1000) {
    EXPECT_EQ(pair(guesser, "000000", t), PairOutcome::kWrongCode);
  }
  EXPECT_EQ(pair(guesser, "000000", 60000), PairOutcome::kWrongCode);
  EXPECT_EQ(pair(guesser, "000000", 61000), PairOutcome::kWrongCode);
  // The fifth within a minute is compared, and no code after it for a minute.
  EXPECT_EQ(pair(guesser, "000000", 61500), PairOutcome::kWrongCode);
  EXPECT_EQ(pair(guesser, "123456", 61500), PairOutcome::kRefused);
  EXPECT_EQ(pair(guesser, "123456", 121499), PairOutcome::kRefused);
  EXPECT_EQ(pair(Address("10.0.0.10"), "123456", 70000), PairOutcome::kPaired);
  EXPECT_EQ(pair(guesser, "123456", 121500), PairOutcome::kPaired);
  EXPECT_EQ(LogTextSnapshot(), "\rWeb pairing refused from 10.0.0.9");
  EXPECT_EQ(pair(guesser, "12345", 121500), PairOutcome::kWrongCode);

  // Every address's wrong codes together: the twentieth within a minute
  // closes pairing for a minute, for every address and the right code too.
  ClearLogForTesting();
  ASSERT_TRUE(StartWebAccess("123456"));
  for (uint32_t i = 1; i <= 20; ++i) {
    EXPECT_EQ(pair(Address("10.1.0.0") + (i << 24), "654321", 100000 + i * 1000),
              PairOutcome::kWrongCode);
  }
  EXPECT_EQ(pair(Address("10.2.0.1"), "123456", 121000), PairOutcome::kRefused);
  EXPECT_EQ(pair(Address("10.2.0.1"), "123456", 179999), PairOutcome::kRefused);
  EXPECT_EQ(pair(Address("10.2.0.1"), "123456", 180000), PairOutcome::kPaired);
  EXPECT_EQ(LogTextSnapshot(), "\rWeb pairing closed for a minute: 20 wrong codes");
}

TEST(WebAccess, ADrawnCodeIsDrawnAnewAfterTwentyWrongCodes) {
  ASSERT_TRUE(StartWebAccess(""));
  const std::string first = PairingCode();
  // Four addresses, five wrong codes each (never the code itself).
  const std::string wrong = first == "000000" ? "000001" : "000000";
  int drawn = 0;
  for (uint32_t i = 0; i < 20; ++i) {
    const PairAnswer answer = PairDevice(Address("10.0.0.1") + ((i % 4) << 24), wrong, "", i);
    EXPECT_EQ(answer.outcome, PairOutcome::kWrongCode);
    drawn += answer.codeDrawnAnew;
  }
  EXPECT_EQ(drawn, 1);
  ASSERT_EQ(PairingCode().size(), 6u);
  // Once pairing is open again, the new code pairs (the old one only if the
  // draw gave it again).
  EXPECT_EQ(PairDevice(Address("10.0.0.20"), PairingCode(), "", 60019).outcome,
            PairOutcome::kPaired);

  // A fixed code stays.
  ASSERT_TRUE(StartWebAccess("123456"));
  for (uint32_t i = 0; i < 40; ++i) {
    EXPECT_FALSE(
        PairDevice(Address("10.0.0.1") + (i << 24), "000000", "", i * 10000).codeDrawnAnew);
  }
  EXPECT_EQ(PairingCode(), "123456");
}

}  // namespace
