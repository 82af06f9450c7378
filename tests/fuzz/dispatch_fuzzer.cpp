// Fuzz target: one datagram's text through its door's reading and the
// arrival (its R line, the allow-list, the dispatcher), with the real handlers
// behind it (slide show, SEND/STOP/ACTIVATE, RUN, PROJECTOR) and every
// platform area faked. Each input starts from the same state: the settings
// below loaded, the projector link open, and a slide show opened by
// "OPEN show.ppt"; at the end the PowerPoint session is stopped and every
// automation reference must have been given back. Inputs of odd length run
// with a command list (commands=) made of the bits of their first byte. STATE
// reaches the feedback's snapshot, which is counted here.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/command_words.h"
#include "common/status_log.h"
#include "common/text_rules.h"
#include "config/settings.h"
#include "presentation/powerpoint_session.h"
#include "projector/projector_commands.h"
#include "projector/projector_link.h"
#include "server/arrival.h"
#include "server/datagram_door.h"
#include "server/show_watch.h"
#include "tests/fuzz/fuzz_fakes.h"
#include "tests/fuzz/fuzz_reference.h"
#include "tests/fuzz/fuzz_table_check.h"

namespace {
int snapshotsAsked = 0;
}  // namespace

void SendStateSnapshot() { ++snapshotsAsked; }

namespace {

const char kSettingsFile[] =
    "[settings]\r\nport=16001\r\n"
    "[projector]\r\nport=COM1\r\nbaud=9600\r\ndatabits=8\r\nstopbits=1\r\nparity=NONE\r\n"
    "[functions]\r\nLAMP ON=PWR ON\r\nlamp=second\r\n=EMPTY NAME\r\nMUTE\r\nInput 2=IN=2\r\n";

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool NothingHappened() {
  return snapshotsAsked == 0 && FuzzRecord.notices.empty() && FuzzRecord.programs.empty() &&
         FuzzRecord.injections.empty() && FuzzRecord.waits.empty() &&
         FuzzRecord.foreground.empty() && FuzzRecord.serialWrites.empty() &&
         FuzzRecord.automation.empty() && FuzzRecord.minimised == 0;
}

void CheckRun(const std::string& argument) {
  FUZZ_CHECK(FuzzRecord.programs == std::vector<std::string>{argument.substr(0, 256)});
  FUZZ_CHECK(FuzzRecord.logLines.size() == 1);
  const std::string& line = FuzzRecord.logLines[0];
  std::string head = "Run \"" + argument + "\" ";
  FUZZ_CHECK_MSG(line.compare(0, head.size(), head) == 0, "the run line misses the argument");
  std::string result = line.substr(head.size());
  FUZZ_CHECK(result == "Started" || result == "NOT STARTED ERROR (no error)" ||
             result.compare(0, 25, "NOT STARTED ERROR Error: ") == 0);
}

void CheckProjector(const std::string& argument) {
  if (!CheckProjectorCommandOutcome(argument)) FUZZ_CHECK(NothingHappened());
}

void CheckOpen(const std::string& argument) {
  FUZZ_CHECK(!FuzzRecord.logLines.empty() && FuzzRecord.logLines[0] == "Starting Powerpoint...");
  FUZZ_CHECK(FuzzRecord.notices.empty());
  if (EndsWith(argument, ".ppt") || EndsWith(argument, ".pptx")) {
    FUZZ_CHECK(FuzzRecord.logLines.size() == 1 && FuzzRecord.minimised == 1);
  } else {
    FUZZ_CHECK(FuzzRecord.logLines.size() == 2 &&
               FuzzRecord.logLines[1] == "Couldn't open presentation" && FuzzRecord.minimised == 0);
  }
}

// True when `word` (folded) is a command word that the command list leaves out.
bool NotAllowed(const std::string& word) {
  if (!Settings.allowedCommands) return false;
  for (size_t i = 0; i < kCommandWordCount; ++i) {
    if (word == kCommandWords[i]) return (*Settings.allowedCommands & (1u << i)) == 0;
  }
  return false;
}

void CheckOutcome(const std::string& datagram) {
  ReferenceCommand command = ReferenceSplitCommand(datagram);
  std::string word = FoldUpper(command.word);
  const std::string& argument = command.argument;
  if (NotAllowed(word)) {
    FUZZ_CHECK(NothingHappened());
    FUZZ_CHECK(FuzzRecord.logLines ==
               std::vector<std::string>{"ERR: Command not allowed \"" + command.word + "\""});
  } else if (word == "OPEN") {
    CheckOpen(argument);
  } else if (word == "NEXT") {
    FUZZ_CHECK(FuzzRecord.automation == std::vector<std::string>{"Invoke view 2019 1"});
    FUZZ_CHECK(FuzzRecord.logLines.empty() && FuzzRecord.notices.empty());
  } else if (word == "GOTO") {
    bool reaches = Int32FromNumber(NumberFromText(argument)) >= 1;
    FUZZ_CHECK(FuzzRecord.automation == (reaches ? std::vector<std::string>{"Invoke view 2021 1"}
                                                 : std::vector<std::string>{}));
    FUZZ_CHECK(FuzzRecord.logLines.empty() && FuzzRecord.notices.empty());
  } else if (word == "RUN") {
    CheckRun(argument);
  } else if (word == "STOP") {
    const std::string esc(1, '\x1b');
    CheckSendOutcome(esc + argument + esc + "{ALT_D}{F4}{ALT_U}" + esc);
  } else if (word == "SEND") {
    CheckSendOutcome(argument);
  } else if (word == "ACTIVATE") {
    WindowId window = ReferenceWindow(argument);
    if (window == 0) {
      FUZZ_CHECK(FuzzRecord.foreground.empty());
      FUZZ_CHECK(FuzzRecord.logLines ==
                 std::vector<std::string>{"ERR No Window\"" + argument + "\""});
    } else {
      FUZZ_CHECK(FuzzRecord.foreground == std::vector<WindowId>{window});
      FUZZ_CHECK(FuzzRecord.logLines.empty());
    }
  } else if (word == "PROJECTOR") {
    CheckProjector(argument);
  } else if (word == "STATE") {
    FUZZ_CHECK(snapshotsAsked == 1 && FuzzRecord.logLines.empty());
  } else if (word == "PREV" || word == "FIRST" || word == "LAST" || word == "BLACK" ||
             word == "WHITE" || word == "RESUME" || word == "END") {
    // Silent, whatever they do.
    FUZZ_CHECK(snapshotsAsked == 0 && FuzzRecord.notices.empty() && FuzzRecord.logLines.empty());
  } else {
    FUZZ_CHECK(NothingHappened());
    FUZZ_CHECK(FuzzRecord.logLines ==
               std::vector<std::string>{"ERR: Unknown command received \"" + command.word + "\""});
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FuzzProfileText = kSettingsFile;
  FUZZ_CHECK(LoadSettings());
  LoadProjectorCommands("functions", SettingsFilePath);
  OpenProjectorLink();
  FUZZ_CHECK(Settings.serverPort == 16001 && ProjectorLinkIsOpen());
  FUZZ_CHECK(ProjectorCommandTable.size() == 5);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string datagram(reinterpret_cast<const char*>(data), size);

  ResetFuzzRecord();
  ResetFuzzAutomation();
  snapshotsAsked = 0;
  PowerPointSession = PowerPointSessionRecord();
  ClearLogForTesting();
  Settings.allowedCommands.reset();
  Arrive(DatagramArrival("OPEN show.ppt", 0x0100000A, 5000, TimeOfDay{12, 34, 56}, 0));
  FUZZ_CHECK(FuzzRecord.minimised == 1 && PowerPointSession.slideShowView != nullptr);
  ResetFuzzRecord();

  if (size % 2 == 1) Settings.allowedCommands = CommandWordSet{data[0]};
  Arrive(DatagramArrival(datagram, 0x0100000A, 5000, TimeOfDay{12, 34, 56}, 0));
  // Its line first, then what the command wrote.
  FUZZ_CHECK(!FuzzRecord.logLines.empty() &&
             FuzzRecord.logLines[0] == "R 10.0.0.1:5000 12:34:56 -> \"" + datagram + "\"");
  FuzzRecord.logLines.erase(FuzzRecord.logLines.begin());
  CheckOutcome(datagram);

  StopPowerPoint();
  FuzzAutomationCheckAllReleased();
  ResetFuzzRecord();
  return 0;
}
