// The projector command table: the [functions] entries behind PROJECTOR.
#pragma once

#include <string>
#include <vector>

struct ProjectorCommand {
  std::string name;       // folded with FoldUpper
  std::string text;       // the bytes to send: as read, or decoded with escapes=on
  std::string shownText;  // the text as written in the file, for the confirmation
};

extern std::vector<ProjectorCommand> ProjectorCommandTable;

// Loads the entries of `section` from the settings file at `path`. With
// Settings.projectorEscapes the texts are decoded (DecodeProjectorEscapes);
// a backslash that starts no escape gives a warning line after the "Found"
// line.
void LoadProjectorCommands(const std::string& section, const std::string& path);

// PROJECTOR: looks the folded name up, confirms and writes the entry's text.
void SendProjectorCommand(const std::string& name);
