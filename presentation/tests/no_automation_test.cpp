// The commands over the Linux back end, which has no COM: OPEN shows the
// notice and reports the failure, NEXT and GOTO do nothing, and the shutdown
// has nothing to release.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "presentation/powerpoint_session.h"
#include "presentation/slide_show.h"

using ::testing::ElementsAre;

namespace {
std::vector<std::string> seen;
}

void ShowNotice(const std::string& caption, const std::string& text, unsigned style) {
  seen.push_back("notice [" + caption + "] " + text + " " + std::to_string(style));
}
void MinimiseMainWindow() { seen.push_back("minimise"); }
void AddLogLine(const std::string& line) { seen.push_back(line); }

namespace {

TEST(WithoutAutomation, OpenShowsTheNoticeAndFailsNextAndGotoDoNothing) {
  HandleSlideShowCommand("NEXT", "");
  HandleSlideShowCommand("GOTO", "2");
  HandleSlideShowCommand("OPEN", "C:\\My Shows\\talk.pptx");
  HandleSlideShowCommand("NEXT", "");
  HandleSlideShowCommand("GOTO", "3");
  HandleSlideShowCommand("open", "again.pptx");
  StopPowerPoint();
  const std::string notice =
      "notice [] Powerpoint could not be opened.\rPlease check that Powerpoint and VBA are "
      "installed. 4096";
  EXPECT_THAT(seen, ElementsAre("Starting Powerpoint...", notice, "Couldn't open presentation",
                                "Starting Powerpoint...", notice, "Couldn't open presentation"));
  EXPECT_EQ(PowerPointSession.started, 1);
  EXPECT_EQ(PowerPointSession.progId, "Powerpoint.Application");
  EXPECT_EQ(PowerPointSession.application, nullptr);
}

}  // namespace
