#include "keys/key_text.h"

#include "common/text_rules.h"

namespace {

constexpr size_t kDelayPrefixLength = 6;  // "{DELAY"

bool IsDelayGroup(const std::string& group) {
  return group.size() >= kDelayPrefixLength &&
         FoldUpper(std::string_view(group).substr(0, kDelayPrefixLength)) == "{DELAY";
}

// The wait of a delay group's number text (what follows "{DELAY", closing
// brace included), within 0 to kLongestDelayMilliseconds.
uint32_t DelayMilliseconds(const std::string& numberText) {
  double value = RoundHalfEven(NumberFromText(numberText));
  if (!(value > 0)) return 0;  // also a value that is not a number
  if (value >= static_cast<double>(kLongestDelayMilliseconds)) return kLongestDelayMilliseconds;
  return static_cast<uint32_t>(value);
}

}  // namespace

bool SendKeyText(const std::string& keyText, uint32_t gapMilliseconds,
                 const KeyUnitInjector& inject, const MillisecondWaiter& wait) {
  KeyUnit pending;  // the unit being gathered
  bool insideGroup = false;
  for (char c : keyText) {
    pending += c;
    if (pending.size() == 1 && c == '{') {
      insideGroup = true;
    } else if (c == '}' && insideGroup) {
      insideGroup = false;
      if (IsDelayGroup(pending)) {
        wait(DelayMilliseconds(pending.substr(kDelayPrefixLength)));
        pending.clear();
      }
    }
    if (!insideGroup && !pending.empty()) {
      if (!inject(pending)) return false;
      pending.clear();
      wait(gapMilliseconds);
    }
  }
  // A group that was never closed is dropped.
  return true;
}
