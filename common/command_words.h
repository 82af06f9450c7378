// The command words of the protocol, in the order of the dispatcher's command
// table: shared by the dispatcher and by the settings that name commands; and
// a command as its door read it, which is all that the rest of the program
// sees of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
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

// One command, read once at the door it came in by: the dispatcher and the
// handlers take this and never look at the word as text again.
struct Command {
  std::optional<CommandWord> word;  // none: no command word (the unknown-command line)
  std::string wordAsSent;           // the word in the letter case it came in, for the lines
  std::string argument;             // blanks removed at both ends; in the program's code page
};

// A command text as a datagram carries it: blanks (spaces only) removed at
// both ends, the word up to the first blank, the rest (without its blanks at
// both ends) the argument, the word recognised without regard to letter case.
// `feedbackWord`, when given, tells whether the word is one of the show's
// feedback (another server's state or status line).
Command ReadCommandText(std::string_view text, bool* feedbackWord = nullptr);

// Blanks are spaces only: tabs, CR and LF are ordinary characters here.
std::string_view TrimBlanks(std::string_view text);
