#include "tests/fuzz/fuzz_reference.h"

#include "common/text_rules.h"
#include "keys/key_events.h"
#include "keys/key_text.h"
#include "tests/fuzz/fuzz_fakes.h"

ReferenceCommand ReferenceSplitCommand(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && text[begin] == ' ') ++begin;
  while (end > begin && text[end - 1] == ' ') --end;
  ReferenceCommand command;
  size_t i = begin;
  while (i < end && text[i] != ' ') command.word += text[i++];
  while (i < end && text[i] == ' ') ++i;
  command.argument = text.substr(i, end - i);
  return command;
}

namespace {

uint32_t ReferenceDelay(const std::string& numberText) {
  double rounded = RoundHalfEven(NumberFromText(numberText));
  if (rounded != rounded || rounded <= 0) return 0;
  if (rounded >= 4294967294.0) return 4294967294u;
  return static_cast<uint32_t>(rounded);
}

bool StartsDelayGroup(const std::string& group) {
  if (group.size() < 6) return false;
  const char* delay = "{DELAY";
  for (size_t i = 0; i < 6; ++i) {
    if (FoldUpperChar(static_cast<unsigned char>(group[i])) != static_cast<unsigned char>(delay[i]))
      return false;
  }
  return true;
}

}  // namespace

std::vector<ReferenceAction> ReferenceWalk(const std::string& keyText, uint32_t gapMilliseconds) {
  std::vector<ReferenceAction> actions;
  size_t i = 0;
  while (i < keyText.size()) {
    if (keyText[i] != '{') {
      actions.push_back({true, keyText.substr(i, 1), 0});
      actions.push_back({false, std::string(), gapMilliseconds});
      ++i;
      continue;
    }
    size_t close = keyText.find('}', i + 1);
    if (close == std::string::npos) break;  // an unclosed group is dropped
    std::string group = keyText.substr(i, close - i + 1);
    if (StartsDelayGroup(group)) {
      actions.push_back({false, std::string(), ReferenceDelay(group.substr(6))});
    } else {
      actions.push_back({true, group, 0});
      actions.push_back({false, std::string(), gapMilliseconds});
    }
    i = close + 1;
  }
  return actions;
}

std::string ReferenceField(const std::string& argument, size_t index) {
  if (argument.empty()) return std::string();
  std::vector<std::string> fields(1);
  for (char c : argument) {
    if (c == argument[0]) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return index < fields.size() ? fields[index] : std::string();
}

WindowId ReferenceWindow(const std::string& name) {
  // The search text is a zero-terminated field of 260 bytes.
  std::string search = FoldUpper(name.substr(0, name.find('\0')).substr(0, 259));
  for (const FuzzWindow& window : FuzzWindows()) {
    if (!window.visible || window.hasParent || !window.enabled) continue;
    std::string title = window.title.substr(0, 259);
    if (title.size() < search.size()) continue;
    if (FoldUpper(title.substr(0, search.size())) == search) return window.id;
  }
  return 0;
}

std::vector<KeyEvent> ReferenceInjectedEvents(const std::string& unit) {
  std::vector<KeyEvent> events = BuildKeyEvents(unit, FuzzCharacterKey);
  for (KeyEvent& event : events) event.scanCode = FuzzScanCode(event.virtualKey);
  return events;
}

bool SameEvents(const std::vector<KeyEvent>& a, const std::vector<KeyEvent>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].virtualKey != b[i].virtualKey || a[i].scanCode != b[i].scanCode ||
        a[i].keyUp != b[i].keyUp || a[i].extended != b[i].extended) {
      return false;
    }
  }
  return true;
}

void CheckSendOutcome(const std::string& argument) {
  std::string windowName = ReferenceField(argument, 1);
  std::string keyText = ReferenceField(argument, 2);
  std::vector<std::string> lines;
  WindowId window = 0;
  std::vector<std::vector<KeyEvent>> injections;
  std::vector<uint32_t> waits;
  if (windowName.size() < 3) {
    lines.push_back("ERR: Windowname\"" + windowName + "\" too short");
  } else if (keyText.empty()) {
    lines.push_back("ERR: No keys to send!");
  } else if ((window = ReferenceWindow(windowName)) == 0) {
    lines.push_back("ERR No Window\"" + windowName + "\"");
  } else {
    for (const ReferenceAction& action : ReferenceWalk(keyText, 20)) {
      if (!action.inject) {
        waits.push_back(action.milliseconds);
        continue;
      }
      std::vector<KeyEvent> events = ReferenceInjectedEvents(action.unit);
      if (!events.empty()) injections.push_back(events);
    }
  }
  FUZZ_CHECK_MSG(FuzzRecord.logLines == lines, "SEND wrote other lines than expected");
  FUZZ_CHECK_MSG(FuzzRecord.foreground ==
                     (window == 0 ? std::vector<WindowId>() : std::vector<WindowId>{window}),
                 "SEND activated another window than expected");
  FUZZ_CHECK_MSG(FuzzRecord.waits == waits, "SEND waited otherwise than expected");
  FUZZ_CHECK_MSG(FuzzRecord.injections.size() == injections.size(),
                 "SEND injected another number of units than expected");
  for (size_t i = 0; i < injections.size(); ++i) {
    FUZZ_CHECK_MSG(SameEvents(FuzzRecord.injections[i], injections[i]),
                   "SEND injected other events than expected");
  }
}
