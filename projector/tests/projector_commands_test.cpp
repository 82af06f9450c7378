// The [functions] table: how its entries become commands, and what PROJECTOR
// shows and sends.
#include <gtest/gtest.h>

#include "config/settings.h"
#include "projector/projector_commands.h"
#include "projector/projector_link.h"
#include "projector/tests/fake_events.h"
#include "projector/tests/log_lines.h"

namespace {

using Events = std::vector<std::string>;

std::vector<std::pair<std::string, std::string>> TableContents() {
  std::vector<std::pair<std::string, std::string>> contents;
  for (const ProjectorCommand& command : ProjectorCommandTable) {
    contents.emplace_back(command.name, command.text);
  }
  return contents;
}

class ProjectorCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CloseProjectorLink();
    ResetFakes();
    ClearLogForTesting();
    ProjectorCommandTable.clear();
    Settings = SettingsRecord{};
  }
  void TearDown() override { CloseProjectorLink(); }

  void Load(std::vector<std::string> entries) {
    FakeSectionEntries = std::move(entries);
    LoadProjectorCommands("functions", "C:\\show\\podiant.ini");
  }

  // Opens the link on the fake device and forgets the open calls.
  void OpenLink() {
    Settings.projectorPort = "COM1";
    OpenProjectorLink();
    ASSERT_TRUE(ProjectorLinkIsOpen());
    ResetFakes();
    ClearLogForTesting();
  }
};

TEST_F(ProjectorCommandsTest, SplitsEachEntryAtTheFirstEqualsSign) {
  Load({"my name=A B", "lamp=X=1", "=ABC", "NAME=", "BARE", "mixed Case = spaced ", "Lamp=ABC",
        "LAMP=XYZ"});
  EXPECT_EQ(TableContents(), (std::vector<std::pair<std::string, std::string>>{
                                 {"MY NAME", "A B"},
                                 {"LAMP", "X=1"},
                                 {"", "ABC"},
                                 {"NAME", ""},
                                 {"BARE", ""},
                                 {"MIXED CASE ", " spaced "},
                                 {"LAMP", "ABC"},
                                 {"LAMP", "XYZ"},
                             }));
  EXPECT_EQ(FakeSectionAsked, "functions");
  EXPECT_EQ(FakePathAsked, "C:\\show\\podiant.ini");
}

TEST_F(ProjectorCommandsTest, FoldsNamesButNotTexts) {
  // a-umlaut (0x84) folds to 0x8E in names only.
  Load({"l\x84mpe=on\x84"});
  EXPECT_EQ(TableContents(), (std::vector<std::pair<std::string, std::string>>{{"L\x8E"
                                                                                "MPE",
                                                                                "on\x84"}}));
}

TEST_F(ProjectorCommandsTest, CountsTheEntriesInTheFoundLine) {
  Load({"a=1", "b=2", "c", "d=", "=e", "a=6", "g=7"});
  EXPECT_EQ(ProjectorCommandTable.size(), 7u);
  EXPECT_EQ(LogLines(), Lines({"Found  7 projector commands"}));

  ClearLogForTesting();
  Load({"only=1"});
  EXPECT_EQ(LogLines(), Lines({"Found  1 projector commands"}));
}

TEST_F(ProjectorCommandsTest, AnEmptyOrMissingSectionLeavesTheTableEmptyAndSaysNothing) {
  Load({});
  EXPECT_TRUE(ProjectorCommandTable.empty());
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(ProjectorCommandsTest, CutsSectionAndPathTo259Characters) {
  FakeSectionEntries = {"a=1"};
  LoadProjectorCommands(std::string(300, 's'), std::string(400, 'p'));
  EXPECT_EQ(FakeSectionAsked, std::string(259, 's'));
  EXPECT_EQ(FakePathAsked, std::string(259, 'p'));
}

TEST_F(ProjectorCommandsTest, KeepsALongTableWhole) {
  // Far beyond 2000 bytes: every entry, the last one too, arrives complete.
  std::vector<std::string> entries;
  for (int i = 0; i < 60; ++i) {
    entries.push_back("cmd" + std::to_string(i) + "=" +
                      std::string(90, static_cast<char>('A' + i % 26)));
  }
  Load(entries);
  ASSERT_EQ(ProjectorCommandTable.size(), 60u);
  EXPECT_EQ(ProjectorCommandTable.back().name, "CMD59");
  EXPECT_EQ(ProjectorCommandTable.back().text, std::string(90, 'A' + 59 % 26));
  EXPECT_EQ(LogLines(), Lines({"Found  60 projector commands"}));
}

TEST_F(ProjectorCommandsTest, ConfirmsTheFirstMatchThenWritesItsTextExactly) {
  Load({"Lamp=ABC", "LAMP=XYZ"});
  OpenLink();
  SendProjectorCommand("lamp");
  EXPECT_EQ(SeenEvents(), Events({"notice 0 [Projector command] [/LAMP/ABC/]", "write 7 [ABC]"}));
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(ProjectorCommandsTest, SendsSpecialCharactersAsThemselves) {
  Load({"power on=PWR=1\\r/0D", "blank=", "bare"});
  OpenLink();
  SendProjectorCommand("Power On");
  SendProjectorCommand("BLANK");
  SendProjectorCommand("bare");
  EXPECT_EQ(SeenEvents(), Events({
                              "notice 0 [Projector command] [/POWER ON/PWR=1\\r/0D/]",
                              "write 7 [PWR=1\\r/0D]",
                              "notice 0 [Projector command] [/BLANK//]",
                              "write 7 []",
                              "notice 0 [Projector command] [/BARE//]",
                              "write 7 []",
                          }));
}

TEST_F(ProjectorCommandsTest, MatchesWholeNamesByteForByte) {
  Load({"=empty name", "power on=1"});
  OpenLink();
  SendProjectorCommand("power  on");
  SendProjectorCommand("poweron");
  SendProjectorCommand("power");
  EXPECT_TRUE(SeenEvents().empty());
  SendProjectorCommand("");
  EXPECT_EQ(SeenEvents(),
            Events({"notice 0 [Projector command] [//empty name/]", "write 7 [empty name]"}));
}

TEST_F(ProjectorCommandsTest, AnUnknownNameDoesNothingAtAll) {
  Load({"lamp=ABC"});
  OpenLink();
  SendProjectorCommand("zoom");
  EXPECT_TRUE(SeenEvents().empty());
  EXPECT_TRUE(LogLines().empty());

  ProjectorCommandTable.clear();
  SendProjectorCommand("lamp");
  EXPECT_TRUE(SeenEvents().empty());
}

TEST_F(ProjectorCommandsTest, WithoutALinkTheNoticeStillAppearsAndNothingIsSent) {
  Load({"lamp=ABC"});
  ResetFakes();
  ClearLogForTesting();
  SendProjectorCommand("lamp");
  EXPECT_EQ(SeenEvents(), Events({"notice 0 [Projector command] [/LAMP/ABC/]"}));
  EXPECT_TRUE(LogLines().empty());
}

}  // namespace
