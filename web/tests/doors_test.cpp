// The one road in and the one road out, with the real doors and channels over
// recording fakes of the sockets, the show and the dispatcher: every door
// takes the arrival's steps in the same order; what a change of the show
// sends to each channel; and everything a channel writes is recognised as
// another server's feedback by the readers of every door.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "common/status_log.h"
#include "config/settings.h"
#include "osc/osc_commands.h"
#include "osc/osc_packet.h"
#include "platform/sockets.h"
#include "presentation/show_status.h"
#include "presentation/slide_images.h"
#include "server/arrival.h"
#include "server/datagram_door.h"
#include "server/feedback.h"
#include "server/log_relay.h"
#include "server/osc_channel.h"
#include "server/osc_door.h"
#include "server/sender_check.h"
#include "server/server_mailbox.h"
#include "server/state_channels.h"
#include "tests/fakes/fake_display.h"
#include "web/live_state.h"
#include "web/web_access.h"
#include "web/web_routes.h"

namespace {

std::vector<std::string> dispatched;  // "WORD|argument"
SharedShowStatus shownStatus = std::make_shared<const ShowStatus>();

struct SentDatagram {
  SocketHandle socket;
  std::string payload;
};
std::vector<SentDatagram> sent;

constexpr SocketHandle kWakeSocket = 9;

}  // namespace

SettingsRecord Settings;

void DispatchCommand(const Command& command) {
  dispatched.push_back(
      std::string(command.word ? kCommandWords[static_cast<size_t>(*command.word)] : "?") + "|" +
      command.argument);
}
SharedShowStatus RefreshShowStatus(uint64_t, bool) { return shownStatus; }
uint64_t ShowStatusDueAt() { return UINT64_MAX; }
void TrackShowStatus(bool) {}
void TrackShowDetails(bool) {}
bool RequestSlideImage(int32_t, int32_t, SlideImageDone) { return false; }
uint32_t LookUpLocalAddress() { return 0; }
SocketHandle OpenDatagramSocket(int) { return kNoSocket; }
SocketHandle OpenDatagramSocketOn(uint32_t, int) { return kWakeSocket; }
uint16_t BoundPort(SocketHandle) { return 1; }
void CloseDatagramSocket(SocketHandle) {}
void ReportRefusals(SocketHandle) {}
void PrepareListeningSocket(SocketHandle) {}
ReceiveOutcome ReceiveDatagram(SocketHandle, uint32_t, char*, size_t, size_t*, uint32_t*, uint16_t*,
                               uint64_t*) {
  return ReceiveOutcome::kTimedOut;
}
bool SendDatagramFrom(SocketHandle socket, uint32_t, uint16_t, const std::string& payload) {
  if (socket != kWakeSocket) sent.push_back({socket, payload});
  return true;
}

namespace {

uint32_t Address(const char* text) { return *ParseIpv4Address(text); }

const TimeOfDay kTime{14, 3, 7};

// The lines shown, their times as hh:mm:ss.
std::vector<std::string> Lines() {
  std::vector<std::string> lines;
  for (const std::string& line : ShownLines()) {
    lines.push_back(
        std::regex_replace(line, std::regex(" \\d\\d:\\d\\d:\\d\\d -> "), " hh:mm:ss -> "));
  }
  return lines;
}

std::string OscPacket(const std::string& address, std::vector<OscArgument> arguments = {}) {
  return WriteOscMessage({address, std::move(arguments)});
}

class Doors : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings = SettingsRecord{};
    Settings.allowedSenders = std::vector<AddressRange>{*ParseAddressRange("10.0.0.0/8")};
    Settings.allowedCommands = CommandWordBit(CommandWord::kNext) |
                               CommandWordBit(CommandWord::kGoto) |
                               CommandWordBit(CommandWord::kState);
    Settings.osc = OscSettings{};
    Settings.osc->port = 9000;
    Settings.web = WebSettings{};
    Settings.web->commands = CommandWordBit(CommandWord::kNext);
    ForgetRefusalsForTesting();
    OpenMailbox();
    ASSERT_TRUE(StartWebAccess("123456"));
    token = PairDevice(Address("10.0.0.5"), "123456", "Phone", 0).token;
    StartWebRoutes(WebRoutesSettings{"", "", CommandsAllowedAt(Door::kWeb)});
    Clear();
  }
  void TearDown() override { CloseMailbox(); }

  void Clear() {
    ClearLogForTesting();
    ClearShownLines();
    dispatched.clear();
    sent.clear();
  }

  // A command through the web remote's route; its answer's status.
  int WebCommand(const char* from, const std::string& text) {
    WebRequest request;
    request.method = "POST";
    request.target = "/api/command";
    request.host = "127.0.0.1:8080";
    request.authorization = "Bearer " + token;
    request.body = "{\"command\":\"" + text + "\"}";
    request.peerAddress = Address(from);
    int status = 0;
    HandleWebRequest(request, [&](WebResponse response) { status = response.status; });
    // What the route posted is the server thread's to carry out.
    while (std::optional<Arrival> arrival = TakePostedArrival()) Arrive(std::move(*arrival));
    return status;
  }

  std::string token;
};

// Each door: a sender that allow= leaves out, a word that an allow-list
// leaves out, a word that may be carried out. The steps are the same; what
// differs is how a door that can answer (the web) refuses: with its answer,
// before anything is written.
TEST_F(Doors, EveryDoorTakesTheArrivalsStepsInOneOrder) {
  struct Case {
    const char* what;
    std::function<void()> send;
    std::vector<std::string> lines;
    std::vector<std::string> carriedOut;
  };
  const uint32_t stranger = Address("192.168.1.7"), known = Address("10.0.0.5");
  auto datagram = [](uint32_t from, const char* text) {
    return [from, text] { Arrive(DatagramArrival(text, from, 50311, kTime, 0)); };
  };
  auto osc = [](uint32_t from, std::string packet) {
    return [from, packet] {
      for (Arrival& arrival : ReadOscDatagram(packet, {Door::kOsc, from, 50311, ""}, kTime, 0)) {
        Arrive(std::move(arrival));
      }
    };
  };
  int webStatus = 0;
  auto web = [this, &webStatus](const char* from, const char* text) {
    return [this, &webStatus, from, text] { webStatus = WebCommand(from, text); };
  };
  const Case cases[] = {
      {"datagram, refused sender",
       datagram(stranger, "NEXT"),
       {"Refused datagram from 192.168.1.7:50311"},
       {}},
      {"OSC, refused sender",
       osc(stranger, OscPacket("/podiant/next")),
       {"Refused datagram from 192.168.1.7:50311"},
       {}},
      {"web, refused sender", web("192.168.1.7", "NEXT"), {}, {}},
      {"datagram, refused word",
       datagram(known, "OPEN x"),
       {"R 10.0.0.5:50311 hh:mm:ss -> \"OPEN x\"", "ERR: Command not allowed \"OPEN\""},
       {}},
      {"OSC, refused word",
       osc(known, OscPacket("/podiant/open", {OscString("x")})),
       {"O 10.0.0.5:50311 hh:mm:ss -> /podiant/open \"x\"", "ERR: Command not allowed \"open\""},
       {}},
      {"web, refused word", web("10.0.0.5", "GOTO 3"), {}, {}},
      {"datagram, allowed",
       datagram(known, " next "),
       {"R 10.0.0.5:50311 hh:mm:ss -> \" next \""},
       {"NEXT|"}},
      {"OSC, allowed",
       osc(known, OscPacket("/podiant/goto", {OscInt(4)})),
       {"O 10.0.0.5:50311 hh:mm:ss -> /podiant/goto 4"},
       {"GOTO|4"}},
      {"web, allowed",
       web("10.0.0.5", "next"),
       {"W Phone 10.0.0.5 hh:mm:ss -> \"next\""},
       {"NEXT|"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Clear();
    ForgetRefusalsForTesting();
    webStatus = 0;
    c.send();
    EXPECT_EQ(Lines(), c.lines);
    EXPECT_EQ(dispatched, c.carriedOut);
  }
  // The web's answers: refused by its transport, refused by its list, taken.
  EXPECT_EQ(WebCommand("192.168.1.7", "NEXT"), 403);
  EXPECT_EQ(WebCommand("10.0.0.5", "GOTO 3"), 403);
  EXPECT_EQ(WebCommand("10.0.0.5", "NEXT"), 202);
}

ShowStatus Running(int32_t slide, const std::string& title, bool pending) {
  ShowStatus status;
  status.show = 1;
  status.fileName = "talk.pptx";
  status.state = ShowState::kRunning;
  status.slide = slide;
  status.detailsPending = pending;
  if (slide == 0) return status;  // no slide seen yet, no details
  status.slideCount = 5;
  status.details.title = title;
  status.details.notes = title + "'s notes";
  status.details.buildCount = 2;
  status.details.nextSlide = slide + 1;
  return status;
}

// What each channel was sent since the last look: the plain feedback's first
// words, OSC's addresses, "whole" for a channel of whole states.
std::map<std::string, std::vector<std::string>> wholeStates;

void RecordWhole(const StateChannel& channel, const std::vector<StatusItem>&,
                 const SharedShowStatus&) {
  wholeStates[channel.name].push_back("whole");
}

std::vector<std::string> SentFrom(SocketHandle socket) {
  std::vector<std::string> what;
  for (const SentDatagram& datagram : sent) {
    if (datagram.socket != socket) continue;
    std::vector<OscMessage> messages;
    if (ReadOscPacket(datagram.payload, &messages)) {
      what.push_back(messages[0].address.substr(9));
    } else {
      what.push_back(datagram.payload.substr(0, datagram.payload.find(' ')));
    }
  }
  return what;
}

// A new show, its first slide, a new slide whose details are still pending,
// its details, the show ended on that slide, and STATE: what each channel is
// sent, with the notes off and on.
TEST_F(Doors, WhatAChangeSendsToEachChannel) {
  Settings.feedback = FeedbackSettings{};
  Settings.feedback->destinations = {{Address("127.0.0.1"), 9001}};
  Settings.feedback->intervalSeconds = 0;
  Settings.osc->destinations = {{Address("127.0.0.1"), 9002}};
  Settings.osc->intervalSeconds = 0;
  constexpr SocketHandle kPlain = 7, kNotes = 6, kOsc = 8;
  AddStateChannel(FeedbackChannel(kPlain), 0);
  StateChannel notes = FeedbackChannel(kNotes);
  notes.choice = StatusItemChoice{true, true};
  AddStateChannel(notes, 0);
  AddStateChannel(OscChannel(kOsc), 0);
  StateChannel web = LiveStateChannel();
  web.send = RecordWhole;
  AddStateChannel(web, 0);

  ShowStatus ended = Running(2, "Two", false);
  ended.state = ShowState::kEnded;
  using Words = std::vector<std::string>;
  struct Step {
    const char* what;
    ShowStatus status;
    Words plain, withNotes, osc, whole;
  };
  const Step steps[] = {
      {"a new show",
       Running(0, "", false),
       {"FILE", "SHOW"},
       {"FILE", "SHOW"},
       {"file", "state"},
       {"whole"}},
      {"its first slide",
       Running(1, "One", false),
       {"SLIDE"},
       {"SLIDE", "TITLE", "BUILD", "NEXTSLIDE", "NOTES"},
       {"slide", "slides", "title", "build", "builds", "nextslide"},
       {"whole"}},
      {"a new slide, its details pending",
       [] {
         ShowStatus status = Running(2, "One", true);
         status.details.nextSlide = 2;
         return status;
       }(),
       {"SLIDE"},
       {"SLIDE"},
       {"slide", "slides"},
       {}},
      {"its details",
       Running(2, "Two", false),
       {},
       {"TITLE", "NEXTSLIDE", "NOTES"},
       {"title", "nextslide"},
       {"whole"}},
      {"ended on its slide", ended, {"SHOW"}, {"SHOW"}, {"state"}, {"whole"}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    Clear();
    wholeStates.clear();
    ServeStateChannels(1000, std::make_shared<const ShowStatus>(step.status));
    EXPECT_EQ(SentFrom(kPlain), step.plain);
    EXPECT_EQ(SentFrom(kNotes), step.withNotes);
    EXPECT_EQ(SentFrom(kOsc), step.osc);
    EXPECT_EQ(wholeStates["Web"], step.whole);
  }
  // The same status again is the same pointer: nothing is compared or sent.
  Clear();
  const SharedShowStatus last = std::make_shared<const ShowStatus>(ended);
  ServeStateChannels(1000, last);
  ServeStateChannels(1000, last);
  EXPECT_TRUE(sent.empty());
  // STATE: the whole of the ended show, its slide kept; the web is told
  // nothing it knows.
  wholeStates.clear();
  SendStateChannelSnapshots(last);
  EXPECT_EQ(SentFrom(kPlain), (Words{"FILE", "SHOW", "SLIDE"}));
  EXPECT_EQ(SentFrom(kNotes),
            (Words{"FILE", "SHOW", "SLIDE", "TITLE", "BUILD", "NEXTSLIDE", "NOTES"}));
  EXPECT_EQ(SentFrom(kOsc),
            (Words{"file", "state", "slide", "slides", "title", "build", "builds", "nextslide"}));
  EXPECT_TRUE(wholeStates["Web"].empty());
  StopStateChannels();
}

// Everything a channel writes, read by the doors: each is another server's
// feedback, never a command, and no line it causes is sent on. This is what
// catches a word added to one list and not to the others.
TEST_F(Doors, EverythingAChannelWritesIsFeedbackToEveryReader) {
  ShowStatus status = Running(3, "A title", false);
  status.details.buildPosition = 1;
  std::vector<StatusItem> every;
  for (const StatusItemNames& names : kStatusItemNames) every.push_back(names.item);

  std::vector<std::string> datagrams = FeedbackDatagrams(every, status);
  datagrams.push_back(FeedbackLogDatagram("R 10.0.0.5:50311 14:03:07 -> \"NEXT\""));
  std::set<std::string> words;
  for (const std::string& datagram : datagrams) {
    SCOPED_TRACE(datagram);
    words.insert(datagram.substr(0, datagram.find(' ')));
    Arrival arrival = DatagramArrival(datagram, Address("10.0.0.5"), 16001, kTime, 0);
    EXPECT_TRUE(arrival.feedback);
    EXPECT_FALSE(arrival.command && arrival.command->word);
  }
  std::vector<OscMessage> messages = OscStatusMessages(every, status);
  messages.push_back(OscLogMessage("R 10.0.0.5:50311 14:03:07 -> \"NEXT\""));
  std::set<std::string> values;
  for (const OscMessage& message : messages) {
    SCOPED_TRACE(message.address);
    values.insert(message.address.substr(std::string(kOscAddressPrefix).size()));
    std::vector<Arrival> arrivals = ReadOscDatagram(
        WriteOscMessage(message), {Door::kOsc, Address("10.0.0.5"), 9000, ""}, kTime, 0);
    ASSERT_EQ(arrivals.size(), 1u);
    EXPECT_TRUE(arrivals[0].feedback);
    EXPECT_FALSE(arrivals[0].command.has_value());
  }
  // Every name of the table is written by its channel.
  std::set<std::string> tableWords{kLogWord}, tableValues{kLogValue};
  for (const StatusItemNames& names : kStatusItemNames) {
    tableWords.insert(names.word);
    for (const char* value : names.values) {
      if (value != nullptr) tableValues.insert(value);
    }
  }
  EXPECT_EQ(words, tableWords);
  EXPECT_EQ(values, tableValues);

  // The loop guard: a peer's feedback that arrives sends no line on; what a
  // command writes goes on (but not the datagram's own R line).
  RelayLogLines(0, true);
  Arrive(DatagramArrival("SLIDE 3 5", Address("10.0.0.5"), 16001, kTime, 0));
  Arrive(DatagramArrival(datagrams.back(), Address("10.0.0.5"), 16001, kTime, 0));
  EXPECT_TRUE(TakeRelayedLines(0).empty());
  Arrive(DatagramArrival("OPEN x", Address("10.0.0.5"), 16001, kTime, 0));
  EXPECT_EQ(TakeRelayedLines(0), std::deque<std::string>{"ERR: Command not allowed \"OPEN\""});
  RelayLogLines(0, false);
}

// What one packet can make the server do is bounded: a bundle of a hundred
// STATEs is 64 messages taken (with one line for the rest) and one snapshot,
// and a message of a thousand arguments makes a short line.
TEST_F(Doors, OnePacketDoesLittle) {
  std::string bundle("#bundle\0\0\0\0\0\0\0\0\1", 16);
  const std::string state = OscPacket("/podiant/state");
  for (int i = 0; i < 100; ++i) {
    bundle += std::string{0, 0, 0, static_cast<char>(state.size())} + state;
  }
  const CommandOrigin sender{Door::kOsc, Address("10.0.0.5"), 50311, ""};
  std::vector<Arrival> arrivals = ReadOscDatagram(bundle, sender, kTime, 0);
  EXPECT_EQ(arrivals.size(), kOscMessagesPerPacketAtMost);
  for (Arrival& arrival : arrivals) Arrive(std::move(arrival));
  EXPECT_EQ(dispatched, std::vector<std::string>{"STATE|"});
  EXPECT_EQ(Lines().front(),
            "ERR: OSC packet from 10.0.0.5:50311 holds 100 messages: the first 64 are taken");
  // The next packet of the same sender within the second sends none either;
  // another sender's does.
  for (Arrival& arrival : ReadOscDatagram(state, sender, kTime, 0)) Arrive(std::move(arrival));
  EXPECT_EQ(dispatched.size(), 1u);
  for (Arrival& arrival :
       ReadOscDatagram(state, {Door::kOsc, Address("10.0.0.5"), 50312, ""}, kTime, 0)) {
    Arrive(std::move(arrival));
  }
  EXPECT_EQ(dispatched.size(), 2u);

  OscArgument impulse;
  impulse.type = 'I';
  const std::vector<OscArgument> impulses(1000, impulse);
  const std::string shown = FormatOscMessage({"/podiant/next", impulses});
  EXPECT_LT(shown.size(), 200u);
  EXPECT_TRUE(shown.ends_with(" impulse (+984 more)")) << shown;
}

}  // namespace
