// A profile section reader that gives the entries the test put there.
#include "platform/profile.h"
#include "projector/tests/fake_events.h"

std::vector<std::string> ProfileReadSection(const std::string& section, const std::string& path) {
  FakeSectionAsked = section;
  FakePathAsked = path;
  return FakeSectionEntries;
}
