// Profile files and the file system, for the settings file.
#pragma once

#include <string>
#include <vector>

// The process's current working directory, without a trailing separator added.
std::string CurrentDirectory();

// The directory separator: "\" on Windows, "/" elsewhere.
const char* PathSeparator();

// True when `path` names an ordinary file: not a directory, and on Windows not
// marked hidden or system.
bool OrdinaryFileExists(const std::string& path);

// The value of `key` in `section` of the profile file at `path` (case-insensitive
// names, blanks trimmed, first occurrence, a matching pair of quotes removed,
// cut to 1999 characters); `defaultText` when the file, section or key is
// missing. A key written as "key=" gives the empty text.
//   Windows: GetPrivateProfileStringA. Elsewhere: the program's own reader.
std::string ProfileReadString(const std::string& section, const std::string& key,
                              const std::string& defaultText, const std::string& path);

// Every entry of `section`, in file order, each as the platform's profile
// section read gives it; empty when the file or section is missing.
//   Windows: GetPrivateProfileSectionA, read whole however long the section is.
//   Elsewhere: the program's own reader, with the same entries.
std::vector<std::string> ProfileReadSection(const std::string& section, const std::string& path);
