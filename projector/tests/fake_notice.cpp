// Notices that are recorded and count as dismissed at once.
#include "platform/notice.h"
#include "projector/tests/fake_events.h"

void ShowNotice(const std::string& caption, const std::string& text, unsigned style) {
  FakeEvents.push_back("notice " + std::to_string(style) + " [" + caption + "] [" + text + "]");
}
