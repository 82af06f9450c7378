#include "common/status_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "tests/fakes/fake_display.h"

namespace {

class StatusLog : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearLogForTesting();
    ClearShownLines();
  }
};

std::string Lines(int first, int last) {
  std::string text;
  for (int i = first; i <= last; ++i) text += (i == first ? "" : "\r") + std::to_string(i);
  return text;
}

TEST_F(StatusLog, KeepsTheLastTenLinesWithALeadingCrUntilTheTenth) {
  for (int i = 1; i <= 3; ++i) AddLogLine(std::to_string(i));
  EXPECT_EQ(LogTextSnapshot(), "\r" + Lines(1, 3));
  for (int i = 4; i <= 9; ++i) AddLogLine(std::to_string(i));
  EXPECT_EQ(LogTextSnapshot(), "\r" + Lines(1, 9));
  AddLogLine("10");
  EXPECT_EQ(LogTextSnapshot(), Lines(1, 10));
  AddLogLine("11");
  AddLogLine("12");
  EXPECT_EQ(LogTextSnapshot(), Lines(3, 12));
  EXPECT_EQ(ShownLogText(), Lines(3, 12));
}

TEST_F(StatusLog, EmptyLinesCountAndLinesKeepTheirBytes) {
  AddLogLine("");
  AddLogLine("a\nb\x1b\t");
  EXPECT_EQ(LogTextSnapshot(), "\r\ra\nb\x1b\t");
  EXPECT_EQ(ShownLines(), (std::vector<std::string>{"", "a\nb\x1b\t"}));
}

TEST_F(StatusLog, ALineWithItsOwnCrCountsTwiceAndIsCutInTwo) {
  for (int i = 1; i <= 8; ++i) AddLogLine(std::to_string(i));
  AddLogLine("x\ry");  // nine lines, ten CRs: the leading CR goes
  EXPECT_EQ(LogTextSnapshot(), Lines(1, 8) + "\rx\ry");
  for (int i = 9; i <= 16; ++i) AddLogLine(std::to_string(i));
  EXPECT_EQ(LogTextSnapshot(), "x\ry\r" + Lines(9, 16));
  // When it becomes the oldest, its first part goes before its second.
  AddLogLine("17");
  EXPECT_EQ(LogTextSnapshot(), "y\r" + Lines(9, 17));
  AddLogLine("18");
  EXPECT_EQ(LogTextSnapshot(), Lines(9, 18));
}

TEST_F(StatusLog, LinesFromTwoThreadsEachArriveWholeAndInAppendOrder) {
  constexpr int kPerThread = 2000;
  auto writer = [](char tag) {
    for (int i = 0; i < kPerThread; ++i) AddLogLine(std::string(40, tag) + std::to_string(i));
  };
  std::thread a(writer, 'a');
  std::thread b(writer, 'b');
  a.join();
  b.join();
  std::vector<std::string> shown = ShownLines();
  ASSERT_EQ(shown.size(), 2u * kPerThread);
  int nextA = 0, nextB = 0;
  for (const std::string& line : shown) {
    ASSERT_TRUE(line[0] == 'a' || line[0] == 'b') << line;
    int& next = line[0] == 'a' ? nextA : nextB;
    EXPECT_EQ(line, std::string(40, line[0]) + std::to_string(next));
    ++next;
  }
  // The kept text is the last ten appends, each whole.
  std::string kept = LogTextSnapshot();
  EXPECT_EQ(std::count(kept.begin(), kept.end(), '\r'), 9);
  std::string expected;
  for (size_t i = shown.size() - 10; i < shown.size(); ++i) {
    expected += (i == shown.size() - 10 ? "" : "\r") + shown[i];
  }
  EXPECT_EQ(kept, expected);
  EXPECT_EQ(ShownLogText(), expected);
}

}  // namespace
