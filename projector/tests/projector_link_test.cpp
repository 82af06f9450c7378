// The projector link's open sequence, its log lines and its life.
#include <gtest/gtest.h>

#include "config/settings.h"
#include "projector/projector_link.h"
#include "projector/tests/fake_events.h"
#include "projector/tests/log_lines.h"

SettingsRecord Settings;

namespace {

using Events = std::vector<std::string>;

const Events kOpenSequence = {
    "open COM1",    "baud 9600", "databits 8", "parity 0", "stopbits 0", "txqueue 2048",
    "rxqueue 2048", "ctsoff",    "rtsoff",     "xoninoff", "xonoutoff",
};

class ProjectorLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CloseProjectorLink();
    ResetFakes();
    ClearLogForTesting();
    Settings = SettingsRecord{};
    Settings.projectorPort = "COM1";
    Settings.baudRate = 9600;
    Settings.dataBits = 8;
  }
  void TearDown() override { CloseProjectorLink(); }
};

TEST_F(ProjectorLinkTest, OpensWithEverySettingInOrderAndSaysSo) {
  OpenProjectorLink();
  EXPECT_EQ(SeenEvents(), kOpenSequence);
  EXPECT_TRUE(ProjectorLinkIsOpen());
  EXPECT_EQ(LogLines(), Lines({"  Serial comms open on  port \"COM1\""}));
}

TEST_F(ProjectorLinkTest, PassesTheSettingsUnchanged) {
  Settings.projectorPort = "/dev/ttyUSB0";
  Settings.baudRate = 12345;
  Settings.dataBits = 7;
  Settings.parityScheme = kParityEven;
  Settings.stopBits = kStopBitsTwo;
  OpenProjectorLink();
  Events expected = kOpenSequence;
  expected[0] = "open /dev/ttyUSB0";
  expected[1] = "baud 12345";
  expected[2] = "databits 7";
  expected[3] = "parity 2";
  expected[4] = "stopbits 2";
  EXPECT_EQ(SeenEvents(), expected);
  EXPECT_EQ(LogLines(), Lines({"  Serial comms open on  port \"/dev/ttyUSB0\""}));
}

TEST_F(ProjectorLinkTest, EachRefusedStepEndsTheSequenceWithTheFailureLine) {
  for (size_t refused = 0; refused < kOpenSequence.size(); ++refused) {
    std::string call = kOpenSequence[refused].substr(0, kOpenSequence[refused].find(' '));
    SCOPED_TRACE(call);
    ResetFakes();
    ClearLogForTesting();
    FakeRefusedSerialCall = call;
    Settings.projectorPort = "COM9";
    OpenProjectorLink();

    Events expected(kOpenSequence.begin(), kOpenSequence.begin() + refused + 1);
    expected[0] = "open COM9";
    // A device that was opened is not kept half-configured.
    if (refused > 0) expected.push_back("close 7");
    EXPECT_EQ(SeenEvents(), expected);
    EXPECT_FALSE(ProjectorLinkIsOpen());
    EXPECT_EQ(LogLines(), Lines({"  ERROR: Failed to open serial comms on port \"COM9\""}));
  }
}

TEST_F(ProjectorLinkTest, NoRetryAfterAFailure) {
  FakeRefusedSerialCall = "baud";
  OpenProjectorLink();
  ResetFakes();
  EXPECT_FALSE(WriteProjectorLink("ABC"));
  EXPECT_TRUE(SeenEvents().empty());
}

TEST_F(ProjectorLinkTest, WritesTheBytesExactlyWhileOpen) {
  OpenProjectorLink();
  ResetFakes();
  EXPECT_TRUE(WriteProjectorLink("A\r\nB/\\0D"));
  EXPECT_TRUE(WriteProjectorLink(""));
  EXPECT_EQ(SeenEvents(), Events({"write 7 [A\r\nB/\\0D]", "write 7 []"}));
}

TEST_F(ProjectorLinkTest, AFailedWriteIsReportedToTheCallerOnly) {
  OpenProjectorLink();
  ClearLogForTesting();
  FakeRefusedSerialCall = "write";
  EXPECT_FALSE(WriteProjectorLink("ABC"));
  EXPECT_TRUE(ProjectorLinkIsOpen());
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(ProjectorLinkTest, AWriteWhileNotOpenDoesNothing) {
  EXPECT_FALSE(WriteProjectorLink("ABC"));
  EXPECT_TRUE(SeenEvents().empty());
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(ProjectorLinkTest, ClosesOnceAndThenWritesNothing) {
  OpenProjectorLink();
  ResetFakes();
  CloseProjectorLink();
  EXPECT_FALSE(ProjectorLinkIsOpen());
  CloseProjectorLink();
  EXPECT_FALSE(WriteProjectorLink("ABC"));
  EXPECT_EQ(SeenEvents(), Events({"close 7"}));
}

}  // namespace
