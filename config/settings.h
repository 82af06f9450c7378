// The settings file podiant.ini and the process-wide Settings record.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/command_words.h"
#include "config/access_lists.h"

enum StopBitsCode : int32_t { kStopBitsOne = 0, kStopBitsOnePointFive = 1, kStopBitsTwo = 2 };

enum ParityScheme : int32_t {
  kParityNone = 0,
  kParityOdd = 1,
  kParityEven = 2,
  kParityMark = 3,
  kParitySpace = 4,
};

// [settings] address as written, and the address it names (none when the text
// is no address that this computer can have).
struct ListenAddressSetting {
  std::string text;
  std::optional<uint32_t> address;  // network order; 0 is every interface
};

// A state channel of datagrams ([feedback], and [osc] with to=): where the
// show's state (and with log=on the status lines) is sent, and how often the
// whole of it is sent again.
struct ChannelSettings {
  std::vector<FeedbackDestination> destinations;  // none: nobody
  int32_t intervalSeconds = 5;                    // 0 or less: no heartbeat
  bool log = false;                               // log=on: every status line too
  bool notes = false;  // notes=on: the slide's notes too (the plain feedback: with its
                       // title, build and next slide)
};

// [feedback], with its to= key.
using FeedbackSettings = ChannelSettings;

// [osc] with a valid port=: commands as OSC messages on a second UDP socket
// (on the commands' listen address), and the show's state as OSC messages to
// the to= destinations, from that socket.
struct OscSettings : ChannelSettings {
  int32_t port = 0;
};

// The words the web remote may send unless [web] commands= names others.
constexpr CommandWordSet kWebDefaultCommands =
    CommandWordBit(CommandWord::kNext) | CommandWordBit(CommandWord::kPrev) |
    CommandWordBit(CommandWord::kGoto) | CommandWordBit(CommandWord::kFirst) |
    CommandWordBit(CommandWord::kLast) | CommandWordBit(CommandWord::kBlack) |
    CommandWordBit(CommandWord::kWhite) | CommandWordBit(CommandWord::kResume) |
    CommandWordBit(CommandWord::kEnd) | CommandWordBit(CommandWord::kState);

// [web] with a valid port= and no bad value: the web remote.
struct WebSettings {
  int32_t port = 0;
  std::string code;         // code=: the fixed pairing code (6 digits); empty: drawn at start
  std::string showsFolder;  // shows=: the folder of presentations it may open; empty: none
  // commands=: the words it may send (OPEN never as a command: only a show
  // of the folder, through its own request).
  CommandWordSet commands = kWebDefaultCommands;
};

// [mqtt] with broker= and no bad value: the venue link.
struct MqttSettings {
  std::string host;                // broker=: a name or an IPv4 address
  int32_t port = 1883;             // broker=host:port
  std::string room;                // room=: 1-64 letters, digits, '-', '_', '.'
  std::string prefix = "podiant";  // prefix=: the topics' first level(s)
  std::string user;                // user=
  std::string password;            // the whole file that passwordfile= names
  // commands=: the words the link may have carried out (within [settings]
  // commands=); the web remote's by default.
  CommandWordSet commands = kWebDefaultCommands;
  bool log = false;               // log=on: every status line on <prefix>/<room>/log
  int32_t keepaliveSeconds = 30;  // keepalive=
  bool tls = false;               // tls=on: TLS to the broker, checked against cafile=
  std::string caFile;             // cafile=: relative to the settings file's folder
  bool venue = false;             // venue=on: every room's status and state, for the web's view
  int32_t pictureWidth = 0;       // picture=<160-640>: the slide's picture; 0: off
  std::string follow;             // follow=<room>: the room this server follows; empty: none
  bool discovery = false;         // discovery=homeassistant: the rooms' entities for it
};

struct SettingsRecord {
  int32_t serverPort = 0;
  std::string projectorPort;
  int32_t baudRate = 0;
  int32_t dataBits = 0;
  StopBitsCode stopBits = kStopBitsOne;
  ParityScheme parityScheme = kParityNone;
  // [settings] allow: the senders whose datagrams are carried out. Without the
  // key, every sender; with it, only those in a range (none: nobody).
  std::optional<std::vector<AddressRange>> allowedSenders;
  // [settings] commands: the command words that are carried out. Without the
  // key, all of them.
  std::optional<CommandWordSet> allowedCommands;
  // [settings] address: the one local address to listen on. Without the key,
  // every interface.
  std::optional<ListenAddressSetting> listenAddress;
  // [projector] escapes=on: the [functions] texts are decoded (\r, \xHH, ...).
  bool projectorEscapes = false;
  // [feedback] with its to= key. Without the key nothing is sent, ever.
  std::optional<FeedbackSettings> feedback;
  // [osc] with a valid port; without one, no OSC.
  std::optional<OscSettings> osc;
  // [web] with a valid port and no bad value; otherwise no web remote.
  std::optional<WebSettings> web;
  // [mqtt] with broker= and no bad value; otherwise no venue link.
  std::optional<MqttSettings> mqtt;
};

// Written once by LoadSettings during start-up, read-only afterwards.
extern SettingsRecord Settings;

constexpr const char* kSettingsFileName = "podiant.ini";

// The settings file that LoadSettings read: the working directory at that
// moment, one directory separator (always added) and podiant.ini.
extern std::string SettingsFilePath;

// The settings file path for the current working directory, built as above.
std::string SettingsFilePathHere();

// Reads podiant.ini from the current working directory into Settings. A
// missing file is reported in the status log and gives the defaults; a server
// port outside 1-65535 is shown in a notice and ends the load before the
// projector settings (the allow, commands and address keys, [feedback], [osc]
// and [web] are read whatever the port: they concern whatever the server
// opens).
// Allow, commands and feedback entries that name nothing are reported in the
// status log and left out. True when the load went through: only then are the
// projector commands loaded (the start-up does that next, from
// SettingsFilePath).
bool LoadSettings();

// The profile read of one key, with the section, key, default and path each cut
// to 259 characters.
std::string ReadProfileString(const std::string& section, const std::string& key,
                              const std::string& defaultText, const std::string& path);
