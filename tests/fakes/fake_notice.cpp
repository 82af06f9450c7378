#include "tests/fakes/fake_notice.h"

#include <mutex>

#include "platform/notice.h"

namespace {
std::mutex noticeLock;
std::vector<RecordedNotice> notices;
}  // namespace

void ShowNotice(const std::string& caption, const std::string& text, unsigned style) {
  std::lock_guard<std::mutex> guard(noticeLock);
  notices.push_back(RecordedNotice{caption, text, style});
}

std::vector<RecordedNotice> RecordedNotices() {
  std::lock_guard<std::mutex> guard(noticeLock);
  return notices;
}

void ClearRecordedNotices() {
  std::lock_guard<std::mutex> guard(noticeLock);
  notices.clear();
}
