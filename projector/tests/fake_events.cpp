#include "projector/tests/fake_events.h"

#include "tests/fakes/fake_notice.h"

std::vector<std::string> FakeEvents;
std::string FakeRefusedSerialCall;
std::vector<std::string> FakeSectionEntries;
std::string FakeSectionAsked;
std::string FakePathAsked;

namespace {
size_t noticesTaken = 0;
}  // namespace

void TakeNewNotices() {
  std::vector<RecordedNotice> notices = RecordedNotices();
  for (; noticesTaken < notices.size(); ++noticesTaken) {
    const RecordedNotice& notice = notices[noticesTaken];
    FakeEvents.push_back("notice " + std::to_string(notice.style) + " [" + notice.caption + "] [" +
                         notice.text + "]");
  }
}

std::vector<std::string> SeenEvents() {
  TakeNewNotices();
  return FakeEvents;
}

void ResetFakes() {
  ClearRecordedNotices();
  noticesTaken = 0;
  FakeEvents.clear();
  FakeRefusedSerialCall.clear();
  FakeSectionEntries.clear();
  FakeSectionAsked.clear();
  FakePathAsked.clear();
}
