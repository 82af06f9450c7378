// Placeholder until the projector is built: no link, no commands.
#include "projector/projector_commands.h"
#include "projector/projector_link.h"

std::vector<ProjectorCommand> ProjectorCommandTable;

void OpenProjectorLink() {}
bool WriteProjectorLink(const std::string&) { return false; }
void CloseProjectorLink() {}
bool ProjectorLinkIsOpen() { return false; }
void LoadProjectorCommands(const std::string&, const std::string&) {}
void SendProjectorCommand(const std::string&) {}
