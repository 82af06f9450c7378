#include "config/settings.h"

#include "common/status_log.h"
#include "common/text_rules.h"
#include "platform/notice.h"
#include "platform/profile.h"

SettingsRecord Settings;
std::string SettingsFilePath;

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
  if (Settings.serverPort < 1 || Settings.serverPort > 65535) {
    ShowNotice("Podiant Server",
               "Port number out of range, must be 1-65535, check ini file \"" + path + "\"",
               kNoticeError);
    return false;
  }

  Settings.projectorPort = ReadProfileString("projector", "port", "", path);
  Settings.baudRate = NumberSetting("projector", "baud", "9600");
  Settings.dataBits = NumberSetting("projector", "databits", "8");
  Settings.stopBits = StopBitsFromText(ReadProfileString("projector", "stopbits", "1", path));
  Settings.parityScheme = ParityFromText(ReadProfileString("projector", "parity", "NONE", path));
  return true;
}
