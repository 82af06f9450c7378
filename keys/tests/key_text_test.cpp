#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "keys/key_text.h"

namespace {

using Actions = std::vector<std::string>;

// The walk of `keyText` as "unit X" and "wait N" actions.
Actions Walk(const std::string& keyText, uint32_t gap = 20) {
  Actions actions;
  SendKeyText(
      keyText, gap,
      [&actions](const std::string& unit) {
        actions.push_back("unit " + unit);
        return true;
      },
      [&actions](uint32_t ms) { actions.push_back("wait " + std::to_string(ms)); });
  return actions;
}

TEST(SendKeyText, EveryUnitIsFollowedByTheGap) {
  EXPECT_EQ(Walk("abc"), (Actions{"unit a", "wait 20", "unit b", "wait 20", "unit c", "wait 20"}));
  EXPECT_EQ(Walk("{ALT_D}{F4}{ALT_U}"), (Actions{"unit {ALT_D}", "wait 20", "unit {F4}", "wait 20",
                                                 "unit {ALT_U}", "wait 20"}));
  EXPECT_EQ(Walk("{CTRL_D}c{CTRL_U}", 5),
            (Actions{"unit {CTRL_D}", "wait 5", "unit c", "wait 5", "unit {CTRL_U}", "wait 5"}));
  EXPECT_EQ(Walk("Aa", 0), (Actions{"unit A", "wait 0", "unit a", "wait 0"}));
  EXPECT_EQ(Walk(""), Actions{});
}

TEST(SendKeyText, ControlCharactersAndBytesAbove127ArePlainUnits) {
  EXPECT_EQ(Walk(std::string("\r\n\t\0\xFF", 5), 1),
            (Actions{"unit \r", "wait 1", "unit \n", "wait 1", "unit \t", "wait 1",
                     std::string("unit \0", 6), "wait 1", "unit \xFF", "wait 1"}));
}

TEST(SendKeyText, GroupsRunToTheFirstClosingBrace) {
  EXPECT_EQ(Walk("{A{F4}"), (Actions{"unit {A{F4}", "wait 20"}));
  EXPECT_EQ(Walk("{ ENTER}x"), (Actions{"unit { ENTER}", "wait 20", "unit x", "wait 20"}));
  EXPECT_EQ(Walk("{}"), (Actions{"unit {}", "wait 20"}));
  EXPECT_EQ(Walk("{a}}"), (Actions{"unit {a}", "wait 20", "unit }", "wait 20"}));
}

TEST(SendKeyText, LoneClosingBraceIsAUnitAndAnUnclosedGroupIsDropped) {
  EXPECT_EQ(Walk("}"), (Actions{"unit }", "wait 20"}));
  EXPECT_EQ(Walk("x{F4"), (Actions{"unit x", "wait 20"}));
  EXPECT_EQ(Walk("{DELAY500"), Actions{});
  EXPECT_EQ(Walk("{"), Actions{});
}

TEST(SendKeyText, DelayGroupsWaitTheirRoundedNumberWithoutAGap) {
  EXPECT_EQ(Walk("{DELAY500}x"), (Actions{"wait 500", "unit x", "wait 20"}));
  EXPECT_EQ(Walk("a{delay250}b"), (Actions{"unit a", "wait 20", "wait 250", "unit b", "wait 20"}));
  EXPECT_EQ(Walk("{delay 250}"), Actions{"wait 250"});
  EXPECT_EQ(Walk("{DeLaY\t250}"), Actions{"wait 250"});
  EXPECT_EQ(Walk("{DELAY}"), Actions{"wait 0"});
  EXPECT_EQ(Walk("{DELAYabc}"), Actions{"wait 0"});
  EXPECT_EQ(Walk("{DELAY2.5}"), Actions{"wait 2"});
  EXPECT_EQ(Walk("{DELAY3.5}"), Actions{"wait 4"});
  EXPECT_EQ(Walk("{DELAY1e3}"), Actions{"wait 1000"});
  EXPECT_EQ(Walk("{DELAY&H10}"), Actions{"wait 16"});
  // The number text is {F4}: no number, and F4 is not pressed.
  EXPECT_EQ(Walk("{DELAY{F4}"), Actions{"wait 0"});
  // Six characters are needed: "{DELA}" names a key that does not exist.
  EXPECT_EQ(Walk("{DELA}"), (Actions{"unit {DELA}", "wait 20"}));
  EXPECT_EQ(Walk("{DELAYED}"), Actions{"wait 0"});
}

TEST(SendKeyText, DelaysOutsideTheWaitableRangeAreClamped) {
  EXPECT_EQ(Walk("{DELAY-5}"), Actions{"wait 0"});
  EXPECT_EQ(Walk("{DELAY-0.4}"), Actions{"wait 0"});
  EXPECT_EQ(Walk("{DELAY4294967294}"), Actions{"wait 4294967294"});
  // 4294967295 would be the platform's "wait forever".
  EXPECT_EQ(Walk("{DELAY4294967295}"), Actions{"wait 4294967294"});
  EXPECT_EQ(Walk("{DELAY&HFFFFFFFF}"), Actions{"wait 4294967294"});
  EXPECT_EQ(Walk("{DELAY1e400}"), Actions{"wait 4294967294"});
  EXPECT_EQ(Walk("{DELAY-1e400}"), Actions{"wait 0"});
  EXPECT_EQ(Walk("{DELAY4294967293.6}"), Actions{"wait 4294967294"});
}

TEST(SendKeyText, TextsLongerThanA16BitCounterAreWalkedToTheEnd) {
  std::string keyText(65530, 'q');
  keyText += "{ENTER}";
  size_t units = 0;
  std::string lastUnit;
  uint64_t waited = 0;
  SendKeyText(
      keyText, 20,
      [&](const std::string& unit) {
        ++units;
        lastUnit = unit;
        return true;
      },
      [&](uint32_t ms) { waited += ms; });
  EXPECT_EQ(units, 65531u);
  EXPECT_EQ(lastUnit, "{ENTER}");
  EXPECT_EQ(waited, 65531u * 20);
}

}  // namespace
