#include "venue/venue_commands.h"

#include <nlohmann/json.hpp>

#include "common/text_rules.h"
#include "common/utf8_text.h"
#include "platform/code_page.h"
#include "platform/single_byte_text.h"
#include "server/outcome_words.h"
#include "server/state_object.h"

namespace {

using json = nlohmann::ordered_json;

constexpr size_t kIdsAtMost = 256;
constexpr size_t kNameBytesAtMost = 32;

std::string Dump(const json& value) {
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

// {"id":...,"command":"...","status":202,"outcome":"done"}, with "error" when
// something went wrong.
std::string Result(const json& id, const std::string& command, int status, const char* outcome,
                   const std::string& error) {
  json result;
  result["id"] = id;
  result["command"] = command;
  result["status"] = status;
  result["outcome"] = outcome;
  if (!error.empty()) result["error"] = error;
  return Dump(result);
}

bool IsUtf8(std::string_view text) {
  for (size_t at = 0; at < text.size();) {
    uint32_t codePoint = 0;
    const size_t length = NextUtf8Character(text, at, &codePoint);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

bool HasControlCharacters(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  }
  return false;
}

// The sender's name for the M line: 1-32 letters, digits, '-', '_' and '.',
// else "mqtt" (a name cannot pose as another sender or part of the line).
std::string SenderName(const json& message) {
  auto name = message.find("name");
  if (name == message.end() || !name->is_string()) return "mqtt";
  const std::string& text = name->get_ref<const std::string&>();
  if (text.empty() || text.size() > kNameBytesAtMost) return "mqtt";
  for (char c : text) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '-' || c == '_' || c == '.';
    if (!ok) return "mqtt";
  }
  return text;
}

// Whether `id` was taken within the last minute; it is remembered from now.
bool SeenBefore(VenueIds& ids, const std::string& id, uint64_t now) {
  while (!ids.seen.empty() && now - ids.seen.front().at >= kVenueIdMilliseconds) {
    ids.seen.pop_front();
  }
  for (const VenueIds::Seen& seen : ids.seen) {
    if (seen.id == id) return true;
  }
  if (ids.seen.size() >= kIdsAtMost) ids.seen.pop_front();
  ids.seen.push_back({id, now});
  return false;
}

}  // namespace

VenueReading ReadVenueCommand(std::string_view payload, bool retained, const TimeOfDay& time,
                              uint64_t arrivedAt, uint64_t nowMilliseconds, VenueIds& ids,
                              std::function<void(std::string)> publish) {
  VenueReading reading;
  const std::string given(payload.substr(0, Utf8PrefixLength(payload, kVenueCommandBytesAtMost)));
  // A broker gives a retained message to every new subscription: it would be
  // carried out at every start.
  if (retained) {
    reading.line = "ERROR: MQTT command retained on the broker, not carried out: \"" +
                   CodePageFromUtf8(given) + "\"";
    reading.result =
        Result(nullptr, given, 400, "invalid", "a retained command is never carried out");
    return reading;
  }
  Arrival arrival;
  arrival.time = time;
  arrival.arrivedAt = arrivedAt;
  arrival.origin = CommandOrigin{Door::kMqtt, 0, 0, "mqtt"};
  json id = nullptr;
  std::string text(payload);
  std::string refusal;  // why it cannot be read as a command
  const std::string_view trimmed = TrimBlanks(payload);
  if (payload.size() > kVenueCommandBytesAtMost) {
    refusal = "the command is too long";
  } else if (!IsUtf8(payload)) {
    refusal = "the command is no UTF-8";
  } else if (!trimmed.empty() && trimmed[0] == '{') {
    const json message = json::parse(payload, nullptr, false);
    auto command = message.is_object() ? message.find("command") : message.end();
    if (message.is_discarded() || !message.is_object()) {
      refusal = "the message is no JSON object";
    } else if (command == message.end() || !command->is_string()) {
      refusal = "no command";
    } else {
      text = command->get<std::string>();
      arrival.origin.name = SenderName(message);
      if (auto found = message.find("id");
          found != message.end() &&
          (found->is_number() ||
           (found->is_string() && found->get_ref<const std::string&>().size() <= 64))) {
        id = *found;
      }
      if (auto from = message.find("from"); from != message.end()) {
        arrival.from = ReadShowPosition(*from);
        if (!arrival.from) refusal = "from needs a slide and a build";
      }
    }
  }
  if (refusal.empty() && HasControlCharacters(text)) {
    refusal = "the command has control characters";
  }
  const std::string shownText = refusal.empty() ? text : given;
  arrival.shown = "\"" + CodePageFromUtf8(shownText) + "\"";
  if (refusal.empty()) {
    arrival.command = ReadCommandText(CodePageFromUtf8(text));
    // A step with `from` only for NEXT and PREV, as on the web.
    const std::optional<CommandWord> word = arrival.command->word;
    if (word != CommandWord::kNext && word != CommandWord::kPrev) arrival.from.reset();
  } else {
    arrival.doorLine = "ERR: bad MQTT command: " + refusal;
  }
  if (!id.is_null()) {
    const std::string key = id.dump();
    if (SeenBefore(ids, key, nowMilliseconds)) {
      reading.result =
          Result(id, text, 409, "refused", "a command of this id was taken within the last minute");
      return reading;
    }
  }
  arrival.done = [publish = std::move(publish), id, text, refusal,
                  word = arrival.command ? arrival.command->wordAsSent
                                         : std::string()](ArrivalOutcome outcome) {
    const OutcomeWords words = WordsOfOutcome(outcome);
    std::string error = refusal.empty() ? words.error : refusal;
    const std::string folded = Utf8FromCodePage(FoldUpper(word));
    if (outcome == ArrivalOutcome::kUnknownWord) error = "unknown command word " + folded;
    if (outcome == ArrivalOutcome::kWordRefused) error = "the venue link may not send " + folded;
    publish(Result(id, text, words.status, words.outcome, error));
  };
  reading.arrival = std::move(arrival);
  return reading;
}
