// The show's state as the feedback follows it, over a recording back end: when
// the back end may ask the application (the rate every back end keeps), and
// what the status makes of its readings.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/main_window.h"
#include "presentation/show_status.h"
#include "presentation/slide_show.h"
#include "presentation/slide_show_back_end.h"
#include "tests/fakes/fake_display.h"

namespace {
std::vector<bool> reads;  // mayAsk of every ReadShow
ShowReading answer;
bool showComesUp = true;
}  // namespace

const char* const kShowStartingLine = "Starting...";
void AttachShowApplication() {}
bool OpenShowFile(const std::string&) { return true; }
const char* PrepareShow() { return nullptr; }
const char* RunShow() { return showComesUp ? nullptr : "Couldn't start slide show"; }
void MinimiseMainWindow() {}
void AdvanceShow() {}
void GotoShowSlide(int32_t) {}
void StepShow(ShowStep) {}
ShowReading ReadShow(bool mayAsk) {
  reads.push_back(mayAsk);
  return answer;
}

namespace {

constexpr uint64_t kNever = UINT64_MAX;

TEST(ShowStatus, TheApplicationIsAskedAfterAnOpenThenAtMostEvery250MsWhileTheShowIsOpen) {
  HandleSlideShowCommand("OPEN", "a.odp");
  EXPECT_EQ(RefreshShowStatus(1000, true).show, 0u);
  EXPECT_TRUE(reads.empty());  // not tracked: never read

  TrackShowStatus(true);
  EXPECT_EQ(ShowStatusDueAt(), kNever);
  RefreshShowStatus(1000, true);
  EXPECT_TRUE(reads.empty());  // before the first show
  answer = ShowReading{ShowState::kRunning, 1, 5};
  HandleSlideShowCommand("open", "a.odp");
  EXPECT_EQ(ShowStatusDueAt(), 0u);
  ShowStatus status = RefreshShowStatus(1010, false);
  EXPECT_EQ(status.show, 1u);
  EXPECT_EQ(status.fileName, "a.odp");
  EXPECT_EQ(status.slide, 1);
  EXPECT_EQ(ShowStatusDueAt(), 1260u);
  RefreshShowStatus(1259, false);
  RefreshShowStatus(1260, false);
  answer = ShowReading{ShowState::kBlack, 0, 0};  // the slide not known: the last one kept
  status = RefreshShowStatus(1400, true);
  EXPECT_EQ(reads, (std::vector<bool>{true, false, true, false}));
  EXPECT_EQ(status.state, ShowState::kBlack);
  EXPECT_EQ(status.slide, 1);

  // Ended: asked only for a snapshot, and still at most every 250 ms.
  reads.clear();
  answer = ShowReading{ShowState::kEnded, 3, 5};
  RefreshShowStatus(1600, false);
  EXPECT_EQ(ShowStatusDueAt(), kNever);
  RefreshShowStatus(1900, false);
  RefreshShowStatus(1901, true);
  RefreshShowStatus(1902, true);
  EXPECT_EQ(reads, (std::vector<bool>{true, false, true, false}));

  // Gone: nothing more until the next show comes up; one that does not keeps
  // the earlier show's number.
  reads.clear();
  answer = ShowReading{};
  status = RefreshShowStatus(2200, true);
  EXPECT_EQ(status.state, ShowState::kNone);
  EXPECT_EQ(status.slide, 3);
  RefreshShowStatus(5000, true);
  showComesUp = false;
  HandleSlideShowCommand("OPEN", "b.odp");
  RefreshShowStatus(6000, true);
  EXPECT_EQ(reads, (std::vector<bool>{true}));
  showComesUp = true;
  answer = ShowReading{ShowState::kRunning, 2, 7};
  HandleSlideShowCommand("OPEN", "c.odp");
  status = RefreshShowStatus(6001, false);
  EXPECT_EQ(reads, (std::vector<bool>{true, true}));
  EXPECT_EQ(status.show, 2u);
  EXPECT_EQ(status.fileName, "c.odp");
  EXPECT_EQ(status.slideCount, 7);
}

}  // namespace
