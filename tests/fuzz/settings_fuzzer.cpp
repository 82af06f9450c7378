// Fuzz target: the settings file. The input is the whole content of
// podiant.ini, read by the program's own profile reader
// (platform/profile_reader, what the Linux back end uses) through the reads
// that the start-up makes: LoadSettings, then the projector command table. Checked: the reads
// LoadSettings makes and their order, the record it fills (numbers by NumberFromText and the 32-bit
// rule, the port range and its notice, stop bits and parity), the table, and that a key read never
// gives more than the buffer holds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/status_log.h"
#include "common/text_rules.h"
#include "config/settings.h"
#include "platform/profile_reader.h"
#include "projector/projector_commands.h"
#include "tests/fuzz/fuzz_fakes.h"
#include "tests/fuzz/fuzz_table_check.h"

namespace {

int32_t NumberOf(const std::string& text) { return Int32FromNumber(NumberFromText(text)); }

std::string Value(const char* section, const char* key, const char* defaultText) {
  return ProfileValueFromText(FuzzProfileText, section, key, defaultText);
}

// A cut key read: never longer than the buffer, and a prefix of the whole
// value. The buffer size (1 to 8) and the key come from the input's length.
void CheckCutRead() {
  size_t bufferSize = 1 + FuzzProfileText.size() % 8;
  const char* key = FuzzProfileText.size() % 16 < 8 ? "port" : "parity";
  std::string whole = Value("projector", key, "'quoted default'");
  std::string cut =
      ProfileValueFromText(FuzzProfileText, "projector", key, "'quoted default'", bufferSize);
  FUZZ_CHECK(cut.size() <= bufferSize - 1);
  FUZZ_CHECK_MSG(whole.compare(0, cut.size(), cut) == 0, "a cut value is no prefix");
}

void CheckSections() {
  for (const ProfileSection& section : ParseProfileText(FuzzProfileText)) {
    FUZZ_CHECK(section.name.find('\0') == std::string::npos);
    for (const ProfileEntry& entry : section.entries) {
      FUZZ_CHECK(entry.name.find('\0') == std::string::npos);
      FUZZ_CHECK(entry.name.find_first_of("\r\n") == std::string::npos);
      if (entry.value) FUZZ_CHECK(entry.value->find_first_of("\r\n") == std::string::npos);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzProfileText.assign(reinterpret_cast<const char*>(data), size);
  FuzzProfileExists = true;
  ResetFuzzRecord();
  ClearLogForTesting();
  ProjectorCommandTable.clear();

  // As at start-up: the commands only after a load that went through.
  const bool loaded = LoadSettings();
  if (loaded) LoadProjectorCommands("functions", SettingsFilePath);

  const std::string path = std::string(kFuzzWorkingDirectory) + "/podiant.ini";
  FUZZ_CHECK(SettingsFilePath == path);
  // The values the reads gave (the reader is deterministic, so the values are
  // checked against what the settings made of them).
  const std::vector<std::string>& values = FuzzRecord.profileValues;
  FUZZ_CHECK(!values.empty());
  int32_t port = NumberOf(values[0]);
  FUZZ_CHECK(Settings.serverPort == port);
  FUZZ_CHECK(loaded == (port >= 1 && port <= 65535));
  if (!loaded) {
    FUZZ_CHECK(FuzzRecord.profileReads == std::vector<std::string>{"settings|port"});
    FUZZ_CHECK(FuzzRecord.notices ==
               std::vector<std::string>{
                   "Podiant Server|Port number out of range, must be 1-65535, check ini file \"" +
                   path + "\"|16"});
    FUZZ_CHECK(Settings.projectorPort.empty() && Settings.baudRate == 0 && Settings.dataBits == 0 &&
               Settings.stopBits == kStopBitsOne && Settings.parityScheme == kParityNone);
    FUZZ_CHECK(ProjectorCommandTable.empty() && FuzzRecord.logLines.empty());
  } else {
    FUZZ_CHECK(FuzzRecord.notices.empty());
    FUZZ_CHECK(
        FuzzRecord.profileReads ==
        (std::vector<std::string>{"settings|port", "projector|port", "projector|baud",
                                  "projector|databits", "projector|stopbits", "projector|parity"}));
    FUZZ_CHECK(Settings.projectorPort == values[1]);
    FUZZ_CHECK(Settings.baudRate == NumberOf(values[2]));
    FUZZ_CHECK(Settings.dataBits == NumberOf(values[3]));
    const std::string& stopBits = values[4];
    FUZZ_CHECK(Settings.stopBits == (stopBits == "1.5" ? kStopBitsOnePointFive
                                     : stopBits == "2" ? kStopBitsTwo
                                                       : kStopBitsOne));
    std::string parity = FoldUpper(values[5]);
    FUZZ_CHECK(Settings.parityScheme == (parity == "ODD"     ? kParityOdd
                                         : parity == "EVEN"  ? kParityEven
                                         : parity == "MARK"  ? kParityMark
                                         : parity == "SPACE" ? kParitySpace
                                                             : kParityNone));
    CheckLoadedCommandTable(ProfileSectionFromText(FuzzProfileText, "functions"), {});
  }

  CheckCutRead();
  CheckSections();
  return 0;
}
