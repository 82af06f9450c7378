#include "osc/osc_commands.h"

#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <string_view>
#include <vector>

#include "common/feedback_words.h"
#include "common/text_rules.h"
#include "platform/code_page.h"

namespace {

constexpr std::string_view kCommandAddressWord = "COMMAND";

bool IsText(const OscArgument& argument) { return argument.type == 's' || argument.type == 'S'; }

// What the server itself sends: such a message from another server is fed
// back, not a command. STATE is also a command word: a state carries a string.
bool IsFeedbackValueMessage(const std::string& folded, const OscMessage& message) {
  if (folded == "STATE") return !message.arguments.empty() && IsText(message.arguments[0]);
  return IsFeedbackValue(folded);
}

OscCommand Carry(CommandWord word, const std::string& wordAsSent, std::string_view argument) {
  OscCommand command;
  command.request = OscRequest::kCommand;
  command.command.word = word;
  command.command.wordAsSent = wordAsSent;
  command.command.argument = std::string(TrimBlanks(argument));
  return command;
}

OscCommand Request(OscRequest request) {
  OscCommand command;
  command.request = request;
  return command;
}

OscCommand TextCommand(CommandWord word, const std::string& wordAsSent, const OscMessage& message) {
  if (message.arguments.empty() || !IsText(message.arguments[0])) {
    return Request(OscRequest::kBadArguments);
  }
  return Carry(word, wordAsSent, CodePageFromUtf8(message.arguments[0].bytes));
}

OscCommand GotoCommand(const std::string& wordAsSent, const OscMessage& message) {
  if (message.arguments.empty()) return Request(OscRequest::kBadArguments);
  const OscArgument& argument = message.arguments[0];
  switch (argument.type) {
    case 'i':
    case 'h':
      return Carry(CommandWord::kGoto, wordAsSent,
                   std::to_string(Int32FromNumber(static_cast<double>(argument.integer))));
    case 'f':
    case 'd':
      return Carry(CommandWord::kGoto, wordAsSent,
                   std::to_string(Int32FromNumber(argument.number)));
    case 's':
    case 'S':
      return Carry(CommandWord::kGoto, wordAsSent, CodePageFromUtf8(argument.bytes));
    default:
      return Request(OscRequest::kBadArguments);
  }
}

// A word without an argument: a button sends 1 when pressed and 0 when let go.
OscCommand PlainCommand(CommandWord word, const std::string& wordAsSent,
                        const OscMessage& message) {
  if (message.arguments.empty()) return Carry(word, wordAsSent, std::string_view());
  const OscArgument& argument = message.arguments[0];
  bool pressed = false;
  switch (argument.type) {
    case 'i':
    case 'h':
      pressed = argument.integer != 0;
      break;
    case 'f':
    case 'd':
      pressed = argument.number != 0;  // NaN too
      break;
    case 'T':
    case 'N':
    case 'I':
      pressed = true;
      break;
    case 'F':
      break;
    default:
      return Request(OscRequest::kBadArguments);
  }
  if (!pressed) return Request(OscRequest::kReleased);
  return Carry(word, wordAsSent, std::string_view());
}

std::string FormatNumber(double value, bool single) {
  char text[64];
  std::to_chars_result result =
      single ? std::to_chars(text, text + sizeof text, static_cast<float>(value))
             : std::to_chars(text, text + sizeof text, value);
  std::string shown(text, result.ptr);
  // A whole float still shows that it is one.
  if (shown.find_first_of(".en") == std::string::npos) shown += ".0";
  return shown;
}

std::string FormatHex(const char* prefix, uint64_t value, int digits) {
  char text[32];
  std::snprintf(text, sizeof text, "%s0x%0*" PRIX64, prefix, digits, value);
  return text;
}

std::string FormatArgument(const OscArgument& argument) {
  switch (argument.type) {
    case 'i':
    case 'h':
      return std::to_string(argument.integer);
    case 'f':
      return FormatNumber(argument.number, true);
    case 'd':
      return FormatNumber(argument.number, false);
    case 's':
    case 'S': {
      std::string quoted = "\"";
      quoted += CodePageFromUtf8(argument.bytes);
      quoted += '"';
      return quoted;
    }
    case 'b':
      return "blob(" + std::to_string(argument.bytes.size()) + ")";
    case 'c':
      return "c:" + std::to_string(argument.integer);
    case 'r':
      return FormatHex("r:", static_cast<uint64_t>(argument.integer), 8);
    case 'm':
      return FormatHex("m:", static_cast<uint64_t>(argument.integer), 8);
    case 't':
      return FormatHex("t:", static_cast<uint64_t>(argument.integer), 16);
    case 'T':
      return "true";
    case 'F':
      return "false";
    case 'I':
      return "impulse";
    default:
      return "nil";
  }
}

}  // namespace

OscCommand CommandFromOscMessage(const OscMessage& message) {
  const std::string_view address = message.address;
  const std::string_view prefix = kOscAddressPrefix;
  if (address.substr(0, prefix.size()) != prefix) return OscCommand{};
  const std::string word(address.substr(prefix.size()));
  const std::string folded = FoldUpper(word);
  if (IsFeedbackValueMessage(folded, message)) {
    OscCommand feedback = Request(OscRequest::kFeedback);
    feedback.feedback = true;
    return feedback;
  }
  if (folded == kCommandAddressWord) {
    if (message.arguments.empty() || !IsText(message.arguments[0])) {
      return Request(OscRequest::kBadArguments);
    }
    OscCommand command = Request(OscRequest::kCommand);
    command.command =
        ReadCommandText(CodePageFromUtf8(message.arguments[0].bytes), &command.feedback);
    return command;
  }
  CommandWord command;
  if (!FindCommandWord(folded, &command)) return OscCommand{};
  switch (command) {
    case CommandWord::kOpen:
    case CommandWord::kRun:
    case CommandWord::kStop:
    case CommandWord::kSend:
    case CommandWord::kActivate:
    case CommandWord::kProjector:
      return TextCommand(command, word, message);
    case CommandWord::kGoto:
      return GotoCommand(word, message);
    default:
      return PlainCommand(command, word, message);
  }
}

std::string FormatOscMessage(const OscMessage& message) {
  std::string shown = ShownOscAddress(message);
  const size_t count = message.arguments.size();
  for (size_t i = 0; i < count && i < kOscArgumentsShownAtMost; ++i) {
    shown += ' ';
    shown += FormatArgument(message.arguments[i]);
  }
  if (count > kOscArgumentsShownAtMost) {
    shown += " (+" + std::to_string(count - kOscArgumentsShownAtMost) + " more)";
  }
  return shown;
}

std::string ShownOscAddress(const OscMessage& message) { return CodePageFromUtf8(message.address); }

bool IsOscFeedbackPacket(std::string_view packet) {
  if (packet.empty() || (packet[0] != '/' && packet[0] != '#')) return false;
  std::vector<OscMessage> messages;
  if (!ReadOscPacket(packet, &messages) || messages.empty()) return false;
  for (const OscMessage& message : messages) {
    if (!CommandFromOscMessage(message).feedback) return false;
  }
  return true;
}
