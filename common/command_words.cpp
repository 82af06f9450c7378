#include "common/command_words.h"

const char* const kCommandWords[kCommandWordCount] = {
    "OPEN", "NEXT",  "GOTO", "RUN",   "STOP",  "SEND",   "ACTIVATE", "PROJECTOR",
    "PREV", "FIRST", "LAST", "BLACK", "WHITE", "RESUME", "END",      "STATE",
};

bool FindCommandWord(std::string_view foldedWord, CommandWord* word) {
  for (size_t i = 0; i < kCommandWordCount; ++i) {
    if (foldedWord == kCommandWords[i]) {
      *word = static_cast<CommandWord>(i);
      return true;
    }
  }
  return false;
}
