// What the fakes of the projector tests saw, in call order, as short texts.
#pragma once

#include <string>
#include <vector>

// One line per platform call: "open COM1", "baud 9600", "notice ...", "write ABC", ...
extern std::vector<std::string> FakeEvents;

// The serial call (its event's first word, e.g. "open" or "parity") that
// the fake refuses; empty: every call succeeds.
extern std::string FakeRefusedSerialCall;

// The entries the fake profile reader gives for any section, and the section
// and path it was last asked for.
extern std::vector<std::string> FakeSectionEntries;
extern std::string FakeSectionAsked;
extern std::string FakePathAsked;

void ResetFakes();
