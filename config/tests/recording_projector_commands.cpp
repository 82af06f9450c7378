#include "config/tests/recording_projector_commands.h"

#include "projector/projector_commands.h"

std::vector<ProjectorCommand> ProjectorCommandTable;

std::vector<ProjectorCommandsLoad>& RecordedProjectorCommandLoads() {
  static std::vector<ProjectorCommandsLoad> loads;
  return loads;
}

void LoadProjectorCommands(const std::string& section, const std::string& path) {
  RecordedProjectorCommandLoads().push_back(ProjectorCommandsLoad{section, path});
}

void SendProjectorCommand(const std::string&) {}
