// The show's state as single values, one per name of the feedback's table
// ("slide", "slides", "title", ...): what OSC out sends as one message each and
// the venue link as one topic each. Decided here once for both.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/feedback_words.h"
#include "presentation/show_status.h"

struct StatusValue {
  const char* name;       // the value's name in the feedback's table
  bool isNumber = false;  // a number, else a text (UTF-8)
  int32_t number = 0;
  std::string text;
};

// The values of `items`, in order: the slide's are its number and the count,
// the build's its position and count, the next slide's its number.
std::vector<StatusValue> StatusValues(const std::vector<StatusItem>& items,
                                      const ShowStatus& status);
