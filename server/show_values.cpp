#include "server/show_values.h"

namespace {

StatusValue Number(const char* name, int32_t number) { return {name, true, number, {}}; }

StatusValue Text(const char* name, std::string text) { return {name, false, 0, std::move(text)}; }

void AddValues(std::vector<StatusValue>& values, StatusItem item, const ShowStatus& status) {
  const StatusItemNames& names = NamesOf(item);
  const SlideDetails& details = status.details;
  switch (item) {
    case StatusItem::kFile:
      values.push_back(Text(names.values[0], status.fileName));
      break;
    case StatusItem::kState:
      values.push_back(Text(names.values[0], ShowStateWord(status.state)));
      break;
    case StatusItem::kSlide:
      values.push_back(Number(names.values[0], status.slide));
      values.push_back(Number(names.values[1], status.slideCount));
      break;
    case StatusItem::kTitle:
      values.push_back(Text(names.values[0], details.title));
      break;
    case StatusItem::kBuild:
      values.push_back(Number(names.values[0], details.buildPosition));
      values.push_back(Number(names.values[1], details.buildCount));
      break;
    case StatusItem::kNextSlide:
      values.push_back(Number(names.values[0], details.nextSlide));
      break;
    case StatusItem::kNotes:
      values.push_back(Text(names.values[0], details.notes));
      break;
  }
}

}  // namespace

std::vector<StatusValue> StatusValues(const std::vector<StatusItem>& items,
                                      const ShowStatus& status) {
  std::vector<StatusValue> values;
  for (StatusItem item : items) AddValues(values, item, status);
  return values;
}
