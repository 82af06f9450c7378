#include "config/settings.h"

#include <algorithm>

#include "common/status_log.h"
#include "common/text_rules.h"
#include "platform/files.h"
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

// An on/off key: on in any letter case, anything else (or none) off.
bool SwitchSetting(const char* section, const char* key) {
  return FoldUpper(ReadProfileString(section, key, "off", SettingsFilePath)) == "ON";
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

// A to= list of destinations, each entry left out reported for `section`.
FeedbackList DestinationsSetting(const char* section, const std::string& to) {
  FeedbackList list = ParseFeedbackList(to);
  for (const FeedbackEntryLeftOut& left : list.leftOut) {
    AddLogLine(std::string("ERROR: ") + section + " entry \"" + left.entry + "\" is " +
               (left.beyondLimit ? "beyond the first " + std::to_string(kFeedbackDestinationsAtMost)
                                 : std::string("no address:port")));
  }
  return list;
}

// The keys of a state channel of datagrams; its destinations from `to`.
void ReadChannelSettings(const char* section, const std::optional<std::string>& to,
                         ChannelSettings* channel) {
  if (to) channel->destinations = DestinationsSetting(section, *to).destinations;
  channel->intervalSeconds = NumberSetting(section, "interval", "5");
  channel->log = SwitchSetting(section, "log");
  channel->notes = SwitchSetting(section, "notes");
}

// [feedback]: nothing at all without its to= key.
void LoadFeedbackSettings() {
  std::optional<std::string> to = OptionalSetting("feedback", "to");
  if (!to) return;
  FeedbackSettings feedback;
  ReadChannelSettings("feedback", to, &feedback);
  Settings.feedback = std::move(feedback);
}

// A port key of a section that is off without it: 1-65535, read as numbers
// are; another value is reported and gives none.
std::optional<int32_t> PortSetting(const char* section) {
  std::optional<std::string> text = OptionalSetting(section, "port");
  if (!text) return std::nullopt;
  int32_t port = Int32FromNumber(NumberFromText(*text));
  if (port >= 1 && port <= 65535) return port;
  AddLogLine(std::string("ERROR: ") + section + " port \"" + *text + "\" is not 1-65535");
  return std::nullopt;
}

// [osc]: nothing at all without a valid port= key.
void LoadOscSettings() {
  std::optional<int32_t> port = PortSetting("osc");
  if (!port) return;
  OscSettings osc;
  osc.port = *port;
  ReadChannelSettings("osc", OptionalSetting("osc", "to"), &osc);
  Settings.osc = std::move(osc);
}

// [web]: no web remote without a valid port=, nor with any bad value.
void LoadWebSettings() {
  if (!OptionalSetting("web", "port")) return;
  std::optional<int32_t> port = PortSetting("web");
  bool good = port.has_value();
  WebSettings web;
  web.port = port.value_or(0);
  if (std::optional<std::string> code = OptionalSetting("web", "code")) {
    const bool digits =
        code->size() == 6 && code->find_first_not_of("0123456789") == std::string::npos;
    if (digits) {
      web.code = *code;
    } else {
      AddLogLine("ERROR: web code \"" + *code + "\" is not 6 digits");
      good = false;
    }
  }
  if (std::optional<std::string> shows = OptionalSetting("web", "shows")) {
    if (FolderExists(*shows)) {
      web.showsFolder = *shows;
    } else {
      AddLogLine("ERROR: web shows \"" + *shows + "\" is no folder");
      good = false;
    }
  }
  if (std::optional<std::string> commands = OptionalSetting("web", "commands")) {
    CommandList list = ParseCommandList(*commands);
    for (const std::string& entry : list.badEntries) {
      AddLogLine("ERROR: web commands entry \"" + entry + "\" is no command");
    }
    if (!list.badEntries.empty()) good = false;
    web.commands = list.words & ~CommandWordBit(CommandWord::kOpen);
  }
  if (good) Settings.web = std::move(web);
}

// The folder of the settings file, with its separator: relative names of
// other files are read from there.
std::string SettingsFolder() {
  return SettingsFilePath.substr(0, SettingsFilePath.size() - std::string(kSettingsFileName).size());
}

// A path of a setting, relative to the settings file's folder unless absolute.
std::string PathFromSettingsFolder(const std::string& path) {
  const bool absolute = (!path.empty() && (path[0] == '/' || path[0] == '\\')) ||
                        (path.size() >= 2 && path[1] == ':');
  return absolute ? path : SettingsFolder() + path;
}

// [mqtt]: no venue link without broker=, nor with any bad value.
void LoadMqttSettings() {
  std::optional<std::string> broker = OptionalSetting("mqtt", "broker");
  if (!broker) return;
  bool good = true;
  MqttSettings mqtt;
  auto bad = [&good](const std::string& line) {
    AddLogLine("ERROR: mqtt " + line);
    good = false;
  };
  if (std::optional<HostAndPort> address = ParseHostAndPort(*broker, 1883)) {
    mqtt.host = address->host;
    mqtt.port = address->port;
  } else {
    bad("broker \"" + *broker + "\" is no host[:port]");
  }
  mqtt.room = OptionalSetting("mqtt", "room").value_or(std::string());
  if (!IsTopicName(mqtt.room)) {
    bad("room \"" + mqtt.room + "\" is not 1-64 letters, digits, '-', '_' or '.'");
  }
  if (std::optional<std::string> prefix = OptionalSetting("mqtt", "prefix")) {
    mqtt.prefix = *prefix;
    // Levels of letters, digits, '-', '_' and '.', joined by '/'.
    bool levels = !prefix->empty();
    size_t begin = 0;
    while (levels && begin <= prefix->size()) {
      const size_t end = std::min(prefix->find('/', begin), prefix->size());
      levels = IsTopicName(std::string_view(*prefix).substr(begin, end - begin));
      begin = end + 1;
    }
    if (!levels) bad("prefix \"" + *prefix + "\" is no topic of names joined by '/'");
  }
  mqtt.user = OptionalSetting("mqtt", "user").value_or(std::string());
  if (std::optional<std::string> file = OptionalSetting("mqtt", "passwordfile")) {
    std::string password;
    if (ReadWholeFile(PathFromSettingsFolder(*file), 1024, &password)) {
      while (!password.empty() && (password.back() == '\n' || password.back() == '\r')) {
        password.pop_back();
      }
      mqtt.password = std::move(password);
    } else {
      bad("passwordfile \"" + *file + "\" cannot be read");
    }
  }
  if (std::optional<std::string> commands = OptionalSetting("mqtt", "commands")) {
    CommandList list = ParseCommandList(*commands);
    for (const std::string& entry : list.badEntries) {
      bad("commands entry \"" + entry + "\" is no command");
    }
    mqtt.commands = list.words;
  }
  mqtt.log = SwitchSetting("mqtt", "log");
  if (std::optional<std::string> keepalive = OptionalSetting("mqtt", "keepalive")) {
    mqtt.keepaliveSeconds = Int32FromNumber(NumberFromText(*keepalive));
    if (mqtt.keepaliveSeconds < 5 || mqtt.keepaliveSeconds > 3600) {
      bad("keepalive \"" + *keepalive + "\" is not 5-3600 seconds");
    }
  }
  mqtt.venue = SwitchSetting("mqtt", "venue");
  if (std::optional<std::string> picture = OptionalSetting("mqtt", "picture")) {
    if (FoldUpper(*picture) != "OFF") {
      mqtt.pictureWidth = Int32FromNumber(NumberFromText(*picture));
      if (mqtt.pictureWidth < 160 || mqtt.pictureWidth > 640 ||
          picture->find_first_not_of("0123456789") != std::string::npos) {
        bad("picture \"" + *picture + "\" is neither 160-640 nor off");
      }
    }
  }
  if (std::optional<std::string> follow = OptionalSetting("mqtt", "follow")) {
    mqtt.follow = *follow;
    if (!IsTopicName(*follow)) {
      bad("follow \"" + *follow + "\" is no room");
    } else if (*follow == mqtt.room) {
      bad("follow \"" + *follow + "\" is this server's own room");
    }
  }
  if (std::optional<std::string> discovery = OptionalSetting("mqtt", "discovery")) {
    mqtt.discovery = FoldUpper(*discovery) == "HOMEASSISTANT";
    if (!mqtt.discovery && FoldUpper(*discovery) != "OFF") {
      bad("discovery \"" + *discovery + "\" is neither homeassistant nor off");
    }
  }
  mqtt.tls = SwitchSetting("mqtt", "tls");
  if (std::optional<std::string> caFile = OptionalSetting("mqtt", "cafile")) {
    mqtt.caFile = PathFromSettingsFolder(*caFile);
  }
  if (good) Settings.mqtt = std::move(mqtt);
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
  LoadOscSettings();
  LoadWebSettings();
  LoadMqttSettings();
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
