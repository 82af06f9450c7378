// The session and the slide-show commands against the recording fake: the
// exact calls that reach PowerPoint, and the references they leave behind.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <map>
#include <tuple>

#include "platform/automation_retry.h"
#include "presentation/powerpoint_session.h"
#include "presentation/slide_show.h"
#include "presentation/slide_show_back_end.h"
#include "presentation/tests/fake_automation.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

namespace {

using K = AutomationKind;

const char* const kNotice =
    "Notice caption= style=0x1000 text=Powerpoint could not be opened.\r"
    "Please check that Powerpoint and VBA are installed.";

// A successful OPEN's calls when PowerPoint has to be created (the objects
// numbered by `n`, the application by `app`).
std::vector<std::string> CreatingStart() {
  return {"CLSIDFromProgID Powerpoint.Application",
          "ProgIDFromCLSID",
          "CLSIDFromProgID PowerPoint.Application.16",
          "GetActiveObject",
          "CLSIDFromProgID PowerPoint.Application.16",
          "CoCreateInstance",
          "Invoke app1 2030 write R8:1"};
}

std::vector<std::string> OpenAfterStart(const std::string& app, const std::string& n,
                                        const std::string& file) {
  return {"Invoke " + app + " 2001 read result",
          "Invoke presentations" + n + " 2005 method BSTR:" + file + " result",
          "Release presentations" + n,
          "QueryInterface presentation" + n,
          "Release presentation" + n,
          "Invoke presentation" + n + " 2015 read result",
          "QueryInterface settings" + n,
          "Release settings" + n,
          "Minimise",
          "Invoke settings" + n + " 2008 method",
          "Invoke presentation" + n + " 2047 read result",
          "QueryInterface window" + n,
          "Release window" + n,
          "Invoke window" + n + " 2003 read result",
          "QueryInterface view" + n,
          "Release view" + n};
}

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class SlideShowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFakeAutomation();
    PowerPointSession = PowerPointSessionRecord();
  }

  // Every reference the session still holds is given back here; after that
  // each object must be back to the references it started with, and no
  // object may have been used or released once too often.
  void TearDown() override {
    for (AutomationObject* field :
         {&PowerPointSession.application, &PowerPointSession.presentation,
          &PowerPointSession.slideShowSettings, &PowerPointSession.slideShowWindow,
          &PowerPointSession.slideShowView, &PowerPointSession.slides}) {
      ReleaseAutomationObject(*field);
      *field = nullptr;
    }
    EXPECT_THAT(FakeObjectsStillReferenced(), IsEmpty());
    EXPECT_THAT(FakeAutomation.faults, IsEmpty());
  }

  std::vector<std::string> TakeEvents() {
    std::vector<std::string> events = FakeAutomation.events;
    FakeAutomation.events.clear();
    return events;
  }

  void OpenSuccessfully(const std::string& file = "C:\\My Shows\\talk.pptx") {
    HandleSlideShowCommand(CommandWord::kOpen, file);
    ASSERT_NE(PowerPointSession.slideShowView, nullptr);
    FakeAutomation.events.clear();
  }
};

TEST_F(SlideShowTest, OpenCreatesPowerPointAndStartsTheSlideShow) {
  HandleSlideShowCommand(CommandWord::kOpen, "C:\\My Shows\\talk.pptx");

  std::vector<std::string> expected = {"Log Starting Powerpoint..."};
  expected = Concat(expected, CreatingStart());
  expected = Concat(expected, OpenAfterStart("app1", "1", "C:\\My Shows\\talk.pptx"));
  EXPECT_THAT(TakeEvents(), ElementsAreArray(expected));

  EXPECT_EQ(PowerPointSession.started, 1);
  EXPECT_EQ(PowerPointSession.progId, "PowerPoint.Application.16");
  EXPECT_EQ(FakeObjectName(PowerPointSession.application), "app1");
  EXPECT_EQ(FakeObjectName(PowerPointSession.presentation), "presentation1");
  EXPECT_EQ(FakeObjectName(PowerPointSession.slideShowSettings), "settings1");
  EXPECT_EQ(FakeObjectName(PowerPointSession.slideShowWindow), "window1");
  EXPECT_EQ(FakeObjectName(PowerPointSession.slideShowView), "view1");
}

TEST_F(SlideShowTest, OpenAttachesToARunningPowerPointWithoutCreatingOne) {
  StartFakeRunningInstance();
  HandleSlideShowCommand(CommandWord::kOpen, "talk.pptx");

  std::vector<std::string> expected = {"Log Starting Powerpoint...",
                                       "CLSIDFromProgID Powerpoint.Application",
                                       "ProgIDFromCLSID",
                                       "CLSIDFromProgID PowerPoint.Application.16",
                                       "GetActiveObject",
                                       "QueryInterface app1",
                                       "Release app1",
                                       "Invoke app1 2030 write R8:1"};
  expected = Concat(expected, OpenAfterStart("app1", "1", "talk.pptx"));
  EXPECT_THAT(TakeEvents(), ElementsAreArray(expected));
}

TEST_F(SlideShowTest, TheProgIdRoundTripKeepsAtMost39CharactersAndFallsBack) {
  std::string longName = "PowerPoint.Application.WithAVeryLongVersionSuffix";
  std::string cut = longName.substr(0, 39);
  FakeAutomation.registeredProgId = longName;
  FakeAutomation.resolvableProgIds.insert(cut);
  StartFakeRunningInstance();
  StartPowerPoint();
  EXPECT_EQ(PowerPointSession.progId, cut);
  EXPECT_THAT(TakeEvents(),
              ElementsAre("CLSIDFromProgID Powerpoint.Application", "ProgIDFromCLSID",
                          "CLSIDFromProgID " + cut, "GetActiveObject", "QueryInterface app1",
                          "Release app1", "Invoke app1 2030 write R8:1"));

  FakeAutomation.progIdLookupFails = true;
  StartPowerPoint();
  EXPECT_EQ(PowerPointSession.progId, "Powerpoint.Application");
  EXPECT_THAT(TakeEvents(), ElementsAre("CLSIDFromProgID Powerpoint.Application", "ProgIDFromCLSID",
                                        "Release app1", "CLSIDFromProgID Powerpoint.Application",
                                        "GetActiveObject", "QueryInterface app1", "Release app1",
                                        "Invoke app1 2030 write R8:1"));
}

TEST_F(SlideShowTest, TheFirstStartCreatesWhenNothingRuns) {
  FakeAutomation.registeredProgId = "PowerPoint.Application.16";
  FakeAutomation.createdRegistersAsRunning = false;
  StartPowerPoint();
  EXPECT_THAT(TakeEvents(), ElementsAreArray(CreatingStart()));
  StartPowerPoint();  // nothing registered as running: a second instance
  EXPECT_THAT(TakeEvents(),
              ElementsAre("CLSIDFromProgID Powerpoint.Application", "ProgIDFromCLSID",
                          "Release app1", "CLSIDFromProgID PowerPoint.Application.16",
                          "GetActiveObject", "CLSIDFromProgID PowerPoint.Application.16",
                          "CoCreateInstance", "Invoke app2 2030 write R8:1"));
}

TEST_F(SlideShowTest, UnregisteredPowerPointShowsTheNoticeThenOpenFails) {
  FakeAutomation.resolvableProgIds.clear();
  HandleSlideShowCommand(CommandWord::kOpen, "talk.pptx");
  EXPECT_THAT(TakeEvents(),
              ElementsAre("Log Starting Powerpoint...", "CLSIDFromProgID Powerpoint.Application",
                          "CLSIDFromProgID Powerpoint.Application",
                          "CLSIDFromProgID Powerpoint.Application", kNotice,
                          "Log Couldn't open presentation"));
  EXPECT_EQ(PowerPointSession.started, 1);
  EXPECT_EQ(PowerPointSession.application, nullptr);
  EXPECT_EQ(PowerPointSession.progId, "Powerpoint.Application");

  // Nothing to act on afterwards.
  HandleSlideShowCommand(CommandWord::kNext, "");
  HandleSlideShowCommand(CommandWord::kGoto, "3");
  StopPowerPoint();
  EXPECT_THAT(TakeEvents(), IsEmpty());
}

TEST_F(SlideShowTest, AFailedCreateOrAttachShowsTheNotice) {
  FakeAutomation.createFails = true;
  StartFakeRunningInstance();
  FakeAutomation.queryFailsFor.insert("app");  // the running one is no IDispatch
  StartPowerPoint();
  EXPECT_THAT(TakeEvents(), ElementsAre("CLSIDFromProgID Powerpoint.Application", "ProgIDFromCLSID",
                                        "CLSIDFromProgID PowerPoint.Application.16",
                                        "GetActiveObject", "QueryInterface app1", "Release app1",
                                        "CLSIDFromProgID PowerPoint.Application.16",
                                        "CoCreateInstance", kNotice));
  EXPECT_EQ(PowerPointSession.application, nullptr);
}

TEST_F(SlideShowTest, AFailingVisibleWriteIsIgnored) {
  ScriptMember("app", 2030, K::kPropertyWrite, Fails());
  HandleSlideShowCommand(CommandWord::kOpen, "talk.pptx");
  EXPECT_NE(PowerPointSession.slideShowView, nullptr);
  EXPECT_THAT(TakeEvents(), ::testing::Not(::testing::Contains(::testing::StartsWith("Log C"))));
}

TEST_F(SlideShowTest, PresentationsIsRetriedAsAMethod) {
  ScriptMember("app", 2001, K::kPropertyRead, Fails());
  ScriptMember("app", 2001, K::kMethod, GivesObject("presentations"));
  HandleSlideShowCommand(CommandWord::kOpen, "talk.pptx");
  std::vector<std::string> events = TakeEvents();
  std::vector<std::string> opening(events.begin() + 8, events.begin() + 11);
  EXPECT_THAT(opening, ElementsAre("Invoke app1 2001 read result", "Invoke app1 2001 method result",
                                   "Invoke presentations1 2005 method BSTR:talk.pptx result"));
  EXPECT_NE(PowerPointSession.slideShowView, nullptr);
}

TEST_F(SlideShowTest, OpenFailuresKeepTheEarlierSlideShow) {
  OpenSuccessfully();

  struct Override {
    std::string objectKind;
    int32_t dispId;
    AutomationKind kind;
    FakeAnswer answer;
  };
  struct Case {
    const char* what;
    std::vector<Override> overrides;
  };
  const std::vector<Case> cases = {
      {"Presentations fails both ways",
       {{"app", 2001, K::kPropertyRead, Fails()}, {"app", 2001, K::kMethod, Fails()}}},
      {"Presentations is not an object", {{"app", 2001, K::kPropertyRead, GivesText()}}},
      {"Open fails", {{"presentations", 2005, K::kMethod, Fails()}}},
      {"Open gives text", {{"presentations", 2005, K::kMethod, GivesText()}}},
      {"Open gives an unknown", {{"presentations", 2005, K::kMethod, GivesUnknown()}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptCooperativePowerPoint();
    for (const Override& o : c.overrides) ScriptMember(o.objectKind, o.dispId, o.kind, o.answer);
    HandleSlideShowCommand(CommandWord::kOpen, "missing.pptx");
    std::vector<std::string> events = TakeEvents();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back(), "Log Couldn't open presentation");
    EXPECT_THAT(events, ::testing::Not(::testing::Contains("Minimise")));
    EXPECT_THAT(events, ::testing::Not(
                            ::testing::Contains(::testing::StartsWith("Release presentation1"))));
    EXPECT_EQ(FakeObjectName(PowerPointSession.presentation), "presentation1");
    EXPECT_EQ(FakeObjectName(PowerPointSession.slideShowSettings), "settings1");
    EXPECT_EQ(FakeObjectName(PowerPointSession.slideShowWindow), "window1");
    EXPECT_EQ(FakeObjectName(PowerPointSession.slideShowView), "view1");
    // NEXT still acts on the earlier slide show.
    HandleSlideShowCommand(CommandWord::kNext, "");
    EXPECT_THAT(TakeEvents(), ElementsAre("Invoke view1 2019 method"));
  }
}

TEST_F(SlideShowTest, OpenFailingAtOpenLogsOnlyTheFailure) {
  ScriptMember("presentations", 2005, K::kMethod, Fails());
  HandleSlideShowCommand(CommandWord::kOpen, "");
  std::vector<std::string> expected = {"Log Starting Powerpoint..."};
  expected = Concat(expected, CreatingStart());
  expected = Concat(
      expected, {"Invoke app1 2001 read result", "Invoke presentations1 2005 method BSTR: result",
                 "Release presentations1", "Log Couldn't open presentation"});
  EXPECT_THAT(TakeEvents(), ElementsAreArray(expected));
  EXPECT_EQ(PowerPointSession.presentation, nullptr);
}

TEST_F(SlideShowTest, SlideShowSettingsFailingKeepsTheNewPresentationAndTheOldView) {
  OpenSuccessfully("first.pptx");
  int n = 1;
  for (FakeAnswer answer : {Fails(), GivesText()}) {
    ++n;
    std::string now = std::to_string(n), before = std::to_string(n - 1);
    ScriptMember("presentation", 2015, K::kPropertyRead, answer);
    HandleSlideShowCommand(CommandWord::kOpen, "second.pptx");
    std::vector<std::string> events = TakeEvents();
    ASSERT_GE(events.size(), 6u);
    std::vector<std::string> tail(events.end() - 6, events.end());
    EXPECT_THAT(tail, ElementsAre("Release presentations" + now, "Release presentation" + before,
                                  "QueryInterface presentation" + now, "Release presentation" + now,
                                  "Invoke presentation" + now + " 2015 read result",
                                  "Log Couldn't get slide show settings...?"));
    EXPECT_EQ(FakeObjectName(PowerPointSession.slideShowSettings), "settings1");
    EXPECT_EQ(FakeObjectName(PowerPointSession.slideShowWindow), "window1");
    EXPECT_EQ(FakeObjectName(PowerPointSession.slideShowView), "view1");
  }
  EXPECT_EQ(FakeObjectName(PowerPointSession.presentation), "presentation3");
  HandleSlideShowCommand(CommandWord::kNext, "");
  EXPECT_THAT(TakeEvents(), ElementsAre("Invoke view1 2019 method"));
}

TEST_F(SlideShowTest, AFailedWindowOrViewReadLeavesNothingForNextAndGoto) {
  OpenSuccessfully("first.pptx");
  ScriptMember("presentation", 2047, K::kPropertyRead, Fails());
  HandleSlideShowCommand(CommandWord::kOpen, "second.pptx");
  std::vector<std::string> events = TakeEvents();
  std::vector<std::string> tail(events.end() - 5, events.end());
  EXPECT_THAT(tail, ElementsAre("Minimise", "Invoke settings2 2008 method",
                                "Invoke presentation2 2047 read result", "Release window1",
                                "Release view1"));
  EXPECT_EQ(PowerPointSession.slideShowWindow, nullptr);
  EXPECT_EQ(PowerPointSession.slideShowView, nullptr);
  HandleSlideShowCommand(CommandWord::kNext, "");
  HandleSlideShowCommand(CommandWord::kGoto, "2");
  EXPECT_THAT(TakeEvents(), IsEmpty());

  // The view alone failing: the window is kept, the view is empty.
  ScriptMember("presentation", 2047, K::kPropertyRead, GivesObject("window"));
  ScriptMember("window", 2003, K::kPropertyRead, GivesUnknown());
  HandleSlideShowCommand(CommandWord::kOpen, "third.pptx");
  events = TakeEvents();
  EXPECT_EQ(events.back(), "Invoke window2 2003 read result");
  EXPECT_EQ(FakeObjectName(PowerPointSession.slideShowWindow), "window2");
  EXPECT_EQ(PowerPointSession.slideShowView, nullptr);
  HandleSlideShowCommand(CommandWord::kNext, "");
  EXPECT_THAT(TakeEvents(), IsEmpty());
}

TEST_F(SlideShowTest, RunFailingIsNotReported) {
  ScriptMember("settings", 2008, K::kMethod, Fails());
  HandleSlideShowCommand(CommandWord::kOpen, "talk.pptx");
  EXPECT_EQ(FakeObjectName(PowerPointSession.slideShowView), "view1");
  std::vector<std::string> events = TakeEvents();
  EXPECT_EQ(std::count_if(events.begin(), events.end(),
                          [](const std::string& e) { return e.rfind("Log ", 0) == 0; }),
            1);
}

TEST_F(SlideShowTest, NextAndGotoBeforeAnyOpenDoNothing) {
  HandleSlideShowCommand(CommandWord::kNext, "");
  HandleSlideShowCommand(CommandWord::kGoto, "3");
  HandleSlideShowCommand(CommandWord::kNext, "5");
  EXPECT_THAT(TakeEvents(), IsEmpty());
  EXPECT_EQ(PowerPointSession.started, 0);
}

TEST_F(SlideShowTest, TwoOpensInARowReattachAndActOnTheSecondShow) {
  HandleSlideShowCommand(CommandWord::kOpen, "first.pptx");
  TakeEvents();
  HandleSlideShowCommand(CommandWord::kOpen, "second.pptx");
  // Each field gives up its old reference before it takes the new one.
  std::vector<std::string> expected = {"Log Starting Powerpoint...",
                                       "CLSIDFromProgID Powerpoint.Application",
                                       "ProgIDFromCLSID",
                                       "Release app1",
                                       "CLSIDFromProgID PowerPoint.Application.16",
                                       "GetActiveObject",
                                       "QueryInterface app1",
                                       "Release app1",
                                       "Invoke app1 2030 write R8:1",
                                       "Invoke app1 2001 read result",
                                       "Invoke presentations2 2005 method BSTR:second.pptx result",
                                       "Release presentations2",
                                       "Release presentation1",
                                       "QueryInterface presentation2",
                                       "Release presentation2",
                                       "Invoke presentation2 2015 read result",
                                       "Release settings1",
                                       "QueryInterface settings2",
                                       "Release settings2",
                                       "Minimise",
                                       "Invoke settings2 2008 method",
                                       "Invoke presentation2 2047 read result",
                                       "Release window1",
                                       "QueryInterface window2",
                                       "Release window2",
                                       "Invoke window2 2003 read result",
                                       "Release view1",
                                       "QueryInterface view2",
                                       "Release view2"};
  EXPECT_THAT(TakeEvents(), ElementsAreArray(expected));

  HandleSlideShowCommand(CommandWord::kNext, "");
  HandleSlideShowCommand(CommandWord::kGoto, "4");
  EXPECT_THAT(TakeEvents(),
              ElementsAre("Invoke view2 2019 method", "Invoke view2 2021 method R8:4"));
}

TEST_F(SlideShowTest, OtherWordsDoNothing) {
  OpenSuccessfully();
  for (CommandWord word : {CommandWord::kRun, CommandWord::kStop, CommandWord::kSend,
                           CommandWord::kActivate, CommandWord::kProjector, CommandWord::kState}) {
    HandleSlideShowCommand(word, "5");
  }
  EXPECT_THAT(TakeEvents(), IsEmpty());
}

TEST_F(SlideShowTest, GotoReadsTheSlideNumber) {
  OpenSuccessfully();
  struct Case {
    const char* argument;
    int slide;  // 0: nothing is invoked
  };
  const Case cases[] = {{"2.5", 2},    {"3.5", 4}, {"0.5", 0},         {"0", 0},     {"-3", 0},
                        {"abc", 0},    {"", 0},    {"7th", 7},         {"&H0A", 10}, {"1E1", 10},
                        {"12 34", 12}, {"1.5", 2}, {"99999999999", 0}, {"+6", 6}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument);
    HandleSlideShowCommand(CommandWord::kGoto, c.argument);
    if (c.slide == 0) {
      EXPECT_THAT(TakeEvents(), IsEmpty());
    } else {
      EXPECT_THAT(TakeEvents(),
                  ElementsAre("Invoke view1 2021 method R8:" + std::to_string(c.slide)));
    }
  }
}

TEST_F(SlideShowTest, NextAndGotoFailuresAreSilent) {
  OpenSuccessfully();
  ScriptMember("view", 2019, K::kMethod, Fails());
  ScriptMember("view", 2021, K::kMethod, Fails());
  HandleSlideShowCommand(CommandWord::kNext, "ignored");
  HandleSlideShowCommand(CommandWord::kGoto, "3");
  EXPECT_THAT(TakeEvents(),
              ElementsAre("Invoke view1 2019 method", "Invoke view1 2021 method R8:3"));
}

TEST_F(SlideShowTest, StopPowerPointClosesTheActivePresentationThenQuits) {
  OpenSuccessfully();
  StopPowerPoint();
  EXPECT_THAT(
      TakeEvents(),
      ElementsAre("Invoke app1 2004 read result", "Invoke active1 2019 method", "Release active1",
                  "Invoke app1 2021 method", "Release app1", "Release presentation1",
                  "Release settings1", "Release window1", "Release view1"));
  EXPECT_EQ(PowerPointSession.application, nullptr);
  EXPECT_EQ(PowerPointSession.slideShowView, nullptr);
}

TEST_F(SlideShowTest, StopPowerPointWithoutAPresentationOnlyQuits) {
  StartPowerPoint();
  ScriptMember("app", 2004, K::kPropertyRead, Fails());
  TakeEvents();
  StopPowerPoint();
  EXPECT_THAT(TakeEvents(),
              ElementsAre("Invoke app1 2004 read result", "Invoke app1 2004 method result",
                          "Invoke app1 2021 method", "Release app1"));

  // ActivePresentation answered as a method only, or with no object.
  StartPowerPoint();
  ScriptMember("app", 2004, K::kMethod, GivesObject("active"));
  TakeEvents();
  StopPowerPoint();
  EXPECT_THAT(TakeEvents(),
              ElementsAre("Invoke app1 2004 read result", "Invoke app1 2004 method result",
                          "Invoke active1 2019 method", "Release active1",
                          "Invoke app1 2021 method", "Release app1"));
  StartPowerPoint();
  ScriptMember("app", 2004, K::kPropertyRead, GivesText());
  TakeEvents();
  StopPowerPoint();
  EXPECT_THAT(TakeEvents(), ElementsAre("Invoke app1 2004 read result", "Invoke app1 2021 method",
                                        "Release app1"));
}

// The busy rule, which the Windows message filter also answers COM with:
// a refused call is made again after a short wait, never past the bound of
// its step; a step still refused then fails as it always does.
TEST_F(SlideShowTest, CallsRefusedAsBusyAreMadeAgainWithinTheBoundOfTheirStep) {
  EXPECT_EQ(BusyRetryDelay(0), 100);
  EXPECT_EQ(BusyRetryDelay(9950), 50);
  EXPECT_EQ(BusyRetryDelay(10000), -1);

  auto count = [](const std::vector<std::string>& events, const std::string& event) {
    return std::count(events.begin(), events.end(), event);
  };
  ScriptMember("presentations", 2005, K::kMethod, BusyFirst(2, GivesObject("presentation")));
  HandleSlideShowCommand(CommandWord::kOpen, "talk.pptx");
  std::vector<std::string> events = TakeEvents();
  EXPECT_EQ(count(events, "Invoke presentations1 2005 method BSTR:talk.pptx result"), 3);
  EXPECT_EQ(FakeAutomation.clock, 200u);
  EXPECT_EQ(FakeObjectName(PowerPointSession.slideShowView), "view1");

  // NEXT refused for longer than the bound: silent, the show is kept.
  ScriptMember("view", 2019, K::kMethod, BusyFirst(INT_MAX, Succeeds()));
  FakeAutomation.clock = 0;
  HandleSlideShowCommand(CommandWord::kNext, "");
  events = TakeEvents();
  EXPECT_EQ(FakeAutomation.clock, kBusyRetryBoundMilliseconds);
  EXPECT_EQ(count(events, "Invoke view1 2019 method"), static_cast<long>(events.size()));
  EXPECT_EQ(FakeObjectName(PowerPointSession.slideShowView), "view1");

  // The method fallback of a chained read shares its step's bound.
  ScriptMember("app", 2001, K::kPropertyRead, BusyFirst(INT_MAX, Succeeds()));
  ScriptMember("app", 2001, K::kMethod, BusyFirst(INT_MAX, GivesObject("presentations")));
  FakeAutomation.clock = 0;
  HandleSlideShowCommand(CommandWord::kOpen, "second.pptx");
  events = TakeEvents();
  EXPECT_EQ(events.back(), "Log Couldn't open presentation");
  EXPECT_EQ(count(events, "Invoke app1 2001 method result"), 1);
  EXPECT_EQ(FakeAutomation.clock, kBusyRetryBoundMilliseconds);
  EXPECT_EQ(FakeObjectName(PowerPointSession.slideShowView), "view1");
}

// PowerPoint gone, or a call that got no answer within its bound: nothing is
// made again, the session is given up (NEXT, GOTO and the close reach
// nothing more) and the next OPEN attaches afresh.
TEST_F(SlideShowTest, APowerPointThatIsGoneOrDoesNotAnswerEndsTheSession) {
  for (AutomationOutcome lost : {AutomationOutcome::kGone, AutomationOutcome::kNoAnswer}) {
    SCOPED_TRACE(static_cast<int>(lost));
    ScriptCooperativePowerPoint();
    OpenSuccessfully();
    ScriptMember("view", 2019, K::kMethod, FailsWith(lost));
    std::string view = FakeObjectName(PowerPointSession.slideShowView);
    uint64_t before = FakeAutomation.clock;
    HandleSlideShowCommand(CommandWord::kNext, "");
    EXPECT_EQ(FakeAutomation.clock - before,
              lost == AutomationOutcome::kGone ? 0u : kAutomationCallBoundMilliseconds);
    HandleSlideShowCommand(CommandWord::kGoto, "2");
    StopPowerPoint();
    std::vector<std::string> events = TakeEvents();
    ASSERT_EQ(events.size(), 6u);
    EXPECT_EQ(events[0], "Invoke " + view + " 2019 method");
    EXPECT_EQ(events[1], "Release app1");
    EXPECT_EQ(events[5], "Release " + view);
    EXPECT_EQ(PowerPointSession.application, nullptr);
    EXPECT_EQ(PowerPointSession.started, 1);
  }

  // Lost in the middle of an OPEN: its line, and nothing of the session kept.
  ScriptCooperativePowerPoint();
  ScriptMember("presentation", 2015, K::kPropertyRead, FailsWith(AutomationOutcome::kNoAnswer));
  HandleSlideShowCommand(CommandWord::kOpen, "talk.pptx");
  EXPECT_EQ(TakeEvents().back(), "Log Couldn't get slide show settings...?");
  EXPECT_EQ(PowerPointSession.application, nullptr);
  EXPECT_EQ(PowerPointSession.presentation, nullptr);
  ScriptCooperativePowerPoint();
  OpenSuccessfully();
}

// The show's state for the feedback: no call without leave to ask, names and
// the Slides collection once per view, PowerPoint's states mapped, a view that
// fails its calls an ended show, a PowerPoint that is gone no show at all.
TEST_F(SlideShowTest, TheShowsStateIsReadFromTheView) {
  auto read = [](bool mayAsk) {
    ShowReading reading = ReadShow(mayAsk, false);
    return std::to_string(static_cast<int>(reading.state)) + " " + std::to_string(reading.slide) +
           "/" + std::to_string(reading.slideCount);
  };
  EXPECT_EQ(read(true), "0 0/0");  // no show
  OpenSuccessfully();
  EXPECT_EQ(read(true), "1 2/5");
  EXPECT_THAT(TakeEvents(),
              ElementsAre("Names view1 State", "Invoke view1 905 read result",
                          "Names view1 CurrentShowPosition", "Invoke view1 906 read result",
                          "Names presentation1 Slides", "Invoke presentation1 907 read result",
                          "Names slides1 Count", "Invoke slides1 908 read result"));
  ScriptMember("view", 906, K::kPropertyRead, GivesNumber(4));
  EXPECT_EQ(read(false), "1 2/5");
  EXPECT_THAT(TakeEvents(), IsEmpty());
  EXPECT_EQ(read(true), "1 4/5");
  EXPECT_THAT(TakeEvents(),
              ElementsAre("Invoke view1 905 read result", "Invoke view1 906 read result",
                          "Invoke slides1 908 read result"));
  OpenSuccessfully("second.pptx");  // a new view: its names and its count anew
  EXPECT_EQ(read(true), "1 4/5");
  EXPECT_THAT(TakeEvents(),
              ::testing::IsSupersetOf({"Names view2 State", "Names presentation2 Slides"}));

  const std::pair<FakeAnswer, const char*> states[] = {
      {GivesNumber(2), "1 4/5"},  // paused
      {GivesNumber(3), "2 4/5"},
      {GivesNumber(4), "3 4/5"},
      {BusyFirst(INT_MAX, GivesNumber(1)), "3 4/5"},  // refused for too long: kept
      {GivesNumber(5), "4 0/0"},
      {GivesNumber(1), "1 4/5"},
      {Fails(), "4 0/0"},  // the show's window is gone, PowerPoint is not
  };
  for (const auto& [answer, reading] : states) {
    ScriptMember("view", 905, K::kPropertyRead, answer);
    EXPECT_EQ(read(true), reading);
  }
  EXPECT_NE(PowerPointSession.slideShowView, nullptr);
  ScriptMember("view", 905, K::kPropertyRead, FailsWith(AutomationOutcome::kGone));
  EXPECT_EQ(read(true), "0 0/0");
  EXPECT_EQ(PowerPointSession.application, nullptr);
  TakeEvents();
  EXPECT_EQ(read(false), "0 0/0");
  EXPECT_THAT(TakeEvents(), IsEmpty());
}

// The members of the slide's details and pictures, with numbers of the fake's
// own: every text (the titles, the notes page's body) "A\rB\vC", two clicks
// with one taken, no slide hidden.
void ScriptSlides() {
  struct Member {
    const char* kind;
    const char* name;
    int32_t dispId;
    AutomationKind how;
    FakeAnswer answer;
  };
  const Member members[] = {
      {"view", "GetClickIndex", 920, K::kMethod, GivesNumber(1)},
      {"view", "GetClickCount", 921, K::kMethod, GivesNumber(2)},
      {"view", "Slide", 922, K::kPropertyRead, GivesObject("slide")},
      {"slides", "Item", 923, K::kMethod, GivesObject("slide")},
      {"slide", "SlideIndex", 924, K::kPropertyRead, GivesNumber(2)},
      {"slide", "Shapes", 925, K::kPropertyRead, GivesObject("shapes")},
      {"slide", "NotesPage", 926, K::kPropertyRead, GivesObject("notes")},
      {"slide", "SlideShowTransition", 927, K::kPropertyRead, GivesObject("transition")},
      {"slide", "Export", 928, K::kMethod, Succeeds()},
      {"notes", "Shapes", 925, K::kPropertyRead, GivesObject("shapes")},
      {"shapes", "HasTitle", 929, K::kPropertyRead, GivesNumber(-1)},
      {"shapes", "Title", 930, K::kPropertyRead, GivesObject("shape")},
      {"shapes", "Placeholders", 931, K::kPropertyRead, GivesObject("placeholders")},
      {"placeholders", "Count", 932, K::kPropertyRead, GivesNumber(3)},
      {"placeholders", "Item", 933, K::kMethod, GivesObject("shape")},
      {"shape", "TextFrame", 934, K::kPropertyRead, GivesObject("frame")},
      {"shape", "PlaceholderFormat", 935, K::kPropertyRead, GivesObject("format")},
      {"format", "Type", 936, K::kPropertyRead, GivesNumber(2)},
      {"frame", "TextRange", 937, K::kPropertyRead, GivesObject("range")},
      {"range", "Text", 938, K::kPropertyRead, GivesText("A\rB\vC")},
      {"transition", "Hidden", 939, K::kPropertyRead, GivesNumber(0)},
      {"presentation", "PageSetup", 940, K::kPropertyRead, GivesObject("setup")},
      {"setup", "SlideWidth", 941, K::kPropertyRead, GivesNumber(960)},
      {"setup", "SlideHeight", 942, K::kPropertyRead, GivesNumber(540)},
  };
  for (const Member& m : members) {
    FakeAutomation.memberIds[{m.kind, m.name}] = m.dispId;
    ScriptMember(m.kind, m.dispId, m.how, m.answer);
  }
}

// The details where the Wine scenario does not go: read once per slide,
// the build at every reading; a member PowerPoint lacks is -1 or empty;
// PowerPoint gone during the details is no show; refused past the bound,
// which the whole reading shares, the last reading is kept and the next one
// reads again.
TEST_F(SlideShowTest, TheSlidesDetailsAreReadOncePerSlideAndFailSilently) {
  OpenSuccessfully();
  ScriptSlides();
  ShowReading reading = ReadShow(true, true);
  EXPECT_EQ(reading.details, (SlideDetails{"A\nB\nC", "A\nB\nC", 1, 2, 3, "A\nB\nC"}));
  FakeAutomation.events.clear();
  ScriptMember("range", 938, K::kPropertyRead, GivesText("Changed"));
  // PowerPoint's click states after all clicks and before the automatic
  // ones, and no click index at all.
  const std::pair<FakeAnswer, int32_t> clickIndexes[] = {
      {GivesNumber(-2), 2}, {GivesNumber(-1), 0}, {Fails(), -1}};
  for (const auto& [answer, position] : clickIndexes) {
    ScriptMember("view", 920, K::kMethod, answer);
    EXPECT_EQ(ReadShow(true, true).details,
              (SlideDetails{"A\nB\nC", "A\nB\nC", position, 2, 3, "A\nB\nC"}));
    EXPECT_THAT(TakeEvents(),
                ElementsAre("Invoke view1 905 read result", "Invoke view1 906 read result",
                            "Invoke slides1 908 read result", "Invoke view1 920 method result"));
  }

  ScriptMember("view", 906, K::kPropertyRead, GivesNumber(3));  // slide 3: its own anew
  ScriptMember("slide", 924, K::kPropertyRead, GivesNumber(3));
  ScriptMember("shape", 934, K::kPropertyRead, BusyFirst(INT_MAX, GivesObject("frame")));
  FakeAutomation.clock = 0;
  EXPECT_EQ(ReadShow(true, true).slide, 2);  // kept
  EXPECT_EQ(FakeAutomation.clock, kBusyRetryBoundMilliseconds);
  ScriptMember("shape", 934, K::kPropertyRead, GivesObject("frame"));
  ScriptMember("view", 921, K::kMethod, Fails());
  reading = ReadShow(true, true);
  EXPECT_EQ(reading.slide, 3);
  EXPECT_EQ(reading.details, (SlideDetails{"Changed", "Changed", -1, -1, 4, "Changed"}));

  ScriptMember("view", 906, K::kPropertyRead, GivesNumber(4));
  ScriptMember("transition", 939, K::kPropertyRead, FailsWith(AutomationOutcome::kGone));
  EXPECT_EQ(ReadShow(true, true).state, ShowState::kNone);
  EXPECT_EQ(PowerPointSession.slideShowView, nullptr);
}

// A slide's picture: Slide.Export into a temporary file, read and removed at
// once, the height by the slide's aspect, nothing asked of the view; no show,
// no such slide and failures.
TEST_F(SlideShowTest, ASlidesPictureIsExportedThroughATemporaryFileThatIsRemoved) {
  std::string png = "left over";
  EXPECT_EQ(ExportShowSlide(1, 320, &png), SlideExport::kNoShow);
  OpenSuccessfully();
  ScriptSlides();
  FakeAnswer exported = Succeeds();
  exported.writesFile = std::string("\x89PNG\0picture", 12);
  ScriptMember("slide", 928, K::kMethod, exported);
  auto exportedFile = [](const std::vector<std::string>& events) {
    for (const std::string& event : events) {
      if (event.rfind("Invoke slide1 928 method BSTR:", 0) == 0) {
        return event.substr(30, event.find(" BSTR:PNG") - 30);
      }
    }
    return std::string();
  };
  EXPECT_EQ(ExportShowSlide(2, 320, &png), SlideExport::kDone);
  EXPECT_EQ(png, exported.writesFile);
  std::vector<std::string> events = TakeEvents();
  std::string file = exportedFile(events);
  EXPECT_THAT(file, ::testing::EndsWith(".png"));
  EXPECT_FALSE(std::ifstream(file).good());
  EXPECT_THAT(
      events,
      ElementsAre("Names presentation1 Slides", "Invoke presentation1 907 read result",
                  "Names slides1 Count", "Invoke slides1 908 read result",
                  "Names presentation1 PageSetup", "Invoke presentation1 940 read result",
                  "Names setup1 SlideWidth", "Invoke setup1 941 read result",
                  "Names setup1 SlideHeight", "Invoke setup1 942 read result", "Names slides1 Item",
                  "Invoke slides1 923 method R8:2 result", "Names slide1 Export",
                  "Invoke slide1 928 method BSTR:" + file + " BSTR:PNG R8:320 R8:180",
                  "Release slide1", "Release setup1"));

  struct Case {
    const char* what;
    int32_t slide;
    std::tuple<std::string, int32_t, AutomationKind, FakeAnswer> change;
    SlideExport outcome;
  };
  const Case cases[] = {
      {"beyond the count", 6, {"slide", 928, K::kMethod, exported}, SlideExport::kNoSlide},
      {"no slide 0", 0, {"slide", 928, K::kMethod, exported}, SlideExport::kNoSlide},
      {"no page setup", 1, {"presentation", 940, K::kPropertyRead, Fails()}, SlideExport::kFailed},
      {"export fails", 1, {"slide", 928, K::kMethod, Fails()}, SlideExport::kFailed},
      {"nothing written", 1, {"slide", 928, K::kMethod, Succeeds()}, SlideExport::kFailed},
      {"gone",
       1,
       {"slide", 928, K::kMethod, FailsWith(AutomationOutcome::kGone)},
       SlideExport::kNoShow},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto& [kind, dispId, how, answer] = c.change;
    ScriptMember(kind, dispId, how, answer);
    EXPECT_EQ(ExportShowSlide(c.slide, 320, &png), c.outcome);
    EXPECT_EQ(png, "");
    events = TakeEvents();
    EXPECT_THAT(events, ::testing::Not(::testing::Contains(::testing::HasSubstr(" view1 "))));
    if (!exportedFile(events).empty()) {
      EXPECT_FALSE(std::ifstream(exportedFile(events)).good());
    }
    ScriptMember(kind, dispId, how, c.slide == 0 ? answer : exported);
    ScriptMember("presentation", 940, K::kPropertyRead, GivesObject("setup"));
  }
  EXPECT_EQ(PowerPointSession.application, nullptr);
  EXPECT_EQ(ExportShowSlide(1, 320, &png), SlideExport::kNoShow);
}

TEST_F(SlideShowTest, StopPowerPointWithoutAnApplicationDoesNothing) {
  StopPowerPoint();
  EXPECT_THAT(TakeEvents(), IsEmpty());
}

}  // namespace
