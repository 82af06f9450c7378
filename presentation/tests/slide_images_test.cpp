// The slide pictures' cache: its bound and the order in which pictures go,
// one export for a picture asked for twice, and what makes the kept pictures
// stale (the next OPEN, a change of the file). The application's export is a
// fake that makes pictures of a chosen size and counts its calls.
#include "presentation/slide_images.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "presentation/slide_show_back_end.h"
#include "tests/support/temp_directory.h"

namespace {

int exports = 0;
size_t pictureBytes = 1000;
SlideExport exportOutcome = SlideExport::kDone;
int wakes = 0;
std::function<void()> duringExport;  // what another thread does meanwhile

}  // namespace

SlideExport ExportShowSlide(int32_t slide, int32_t width, std::string* png) {
  ++exports;
  if (duringExport) duringExport();
  if (exportOutcome == SlideExport::kDone) {
    *png = std::to_string(slide) + "@" + std::to_string(width);
    png->resize(pictureBytes, '.');
  }
  return exportOutcome;
}

namespace {

class SlideImages : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSlideImagesForTesting();
    exports = wakes = 0;
    pictureBytes = 1000;
    exportOutcome = SlideExport::kDone;
    file = directory.WriteFile("talk.pptx", "one");
    ChangeSlideImageSource(1, file);
  }
  void TearDown() override { duringExport = nullptr; }

  // Asks for a picture, exports what waits, and gives the answer.
  SlideImageAnswer Ask(int32_t slide, int32_t width = 640) {
    SlideImageAnswer got;
    // A request that waits for an export wakes the server thread.
    if (RequestSlideImage(slide, width, [&](const SlideImageAnswer& answer) { got = answer; })) {
      ++wakes;
    }
    while (SlideImagesWaiting()) ExportWaitingSlideImage();
    return got;
  }

  TemporaryDirectory directory;
  std::string file;
};

TEST_F(SlideImages, KeptPicturesAreAnsweredAtOnceAndTheLeastRecentlyUsedGoFirst) {
  pictureBytes = kSlideImageBytesAtMost / 4;
  SlideImageAnswer first = Ask(1);
  ASSERT_EQ(first.outcome, SlideImageOutcome::kImage);
  EXPECT_EQ(first.png->substr(0, 5), "1@640");
  EXPECT_EQ(wakes, 1);
  // Kept: answered on the asking thread, without an export or a wake.
  SlideImageAnswer again;
  EXPECT_FALSE(RequestSlideImage(1, 640, [&](const SlideImageAnswer& answer) { again = answer; }));
  EXPECT_FALSE(SlideImagesWaiting());
  EXPECT_EQ(again.png, first.png);
  EXPECT_EQ(again.tag, first.tag);
  EXPECT_EQ(exports, 1);

  for (int32_t slide : {2, 3, 4}) Ask(slide);
  EXPECT_EQ(SlideImageBytesKept(), 4 * pictureBytes);
  Ask(1);  // used again: slide 2 is now the least recently used
  Ask(5);
  EXPECT_EQ(SlideImageBytesKept(), 4 * pictureBytes);
  EXPECT_EQ(exports, 5);
  Ask(1);
  Ask(3);
  EXPECT_EQ(exports, 5);
  Ask(2);  // the one that went
  EXPECT_EQ(exports, 6);

  // A picture larger than the bound is given but not kept.
  pictureBytes = kSlideImageBytesAtMost + 1;
  EXPECT_EQ(Ask(9).outcome, SlideImageOutcome::kImage);
  EXPECT_LE(SlideImageBytesKept(), kSlideImageBytesAtMost);
}

TEST_F(SlideImages, APictureAskedForTwiceIsExportedOnceAndRefusalsAreAnsweredAtOnce) {
  std::vector<SlideImageOutcome> outcomes;
  auto record = [&](const SlideImageAnswer& answer) { outcomes.push_back(answer.outcome); };
  RequestSlideImage(2, 320, record);
  RequestSlideImage(2, 320, record);
  RequestSlideImage(2, 321, record);
  EXPECT_TRUE(outcomes.empty());
  ExportWaitingSlideImage();
  EXPECT_EQ(outcomes.size(), 2u);
  ExportWaitingSlideImage();
  EXPECT_EQ(exports, 2);
  EXPECT_FALSE(SlideImagesWaiting());

  // Asked for again while its export runs: answered with the picture kept
  // meanwhile, which is kept once.
  duringExport = [&] { RequestSlideImage(3, 320, record); };
  RequestSlideImage(3, 320, record);
  ExportWaitingSlideImage();
  duringExport = nullptr;
  ExportWaitingSlideImage();
  EXPECT_EQ(exports, 3);
  EXPECT_EQ(outcomes, std::vector<SlideImageOutcome>(5, SlideImageOutcome::kImage));
  EXPECT_EQ(SlideImageBytesKept(), 3 * pictureBytes);

  outcomes.clear();
  RequestSlideImage(0, 640, record);
  RequestSlideImage(1, kSlideImageWidthMin - 1, record);
  RequestSlideImage(1, kSlideImageWidthMax + 1, record);
  EXPECT_EQ(outcomes, std::vector<SlideImageOutcome>(3, SlideImageOutcome::kNoSlide));
  EXPECT_FALSE(SlideImagesWaiting());

  // The application's answers are passed on and nothing is kept of them.
  for (SlideExport outcome : {SlideExport::kNoSlide, SlideExport::kFailed}) {
    exportOutcome = outcome;
    EXPECT_NE(Ask(7).outcome, SlideImageOutcome::kImage);
  }
  EXPECT_EQ(SlideImageBytesKept(), 3 * pictureBytes);
}

TEST_F(SlideImages, TheNextOpenAndAChangedFileDropThePictures) {
  Ask(1);
  // The file is written again (its time set apart, as a coarse clock may not).
  directory.WriteFile("talk.pptx", "two");
  std::filesystem::last_write_time(
      file, std::filesystem::last_write_time(file) + std::chrono::seconds(5));
  Ask(1);
  EXPECT_EQ(exports, 2);

  // An OPEN: waiting requests of the last show are answered, nothing is kept.
  SlideImageAnswer waiting;
  RequestSlideImage(3, 640, [&](const SlideImageAnswer& answer) { waiting = answer; });
  ChangeSlideImageSource(0, std::string());
  EXPECT_EQ(waiting.outcome, SlideImageOutcome::kNoShow);
  EXPECT_FALSE(SlideImagesWaiting());
  EXPECT_EQ(SlideImageBytesKept(), 0u);
  EXPECT_EQ(Ask(1).outcome, SlideImageOutcome::kNoShow);
  ChangeSlideImageSource(2, file);
  EXPECT_EQ(Ask(1).outcome, SlideImageOutcome::kImage);
  EXPECT_EQ(exports, 3);
}

}  // namespace
