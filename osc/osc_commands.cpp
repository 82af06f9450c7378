#include "osc/osc_commands.h"

#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <string_view>

#include "common/command_words.h"
#include "common/text_rules.h"
#include "platform/code_page.h"

namespace {

constexpr std::string_view kPrefix = "/podiant/";
constexpr std::string_view kCommandAddressWord = "COMMAND";

// What the server itself sends: such a message from another server is fed
// back, not a command. STATE is also a command word: a state carries a string.
bool IsFeedbackWord(const std::string& folded, const OscMessage& message) {
  if (folded == "STATE") {
    return !message.arguments.empty() &&
           (message.arguments[0].type == 's' || message.arguments[0].type == 'S');
  }
  for (const char* word :
       {"FILE", "SLIDE", "SLIDES", "BUILD", "BUILDS", "TITLE", "NEXTSLIDE", "NOTES", "LOG"}) {
    if (folded == word) return true;
  }
  return false;
}

bool IsText(const OscArgument& argument) { return argument.type == 's' || argument.type == 'S'; }

OscCommand Command(std::string text) { return OscCommand{OscRequest::kCommand, std::move(text)}; }

OscCommand Bad() { return OscCommand{OscRequest::kBadArguments, std::string()}; }

OscCommand TextCommand(const std::string& word, const OscMessage& message) {
  if (message.arguments.empty() || !IsText(message.arguments[0])) return Bad();
  return Command(word + " " + CodePageFromUtf8(message.arguments[0].bytes));
}

OscCommand GotoCommand(const std::string& word, const OscMessage& message) {
  if (message.arguments.empty()) return Bad();
  const OscArgument& argument = message.arguments[0];
  switch (argument.type) {
    case 'i':
    case 'h':
      return Command(word + " " +
                     std::to_string(Int32FromNumber(static_cast<double>(argument.integer))));
    case 'f':
    case 'd':
      return Command(word + " " + std::to_string(Int32FromNumber(argument.number)));
    case 's':
    case 'S':
      return Command(word + " " + CodePageFromUtf8(argument.bytes));
    default:
      return Bad();
  }
}

// A word without an argument: a button sends 1 when pressed and 0 when let go.
OscCommand PlainCommand(const std::string& word, const OscMessage& message) {
  if (message.arguments.empty()) return Command(word);
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
      return Bad();
  }
  if (!pressed) return OscCommand{OscRequest::kReleased, std::string()};
  return Command(word);
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
  if (address.substr(0, kPrefix.size()) != kPrefix) return OscCommand{};
  const std::string word(address.substr(kPrefix.size()));
  const std::string folded = FoldUpper(word);
  if (IsFeedbackWord(folded, message)) return OscCommand{OscRequest::kFeedback, std::string()};
  if (folded == kCommandAddressWord) {
    if (message.arguments.empty() || !IsText(message.arguments[0])) return Bad();
    return Command(CodePageFromUtf8(message.arguments[0].bytes));
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
      return TextCommand(word, message);
    case CommandWord::kGoto:
      return GotoCommand(word, message);
    default:
      return PlainCommand(word, message);
  }
}

std::string FormatOscMessage(const OscMessage& message) {
  std::string shown = ShownOscAddress(message);
  for (const OscArgument& argument : message.arguments) {
    shown += ' ';
    shown += FormatArgument(argument);
  }
  return shown;
}

std::string ShownOscAddress(const OscMessage& message) { return CodePageFromUtf8(message.address); }
