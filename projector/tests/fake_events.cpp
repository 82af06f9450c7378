#include "projector/tests/fake_events.h"

std::vector<std::string> FakeEvents;
std::string FakeRefusedSerialCall;
std::vector<std::string> FakeSectionEntries;
std::string FakeSectionAsked;
std::string FakePathAsked;

void ResetFakes() {
  FakeEvents.clear();
  FakeRefusedSerialCall.clear();
  FakeSectionEntries.clear();
  FakeSectionAsked.clear();
  FakePathAsked.clear();
}
