// How a door that answers (the web remote, the venue link) words the outcome
// of a command.
#pragma once

#include "server/arrival.h"

// An outcome as a door that answers says it: an HTTP status, a word, and what
// went wrong (empty when nothing did): 202 "done", 409 "moved-on", 503
// "dropped", 403 "refused", 400 "invalid".
struct OutcomeWords {
  int status;
  const char* outcome;
  const char* error;
};
OutcomeWords WordsOfOutcome(ArrivalOutcome outcome);
