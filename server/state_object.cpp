#include "server/state_object.h"

#include "common/feedback_words.h"

nlohmann::ordered_json ShowStateObject(const ShowStatus& status) {
  auto field = [](StatusItem item, int which = 0) { return NamesOf(item).fields[which]; };
  const SlideDetails& details = status.details;
  nlohmann::ordered_json object;
  object[field(StatusItem::kFile)] = status.fileName;
  object[field(StatusItem::kState)] = ShowStateWord(status.state);
  object[field(StatusItem::kSlide)] = status.slide;
  object[field(StatusItem::kSlide, 1)] = status.slideCount;
  object[field(StatusItem::kTitle)] = details.title;
  object[field(StatusItem::kNotes)] = details.notes;
  object[field(StatusItem::kBuild)] = {{"position", details.buildPosition},
                                       {"count", details.buildCount}};
  if (details.nextSlide > 0) {
    object[field(StatusItem::kNextSlide)] = {{"slide", details.nextSlide},
                                             {"title", details.nextTitle}};
  } else {
    object[field(StatusItem::kNextSlide)] = nullptr;
  }
  return object;
}
