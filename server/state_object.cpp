#include "server/state_object.h"

#include <climits>

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

std::optional<ShowPosition> ReadShowPosition(const nlohmann::json& from) {
  auto member = [&from](const char* name) -> std::optional<int32_t> {
    auto found = from.find(name);
    if (found == from.end() || !found->is_number_integer()) return std::nullopt;
    const int64_t value = found->get<int64_t>();
    if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(value);
  };
  if (!from.is_object()) return std::nullopt;
  const std::optional<int32_t> slide = member("slide"), build = member("build");
  if (!slide || !build) return std::nullopt;
  return ShowPosition{*slide, *build};
}
