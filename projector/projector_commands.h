// The projector command table: the [functions] entries behind PROJECTOR.
#pragma once

#include <string>
#include <vector>

struct ProjectorCommand {
  std::string name;  // folded with FoldUpper
  std::string text;  // the bytes to send, exactly as read
};

extern std::vector<ProjectorCommand> ProjectorCommandTable;

// Loads the entries of `section` from the settings file at `path`.
void LoadProjectorCommands(const std::string& section, const std::string& path);

// PROJECTOR: looks the folded name up, confirms and writes the entry's text.
void SendProjectorCommand(const std::string& name);
