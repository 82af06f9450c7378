#include "server/outcome_words.h"

OutcomeWords WordsOfOutcome(ArrivalOutcome outcome) {
  switch (outcome) {
    case ArrivalOutcome::kCarriedOut:
      return {202, "done", ""};
    case ArrivalOutcome::kMovedOn:
      return {409, "moved-on", "the show has moved on since"};
    case ArrivalOutcome::kSenderRefused:
      return {403, "refused", "this sender may not send commands"};
    case ArrivalOutcome::kWordRefused:
      return {403, "refused", "this word may not be sent here"};
    case ArrivalOutcome::kUnknownWord:
      return {400, "invalid", "unknown command word"};
    case ArrivalOutcome::kNoCommand:
      return {400, "invalid", "no command"};
    case ArrivalOutcome::kDropped:
      break;
  }
  return {503, "dropped", "the server did not take the command"};
}
