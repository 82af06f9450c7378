// LoadSettings against real settings files in a temporary working directory,
// with the real profile back end of the platform and a recording notice.
#include "config/settings.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "common/status_log.h"
#include "platform/notice.h"
#include "platform/profile.h"
#include "tests/fakes/fake_display.h"
#include "tests/fakes/fake_notice.h"
#include "tests/support/temp_directory.h"

namespace {

class LoadSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearLogForTesting();
    ClearShownLines();
    ClearRecordedNotices();
  }

  // Loads the settings with `content` as podiant.ini in the working directory.
  void LoadWith(const std::string& content) {
    directory_.WriteFile("podiant.ini", content);
    LoadFromHere();
  }

  void LoadFromHere() {
    WorkingDirectoryChange change(directory_.Path());
    expectedPath_ = CurrentDirectory() + PathSeparator() + "podiant.ini";
    loaded_ = LoadSettings();
  }

  std::string PortNoticeText() const {
    return "Port number out of range, must be 1-65535, check ini file \"" + expectedPath_ + "\"";
  }

  void ExpectStoppedAtPort(int32_t port) {
    EXPECT_EQ(Settings.serverPort, port);
    std::vector<RecordedNotice> notices = RecordedNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].caption, "Podiant Server");
    EXPECT_EQ(notices[0].text, PortNoticeText());
    EXPECT_EQ(notices[0].style, kNoticeError);
    // Nothing after the port is read.
    EXPECT_EQ(Settings.projectorPort, "");
    EXPECT_EQ(Settings.baudRate, 0);
    EXPECT_EQ(Settings.dataBits, 0);
    EXPECT_EQ(Settings.stopBits, kStopBitsOne);
    EXPECT_EQ(Settings.parityScheme, kParityNone);
    EXPECT_FALSE(loaded_);  // so the projector commands are not loaded
  }

  // The load went through, so the projector commands are loaded next.
  void ExpectLoadedCommands() {
    EXPECT_TRUE(loaded_);
    EXPECT_EQ(SettingsFilePath, expectedPath_);
  }

  TemporaryDirectory directory_;
  std::string expectedPath_;
  bool loaded_ = false;
};

TEST_F(LoadSettingsTest, NoFileLogsOneLineAndGivesTheDefaults) {
  LoadFromHere();
  EXPECT_EQ(SettingsFilePath, expectedPath_);
  EXPECT_EQ(LogTextSnapshot(),
            "\rCouldn't open INI file \"" + expectedPath_ + "\", using defaults");
  EXPECT_EQ(Settings.serverPort, 16001);
  EXPECT_EQ(Settings.projectorPort, "");
  EXPECT_EQ(Settings.baudRate, 9600);
  EXPECT_EQ(Settings.dataBits, 8);
  EXPECT_EQ(Settings.stopBits, kStopBitsOne);
  EXPECT_EQ(Settings.parityScheme, kParityNone);
  EXPECT_TRUE(RecordedNotices().empty());
  ExpectLoadedCommands();
}

TEST_F(LoadSettingsTest, PathIsTheWorkingDirectoryWithOneSeparatorAndTheName) {
  LoadFromHere();
  std::string directory = CurrentDirectory();  // back in the previous directory here
  std::string path = SettingsFilePath;
  std::string tail = std::string(PathSeparator()) + "podiant.ini";
  ASSERT_GT(path.size(), tail.size());
  EXPECT_EQ(path.substr(path.size() - tail.size()), tail);
  EXPECT_EQ(std::filesystem::path(path.substr(0, path.size() - tail.size())),
            std::filesystem::canonical(directory_.Path()));
  EXPECT_NE(path.substr(0, path.size() - tail.size()), directory);
}

TEST_F(LoadSettingsTest, CompleteFileFillsEveryField) {
  LoadWith(
      "[settings]\r\nport=16002\r\n\r\n[projector]\r\nport=COM1\r\nbaud=19200\r\n"
      "databits=7\r\nstopbits=2\r\nparity=ODD\r\n\r\n[functions]\r\nON=PWR ON\r\n");
  EXPECT_EQ(LogTextSnapshot(), "");
  EXPECT_TRUE(RecordedNotices().empty());
  EXPECT_EQ(Settings.serverPort, 16002);
  EXPECT_EQ(Settings.projectorPort, "COM1");
  EXPECT_EQ(Settings.baudRate, 19200);
  EXPECT_EQ(Settings.dataBits, 7);
  EXPECT_EQ(Settings.stopBits, kStopBitsTwo);
  EXPECT_EQ(Settings.parityScheme, kParityOdd);
  ExpectLoadedCommands();
}

TEST_F(LoadSettingsTest, FileWithoutSettingsSectionGivesTheDefaultPortSilently) {
  LoadWith("[projector]\nport=COM3\n");
  EXPECT_EQ(LogTextSnapshot(), "");
  EXPECT_TRUE(RecordedNotices().empty());
  EXPECT_EQ(Settings.serverPort, 16001);
  EXPECT_EQ(Settings.projectorPort, "COM3");
  EXPECT_EQ(Settings.baudRate, 9600);
  EXPECT_EQ(Settings.dataBits, 8);
  ExpectLoadedCommands();
}

TEST_F(LoadSettingsTest, AcceptedPortTexts) {
  const std::pair<const char*, int32_t> cases[] = {
      {"16001", 16001},  {"65535", 65535},     {"1", 1},
      {" 16001", 16001}, {"16001x", 16001},    {"&H3E81", 16001},
      {"&h3e81", 16001}, {"1.6001E4", 16001},  {"80.5", 80},
      {"81.5", 82},      {"\"16003\"", 16003}, {"+7", 7},
      {"0.6", 1},        {"65535.4", 65535},   {"&37201", 16001},
  };
  for (const auto& [text, port] : cases) {
    SCOPED_TRACE(text);
    SetUp();
    LoadWith(std::string("[settings]\nport=") + text + "\n");
    EXPECT_EQ(Settings.serverPort, port);
    EXPECT_TRUE(RecordedNotices().empty());
    ExpectLoadedCommands();
  }
}

TEST_F(LoadSettingsTest, PortOutOfRangeShowsTheNoticeAndStopsTheLoad) {
  const std::pair<const char*, int32_t> cases[] = {
      {"0", 0},
      {"65536", 65536},
      {"-5", -5},
      {"abc", 0},
      {"", 0},
      {"   ", 0},
      {"0.5", 0},
      {"65535.5", 65536},
      {"1E10", std::numeric_limits<int32_t>::min()},
      {"-1", -1},
  };
  for (const auto& [text, port] : cases) {
    SCOPED_TRACE(std::string("port=") + text);
    SetUp();
    LoadWith(std::string("[settings]\nport=") + text +
             "\n[projector]\nport=COM1\nbaud=4800\ndatabits=7\nstopbits=2\nparity=EVEN\n"
             "[functions]\nON=PWR ON\n");
    ExpectStoppedAtPort(port);
    EXPECT_EQ(LogTextSnapshot(), "");
  }
}

TEST_F(LoadSettingsTest, EarlierProjectorSettingsDoNotSurviveABadPort) {
  LoadWith("[settings]\nport=16001\n[projector]\nport=COM1\nbaud=4800\n");
  ASSERT_EQ(Settings.projectorPort, "COM1");
  SetUp();
  LoadWith("[settings]\nport=0\n[projector]\nport=COM1\nbaud=4800\n");
  ExpectStoppedAtPort(0);
}

TEST_F(LoadSettingsTest, NamesInOtherLetterCase) {
  LoadWith("[SETTINGS]\nPort=16005\n[Projector]\nPORT=COM2\nBAUD=2400\nDataBits=6\n");
  EXPECT_EQ(Settings.serverPort, 16005);
  EXPECT_EQ(Settings.projectorPort, "COM2");
  EXPECT_EQ(Settings.baudRate, 2400);
  EXPECT_EQ(Settings.dataBits, 6);
}

TEST_F(LoadSettingsTest, ProjectorPortIsTakenAsWritten) {
  const std::pair<const char*, const char*> cases[] = {
      {"COM1", "COM1"},
      {"  /dev/ttyUSB0  ", "/dev/ttyUSB0"},
      {"\\\\.\\COM12", "\\\\.\\COM12"},
      {"'COM4'", "COM4"},
      {"com 5;x", "com 5;x"},
      {"", ""},
  };
  for (const auto& [written, expected] : cases) {
    SCOPED_TRACE(written);
    SetUp();
    LoadWith(std::string("[projector]\nport=") + written + "\n");
    EXPECT_EQ(Settings.projectorPort, expected);
  }
}

TEST_F(LoadSettingsTest, BaudAndDataBitsAreNumbersWithoutChecks) {
  LoadWith("[projector]\nbaud=&H2580\ndatabits=abc\n");
  EXPECT_EQ(Settings.baudRate, 9600);
  EXPECT_EQ(Settings.dataBits, 0);
  SetUp();
  LoadWith("[projector]\nbaud=-300\ndatabits=9.5\n");
  EXPECT_EQ(Settings.baudRate, -300);
  EXPECT_EQ(Settings.dataBits, 10);
  SetUp();
  LoadWith("[projector]\nbaud=\ndatabits=\n");
  EXPECT_EQ(Settings.baudRate, 0);
  EXPECT_EQ(Settings.dataBits, 0);
}

TEST_F(LoadSettingsTest, StopBitsCompareExactly) {
  const std::pair<const char*, StopBitsCode> cases[] = {
      {"1", kStopBitsOne},     {"1.5", kStopBitsOnePointFive},
      {"2", kStopBitsTwo},     {"1.50", kStopBitsOne},
      {"1,5", kStopBitsOne},   {"1.0", kStopBitsOne},
      {"2.0", kStopBitsOne},   {"  1.5  ", kStopBitsOnePointFive},
      {"\"2\"", kStopBitsTwo}, {"", kStopBitsOne},
      {"two", kStopBitsOne},
  };
  for (const auto& [text, code] : cases) {
    SCOPED_TRACE(text);
    SetUp();
    LoadWith(std::string("[projector]\nstopbits=") + text + "\n");
    EXPECT_EQ(Settings.stopBits, code);
  }
}

TEST_F(LoadSettingsTest, ParityIsFoldedAndCompared) {
  const std::pair<const char*, ParityScheme> cases[] = {
      {"NONE", kParityNone},  {"odd", kParityOdd},     {"even", kParityEven},
      {"EVEN", kParityEven},  {"Mark", kParityMark},   {"sPaCe", kParitySpace},
      {"EVEN7", kParityNone}, {"E", kParityNone},      {"", kParityNone},
      {" odd ", kParityOdd},  {"'MARK'", kParityMark},
  };
  for (const auto& [text, scheme] : cases) {
    SCOPED_TRACE(text);
    SetUp();
    LoadWith(std::string("[projector]\nparity=") + text + "\n");
    EXPECT_EQ(Settings.parityScheme, scheme);
  }
}

TEST_F(LoadSettingsTest, FirstOfDuplicateKeysCounts) {
  LoadWith("[settings]\nport=16010\nport=0\n[projector]\nparity=EVEN\nparity=ODD\n");
  EXPECT_EQ(Settings.serverPort, 16010);
  EXPECT_EQ(Settings.parityScheme, kParityEven);
  EXPECT_TRUE(RecordedNotices().empty());
}

TEST_F(LoadSettingsTest, CommentedKeysAreNotRead) {
  LoadWith("[settings]\n;port=0\n[projector]\n; port=COM1\n");
  EXPECT_EQ(Settings.serverPort, 16001);
  EXPECT_EQ(Settings.projectorPort, "");
}

// [feedback]: its destinations as written (each once, at most eight), the bad
// and surplus entries reported, interval and log; nothing at all without to=.
TEST_F(LoadSettingsTest, FeedbackDestinationsIntervalAndLog) {
  LoadWith(
      "[feedback]\nto=192.168.1.50:16002, 10.0.0.7:9000,10.0.0.7:9000 xyz 1.2.3.4:0 1.2.3.4:080 "
      "1.0.0.1:1 1.0.0.2:2 1.0.0.3:3 1.0.0.4:4 1.0.0.5:5 1.0.0.6:6 1.0.0.7:7 1.0.0:8\n"
      "interval=&H0A\n"
      "log=On\n");
  ASSERT_TRUE(Settings.feedback);
  EXPECT_EQ(FormatFeedbackList(Settings.feedback->destinations),
            "192.168.1.50:16002, 10.0.0.7:9000, 1.0.0.1:1, 1.0.0.2:2, 1.0.0.3:3, 1.0.0.4:4, "
            "1.0.0.5:5, 1.0.0.6:6");
  EXPECT_EQ(Settings.feedback->intervalSeconds, 10);
  EXPECT_TRUE(Settings.feedback->log);
  EXPECT_EQ(ShownLines(),
            (std::vector<std::string>{"ERROR: feedback entry \"xyz\" is no address:port",
                                      "ERROR: feedback entry \"1.2.3.4:0\" is no address:port",
                                      "ERROR: feedback entry \"1.2.3.4:080\" is no address:port",
                                      "ERROR: feedback entry \"1.0.0.7:7\" is beyond the first 8",
                                      "ERROR: feedback entry \"1.0.0:8\" is no address:port"}));
  LoadWith("[feedback]\nto=\nlog=yes\n");
  EXPECT_EQ(FormatFeedbackList(Settings.feedback->destinations), "nobody");
  EXPECT_EQ(Settings.feedback->intervalSeconds, 5);
  EXPECT_FALSE(Settings.feedback->log);
  ClearShownLines();
  LoadWith("[feedback]\ninterval=1\nlog=on\n");
  EXPECT_FALSE(Settings.feedback);
  EXPECT_TRUE(ShownLines().empty());
}

TEST_F(LoadSettingsTest, FileBesideAnotherDirectoryIsNotFound) {
  // A settings file one level up (where the program might lie) is not used.
  directory_.WriteFile("podiant.ini", "[settings]\nport=0\n");
  std::filesystem::create_directory(directory_.Path() / "elsewhere");
  WorkingDirectoryChange change(directory_.Path() / "elsewhere");
  std::string path = CurrentDirectory() + PathSeparator() + "podiant.ini";
  LoadSettings();
  EXPECT_EQ(LogTextSnapshot(), "\rCouldn't open INI file \"" + path + "\", using defaults");
  EXPECT_EQ(Settings.serverPort, 16001);
  EXPECT_TRUE(RecordedNotices().empty());
}

TEST_F(LoadSettingsTest, DirectoryNamedLikeTheFileCountsAsMissing) {
  std::filesystem::create_directory(directory_.Path() / "podiant.ini");
  LoadFromHere();
  EXPECT_EQ(LogTextSnapshot(),
            "\rCouldn't open INI file \"" + expectedPath_ + "\", using defaults");
  EXPECT_EQ(Settings.serverPort, 16001);
  ExpectLoadedCommands();
}

TEST(ReadProfileString, CutsNamesDefaultAndPathTo259Characters) {
  TemporaryDirectory directory;
  std::string key259(259, 'k');
  std::string key260(260, 'k');
  std::string path =
      directory.WriteFile("cut.ini", "[s]\n" + key259 + "=found259\n" + key260 + "=found260\n[" +
                                         std::string(259, 's') + "]\nx=long section\n");
  // A 300-character name is read as its first 259 characters.
  EXPECT_EQ(ReadProfileString("s", std::string(300, 'k'), "d", path), "found259");
  EXPECT_EQ(ReadProfileString("s", key260, "d", path), "found259");
  EXPECT_EQ(ReadProfileString(std::string(300, 's'), "x", "d", path), "long section");
  // The default text too.
  EXPECT_EQ(ReadProfileString("s", "absent", std::string(300, 'd'), path), std::string(259, 'd'));
  // And the path: a name that only differs after character 259 reads the same
  // file as its first 259 characters.
  std::string base = (directory.Path() / "").string();
  ASSERT_LT(base.size(), 200u);
  std::string name259(259 - base.size(), 'n');
  std::string file = directory.WriteFile(name259, "[s]\nx=short path\n");
  ASSERT_EQ(file.size(), 259u);
  EXPECT_EQ(ReadProfileString("s", "x", "d", file + "-more"), "short path");
}

TEST(ReadProfileString, EmptyValueIsNotTheDefault) {
  TemporaryDirectory directory;
  std::string path = directory.WriteFile("e.ini", "[settings]\nport=\n");
  EXPECT_EQ(ReadProfileString("settings", "port", "16001", path), "");
  EXPECT_EQ(ReadProfileString("settings", "baud", "9600", path), "9600");
}

}  // namespace
