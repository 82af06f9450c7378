#include "server/arrival.h"

#include <cstdio>

#include "common/status_log.h"
#include "config/access_lists.h"
#include "config/settings.h"
#include "presentation/show_status.h"
#include "server/dispatch.h"
#include "server/log_relay.h"
#include "server/sender_check.h"

namespace {

// What differs between the doors, and why.
struct DoorRules {
  const char* letter;  // of the arrival line
  // Its arrival lines are sent on as status lines (LOG, /podiant/log). Those
  // of the datagram doors are not: their senders may be other servers, whose
  // lines would then come back as datagrams again. A web or venue command is
  // sent by a person or a controller on purpose, and the others see it go by.
  bool lineSentOn;
  // Its senders have an address that allow= judges. The venue link's come
  // through the broker, whose own access rules judge them.
  bool addressed;
};

constexpr DoorRules kDoorRules[] = {
    {"R", false, true},  // Door::kDatagram
    {"O", false, true},  // Door::kOsc
    {"W", true, true},   // Door::kWeb
    {"M", true, false},  // Door::kMqtt
    {"M", true, false},  // Door::kFollow
};

const DoorRules& RulesOf(Door door) { return kDoorRules[static_cast<size_t>(door)]; }

// When each sender (address and port) last had the whole state sent (STATE):
// a sender gets one snapshot a second, however many STATEs it sends (a packet
// of thousands would otherwise send thousands of snapshots to every
// destination).
constexpr uint64_t kSnapshotMilliseconds = 1000;
SenderReports serverThreadSnapshots;

std::string Sender(const CommandOrigin& origin) {
  if (origin.door == Door::kMqtt || origin.door == Door::kFollow) return origin.name;
  if (origin.door == Door::kWeb) return origin.name + " " + FormatIpAddress(origin.address);
  return FormatIpAddress(origin.address) + ":" + std::to_string(origin.port);
}

bool MovedOn(const ShowPosition& from) {
  // The status as last refreshed, refreshed again now (between commands).
  const SharedShowStatus status = RefreshShowStatus(MonotonicMilliseconds(), false);
  return status->slide != from.slide || status->details.buildPosition != from.build;
}

ArrivalOutcome Steps(const Arrival& arrival) {
  const CommandOrigin& origin = arrival.origin;
  if (RulesOf(origin.door).addressed && !AdmitSender(origin, MonotonicMilliseconds())) {
    return ArrivalOutcome::kSenderRefused;
  }
  if (arrival.from && MovedOn(*arrival.from)) return ArrivalOutcome::kMovedOn;
  {
    QuietLines quiet(!RulesOf(origin.door).lineSentOn);
    AddLogLine(ArrivalLine(origin, arrival.time, arrival.shown));
  }
  if (!arrival.doorLine.empty()) AddLogLine(arrival.doorLine);
  if (!arrival.command) return ArrivalOutcome::kNoCommand;
  const Command& command = *arrival.command;
  if (command.word && (CommandsAllowedAt(origin.door) & CommandWordBit(*command.word)) == 0) {
    AddLogLine("ERR: Command not allowed \"" + command.wordAsSent + "\"");
    return ArrivalOutcome::kWordRefused;
  }
  if (command.word == CommandWord::kState &&
      !SenderReportDue(serverThreadSnapshots, origin.address, MonotonicMilliseconds(),
                       kSnapshotMilliseconds, origin.port)) {
    return ArrivalOutcome::kCarriedOut;  // its snapshot went out less than a second ago
  }
  DispatchCommand(command);
  return command.word ? ArrivalOutcome::kCarriedOut : ArrivalOutcome::kUnknownWord;
}

}  // namespace

ArrivalOutcome Arrive(Arrival arrival) {
  ArrivalOutcome outcome;
  {
    QuietLines loopGuard(arrival.feedback);
    outcome = Steps(arrival);
  }
  if (arrival.done) arrival.done(outcome);
  return outcome;
}

bool SenderAllowed(uint32_t address) {
  return !Settings.allowedSenders || AddressInRanges(address, *Settings.allowedSenders);
}

bool AdmitSender(const CommandOrigin& origin, uint64_t nowMilliseconds) {
  if (SenderAllowed(origin.address)) return true;
  if (RefusalToBeReported(origin.address, nowMilliseconds)) {
    AddLogLine("Refused datagram from " + FormatIpAddress(origin.address) + ":" +
               std::to_string(origin.port));
  }
  return false;
}

constexpr CommandWordSet kFollowCommands =
    CommandWordBit(CommandWord::kOpen) | CommandWordBit(CommandWord::kGoto) |
    CommandWordBit(CommandWord::kNext) | CommandWordBit(CommandWord::kPrev) |
    CommandWordBit(CommandWord::kBlack) | CommandWordBit(CommandWord::kWhite) |
    CommandWordBit(CommandWord::kResume) | CommandWordBit(CommandWord::kEnd);

CommandWordSet CommandsAllowedAt(Door door) {
  const CommandWordSet all = Settings.allowedCommands.value_or(kEveryCommandWord);
  if (door == Door::kMqtt && Settings.mqtt) return all & Settings.mqtt->commands;
  // follow= itself allows the words that keep this server in step with its
  // main (commands= is about what others publish on the broker).
  if (door == Door::kFollow) return all & kFollowCommands;
  if (door != Door::kWeb || !Settings.web) return all;
  CommandWordSet web = Settings.web->commands;
  if (!Settings.web->showsFolder.empty()) web |= CommandWordBit(CommandWord::kOpen);
  return all & web;
}

std::string ArrivalLine(const CommandOrigin& origin, const TimeOfDay& time,
                        const std::string& shown) {
  char clock[16];
  std::snprintf(clock, sizeof clock, "%02d:%02d:%02d", time.hour, time.minute, time.second);
  return std::string(RulesOf(origin.door).letter) + " " + Sender(origin) + " " + clock + " -> " +
         shown;
}
