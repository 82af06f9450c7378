// The command words of the protocol, in the order of the dispatcher's command
// table: shared by the dispatcher and by the settings that name commands.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

enum class CommandWord : int {
  kOpen,
  kNext,
  kGoto,
  kRun,
  kStop,
  kSend,
  kActivate,
  kProjector,
  // The show's further steps, and the feedback's snapshot.
  kPrev,
  kFirst,
  kLast,
  kBlack,
  kWhite,
  kResume,
  kEnd,
  kState,
};

constexpr size_t kCommandWordCount = 16;

// "OPEN", "NEXT", ... "PROJECTOR", "PREV", ... "END", "STATE", indexed by
// CommandWord.
extern const char* const kCommandWords[kCommandWordCount];

// A set of command words: bit i stands for kCommandWords[i].
using CommandWordSet = uint32_t;
constexpr CommandWordSet kEveryCommandWord = (1u << kCommandWordCount) - 1;

constexpr CommandWordSet CommandWordBit(CommandWord word) { return 1u << static_cast<int>(word); }

// The command word that `foldedWord` (already folded with FoldUpper) is, compared
// exactly and in full; false when it is none of them.
bool FindCommandWord(std::string_view foldedWord, CommandWord* word);
