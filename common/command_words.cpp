#include "common/command_words.h"

#include "common/feedback_words.h"
#include "common/text_rules.h"

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

std::string_view TrimBlanks(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return std::string_view();
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

Command ReadCommandText(std::string_view text, bool* feedbackWord) {
  const std::string_view trimmed = TrimBlanks(text);
  const size_t blank = trimmed.find(' ');
  Command command;
  command.wordAsSent = std::string(trimmed.substr(0, blank));
  if (blank != std::string_view::npos) command.argument = TrimBlanks(trimmed.substr(blank));
  const std::string folded = FoldUpper(command.wordAsSent);
  CommandWord word;
  if (FindCommandWord(folded, &word)) command.word = word;
  if (feedbackWord != nullptr) *feedbackWord = IsFeedbackWord(folded);
  return command;
}
