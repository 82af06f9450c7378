#include "common/feedback_words.h"

#include "common/text_rules.h"

const StatusItemNames kStatusItemNames[kStatusItemCount] = {
    {StatusItem::kFile, "FILE", {"file", nullptr}, {"file", nullptr}},
    {StatusItem::kState, "SHOW", {"state", nullptr}, {"state", nullptr}},
    {StatusItem::kSlide, "SLIDE", {"slide", "slides"}, {"slide", "count"}},
    {StatusItem::kTitle, "TITLE", {"title", nullptr}, {"title", nullptr}},
    {StatusItem::kBuild, "BUILD", {"build", "builds"}, {"build", nullptr}},
    {StatusItem::kNextSlide, "NEXTSLIDE", {"nextslide", nullptr}, {"next", nullptr}},
    {StatusItem::kNotes, "NOTES", {"notes", nullptr}, {"notes", nullptr}},
};

bool IsFeedbackWord(std::string_view folded) {
  if (folded == kLogWord) return true;
  for (const StatusItemNames& names : kStatusItemNames) {
    if (folded == names.word) return true;
  }
  return false;
}

bool IsFeedbackValue(std::string_view folded) {
  if (folded == FoldUpper(kLogValue)) return true;
  for (const StatusItemNames& names : kStatusItemNames) {
    for (const char* value : names.values) {
      if (value != nullptr && folded == FoldUpper(value)) return true;
    }
  }
  return false;
}
