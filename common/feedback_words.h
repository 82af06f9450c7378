// The show's state as the controllers are told it: the items a change sends,
// and the one table of their names in every form the program writes them (the
// plain feedback's words, the values of OSC and of the venue link, the fields
// of the state object). The channels write from it, and the readers that must
// recognise another server's feedback (the loop guard, the OSC reader) read
// from it, so that a name added here is known to all of them at once.
#pragma once

#include <cstddef>
#include <string_view>

enum class StatusItem {
  kFile,       // the presentation's file name
  kState,      // the show's state
  kSlide,      // the slide and the slide count
  kTitle,      // the slide's title
  kBuild,      // the build's position and count
  kNextSlide,  // the next slide and its title
  kNotes,      // the slide's notes
};

constexpr size_t kStatusItemCount = 7;

struct StatusItemNames {
  StatusItem item;
  // The line of the plain feedback: the word, a blank and the values ("SLIDE 3 24").
  const char* word;
  // The values one by one, each an OSC message /podiant/<value> (second: none
  // when the item has one value).
  const char* values[2];
  // The fields of the state object (the web remote's, the venue link's).
  const char* fields[2];
};

// In the order of StatusItem.
extern const StatusItemNames kStatusItemNames[kStatusItemCount];

inline const StatusItemNames& NamesOf(StatusItem item) {
  return kStatusItemNames[static_cast<size_t>(item)];
}

// The status lines, sent on as they are written: the plain feedback's word
// and the value's name.
constexpr const char* kLogWord = "LOG";
constexpr const char* kLogValue = "log";

// Whether `folded` (a word folded with FoldUpper) is one of the plain
// feedback's words (LOG included).
bool IsFeedbackWord(std::string_view folded);

// Whether `folded` is the name of one of the values (log included), folded.
bool IsFeedbackValue(std::string_view folded);
