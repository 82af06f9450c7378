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

TEST(WebAccess, WrongCodesRefuseTheirAddressForAMinuteWithOneLine) {
  ClearLogForTesting();
  ASSERT_TRUE(StartWebAccess("123456"));
  const uint32_t guesser = Address("10.0.0.9");
  // Wrong codes spread over more than a minute are never too many.
  for (uint64_t t = 0; t < 5; ++t) {
    EXPECT_EQ(PairDevice(guesser, "000000", "", t * 1000).outcome, PairOutcome::kWrongCode);
  }
  EXPECT_EQ(PairDevice(guesser, "000000", "", 60000).outcome, PairOutcome::kWrongCode);
  // Five within the minute before: the next one starts a refusal of a minute.
  for (uint64_t t = 61000; t < 65000; t += 1000) PairDevice(guesser, "000000", "", t);
  EXPECT_EQ(PairDevice(guesser, "000000", "", 65000).outcome, PairOutcome::kRefused);
  EXPECT_EQ(PairDevice(guesser, "123456", "", 124999).outcome, PairOutcome::kRefused);
  EXPECT_EQ(PairDevice(Address("10.0.0.10"), "123456", "", 70000).outcome, PairOutcome::kPaired);
  EXPECT_EQ(PairDevice(guesser, "123456", "", 125000).outcome, PairOutcome::kPaired);
  EXPECT_EQ(LogTextSnapshot(), "\rWeb pairing refused from 10.0.0.9");
  EXPECT_EQ(PairDevice(guesser, "12345", "", 125000).outcome, PairOutcome::kWrongCode);
}

}  // namespace
