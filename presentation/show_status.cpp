#include "presentation/show_status.h"

const char* ShowStateWord(ShowState state) {
  switch (state) {
    case ShowState::kRunning:
      return "RUNNING";
    case ShowState::kBlack:
      return "BLACK";
    case ShowState::kWhite:
      return "WHITE";
    case ShowState::kEnded:
      return "ENDED";
    case ShowState::kNone:
      break;
  }
  return "NONE";
}
