#include "config/settings.h"

#include "common/status_log.h"
#include "common/text_rules.h"
#include "platform/notice.h"
#include "platform/profile.h"

namespace {

constexpr size_t kProfileNameLimit = 259;

int32_t NumberSetting(const char* section, const char* key, const char* defaultText) {
  return Int32FromNumber(
      NumberFromText(ReadProfileString(section, key, defaultText, SettingsFilePath)));
}

StopBitsCode StopBitsFromText(const std::string& text) {
  if (text == "1.5") return kStopBitsOnePointFive;
  if (text == "2") return kStopBitsTwo;
  return kStopBitsOne;
}

ParityScheme ParityFromText(const std::string& text) {
  std::string folded = FoldUpper(text);
  if (folded == "ODD") return kParityOdd;
  if (folded == "EVEN") return kParityEven;
  if (folded == "MARK") return kParityMark;
  if (folded == "SPACE") return kParitySpace;
  return kParityNone;
}

// The value of a key, or none when the file does not have the key: a key
// written with nothing after its "=" is the empty text, not a missing key.
std::optional<std::string> OptionalSetting(const char* section, const char* key) {
  std::string value = ReadProfileString(section, key, "", SettingsFilePath);
  if (!value.empty()) return value;
  // Empty: written so, or not there; only a missing key gives the default.
  constexpr const char* kMissing = "-";
  if (ReadProfileString(section, key, kMissing, SettingsFilePath) == kMissing) return std::nullopt;
  return std::string();
}

// Who may send, what may run and where the server listens.
void LoadAccessSettings() {
  if (std::optional<std::string> allow = OptionalSetting("settings", "allow")) {
    AllowList list = ParseAllowList(*allow);
    for (const std::string& entry : list.badEntries) {
      AddLogLine("ERROR: allow entry \"" + entry + "\" is neither an address nor a range");
    }
    Settings.allowedSenders = std::move(list.ranges);
  }
  if (std::optional<std::string> commands = OptionalSetting("settings", "commands")) {
    CommandList list = ParseCommandList(*commands);
    for (const std::string& entry : list.badEntries) {
      AddLogLine("ERROR: commands entry \"" + entry + "\" is no command");
    }
    Settings.allowedCommands = list.words;
  }
  if (std::optional<std::string> address = OptionalSetting("settings", "address")) {
    Settings.listenAddress = ListenAddressSetting{*address, ParseListenAddress(*address)};
  }
}

// [feedback]: nothing at all without its to= key.
void LoadFeedbackSettings() {
  std::optional<std::string> to = OptionalSetting("feedback", "to");
  if (!to) return;
  FeedbackList list = ParseFeedbackList(*to);
  for (const FeedbackEntryLeftOut& left : list.leftOut) {
    AddLogLine("ERROR: feedback entry \"" + left.entry + "\" is " +
               (left.beyondLimit ? "beyond the first " + std::to_string(kFeedbackDestinationsAtMost)
                                 : std::string("no address:port")));
  }
  FeedbackSettings feedback;
  feedback.destinations = std::move(list.destinations);
  feedback.intervalSeconds = NumberSetting("feedback", "interval", "5");
  feedback.log = FoldUpper(ReadProfileString("feedback", "log", "off", SettingsFilePath)) == "ON";
  Settings.feedback = std::move(feedback);
}

}  // namespace

std::string SettingsFilePathHere() {
  return CurrentDirectory() + PathSeparator() + kSettingsFileName;
}

std::string ReadProfileString(const std::string& section, const std::string& key,
                              const std::string& defaultText, const std::string& path) {
  return ProfileReadString(section.substr(0, kProfileNameLimit), key.substr(0, kProfileNameLimit),
                           defaultText.substr(0, kProfileNameLimit),
                           path.substr(0, kProfileNameLimit));
}

bool LoadSettings() {
  Settings = SettingsRecord{};
  SettingsFilePath = SettingsFilePathHere();
  const std::string& path = SettingsFilePath;

  if (!OrdinaryFileExists(path)) {
    AddLogLine("Couldn't open INI file \"" + path + "\", using defaults");
  }
  // The reads go on without a file: they then give the defaults.
  Settings.serverPort = NumberSetting("settings", "port", "16001");
  const bool portInRange = Settings.serverPort >= 1 && Settings.serverPort <= 65535;
  if (!portInRange) {
    ShowNotice("Podiant Server",
               "Port number out of range, must be 1-65535, check ini file \"" + path + "\"",
               kNoticeError);
  }
  // Also after a bad port: with port 0 the platform still opens one.
  LoadAccessSettings();
  LoadFeedbackSettings();
  if (!portInRange) return false;

  Settings.projectorPort = ReadProfileString("projector", "port", "", path);
  Settings.baudRate = NumberSetting("projector", "baud", "9600");
  Settings.dataBits = NumberSetting("projector", "databits", "8");
  Settings.stopBits = StopBitsFromText(ReadProfileString("projector", "stopbits", "1", path));
  Settings.parityScheme = ParityFromText(ReadProfileString("projector", "parity", "NONE", path));
  Settings.projectorEscapes =
      FoldUpper(ReadProfileString("projector", "escapes", "off", path)) == "ON";
  return true;
}
