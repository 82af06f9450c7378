#include "server/dispatch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/status_log.h"
#include "keys/send_command.h"
#include "platform/timing.h"
#include "presentation/slide_show.h"
#include "projector/projector_commands.h"
#include "server/show_watch.h"
#include "tests/fakes/fake_display.h"

// Recording stand-ins for the handlers that the dispatcher hands commands to.
namespace {
std::vector<std::string> handled;
int activateResult = 1;
}  // namespace

void HandleSlideShowCommand(CommandWord word, const std::string& argument) {
  handled.push_back("slideshow[" + std::string(kCommandWords[static_cast<size_t>(word)]) + "][" +
                    argument + "]");
}
void HandleSendCommand(const std::string& argument) { handled.push_back("send[" + argument + "]"); }
int FindAndActivateWindow(const std::string& name) {
  handled.push_back("activate[" + name + "]");
  return activateResult;
}
void SendProjectorCommand(const std::string& name) { handled.push_back("projector[" + name + "]"); }
void SendStateSnapshot() { handled.push_back("state"); }

namespace {

// A datagram's text, read as its door reads it and dispatched.
void DispatchText(const std::string& text) { DispatchCommand(ReadCommandText(text)); }

std::string FoldLower(std::string word) {
  for (char& c : word) c = static_cast<char>(c - 'A' + 'a');
  return word;
}

std::string Mixed(std::string word) {
  for (size_t i = 1; i < word.size(); i += 2) word[i] = static_cast<char>(word[i] - 'A' + 'a');
  return word;
}

class Dispatch : public ::testing::Test {
 protected:
  void SetUp() override {
    handled.clear();
    activateResult = 1;
    ClearLogForTesting();
    ClearShownLines();
  }
  std::vector<std::string> Lines() { return ShownLines(); }
};

TEST_F(Dispatch, EveryWordInEveryLetterCaseReachesItsHandler) {
  const std::string words[] = {"OPEN",     "NEXT",      "GOTO",   "SEND",  "STOP",
                               "ACTIVATE", "PROJECTOR", "PREV",   "FIRST", "LAST",
                               "BLACK",    "WHITE",     "RESUME", "END",   "STATE"};
  for (const std::string& word : words) {
    for (const std::string& form : {word, FoldLower(word), Mixed(word)}) {
      handled.clear();
      activateResult = 0;
      DispatchText(form + " arg");
      ASSERT_EQ(handled.size(), 1u) << form;
      const std::string& h = handled[0];
      if (word == "STATE") {
        EXPECT_EQ(h, "state");
      } else if (word == "OPEN" || word == "NEXT" || word == "GOTO" || word == "PREV" ||
                 word == "FIRST" || word == "LAST" || word == "BLACK" || word == "WHITE" ||
                 word == "RESUME" || word == "END") {
        EXPECT_EQ(h, "slideshow[" + word + "][arg]");
      } else if (word == "SEND") {
        EXPECT_EQ(h, "send[arg]");
      } else if (word == "STOP") {
        EXPECT_EQ(h,
                  "send[\x1b"
                  "arg\x1b{ALT_D}{F4}{ALT_U}\x1b]");
      } else if (word == "ACTIVATE") {
        EXPECT_EQ(h, "activate[arg]");
      } else {
        EXPECT_EQ(h, "projector[arg]");
      }
    }
  }
  EXPECT_TRUE(Lines().empty());
}

TEST_F(Dispatch, BlanksAreSpacesOnlyAndTheArgumentKeepsItsInsides) {
  DispatchText("  GOTO   12  ");
  DispatchText("OPEN C:\\My Shows\\talk.ppt");
  DispatchText("SEND |Notepad|abc   ");
  DispatchText("next");
  EXPECT_EQ(handled, (std::vector<std::string>{"slideshow[GOTO][12]",
                                               "slideshow[OPEN][C:\\My Shows\\talk.ppt]",
                                               "send[|Notepad|abc]", "slideshow[NEXT][]"}));
}

TEST_F(Dispatch, UnknownWordsAreLoggedAsTheyArrived) {
  DispatchText("NEXT\r\n");
  DispatchText("NEXT\t1");
  DispatchText("hello world");
  DispatchText("");
  DispatchText("     ");
  DispatchText("OPENX a");
  EXPECT_TRUE(handled.empty());
  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         "ERR: Unknown command received \"NEXT\r\n\"",
                         "ERR: Unknown command received \"NEXT\t1\"",
                         "ERR: Unknown command received \"hello\"",
                         "ERR: Unknown command received \"\"",
                         "ERR: Unknown command received \"\"",
                         "ERR: Unknown command received \"OPENX\"",
                     }));
}

TEST_F(Dispatch, ActivateLogsOnlyWhenNoWindowQualifiesOrItStaysBehind) {
  activateResult = kWindowActivated;
  DispatchText("ACTIVATE Untitled");
  EXPECT_TRUE(Lines().empty());
  activateResult = kNoWindow;
  DispatchText("ACTIVATE  No Such Window ");
  DispatchText("ACTIVATE");
  activateResult = kWindowNotActivated;
  DispatchText("ACTIVATE Refusing one ");
  EXPECT_EQ(Lines(),
            (std::vector<std::string>{"ERR No Window\"No Such Window\"", "ERR No Window\"\"",
                                      "ERR: Window not activated\"Refusing one\""}));
}

// RUN starts real programs: one that exists (it creates a file, so the test
// sees that it really ran), one that does not, none at all, and a command line
// longer than the 256 characters that are used.
class Run : public Dispatch {
 protected:
  void SetUp() override {
    Dispatch::SetUp();
    directory =
        std::filesystem::temp_directory_path() /
        ("podiant-run-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::remove_all(directory);
    std::filesystem::create_directories(directory);
  }
  void TearDown() override { std::filesystem::remove_all(directory); }

  // The command line that creates `file`.
  static std::string CreateFileCommand(const std::filesystem::path& file) {
#ifdef _WIN32
    return "cmd.exe /c type nul > \"" + file.string() + "\"";
#else
    return "touch '" + file.string() + "'";
#endif
  }

  static bool AppearsWithin(const std::filesystem::path& file, int milliseconds) {
    for (int waited = 0; waited <= milliseconds; waited += 20) {
      if (std::filesystem::exists(file)) return true;
      SleepMilliseconds(20);
    }
    return false;
  }

  std::filesystem::path directory;
};

TEST_F(Run, AProgramThatExistsIsStarted) {
  std::filesystem::path file = directory / "started";
  std::string command = CreateFileCommand(file);
  DispatchText("run " + command);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"Run \"" + command + "\" Started"}));
  EXPECT_TRUE(AppearsWithin(file, 20000));
}

TEST_F(Run, AProgramThatDoesNotExistIsReportedNotStarted) {
  DispatchText("RUN podiant-no-such-program-4711 --flag");
  DispatchText("rUn podiant-no-such-program-4711");  // the word in any letter case
  EXPECT_EQ(Lines(),
            (std::vector<std::string>{"Run \"podiant-no-such-program-4711 --flag\" NOT STARTED "
                                      "ERROR Error: File not found",
                                      "Run \"podiant-no-such-program-4711\" NOT STARTED "
                                      "ERROR Error: File not found"}));
}

TEST_F(Run, AnEmptyCommandLineIsNotStarted) {
  DispatchText("RUN");
  DispatchText("RUN    ");
  std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 2u);
  for (const std::string& line : lines) {
    EXPECT_EQ(line.rfind("Run \"\" NOT STARTED ERROR ", 0), 0u) << line;
  }
}

TEST_F(Run, OnlyTheFirst256CharactersAreUsedButTheLineShowsAll) {
  std::string prefix = CreateFileCommand(directory / "x");
  prefix.pop_back();  // the file name goes on after "x", within the quotes
  const size_t used = 256;
  ASSERT_LT(prefix.size() + 10, used);
  std::string name = "x" + std::string(used - prefix.size(), 'n');
  std::string argument = prefix + name.substr(1) + std::string(300 - used, 'z');
  ASSERT_EQ(argument.size(), 300u);
  DispatchText("RUN " + argument);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"Run \"" + argument + "\" Started"}));
  // The cut falls inside the file name: the unclosed quote runs to the end.
  EXPECT_TRUE(AppearsWithin(directory / name, 20000));
  int entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    EXPECT_EQ(entry.path().filename().string(), name);
    ++entries;
  }
  EXPECT_EQ(entries, 1);
}

}  // namespace
