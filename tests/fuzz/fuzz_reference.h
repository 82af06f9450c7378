// Small reference models for the fuzz targets' oracles, each written out
// plainly and differently from the product code: the command split, the key
// walk, the SEND fields and the window lookup. A target compares what the
// product did (as the fakes recorded it) with what these say.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/desktop.h"
#include "platform/keyboard.h"

// A command text as the dispatcher splits it: blanks (spaces only) trimmed,
// the word up to the first blank, the rest trimmed.
struct ReferenceCommand {
  std::string word;
  std::string argument;
};
ReferenceCommand ReferenceSplitCommand(const std::string& text);

// One action of a key walk: a unit handed on, or a wait.
struct ReferenceAction {
  bool inject;
  std::string unit;       // when inject
  uint32_t milliseconds;  // when a wait
};
std::vector<ReferenceAction> ReferenceWalk(const std::string& keyText, uint32_t gapMilliseconds);

// Field `index` (0: before the first delimiter) of a SEND argument split at
// every occurrence of its first character; empty when missing.
std::string ReferenceField(const std::string& argument, size_t index);

// The window the lookup must choose among FuzzWindows(); 0 for none. The
// name ends at its first zero byte and at its 259th character.
WindowId ReferenceWindow(const std::string& name);

// The events InjectKeyUnit must inject for `unit` in the fake layout, scan
// codes filled in (empty: nothing is injected).
std::vector<KeyEvent> ReferenceInjectedEvents(const std::string& unit);

bool SameEvents(const std::vector<KeyEvent>& a, const std::vector<KeyEvent>& b);

// Compares what the fakes recorded for HandleSendCommand(argument) with the
// reference: the log lines, the window brought to the front, the injections
// and the waits. FuzzRecord must hold nothing else from before the call.
void CheckSendOutcome(const std::string& argument);
