#include "web/web_access.h"

#include <gtest/gtest.h>

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

TEST(WebAccess, TheNameIsCutToWholeCharactersAndShownSafely) {
  EXPECT_EQ(DeviceNameForLog("Phone"), "Phone");
  EXPECT_EQ(DeviceNameForLog(""), "web");
  EXPECT_EQ(DeviceNameForLog("a\rb\x7f"), "a^Mb^?");
  // 31 letters and two two-byte characters: the second one is the 33rd.
  EXPECT_EQ(DeviceNameForLog(std::string(31, 'x') + "\xc3\xa9\xc3\xa9"),
            std::string(31, 'x') + "\xe9");  // in the code page
}

TEST(WebAccess, TokensComeFromTheCookieOrTheBearerHeader) {
  ASSERT_TRUE(StartWebAccess("123456"));
  PairAnswer paired = PairDevice(Address("10.0.0.5"), "123456", "Tablet", 0);
  ASSERT_EQ(paired.outcome, PairOutcome::kPaired);
  EXPECT_GE(paired.token.size(), 32u);
  ASSERT_NE(DeviceOfToken(paired.token), nullptr);
  EXPECT_EQ(*DeviceOfToken(paired.token), "Tablet");
  EXPECT_EQ(TokenOfRequest("a=1; podiant_token=" + paired.token + "; b=2", ""), paired.token);
  EXPECT_EQ(TokenOfRequest("podiant_token=stale; podiant_token=" + paired.token, ""), paired.token);
  EXPECT_EQ(TokenOfRequest("", "bearer  " + paired.token), paired.token);
  EXPECT_EQ(DeviceOfToken(TokenOfRequest("x_podiant_token=" + paired.token, "")), nullptr);
  // A new start forgets every token.
  ASSERT_TRUE(StartWebAccess(""));
  EXPECT_EQ(DeviceOfToken(paired.token), nullptr);
  EXPECT_EQ(PairingCode().size(), 6u);
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
