// The program's own reader of profile files (sectioned key=value text), for
// platforms without the Windows profile functions. Pure functions over the
// file's bytes; they give what GetPrivateProfileStringA and
// GetPrivateProfileSectionA give for the same file.
//
// Format as read:
// - Lines end at CR, LF or any run of them. Blanks (space, tab, VT, FF, CR,
//   LF and ^Z) at the start and end of a line are dropped; empty lines are
//   skipped. A UTF-8 byte-order mark at the start of the file is skipped.
// - A line starting with "[" and holding a "]" opens a section; its name is
//   the text between the "[" and the last "]", trimmed. Lines before the first
//   section belong to an unnamed section.
// - Any other line is an entry: the name before the first "=" (trailing blanks
//   dropped) and the value after it (leading blanks dropped), or just a name
//   when the line has no "=". An entry with an empty name directly after
//   another entry with an empty name is dropped.
// - Names of sections and keys compare without regard to the case of the
//   letters a-z; of several sections of the same name only the first counts.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The size of the result buffer of one key read, terminating zero included:
// a value is cut to one character less.
constexpr size_t kProfileValueBufferSize = 2000;

struct ProfileEntry {
  std::string name;
  std::optional<std::string> value;  // none for a line without "="
};

struct ProfileSection {
  std::string name;
  std::vector<ProfileEntry> entries;
};

// Every section of the file in file order, the unnamed one first.
std::vector<ProfileSection> ParseProfileText(std::string_view fileBytes);

// The value of `key` in `section` (both trimmed, compared without regard to
// case) with a matching pair of enclosing quotes removed, cut to
// bufferSize - 1 characters. `defaultText`, without its trailing spaces and
// given the same quote and length treatment, when the section or key is
// missing or the key's first line has no "=". A line "key=" gives the empty
// text.
std::string ProfileValueFromText(std::string_view fileBytes, std::string_view section,
                                 std::string_view key, std::string_view defaultText,
                                 size_t bufferSize = kProfileValueBufferSize);

// The entries of the first section named `section` (compared without regard to
// case, not trimmed), in file order, each as "name=value" or "name" for a line
// without "="; comment entries (name starting with ";") are left out. Empty
// when there is no such section.
std::vector<std::string> ProfileSectionFromText(std::string_view fileBytes,
                                                std::string_view section);
