#include "server/show_changes.h"

namespace {

void AddDetails(std::vector<StatusItem>& items, const SlideDetails* sent, const SlideDetails& now,
                StatusItemChoice choice) {
  if (choice.details) {
    if (sent == nullptr || sent->title != now.title) items.push_back(StatusItem::kTitle);
    if (sent == nullptr || sent->buildPosition != now.buildPosition ||
        sent->buildCount != now.buildCount) {
      items.push_back(StatusItem::kBuild);
    }
    if (sent == nullptr || sent->nextSlide != now.nextSlide || sent->nextTitle != now.nextTitle) {
      items.push_back(StatusItem::kNextSlide);
    }
  }
  if (choice.notes && (sent == nullptr || sent->notes != now.notes)) {
    items.push_back(StatusItem::kNotes);
  }
}

}  // namespace

std::vector<StatusItem> StatusSnapshotItems(const ShowStatus& now, StatusItemChoice choice) {
  std::vector<StatusItem> items;
  if (now.show != 0) items.push_back(StatusItem::kFile);
  items.push_back(StatusItem::kState);
  if (now.show != 0 && now.slideCount > 0) {
    items.push_back(StatusItem::kSlide);
    AddDetails(items, nullptr, now.details, choice);
  }
  return items;
}

std::vector<StatusItem> StatusChangeItems(const ShowStatus& sent, const ShowStatus& now,
                                          StatusItemChoice choice) {
  if (now.show != sent.show) return StatusSnapshotItems(now, choice);
  std::vector<StatusItem> items;
  if (now.state != sent.state) items.push_back(StatusItem::kState);
  if (now.slideCount > 0) {
    if (now.slide != sent.slide || now.slideCount != sent.slideCount) {
      items.push_back(StatusItem::kSlide);
    }
    AddDetails(items, &sent.details, now.details, choice);
  }
  return items;
}
