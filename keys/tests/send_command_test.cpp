#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/status_log.h"
#include "keys/send_command.h"
#include "keys/tests/keys_fakes.h"
#include "tests/fakes/fake_display.h"

namespace {

using Actions = std::vector<std::string>;
using Lines = std::vector<std::string>;

class WindowLookupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetKeysFakes();
    ClearLogForTesting();
    ClearShownLines();
  }

  // The window FindAndActivateWindow chose, 0 when it returned 1.
  static WindowId Chosen(const std::string& name) {
    TakeRecordedActions();
    int result = FindAndActivateWindow(name);
    Actions actions = TakeRecordedActions();
    if (result == 1) {
      EXPECT_TRUE(actions.empty()) << name;
      return 0;
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(actions.size(), 1u) << name;
    if (actions.size() != 1 || actions[0].rfind("foreground ", 0) != 0) return 0;
    return std::stoul(actions[0].substr(11));
  }
};

TEST_F(WindowLookupTest, TheTitleMustBeginWithTheNameLetterCaseAside) {
  SetFakeWindows({{1, "Untitled - Notepad"}, {2, "Report - a.txt"}});
  EXPECT_EQ(Chosen("Report"), 2u);
  EXPECT_EQ(Chosen("REPORT"), 2u);
  EXPECT_EQ(Chosen("rep"), 2u);
  EXPECT_EQ(Chosen("Report - a"), 2u);
  EXPECT_EQ(Chosen("report - A.TXT"), 2u);
  EXPECT_EQ(Chosen("port"), 0u);
  EXPECT_EQ(Chosen("a.txt"), 0u);
  EXPECT_EQ(Chosen("Report  - a"), 0u);      // blanks count like any character
  EXPECT_EQ(Chosen("Report - a.txt!"), 0u);  // longer than the title
}

TEST_F(WindowLookupTest, CodePage437LettersAreFoldedToo) {
  SetFakeWindows({{7, "\x8E\x99\x9A Liste"}});  // capital a-, o-, u-umlaut
  EXPECT_EQ(Chosen("\x84\x94\x81 liste"), 7u);
  EXPECT_EQ(Chosen("\xE4"), 0u);  // an ANSI a-umlaut is not folded
}

TEST_F(WindowLookupTest, TheFirstQualifyingWindowInZOrderWinsAndEndsTheEnumeration) {
  SetFakeWindows({{5, "Other"}, {3, "Report two"}, {4, "Report one"}, {6, "Report three"}});
  EXPECT_EQ(Chosen("Report"), 3u);
  EXPECT_EQ(VisitedWindows(), (std::vector<WindowId>{5, 3}));
}

TEST_F(WindowLookupTest, HiddenOwnedAndDisabledWindowsAreSkipped) {
  FakeWindow hidden{1, "Report hidden"};
  hidden.visible = false;
  FakeWindow owned{2, "Report owned"};
  owned.hasParent = true;
  FakeWindow disabled{3, "Report disabled"};
  disabled.enabled = false;
  SetFakeWindows({hidden, owned, disabled, {4, "Report"}});
  EXPECT_EQ(Chosen("Report"), 4u);
  SetFakeWindows({hidden, owned, disabled});
  EXPECT_EQ(Chosen("Report"), 0u);
}

TEST_F(WindowLookupTest, AnEmptyNameMatchesTheFirstQualifyingWindow) {
  FakeWindow hidden{1, "Hidden"};
  hidden.visible = false;
  SetFakeWindows({hidden, {2, ""}, {3, "Report"}});
  EXPECT_EQ(Chosen(""), 2u);
  SetFakeWindows({});
  EXPECT_EQ(Chosen(""), 0u);
}

TEST_F(WindowLookupTest, OnlyTheFirst259CharactersOfTheNameAreCompared) {
  std::string prefix(259, 'x');
  SetFakeWindows({{1, "short"}, {2, prefix + "title goes on"}});
  EXPECT_EQ(Chosen(prefix + "name goes on"), 2u);
  EXPECT_EQ(Chosen(std::string(258, 'x') + "y" + "z"), 0u);
}

// The search text is a zero-terminated field: a name ends at a zero byte.
TEST_F(WindowLookupTest, ANameEndsAtAZeroByte) {
  SetFakeWindows({{1, "short"}, {2, "Report - a.txt"}});
  EXPECT_EQ(Chosen(std::string("Rep\0ort zzz", 12)), 2u);
  EXPECT_EQ(Chosen(std::string("\0zzz", 4)), 1u);
}

class SendCommandTest : public WindowLookupTest {
 protected:
  void SetUp() override {
    WindowLookupTest::SetUp();
    SetFakeWindows({{1, "Untitled - Notepad"}, {2, "Report - a.txt"}, {3, "abc"}});
  }
};

TEST_F(SendCommandTest, TypesTheKeyTextIntoTheWindowRightAfterActivatingIt) {
  HandleSendCommand("|Report|A{ENTER}{DELAY100}b");
  EXPECT_EQ(TakeRecordedActions(),
            (Actions{"foreground 2", "inject 10d 41d 41u 10u", "wait 20", "inject dd du", "wait 20",
                     "wait 100", "inject 42d 42u", "wait 20"}));
  EXPECT_EQ(ShownLines(), Lines{});
}

TEST_F(SendCommandTest, TheDelimiterIsTheFirstCharacterAndSplitsExactly) {
  HandleSendCommand("|Report|ab|cd");
  EXPECT_EQ(TakeRecordedActions(),
            (Actions{"foreground 2", "inject 41d 41u", "wait 20", "inject 42d 42u", "wait 20"}));
  HandleSendCommand("/untitled/ab");
  EXPECT_EQ(TakeRecordedActions(),
            (Actions{"foreground 1", "inject 41d 41u", "wait 20", "inject 42d 42u", "wait 20"}));
  // The delimiter "a" does not split at "A": the name runs to the end.
  HandleSendCommand("aabcAb");
  EXPECT_EQ(TakeRecordedActions(), Actions{});
  EXPECT_EQ(ShownLines(), Lines{"ERR: Windowname\"\" too short"});
  ClearShownLines();
  HandleSendCommand("xabcXb");
  EXPECT_EQ(TakeRecordedActions(), Actions{});
  EXPECT_EQ(ShownLines(), Lines{"ERR: No keys to send!"});
}

TEST_F(SendCommandTest, LineEndsBelongToALastKeyTextAndAClosingDelimiterKeepsThemOut) {
  HandleSendCommand("|abc|a\r\n");
  EXPECT_EQ(TakeRecordedActions(), (Actions{"foreground 3", "inject 41d 41u", "wait 20",
                                            "inject dd du", "wait 20", "wait 20"}));
  HandleSendCommand("|abc|a|\r\n");
  EXPECT_EQ(TakeRecordedActions(), (Actions{"foreground 3", "inject 41d 41u", "wait 20"}));
}

TEST_F(SendCommandTest, ANameOfFewerThanThreeCharactersIsTooShort) {
  HandleSendCommand("|ab|xyz");
  HandleSendCommand("");
  HandleSendCommand("|");
  HandleSendCommand("|ab|");
  EXPECT_EQ(TakeRecordedActions(), Actions{});
  EXPECT_EQ(ShownLines(),
            (Lines{"ERR: Windowname\"ab\" too short", "ERR: Windowname\"\" too short",
                   "ERR: Windowname\"\" too short", "ERR: Windowname\"ab\" too short"}));
  ClearShownLines();
  HandleSendCommand("|abc|x");
  EXPECT_EQ(TakeRecordedActions(), (Actions{"foreground 3", "inject 58d 58u", "wait 20"}));
  EXPECT_EQ(ShownLines(), Lines{});
}

TEST_F(SendCommandTest, AnEmptyKeyTextActivatesNothing) {
  HandleSendCommand("|Report|");
  HandleSendCommand("|Report");
  HandleSendCommand("|Report||abc");
  EXPECT_EQ(TakeRecordedActions(), Actions{});
  EXPECT_EQ(ShownLines(),
            (Lines{"ERR: No keys to send!", "ERR: No keys to send!", "ERR: No keys to send!"}));
}

TEST_F(SendCommandTest, NoQualifyingWindowIsReportedWithTheWholeName) {
  HandleSendCommand("|Nothing like it|abc");
  std::string longName = "Report - a.txt" + std::string(300, 'z');
  HandleSendCommand("|" + longName + "|abc");
  EXPECT_EQ(TakeRecordedActions(), Actions{});
  EXPECT_EQ(ShownLines(),
            (Lines{"ERR No Window\"Nothing like it\"", "ERR No Window\"" + longName + "\""}));
  EXPECT_NE(LogTextSnapshot().find("ERR No Window\"Nothing like it\""), std::string::npos);
}

TEST_F(SendCommandTest, AWindowThatDoesNotComeToTheFrontGetsNoKeys) {
  FakeWindow refusing{5, "Refusing"};
  refusing.refusesActivation = true;
  SetFakeWindows({refusing});
  EXPECT_EQ(FindAndActivateWindow("Refusing"), kWindowNotActivated);
  HandleSendCommand("|refusing|abc");
  EXPECT_EQ(TakeRecordedActions(), (Actions{"foreground 5", "foreground 5"}));
  EXPECT_EQ(ShownLines(), Lines{"ERR: Window not activated\"refusing\""});
}

// The foreground moves to window 1 during the delay: the release-only unit
// and the unit without events still go out, the next character does not, and
// the keys still held are released, the last pressed first.
TEST_F(SendCommandTest, LosingTheForegroundEndsTheWalkAndReleasesItsHeldKeys) {
  MoveForegroundAtWait(100, 1);
  HandleSendCommand("|Report|{SHIFT_D}{CTRL_D}{ALT_D}{WIN_D}a{CTRL_U}{DELAY100}{WIN_U}}cd");
  EXPECT_EQ(TakeRecordedActions(),
            (Actions{"foreground 2", "inject 10d", "wait 20", "inject 11d", "wait 20", "inject 12d",
                     "wait 20", "inject 5bd", "wait 20", "inject 41d 41u", "wait 20", "inject 11u",
                     "wait 20", "wait 100", "inject 5bu", "wait 20", "wait 20", "inject 12u 10u"}));
  EXPECT_EQ(ShownLines(), Lines{"ERR: Window lost focus\"Report\""});

  // A dialog of the target is part of it: the keys go on.
  ClearShownLines();
  FakeWindow dialog{4, "Save as"};
  dialog.owner = 2;
  SetFakeWindows({{1, "Untitled - Notepad"}, {2, "Report - a.txt"}, dialog});
  MoveForegroundAtWait(50, 4);
  HandleSendCommand("|Report|a{DELAY50}b");
  EXPECT_EQ(TakeRecordedActions(), (Actions{"foreground 2", "inject 41d 41u", "wait 20", "wait 50",
                                            "inject 42d 42u", "wait 20"}));
  EXPECT_EQ(ShownLines(), Lines{});
}

}  // namespace
