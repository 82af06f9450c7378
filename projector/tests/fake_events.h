// What the fakes of the projector tests saw, in call order, as short texts.
#pragma once

#include <string>
#include <vector>

// One line per platform call: "open COM1", "baud 9600", "write 7 [ABC]", ...
extern std::vector<std::string> FakeEvents;

// Adds the notices shown since the last call (tests/fakes' recording notice)
// to FakeEvents as "notice STYLE [CAPTION] [TEXT]": called before every
// serial call, so a notice shown before a write stands before it.
void TakeNewNotices();

// FakeEvents with the latest notices taken in.
std::vector<std::string> SeenEvents();

// The serial call (its event's first word, e.g. "open" or "parity") that
// the fake refuses; empty: every call succeeds.
extern std::string FakeRefusedSerialCall;

// The entries the fake profile reader gives for any section, and the section
// and path it was last asked for.
extern std::vector<std::string> FakeSectionEntries;
extern std::string FakeSectionAsked;
extern std::string FakePathAsked;

void ResetFakes();
