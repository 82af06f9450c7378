// Small reference models for the fuzz targets' oracles, each written out
// plainly and differently from the product code: the command split, the key
// walk, the SEND fields, the window lookup, the settings' address lists and
// the projector escapes. A target compares what the
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

// The events a walk must inject for `unit` in the fake layout, scan codes
// filled in (empty: nothing is injected).
std::vector<KeyEvent> ReferenceInjectedEvents(const std::string& unit);

bool SameEvents(const std::vector<KeyEvent>& a, const std::vector<KeyEvent>& b);

// Compares what the fakes recorded for HandleSendCommand(argument) with the
// reference: the log lines, the window brought to the front, the injections
// and the waits. FuzzRecord must hold nothing else from before the call.
void CheckSendOutcome(const std::string& argument);

// The entries of a list setting: split at commas, spaces and tabs.
std::vector<std::string> ReferenceListEntries(const std::string& value);

// An allow entry read with the C library's inet_pton for the address; the
// prefix length (32 without "/") in `prefixLength`, the address with the bits
// beyond the prefix cleared in `address` (network order).
bool ReferenceAllowEntry(const std::string& entry, uint32_t* address, int* prefixLength);

// Whether the file text holds `key` (with an "=") in the first section named
// `section`, names compared with a-z folded, as the profile reader does.
bool ReferenceSettingPresent(const std::string& fileText, const std::string& section,
                             const std::string& key);

// A projector text with its escapes decoded; the sequences that start no
// escape in `notEscapes`.
std::string ReferenceDecodeEscapes(const std::string& text, std::vector<std::string>* notEscapes);
