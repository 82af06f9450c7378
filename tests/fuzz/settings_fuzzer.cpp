// Fuzz target: the settings file. The input is the whole content of
// podiant.ini, read by the program's own profile reader
// (platform/profile_reader, what the Linux back end uses) through the reads
// that the start-up makes: LoadSettings, then the projector command table. Checked: the reads
// LoadSettings makes and their order, the record it fills (numbers by NumberFromText and the 32-bit
// rule, the port range and its notice, stop bits and parity; the allow, commands and address keys
// against reference parsers, present or not; [feedback]'s and [osc]'s destinations against the same
// references, their interval, log and notes; [web]'s values and their ERROR lines; escapes), the
// table, and that a key read never gives more than the buffer holds.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/status_log.h"
#include "common/text_rules.h"
#include "config/access_lists.h"
#include "config/settings.h"
#include "platform/profile_reader.h"
#include "projector/projector_commands.h"
#include "tests/fuzz/fuzz_fakes.h"
#include "tests/fuzz/fuzz_reference.h"
#include "tests/fuzz/fuzz_table_check.h"

namespace {

int32_t NumberOf(const std::string& text) { return Int32FromNumber(NumberFromText(text)); }

std::string Value(const char* section, const char* key, const char* defaultText) {
  return ProfileValueFromText(FuzzProfileText, section, key, defaultText);
}

// The reads of one key that may be missing: one, and a second one when the
// first gave the empty text (only a missing key gives the default then).
void ExpectOptionalReads(const char* section, const char* key, std::vector<std::string>* reads) {
  reads->push_back(std::string(section) + "|" + key);
  if (Value(section, key, "").empty()) reads->push_back(std::string(section) + "|" + key);
}

// The allow, commands and address keys against the references, and the lines
// they must have given, in order.
void CheckAccessSettings(std::vector<std::string>* lines) {
  const bool allowGiven = ReferenceSettingPresent(FuzzProfileText, "settings", "allow");
  FUZZ_CHECK(Settings.allowedSenders.has_value() == allowGiven);
  if (allowGiven) {
    std::vector<AddressRange> expected;
    for (const std::string& entry : ReferenceListEntries(Value("settings", "allow", ""))) {
      AddressRange range;
      if (ReferenceAllowEntry(entry, &range.address, &range.prefixLength)) {
        expected.push_back(range);
      } else {
        lines->push_back("ERROR: allow entry \"" + entry + "\" is neither an address nor a range");
      }
    }
    const std::vector<AddressRange>& ranges = *Settings.allowedSenders;
    FUZZ_CHECK(ranges.size() == expected.size());
    for (size_t i = 0; i < ranges.size(); ++i) {
      FUZZ_CHECK(ranges[i].address == expected[i].address &&
                 ranges[i].prefixLength == expected[i].prefixLength);
      FUZZ_CHECK(AddressInRanges(expected[i].address, ranges));
      // The range's own text is read back as the same range.
      std::optional<AddressRange> again = ParseAddressRange(FormatAddressRange(ranges[i]));
      FUZZ_CHECK(again && again->address == ranges[i].address &&
                 again->prefixLength == ranges[i].prefixLength);
    }
  }
  const bool commandsGiven = ReferenceSettingPresent(FuzzProfileText, "settings", "commands");
  FUZZ_CHECK(Settings.allowedCommands.has_value() == commandsGiven);
  if (commandsGiven) {
    CommandWordSet expected = 0;
    for (const std::string& entry : ReferenceListEntries(Value("settings", "commands", ""))) {
      size_t i = 0;
      while (i < kCommandWordCount && FoldUpper(entry) != kCommandWords[i]) ++i;
      if (i < kCommandWordCount) {
        expected |= 1u << i;
      } else {
        lines->push_back("ERROR: commands entry \"" + entry + "\" is no command");
      }
    }
    FUZZ_CHECK(*Settings.allowedCommands == expected);
  }
  const bool addressGiven = ReferenceSettingPresent(FuzzProfileText, "settings", "address");
  FUZZ_CHECK(Settings.listenAddress.has_value() == addressGiven);
  if (addressGiven) {
    std::string text = Value("settings", "address", "");
    FUZZ_CHECK(Settings.listenAddress->text == text);
    uint32_t address = 0;
    int prefixLength = 0;
    bool valid = text.find('/') == std::string::npos &&
                 ReferenceAllowEntry(text, &address, &prefixLength) &&
                 (reinterpret_cast<const unsigned char*>(&address)[0] < 224);
    FUZZ_CHECK(Settings.listenAddress->address.has_value() == valid);
    if (valid) FUZZ_CHECK(*Settings.listenAddress->address == address);
  }
}

// A to= list of [feedback] or [osc] against the references: its entries
// (address by inet_pton, port 1-65535 without a leading zero), each
// destination once and at most eight, with their ERROR lines (`label`).
std::vector<FeedbackDestination> ExpectedDestinations(const char* section, const std::string& label,
                                                      std::vector<std::string>* lines) {
  std::vector<FeedbackDestination> expected;
  for (const std::string& entry : ReferenceListEntries(Value(section, "to", ""))) {
    size_t colon = entry.find(':');
    std::string port = entry.substr(colon + 1);
    FeedbackDestination d;
    int prefixLength = 0;
    if (colon == std::string::npos || entry.find('/') != std::string::npos ||
        !ReferenceAllowEntry(entry.substr(0, colon), &d.address, &prefixLength) || port.empty() ||
        port.size() > 5 || port[0] == '0' || port.find_first_not_of("0123456789") != port.npos ||
        std::stol(port) > 65535) {
      lines->push_back("ERROR: " + label + " entry \"" + entry + "\" is no address:port");
      continue;
    }
    d.port = static_cast<uint16_t>(std::stol(port));
    if (std::find(expected.begin(), expected.end(), d) != expected.end()) continue;
    if (expected.size() < 8)
      expected.push_back(d);
    else
      lines->push_back("ERROR: " + label + " entry \"" + entry + "\" is beyond the first 8");
  }
  return expected;
}

bool SwitchOn(const char* section, const char* key) {
  return FoldUpper(Value(section, key, "off")) == "ON";
}

// [feedback]: its to= entries; interval, log and notes only with a to= key.
void CheckFeedbackSettings(std::vector<std::string>* reads, std::vector<std::string>* lines) {
  ExpectOptionalReads("feedback", "to", reads);
  FUZZ_CHECK(Settings.feedback.has_value() ==
             ReferenceSettingPresent(FuzzProfileText, "feedback", "to"));
  if (!Settings.feedback) return;
  FUZZ_CHECK(Settings.feedback->destinations ==
             ExpectedDestinations("feedback", "feedback", lines));
  for (const char* key : {"interval", "log", "notes"})
    reads->push_back(std::string("feedback|") + key);
  FUZZ_CHECK(Settings.feedback->intervalSeconds == NumberOf(Value("feedback", "interval", "5")));
  FUZZ_CHECK(Settings.feedback->log == SwitchOn("feedback", "log"));
  FUZZ_CHECK(Settings.feedback->notes == SwitchOn("feedback", "notes"));
}

// A port key of [osc] or [web]: none without the key; 1-65535 read as
// numbers are, else an ERROR line and none.
std::optional<int32_t> ExpectedPort(const char* section, std::vector<std::string>* reads,
                                    std::vector<std::string>* lines) {
  ExpectOptionalReads(section, "port", reads);
  if (!ReferenceSettingPresent(FuzzProfileText, section, "port")) return std::nullopt;
  const std::string text = Value(section, "port", "");
  const int32_t port = NumberOf(text);
  if (port >= 1 && port <= 65535) return port;
  lines->push_back(std::string("ERROR: ") + section + " port \"" + text + "\" is not 1-65535");
  return std::nullopt;
}

// [osc]: nothing without a valid port; then its to= list, interval, log, notes.
void CheckOscSettings(std::vector<std::string>* reads, std::vector<std::string>* lines) {
  std::optional<int32_t> port = ExpectedPort("osc", reads, lines);
  FUZZ_CHECK(Settings.osc.has_value() == port.has_value());
  if (!port) return;
  FUZZ_CHECK(Settings.osc->port == *port);
  ExpectOptionalReads("osc", "to", reads);
  const std::vector<FeedbackDestination> none;
  FUZZ_CHECK(Settings.osc->destinations == (ReferenceSettingPresent(FuzzProfileText, "osc", "to")
                                                ? ExpectedDestinations("osc", "osc", lines)
                                                : none));
  for (const char* key : {"interval", "log", "notes"}) reads->push_back(std::string("osc|") + key);
  FUZZ_CHECK(Settings.osc->intervalSeconds == NumberOf(Value("osc", "interval", "5")));
  FUZZ_CHECK(Settings.osc->log == SwitchOn("osc", "log"));
  FUZZ_CHECK(Settings.osc->notes == SwitchOn("osc", "notes"));
}

// [web]: nothing without its port key; every bad value reported, and any of
// them leaves the web remote off.
void CheckWebSettings(std::vector<std::string>* reads, std::vector<std::string>* lines) {
  if (!ReferenceSettingPresent(FuzzProfileText, "web", "port")) {
    ExpectOptionalReads("web", "port", reads);
    FUZZ_CHECK(!Settings.web);
    return;
  }
  ExpectOptionalReads("web", "port", reads);
  std::optional<int32_t> port = ExpectedPort("web", reads, lines);
  bool good = port.has_value();
  ExpectOptionalReads("web", "code", reads);
  const std::string code = Value("web", "code", "");
  if (ReferenceSettingPresent(FuzzProfileText, "web", "code") &&
      (code.size() != 6 || code.find_first_not_of("0123456789") != std::string::npos)) {
    lines->push_back("ERROR: web code \"" + code + "\" is not 6 digits");
    good = false;
  }
  ExpectOptionalReads("web", "shows", reads);
  const std::string shows = Value("web", "shows", "");
  if (ReferenceSettingPresent(FuzzProfileText, "web", "shows") && shows != kFuzzShowsFolder) {
    lines->push_back("ERROR: web shows \"" + shows + "\" is no folder");
    good = false;
  }
  ExpectOptionalReads("web", "commands", reads);
  CommandWordSet words = kWebDefaultCommands;
  if (ReferenceSettingPresent(FuzzProfileText, "web", "commands")) {
    words = 0;
    for (const std::string& entry : ReferenceListEntries(Value("web", "commands", ""))) {
      size_t i = 0;
      while (i < kCommandWordCount && FoldUpper(entry) != kCommandWords[i]) ++i;
      if (i < kCommandWordCount) {
        words |= 1u << i;
      } else {
        lines->push_back("ERROR: web commands entry \"" + entry + "\" is no command");
        good = false;
      }
    }
    words &= ~CommandWordBit(CommandWord::kOpen);
  }
  FUZZ_CHECK(Settings.web.has_value() == good);
  if (!good) return;
  FUZZ_CHECK(Settings.web->port == *port);
  FUZZ_CHECK(Settings.web->code ==
             (ReferenceSettingPresent(FuzzProfileText, "web", "code") ? code : ""));
  FUZZ_CHECK(Settings.web->showsFolder ==
             (ReferenceSettingPresent(FuzzProfileText, "web", "shows") ? shows : ""));
  FUZZ_CHECK(Settings.web->commands == words);
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

// The venue link's keys ([mqtt]), which the unit tests of the settings check
// one by one: without broker= one read and no link; with it, a link only
// without an ERROR line of its own, and then with a room a topic can hold.
// Its reads, values and lines are taken out of the record, so that the rest
// is checked as before.
void CheckMqttSettings(std::vector<std::string>* lines) {
  std::vector<std::string> mqttReads;
  for (size_t i = 0; i < FuzzRecord.profileReads.size();) {
    if (FuzzRecord.profileReads[i].rfind("mqtt|", 0) != 0) {
      ++i;
      continue;
    }
    mqttReads.push_back(FuzzRecord.profileReads[i]);
    FuzzRecord.profileReads.erase(FuzzRecord.profileReads.begin() + static_cast<long>(i));
    FuzzRecord.profileValues.erase(FuzzRecord.profileValues.begin() + static_cast<long>(i));
  }
  bool refused = false;
  for (auto line = lines->begin(); line != lines->end();) {
    if (line->rfind("ERROR: mqtt ", 0) == 0) {
      refused = true;
      line = lines->erase(line);
    } else {
      ++line;
    }
  }
  if (!ReferenceSettingPresent(FuzzProfileText, "mqtt", "broker")) {
    std::vector<std::string> expected;
    ExpectOptionalReads("mqtt", "broker", &expected);
    FUZZ_CHECK(mqttReads == expected);
    FUZZ_CHECK(!Settings.mqtt && !refused);
    return;
  }
  if (!Settings.mqtt) return;
  FUZZ_CHECK(!refused);
  const std::string& room = Settings.mqtt->room;
  FUZZ_CHECK(!room.empty() && room.size() <= 64);
  FUZZ_CHECK(
      room.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_.") ==
      std::string::npos);
  FUZZ_CHECK(!Settings.mqtt->host.empty());
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
  std::vector<std::string> settingsLines = FuzzRecord.logLines;
  FuzzRecord.logLines.clear();
  CheckMqttSettings(&settingsLines);
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
  std::vector<std::string> reads{"settings|port"};
  ExpectOptionalReads("settings", "allow", &reads);
  ExpectOptionalReads("settings", "commands", &reads);
  ExpectOptionalReads("settings", "address", &reads);
  std::vector<std::string> lines;
  CheckAccessSettings(&lines);
  CheckFeedbackSettings(&reads, &lines);
  CheckOscSettings(&reads, &lines);
  CheckWebSettings(&reads, &lines);
  FUZZ_CHECK_MSG(settingsLines == lines, "the settings wrote other lines than expected");
  const size_t projectorReads = reads.size();
  if (!loaded) {
    FUZZ_CHECK(FuzzRecord.profileReads == reads);
    FUZZ_CHECK(FuzzRecord.notices ==
               std::vector<std::string>{
                   "Podiant Server|Port number out of range, must be 1-65535, check ini file \"" +
                   path + "\"|16"});
    FUZZ_CHECK(Settings.projectorPort.empty() && Settings.baudRate == 0 && Settings.dataBits == 0 &&
               Settings.stopBits == kStopBitsOne && Settings.parityScheme == kParityNone &&
               !Settings.projectorEscapes);
    FUZZ_CHECK(ProjectorCommandTable.empty() && FuzzRecord.logLines.empty());
  } else {
    FUZZ_CHECK(FuzzRecord.notices.empty());
    for (const char* key : {"port", "baud", "databits", "stopbits", "parity", "escapes"}) {
      reads.push_back(std::string("projector|") + key);
    }
    FUZZ_CHECK(FuzzRecord.profileReads == reads);
    FUZZ_CHECK(Settings.projectorPort == values[projectorReads]);
    FUZZ_CHECK(Settings.baudRate == NumberOf(values[projectorReads + 1]));
    FUZZ_CHECK(Settings.dataBits == NumberOf(values[projectorReads + 2]));
    const std::string& stopBits = values[projectorReads + 3];
    FUZZ_CHECK(Settings.stopBits == (stopBits == "1.5" ? kStopBitsOnePointFive
                                     : stopBits == "2" ? kStopBitsTwo
                                                       : kStopBitsOne));
    std::string parity = FoldUpper(values[projectorReads + 4]);
    FUZZ_CHECK(Settings.parityScheme == (parity == "ODD"     ? kParityOdd
                                         : parity == "EVEN"  ? kParityEven
                                         : parity == "MARK"  ? kParityMark
                                         : parity == "SPACE" ? kParitySpace
                                                             : kParityNone));
    FUZZ_CHECK(Settings.projectorEscapes == (FoldUpper(values[projectorReads + 5]) == "ON"));
    CheckLoadedCommandTable(ProfileSectionFromText(FuzzProfileText, "functions"), {});
  }

  CheckCutRead();
  CheckSections();
  return 0;
}
