#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/status_log.h"
#include "keys/tests/keys_fakes.h"
#include "server/dispatch.h"
#include "tests/fakes/fake_display.h"

namespace {

using Actions = std::vector<std::string>;

void DispatchText(const std::string& text) { DispatchCommand(ReadCommandText(text)); }
using Lines = std::vector<std::string>;

class DispatchKeysTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetKeysFakes();
    ClearLogForTesting();
    ClearShownLines();
    SetFakeWindows({{1, "Untitled - Notepad"}, {2, "Calculator"}, {3, "ab"}});
  }
};

TEST_F(DispatchKeysTest, SendTypesTheKeyTextWithoutTheTrailingBlanks) {
  DispatchText("  send |Calc|ab   ");
  EXPECT_EQ(TakeRecordedActions(),
            (Actions{"foreground 2", "inject 41d 41u", "wait 20", "inject 42d 42u", "wait 20"}));
  DispatchText("SEND |Calc|a  |");
  EXPECT_EQ(TakeRecordedActions(),
            (Actions{"foreground 2", "inject 41d 41u", "wait 20", "inject 20d 20u", "wait 20",
                     "inject 20d 20u", "wait 20"}));
  EXPECT_EQ(ShownLines(), Lines{});
}

TEST_F(DispatchKeysTest, StopTypesAltF4IntoTheWindow) {
  DispatchText("STOP calc");
  EXPECT_EQ(TakeRecordedActions(), (Actions{"foreground 2", "inject 12d", "wait 20",
                                            "inject 73d 73u", "wait 20", "inject 12u", "wait 20"}));
  DispatchText("stop ab");
  DispatchText("Stop Nothing");
  EXPECT_EQ(TakeRecordedActions(), Actions{});
  EXPECT_EQ(ShownLines(), (Lines{"ERR: Windowname\"ab\" too short", "ERR No Window\"Nothing\""}));
}

TEST_F(DispatchKeysTest, ActivateHasNoLengthCheckAndReportsOnlyAMissingWindow) {
  DispatchText("ACTIVATE untitled");
  DispatchText("activate ab");
  DispatchText("ACTIVATE");
  EXPECT_EQ(TakeRecordedActions(), (Actions{"foreground 1", "foreground 3", "foreground 1"}));
  EXPECT_EQ(ShownLines(), Lines{});
  DispatchText("ACTIVATE Report - a");
  EXPECT_EQ(TakeRecordedActions(), Actions{});
  EXPECT_EQ(ShownLines(), Lines{"ERR No Window\"Report - a\""});
}

}  // namespace
