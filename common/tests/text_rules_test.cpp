#include "common/text_rules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(FoldUpper, LettersAndTheSevenCodePage437SmallLetters) {
  EXPECT_EQ(FoldUpper("open Next gOtO"), "OPEN NEXT GOTO");
  EXPECT_EQ(FoldUpper("\x84\x94\x81\x82\xA4\x86\x87"), "\x8E\x99\x9A\x90\xA5\x8F\x80");
  // Everything else stays, Windows-1252 small letters included.
  EXPECT_EQ(FoldUpper("{}_-09\xE4\xF6\xFC\r\n\x1B"), "{}_-09\xE4\xF6\xFC\r\n\x1B");
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  std::string folded = FoldUpper(all);
  int changed = 0;
  for (int c = 0; c < 256; ++c) changed += folded[c] != all[c];
  EXPECT_EQ(changed, 26 + 7);
}

struct NumberCase {
  const char* text;
  double value;
};

TEST(NumberFromText, ReadsTheFormsOfTheRule) {
  const NumberCase cases[] = {
      {"16001", 16001},    {"&H0A", 10},         {"&h3E81", 16001}, {"&HFFFFFFFF", 4294967295.0},
      {"&O17", 15},        {"&q17", 15},         {"&17", 15},       {"&B101", 5},
      {"&b102", 2},        {"&H", 0},            {"&X1", 0},        {"&", 0},
      {"&18", 1},          {"1E1", 10},          {"1.6001E4", 16001}, {"2.5d2", 250},
      {"1e", 1},           {"1e+", 1},           {"1e-1", 0.1},     {"-3", -3},
      {"+7", 7},           {"-.5", -0.5},        {".", 0},          {"", 0},
      {"abc", 0},          {"7th", 7},           {"12 34", 12},     {"  \t\n 42", 42},
      {"\r42", 0},         {"1.2.3", 1.2},       {"--1", 0},        {"16001x", 16001},
      {"250}", 250},       {"{F4}", 0},          {" 250}", 250},    {"1e400", HUGE_VAL},
  };
  for (const NumberCase& c : cases) {
    EXPECT_DOUBLE_EQ(NumberFromText(c.text), c.value) << "text \"" << c.text << "\"";
  }
}

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour) {
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(3.5), 4);
  EXPECT_EQ(RoundHalfEven(0.5), 0);
  EXPECT_EQ(RoundHalfEven(-2.5), -2);
  EXPECT_EQ(RoundHalfEven(-3.5), -4);
  EXPECT_EQ(RoundHalfEven(80.5), 80);
  EXPECT_EQ(RoundHalfEven(81.5), 82);
  EXPECT_EQ(RoundHalfEven(2.5000001), 3);
  EXPECT_EQ(RoundHalfEven(-0.4), 0);
}

TEST(Int32FromNumber, RangeRule) {
  constexpr int32_t kIndefinite = std::numeric_limits<int32_t>::min();
  EXPECT_EQ(Int32FromNumber(2147483647.0), 2147483647);
  EXPECT_EQ(Int32FromNumber(2147483647.4), 2147483647);
  EXPECT_EQ(Int32FromNumber(2147483647.5), kIndefinite);
  EXPECT_EQ(Int32FromNumber(-2147483647.0), -2147483647);
  EXPECT_EQ(Int32FromNumber(4294967295.0), kIndefinite);
  EXPECT_EQ(Int32FromNumber(HUGE_VAL), kIndefinite);
  EXPECT_EQ(Int32FromNumber(-HUGE_VAL), kIndefinite);
  EXPECT_EQ(Int32FromNumber(std::numeric_limits<double>::quiet_NaN()), kIndefinite);
  EXPECT_EQ(Int32FromNumber(NumberFromText("port=&H3E81" + 5)), 16001);
  EXPECT_EQ(Int32FromNumber(NumberFromText("1.6001E4")), 16001);
  EXPECT_EQ(Int32FromNumber(NumberFromText("80.5")), 80);
  EXPECT_EQ(Int32FromNumber(NumberFromText("81.5")), 82);
  EXPECT_EQ(Int32FromNumber(NumberFromText("2.5")), 2);
  EXPECT_EQ(Int32FromNumber(NumberFromText("3.5")), 4);
}

}  // namespace
