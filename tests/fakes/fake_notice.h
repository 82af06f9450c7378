// A recording notice for tests: every notice shown, in order; each counts as
// dismissed at once.
#pragma once

#include <string>
#include <vector>

struct RecordedNotice {
  std::string caption;
  std::string text;
  unsigned style = 0;
};

// The notices shown since the last ClearRecordedNotices, in order.
std::vector<RecordedNotice> RecordedNotices();
void ClearRecordedNotices();
